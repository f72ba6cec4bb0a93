#include <gtest/gtest.h>

#include "shell/folder_lists.h"
#include "store/samples.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

ListRow Row(std::int32_t id, const std::string& a, const std::string& b = "") {
    return {id, 0, {a, b}};
}

TEST(FolderLists, SortingClicksAndNeighbours) {
    std::vector<ListRow> rows{Row(1, "b", "10"), Row(2, "a", "9"), Row(3, "B", "10"),
                              Row(4, "\xc3\xa9", "")};
    // Byte order as unsigned characters: "B" < "a" < "b" < UTF-8 letters; numbers as text.
    SortRows(&rows, 0, 1);
    EXPECT_EQ(rows[0].id, 3);
    EXPECT_EQ(rows[1].id, 2);
    EXPECT_EQ(rows[2].id, 1);
    EXPECT_EQ(rows[3].id, 4);
    SortRows(&rows, 1, 1);
    EXPECT_EQ(rows[0].id, 4);  // "" first
    EXPECT_EQ(rows[1].id, 3);  // "10" before "9", equal texts keep their order
    EXPECT_EQ(rows[2].id, 1);
    EXPECT_EQ(rows[3].id, 2);
    SortRows(&rows, 0, -1);
    EXPECT_EQ(rows[0].id, 4);
    EXPECT_EQ(NextRecord(rows, 4), rows[1].id);
    EXPECT_EQ(PreviousRecord(rows, rows[1].id), 4);
    EXPECT_EQ(PreviousRecord(rows, 4), -1);
    EXPECT_EQ(NextRecord(rows, rows[3].id), -1);
    EXPECT_EQ(NextRecord(rows, 77), -1);

    // The chooser starts on column 0 ascending: a click there reverses, another column sorts up.
    int column = 0, direction = 1;
    ClickColumn(0, &column, &direction);
    EXPECT_EQ(direction, -1);
    ClickColumn(1, &column, &direction);
    EXPECT_EQ(column, 1);
    EXPECT_EQ(direction, 1);
    // The view starts unsorted: its first click sorts ascending.
    column = -1;
    ClickColumn(3, &column, &direction);
    EXPECT_EQ(direction, 1);
}

TEST(FolderLists, DocumentCommandRules) {
    DocumentState s;
    EXPECT_TRUE(CommandEnabled(DocumentCommand::Open, s));
    for (auto c :
         {DocumentCommand::Refresh, DocumentCommand::Calculation, DocumentCommand::OutputFile,
          DocumentCommand::Save, DocumentCommand::NoiseTemplates})
        EXPECT_FALSE(CommandEnabled(c, s));
    s = {4, 'N', "Street"};
    EXPECT_TRUE(CommandEnabled(DocumentCommand::Calculation, s));
    EXPECT_TRUE(CommandEnabled(DocumentCommand::NoiseTemplates, s));
    s = {5, 'I', "Hall"};
    EXPECT_TRUE(CommandEnabled(DocumentCommand::OutputFile, s));
    EXPECT_FALSE(CommandEnabled(DocumentCommand::NoiseTemplates, s));
}

TEST(FolderLists, RowsFromTheStore) {
    test::TempStore store;
    test::ScriptedMessages messages;
    {
        CFolderTable folders;
        ASSERT_TRUE(folders.Open());
        const char* types[] = {"I", "A", "N", "X"};
        const double scales[] = {0, 2.5, 1, 1};
        for (int k = 0; k < 4; ++k) {
            FolderRecord f;
            f.folderId = k + 1;
            f.type = types[k];
            f.title = std::string("Folder ") + types[k];
            f.date = "20240303";
            f.scale = scales[k];
            ASSERT_EQ(folders.Append(f), 1);
        }
        CImpulseTable m;
        CAcParamTable r;
        ASSERT_TRUE(m.Open() && r.Open());
        for (int id = 1; id <= 2; ++id) {
            ImpulseRecord rec;
            rec.folderId = 1;
            rec.impulseId = id;
            rec.title = "Seat " + std::to_string(id);
            rec.time = "20240303090507";
            ASSERT_EQ(m.Append(rec, MakeWaveBlock(1, {0, 0})), 1);
        }
        AcParamRecord result;
        result.impulseId = 2;
        ASSERT_EQ(r.Write(result), db::kOk);
    }
    std::vector<ListRow> rows;
    ASSERT_TRUE(SelectFolderRows(0, &rows));
    ASSERT_EQ(rows.size(), 3u);  // the folder of an unknown type is not listed
    EXPECT_EQ(rows[0].texts[1], "IR");
    EXPECT_EQ(rows[0].texts[4], "2024/03/03");
    EXPECT_EQ(rows[0].texts[6], "1/1");  // SCALE 0 shows as 1/1
    EXPECT_EQ(rows[1].texts[6], "1/2.5");
    EXPECT_EQ(rows[1].icon, 3);
    EXPECT_EQ(TypeLetter(rows[2].texts[1]), 'N');
    ASSERT_TRUE(SelectFolderRows(3, &rows));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].texts[0], "Folder N");

    ASSERT_TRUE(FolderViewRows('I', 1, &rows));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].icon, 1);
    EXPECT_EQ(rows[0].texts[3], "");
    EXPECT_EQ(rows[1].icon, 2);  // a result is stored
    EXPECT_EQ(rows[1].texts[3], " *");
    EXPECT_EQ(rows[1].texts[2], "2024/03/03 09:05:07");
    EXPECT_EQ(FolderViewColumns('N').size(), 4u);
    EXPECT_TRUE(FolderViewColumns('N')[3].rightAligned);
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace vesk
