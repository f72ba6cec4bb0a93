#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

#include "noise/templates.h"
#include "tests/noise/learnt_template.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

using test::Learnt;

TEST(Templates, DataLayoutMergeAndWeights) {
    NoiseTemplateData d = Learnt(3, 60, 0.02f, 0.005f, 0.7f);
    d.upper = {70, 0.03f, 0.006f, 0.9f};
    d.useUpper = {1, 0, 1, 0};
    d.useLower = {0, 1, 0, 1};
    unsigned char b[100];
    EncodeTemplateData(d, b);
    float phi0 = 0;
    std::memcpy(&phi0, b, 4);
    EXPECT_EQ(phi0, 60.0f);
    EXPECT_EQ(b[80], 3);  // the sample count
    EXPECT_EQ(b[48], 1);  // Phi(0) upper limit in use
    EXPECT_EQ(b[60], 1);  // tau-e lower limit in use
    NoiseTemplateData back = DecodeTemplateData(b);
    EXPECT_EQ(std::memcmp(&back, &d, sizeof d), 0);

    // 3 measurements at 60 dB merged with 1 at 64 dB: 4 at 61 dB, squares summed.
    NoiseTemplateData imported = Learnt(3, 60, 0.02f, 0.005f, 0.7f);
    const NoiseTemplateData existing = Learnt(1, 64, 0.02f, 0.005f, 0.7f);
    MergeTemplate(&imported, existing);
    EXPECT_EQ(imported.count, 4);
    EXPECT_FLOAT_EQ(imported.standard[kPhi0], 61.0f);
    EXPECT_FLOAT_EQ(imported.sumSquares[kPhi0], 3 * 3600.0f + 4096.0f);
    NoiseTemplateData hand, other;
    hand.standard = {1, 2, 3, 4};
    other.standard = {5, 6, 7, 8};
    MergeTemplate(&hand, other);
    EXPECT_EQ(hand.standard[kTau1], 3.0f);  // both by hand: unchanged
    // Counts from a hostile file neither overflow nor weigh negatively.
    NoiseTemplateData many = Learnt(std::numeric_limits<std::int32_t>::max(), 60, 1, 1, 1);
    MergeTemplate(&many, Learnt(2, 64, 1, 1, 1));
    EXPECT_EQ(many.count, kMaxTemplateCount);
    EXPECT_FLOAT_EQ(many.standard[kPhi0], 60.0f);
    NoiseTemplateData negative = Learnt(-5, 10, 1, 1, 1);
    MergeTemplate(&negative, Learnt(1, 64, 1, 1, 1));
    EXPECT_EQ(negative.count, 1);
    EXPECT_FLOAT_EQ(negative.standard[kPhi0], 64.0f);

    // No learnt template: equal weights, w0 kept. Equal means with spread: raw weights all 0,
    // which would divide by zero, give equal weights too.
    std::vector<NoiseTemplate> none{{0, "hand", hand}};
    FactorWeights w = ComputeWeights(none, 0.25f);
    EXPECT_EQ(w.w, (std::array<float, 4>{0.25f, 1, 1, 1}));
    NoiseTemplateData spread = Learnt(4, 60, 0.02f, 0.005f, 0.7f);
    for (auto& q : spread.sumSquares)
        q *= 1.5f;
    w = ComputeWeights({{0, "a", spread}, {1, "b", spread}}, 0.0f);
    EXPECT_EQ(w.w, (std::array<float, 4>{0, 1, 1, 1}));
    // Two templates whose tau-e means differ much more than their spread: tau-e weighs most.
    NoiseTemplateData a = Learnt(4, 60, 0.01f, 0.005f, 0.5f),
                      c = Learnt(4, 60, 0.05f, 0.0052f, 0.52f);
    for (auto* t : {&a, &c})
        for (std::size_t f = 1; f < 4; ++f)
            t->sumSquares[f] = static_cast<float>(t->sumSquares[f] * 1.01);
    w = ComputeWeights({{0, "a", a}, {1, "c", c}}, 0.0f);
    EXPECT_EQ(w.w[kTauE], 1.0f);
    EXPECT_LT(w.w[kTau1], 1.0f);
    EXPECT_GT(w.w[kTau1], 0.0f);
}

TEST(Templates, WeightsFileAndNstFiles) {
    test::TempDir dir;
    FactorWeights w = ReadFactorWeights(dir.Path());  // missing: the defaults
    EXPECT_EQ(w.w, (std::array<float, 4>{0, 1, 1, 1}));
    test::WriteFileBytes(dir.File(kWeightsFileName), {1, 2, 3});  // short: the defaults
    EXPECT_EQ(ReadFactorWeights(dir.Path()).w, (std::array<float, 4>{0, 1, 1, 1}));
    w.w = {0.5f, 0.25f, 1, 0.125f};
    ASSERT_TRUE(WriteFactorWeights(w, dir.Path()));
    EXPECT_EQ(test::ReadFileBytes(dir.File(kWeightsFileName)).size(), 16u);
    EXPECT_EQ(ReadFactorWeights(dir.Path()).w, w.w);
    EXPECT_FALSE(WriteFactorWeights(w, dir.File("no/such/folder")));

    // Round trip; a 40-character name is cut to the 32 of NSTMPNAME and stays terminated.
    std::vector<NstEntry> entries{{"Car", Learnt(2, 70, 0.01f, 0.004f, 0.6f)},
                                  {std::string(40, 'x'), {}}};
    ASSERT_TRUE(WriteNstFile(dir.File("t.nst"), entries));
    std::vector<unsigned char> bytes = test::ReadFileBytes(dir.File("t.nst"));
    ASSERT_EQ(bytes.size(), 266u);
    EXPECT_EQ(bytes[133 + 32], 0);
    std::vector<NstEntry> back;
    ASSERT_TRUE(ReadNstFile(dir.File("t.nst"), &back));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].name, "Car");
    EXPECT_EQ(back[0].data.count, 2);
    EXPECT_EQ(back[1].name, std::string(32, 'x'));

    // Hostile files: a name without terminator and a cut last entry read nothing beyond the
    // file, missing bytes counting as 0; a large file reads whole.
    std::vector<unsigned char> hostile = bytes;
    std::fill(hostile.begin(), hostile.begin() + 33, 'y');
    hostile.resize(hostile.size() + 50, 'z');
    test::WriteFileBytes(dir.File("h.nst"), hostile);
    ASSERT_TRUE(ReadNstFile(dir.File("h.nst"), &back));
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].name, std::string(32, 'y'));
    EXPECT_EQ(back[2].data.count, 0);  // bytes 33..49 of the last entry only
    hostile.resize(32);
    test::WriteFileBytes(dir.File("short.nst"), hostile);
    ASSERT_TRUE(ReadNstFile(dir.File("short.nst"), &back));
    EXPECT_TRUE(back.empty());
    std::vector<unsigned char> many;
    for (int k = 0; k < 100000; ++k)
        many.insert(many.end(), bytes.begin(), bytes.begin() + 133);
    test::WriteFileBytes(dir.File("many.nst"), many);
    ASSERT_TRUE(ReadNstFile(dir.File("many.nst"), &back));
    EXPECT_EQ(back.size(), 100000u);

    // Values no one could have typed refuse the whole file, saying which entry is wrong.
    NoiseTemplateData nan = Learnt(2, 70, 0.01f, 0.004f, 0.6f);
    nan.upper[kTau1] = std::numeric_limits<float>::quiet_NaN();
    NoiseTemplateData huge = Learnt(2, 70, 0.01f, 0.004f, 0.6f);
    huge.count = std::numeric_limits<std::int32_t>::max();
    const struct {
        NstEntry entry;
        const char* problem;
    } refused[] = {{{"Bus", nan}, "entry 2 holds a value that is not a number"},
                   {{"   ", {}}, "entry 2 has no name"},
                   {{"Bus", huge}, "entry 2 has an impossible count"}};
    for (const auto& r : refused) {
        ASSERT_TRUE(WriteNstFile(dir.File("bad.nst"), {entries[0], r.entry}));
        std::string problem;
        EXPECT_FALSE(ReadNstFile(dir.File("bad.nst"), &back, &problem)) << r.problem;
        EXPECT_EQ(problem, r.problem);
        EXPECT_TRUE(back.empty()) << r.problem;
    }
    EXPECT_FALSE(ReadNstFile(dir.File("missing.nst"), &back));
}

TEST(Templates, EditorActionsOnAStore) {
    test::TempStore store;
    test::ScriptedMessages messages;
    std::int32_t id = -1;
    NoiseTemplateData d = Learnt(5, 60, 0.02f, 0.005f, 0.7f);
    ASSERT_EQ(SaveNewTemplate("Car", d, &id), TemplateAction::Done);
    EXPECT_EQ(id, 0);  // the first template of an empty table
    std::vector<NoiseTemplate> all;
    ASSERT_TRUE(LoadTemplates(&all));
    EXPECT_EQ(all[0].data.count, 0);  // "&New" stores no statistics
    EXPECT_EQ(SaveNewTemplate("", d, &id), TemplateAction::NoName);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], "Please input a name for this noise source.");
    ASSERT_EQ(SaveNewTemplate("Bus", d, &id), TemplateAction::Done);
    ASSERT_EQ(SaveNewTemplate("Train", d, &id), TemplateAction::Done);
    ASSERT_EQ(DeleteTemplate(1), TemplateAction::Done);
    ASSERT_EQ(SaveNewTemplate("Tram", d, &id), TemplateAction::Done);
    EXPECT_EQ(id, 3);  // after 0 and 2 the next free ID is 3
    ASSERT_EQ(UpdateTemplate(3, "Tram 2", d), TemplateAction::Done);
    ASSERT_TRUE(LoadTemplates(&all));
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[2].name, "Tram 2");

    // An import merges by name (two entries of one name apply one after the other), adds the
    // rest, and recomputes the weights even when nothing was selected.
    test::TempDir dir;
    const std::string file = dir.File("in.nst");
    ASSERT_TRUE(WriteNstFile(file, {{"Car", Learnt(3, 60, 0.02f, 0.005f, 0.7f)},
                                    {"Car", Learnt(1, 64, 0.02f, 0.005f, 0.7f)},
                                    {"Ship", Learnt(2, 50, 0.1f, 0.01f, 0.3f)}}));
    WriteFactorWeights(FactorWeights{{0.5f, 9, 9, 9}});
    ASSERT_EQ(ImportTemplates(file, {false, false, false}, true), TemplateAction::Done);
    EXPECT_EQ(ReadFactorWeights().w, (std::array<float, 4>{0.5f, 1, 1, 1}));
    ASSERT_TRUE(LoadTemplates(&all));
    EXPECT_EQ(all.size(), 3u);
    int imported = 0;
    ASSERT_EQ(ImportTemplates(file, {true, true, true}, true, &imported), TemplateAction::Done);
    EXPECT_EQ(imported, 3);
    ASSERT_TRUE(LoadTemplates(&all));
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].name, "Car");
    EXPECT_EQ(all[0].data.count, 4);  // 3 then 1 merged; the hand-made Car had no statistics
    EXPECT_FLOAT_EQ(all[0].data.standard[kPhi0], 61.0f);
    EXPECT_EQ(all[3].name, "Ship");
    EXPECT_EQ(all[3].id, 4);
    ASSERT_EQ(ImportTemplates(file, {false, false, true}, false), TemplateAction::Done);
    ASSERT_TRUE(LoadTemplates(&all));
    EXPECT_EQ(all[3].data.count, 2);  // replaced, not merged
    // "&Update" clears the statistics.
    ASSERT_EQ(UpdateTemplate(0, "Car", all[0].data), TemplateAction::Done);
    ASSERT_TRUE(LoadTemplates(&all));
    EXPECT_EQ(all[0].data.count, 0);
    EXPECT_EQ(all[0].data.sumSquares[kPhi0], 0.0f);

    // Export of nothing writes an empty file; of two IDs, in ID order.
    ASSERT_EQ(ExportTemplates(dir.File("none.nst"), {}), TemplateAction::Done);
    EXPECT_EQ(test::ReadFileBytes(dir.File("none.nst")).size(), 0u);
    ASSERT_EQ(ExportTemplates(dir.File("two.nst"), {4, 0}), TemplateAction::Done);
    std::vector<NstEntry> out;
    ASSERT_TRUE(ReadNstFile(dir.File("two.nst"), &out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].name, "Car");
    EXPECT_EQ(out[1].name, "Ship");
    EXPECT_EQ(ExportTemplates(dir.File("no/such/x.nst"), {0}), TemplateAction::CantOpenFile);
    EXPECT_EQ(messages.shown.back(), "Can't open export file.");
    EXPECT_EQ(ImportTemplates(dir.File("missing.nst"), {}, true), TemplateAction::CantOpenFile);
    EXPECT_EQ(messages.shown.back(), "Can't open import file.");
}

// Names longer than NSTMPNAME are cut between characters, and the cut name is what later
// lookups by the long name find.
TEST(Templates, LongNamesAreCutBetweenCharacters) {
    test::TempStore store;
    test::ScriptedMessages messages;
    std::string kanji;  // eleven 3-byte characters: 33 bytes
    for (int k = 0; k < 11; ++k)
        kanji += "\xe6\x97\xa5";
    std::int32_t id = -1;
    ASSERT_EQ(SaveNewTemplate(kanji, {}, &id), TemplateAction::Done);
    ASSERT_EQ(SaveNewTemplate(std::string(40, 'a'), {}, &id), TemplateAction::Done);
    std::vector<NoiseTemplate> all;
    ASSERT_TRUE(LoadTemplates(&all));
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].name, kanji.substr(0, 30));
    EXPECT_EQ(all[1].name, std::string(32, 'a'));
    ASSERT_EQ(MergeLearntTemplate(kanji, Learnt(2, 60, 0.02f, 0.005f, 0.7f), &id),
              TemplateAction::Done);
    EXPECT_EQ(id, 0);
    ASSERT_TRUE(LoadTemplates(&all));
    EXPECT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].data.count, 2);
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace vesk
