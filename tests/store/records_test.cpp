#include <gtest/gtest.h>

#include <cstring>

#include "store/file_io.h"
#include "store/records.h"
#include "store/samples.h"
#include "store/tables.h"

namespace vesk {
namespace {

std::string Packed(const std::vector<FieldDescriptor>& fields, FolderRecord r) {
    std::vector<char> buffer(195, '#');
    EXPECT_EQ(Pack(fields, r, buffer.data()), db::kOk);
    return std::string(buffer.begin(), buffer.end());
}

TEST(Records, PackWritesFixedWidthTextAndUnpackTrimsIt) {
    const auto& fields = FolderSpec().schema;
    FolderRecord r;
    r.folderId = 12;
    r.type = "I";
    r.name = "Concert hall with a much too long name";
    r.title = "Main";
    r.scale = 1.5;
    std::string text = Packed(fields, r);
    EXPECT_EQ(text.substr(0, 8), "      12");
    EXPECT_EQ(text.substr(8, 1), "I");
    EXPECT_EQ(text.substr(9, 20), "Concert hall with a ");  // cut to the width
    EXPECT_EQ(text.substr(187, 8), "    1.50");
    EXPECT_EQ(text.substr(29, 20), std::string(20, ' '));  // empty text is blanks

    FolderRecord back;
    ASSERT_EQ(Unpack(fields, text.data(), &back), db::kOk);
    EXPECT_EQ(back.folderId, 12);
    EXPECT_EQ(back.name, "Concert hall with a");
    EXPECT_EQ(back.title, "Main");
    EXPECT_EQ(back.place, "");
    EXPECT_DOUBLE_EQ(back.scale, 1.5);
}

TEST(Records, ValuesWiderThanTheirFieldAreRefusedWithoutTouchingNeighbours) {
    const auto& fields = FolderSpec().schema;
    FolderRecord r;
    r.folderId = 123456789;  // nine digits in I8
    std::vector<char> buffer(195, '#');
    EXPECT_EQ(Pack(fields, r, buffer.data()), db::kValueTooWide);
    r.folderId = -9999999;  // eight characters: fits
    EXPECT_EQ(Pack(fields, r, buffer.data()), db::kOk);
    r.scale = 100000.0;  // "100000.00" is nine characters in N8.2
    EXPECT_EQ(Pack(fields, r, buffer.data()), db::kValueTooWide);
    r.scale = 99999.99;
    EXPECT_EQ(Pack(fields, r, buffer.data()), db::kOk);
    r.scale = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(Pack(fields, r, buffer.data()), db::kValueTooWide);
}

TEST(Records, BlankAndHostileNumbersUnpackToDefinedValues) {
    const auto& fields = FolderSpec().schema;
    std::string text(195, ' ');
    std::memcpy(&text[187], "     nan", 8);
    FolderRecord r;
    r.folderId = 77;
    ASSERT_EQ(Unpack(fields, text.data(), &r), db::kOk);
    EXPECT_EQ(r.folderId, 0);
    EXPECT_EQ(r.scale, 0.0);
}

TEST(Records, MismatchedFieldTypesGiveBadField) {
    std::vector<FieldDescriptor> fields = {MakeField("FOLDERID", 'C', 8)};
    FolderRecord r;
    std::vector<char> buffer(8);
    EXPECT_EQ(Pack(fields, r, buffer.data()), db::kBadField);
    std::vector<FieldDescriptor> odd = {MakeField("X", 'Q', 8)};
    NsTmpRecord t;
    EXPECT_EQ(Pack(odd, t, buffer.data()), db::kBadField);
}

TEST(Records, AcParamRecordCoversItsWholeSchema) {
    AcParamRecord r;
    r.impulseId = 5;
    r.nData = 2;
    r.bands[0].freq = 0;
    r.bands[1].freq = -1;
    r.bands[33].wiacc = 12.34;
    r.tsubNoise = 0.5;
    std::vector<char> buffer(2761, '#');
    ASSERT_EQ(Pack(AcParamSpec().schema, r, buffer.data()), db::kOk);
    EXPECT_EQ(std::string(buffer.end() - 8, buffer.end()), "   12.34");
    AcParamRecord back;
    ASSERT_EQ(Unpack(AcParamSpec().schema, buffer.data(), &back), db::kOk);
    EXPECT_EQ(back.bands[1].freq, -1);
    EXPECT_DOUBLE_EQ(back.bands[33].wiacc, 12.34);
    EXPECT_DOUBLE_EQ(back.tsubNoise, 0.5);
}

TEST(Records, FormatKeyAndDateTime) {
    EXPECT_EQ(FormatKey(5), "       5");
    EXPECT_EQ(FormatKey(12345678), "12345678");
    EXPECT_EQ(FormatDateTime("20261206"), "2026/12/06");
    EXPECT_EQ(FormatDateTime("20261206134501"), "2026/12/06 13:45:01");
    std::string out = "unchanged";
    FormatDateTime("202612", &out);
    EXPECT_EQ(out, "unchanged");
}

TEST(Records, NmsBlobsOfOlderLayoutsAreUpgraded) {
    // Two 32-byte records: bytes 0..31 count up from 1 and 101.
    std::vector<unsigned char> factors(80, 0);
    for (int i = 0; i < 32; ++i) {
        factors[static_cast<std::size_t>(i)] = static_cast<unsigned char>(1 + i);
        factors[static_cast<std::size_t>(32 + i)] = static_cast<unsigned char>(101 + i);
    }
    std::int32_t factSize = 32;
    UpgradeNmsFactors(&factSize, 2, &factors);
    EXPECT_EQ(factSize, 40);
    for (int rec = 0; rec < 2; ++rec) {
        const unsigned char* p = factors.data() + rec * 40;
        int base = rec == 0 ? 1 : 101;
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(p[i], base + i) << "record " << rec << " byte " << i;
        for (int i = 16; i < 20; ++i)
            EXPECT_EQ(p[i], 0) << "record " << rec;
        for (int i = 20; i < 36; ++i)
            EXPECT_EQ(p[i], base + i - 4) << "record " << rec << " byte " << i;
        EXPECT_EQ(detail::GetF32(p + 36), -1.0f) << "record " << rec;
    }

    std::array<unsigned char, blob::kNmsCondSize> cond{};
    for (int i = 0; i < 412; ++i)
        cond[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i % 251 + 1);
    auto old = cond;
    UpgradeNmsCondition(412, &cond);
    for (int i = 72; i < 76; ++i)
        EXPECT_EQ(cond[static_cast<std::size_t>(i)], 0);
    EXPECT_EQ(std::memcmp(cond.data() + 76, old.data() + 72, 340), 0);
    EXPECT_EQ(std::memcmp(cond.data(), old.data(), 72), 0);
    auto same = old;
    UpgradeNmsCondition(416, &same);
    EXPECT_EQ(same, old);
}

}  // namespace
}  // namespace vesk
