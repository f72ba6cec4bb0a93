#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <vector>

#include "shell/settings.h"
#include "store/file_io.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

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

TEST(Settings, FilesOfAnyLengthAndContentLoad) {
    test::TempDir dir;
    const std::string path = dir.File(kSettingsFileName);
    const auto defaults = AppSettings().Encode();
    std::mt19937 g(5);
    for (int trial = 0; trial < 300; ++trial) {
        std::size_t length = trial < 270 ? static_cast<std::size_t>(trial) : 264 + g() % 2000;
        if (trial % 10 == 3) length = 264;
        std::vector<unsigned char> b(length);
        for (auto& c : b)
            c = static_cast<unsigned char>(g());
        // Doubles of every kind: NaN, infinities, denormals.
        if (length >= 264 && trial % 4 == 0)
            for (std::size_t at = 40; at + 8 <= 264; at += 8)
                detail::PutU64(b.data() + at, 0x7FF0000000000000ull | g());
        test::WriteFileBytes(path, b);
        auto loaded = AppSettings::Load(path).Encode();
        if (length < kAppSettingsSize)
            EXPECT_EQ(loaded, defaults) << length;
        else
            EXPECT_TRUE(std::equal(loaded.begin(), loaded.end(), b.begin())) << length;
    }
    // A folder where the file should be, and no file at all.
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    EXPECT_EQ(AppSettings::Load(path).Encode(), defaults);
    EXPECT_EQ(AppSettings::Load(dir.File("missing.dat")).Encode(), defaults);
}

}  // namespace
}  // namespace vesk
