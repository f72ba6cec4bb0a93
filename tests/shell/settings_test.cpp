#include <gtest/gtest.h>

#include <filesystem>

#include "shell/settings.h"
#include "store/file_io.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

TEST(Settings, DefaultsSitAtTheirOffsets) {
    auto b = AppSettings().Encode();
    const unsigned char* p = b.data();
    EXPECT_EQ(detail::GetU32(p + 8), 0u);    // no saved placement
    EXPECT_EQ(detail::GetU32(p + 20), 1u);   // first band
    EXPECT_EQ(detail::GetU32(p + 24), 10u);  // last band
    EXPECT_EQ(static_cast<std::int32_t>(detail::GetU32(p + 32)), -1);
    EXPECT_EQ(detail::GetF64(p + 48), 10.0);
    EXPECT_EQ(detail::GetF64(p + 56), -20.0);
    EXPECT_EQ(detail::GetU32(p + 64), 1u);
    EXPECT_EQ(detail::GetF64(p + 72), 0.5);
    EXPECT_EQ(detail::GetF64(p + 80), 0.1);
    EXPECT_EQ(detail::GetF64(p + 96), 100.0);
    // Running ACF block at 104, noise block at 172.
    EXPECT_EQ(detail::GetF64(p + 104), 2.0);
    EXPECT_EQ(detail::GetF64(p + 112), 0.1);
    EXPECT_EQ(detail::GetU32(p + 120), 1u);
    EXPECT_EQ(detail::GetF64(p + 124), 0.2);
    EXPECT_EQ(static_cast<std::int32_t>(detail::GetU32(p + 132)), -1);
    EXPECT_EQ(detail::GetF64(p + 144), 5.0);
    EXPECT_EQ(detail::GetF64(p + 152), -5.0);
    EXPECT_EQ(detail::GetF64(p + 160), 50.0);
    EXPECT_EQ(static_cast<std::int32_t>(detail::GetU32(p + 172 + 28)), -2);
    EXPECT_EQ(detail::GetF64(p + 172 + 40), 1.0);
    EXPECT_EQ(detail::GetF64(p + 172 + 48), -10.0);
    EXPECT_EQ(detail::GetF64(p + 240), 0.1);
    EXPECT_EQ(detail::GetU32(p + 248), 0u);
    EXPECT_EQ(detail::GetU32(p + 252), 1u);
    EXPECT_EQ(detail::GetU32(p + 256), 1u);
}

TEST(Settings, FileLengthsDecideBetweenDefaultsAndTheStoredBlock) {
    test::TempDir dir;
    std::string path = dir.File("Vesk.dat");
    auto defaults = AppSettings().Encode();
    EXPECT_EQ(AppSettings::Load(path).Encode(), defaults);  // missing

    std::vector<unsigned char> stored(264);
    for (std::size_t i = 0; i < stored.size(); ++i)
        stored[i] = static_cast<unsigned char>(i * 7 + 3);
    test::WriteFileBytes(path, std::vector<unsigned char>(stored.begin(), stored.begin() + 263));
    EXPECT_EQ(AppSettings::Load(path).Encode(), defaults);  // short

    test::WriteFileBytes(path, stored);  // taken as it is, whatever it holds
    auto exact = AppSettings::Load(path).Encode();
    EXPECT_TRUE(std::equal(exact.begin(), exact.end(), stored.begin()));

    auto longer = stored;
    longer.resize(300, 0xAB);
    test::WriteFileBytes(path, longer);
    auto first = AppSettings::Load(path).Encode();
    EXPECT_TRUE(std::equal(first.begin(), first.end(), stored.begin()));
}

TEST(Settings, SaveReplacesTheFileWholeAndReportsFailure) {
    test::TempDir dir;
    std::string path = dir.File("Vesk.dat");
    AppSettings s;
    s.frameWidth = 800;
    s.impulse.tsubNoise = 0.25;
    s.noise.peakDetectTime = 2.5;
    s.stepsAfterMax = 4;
    ASSERT_TRUE(s.Save(path));
    EXPECT_EQ(test::ReadFileBytes(path).size(), 264u);
    AppSettings back = AppSettings::Load(path);
    EXPECT_EQ(back.frameWidth, 800);
    EXPECT_EQ(back.impulse.tsubNoise, 0.25);
    EXPECT_EQ(back.noise.peakDetectTime, 2.5);
    EXPECT_EQ(back.stepsAfterMax, 4);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    EXPECT_FALSE(s.Save(dir.File("no/such/folder/Vesk.dat")));
}

}  // namespace
}  // namespace vesk
