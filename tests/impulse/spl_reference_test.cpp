#include <gtest/gtest.h>

#include "impulse/impulse_analysis.h"
#include "impulse/spl_reference.h"
#include "store/samples.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

void AddMeasurement(int folder, int id, int channels, double splL, double splR) {
    CImpulseTable impulses;
    CAcParamTable results;
    ASSERT_TRUE(impulses.Open() && results.Open());
    ImpulseRecord m;
    m.folderId = folder;
    m.impulseId = id;
    m.channel = channels;
    ASSERT_EQ(impulses.Append(m, MakeWaveBlock(1, std::vector<std::int16_t>(4))), 1);
    AcParamRecord r;
    r.impulseId = id;
    r.bands[0].splL = splL;
    r.bands[0].splR = splR;
    ASSERT_EQ(results.Write(r), db::kOk);
}

TEST(SplReference, TheThreeChoices) {
    test::TempStore store;
    test::ScriptedMessages messages;
    EXPECT_EQ(SplReferenceOffset(-1, 1, 80.0), 80.0);  // no results: the maximum starts at 0
    AddMeasurement(1, 1, 2, 50.0, 62.0);
    AddMeasurement(1, 2, 1, 60.0, 70.0);  // one channel: its right level does not count
    AddMeasurement(2, 3, 2, 90.0, 90.0);  // another folder
    EXPECT_EQ(SplReferenceOffset(-2, 1, 80.0), 0.0);
    EXPECT_DOUBLE_EQ(SplReferenceOffset(-1, 1, 80.0), 18.0);
    EXPECT_DOUBLE_EQ(SplReferenceOffset(1, 1, 80.0), 80.0 - ListeningLevel(50.0, 62.0));
    AddMeasurement(1, 4, 1, 55.0, 0.0);
    EXPECT_DOUBLE_EQ(SplReferenceOffset(4, 1, 80.0), 25.0);  // right level 0: the left one
    EXPECT_EQ(SplReferenceOffset(99, 1, 80.0), 0.0);         // unreadable reference
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace vesk
