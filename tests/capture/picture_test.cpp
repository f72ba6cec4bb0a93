#include "capture/picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>

#include "tests/capture/gif_reader.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

RgbImage Image(int width, int height, std::uint32_t (*colour)(int x, int y)) {
    RgbImage image;
    image.width = width;
    image.height = height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = colour(x, y);
            image.pixels.push_back(static_cast<std::uint8_t>(c >> 16));
            image.pixels.push_back(static_cast<std::uint8_t>(c >> 8));
            image.pixels.push_back(static_cast<std::uint8_t>(c));
        }
    return image;
}

std::uint32_t Pixel(const RgbImage& image, int x, int y) {
    const std::uint8_t* p =
        image.pixels.data() + 3 * (static_cast<std::size_t>(y) * image.width + x);
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}

// The colour of a block pixel, (x, y) counted from the top.
std::uint32_t BlockPixel(const PictureBlock& block, int width, int height, int x, int y) {
    const std::size_t row = static_cast<std::size_t>(height - 1 - y);
    const std::uint8_t index = block[kPictureBitsOffset + row * PictureRowBytes(width) + x];
    const std::uint8_t* entry = block.data() + kPictureHeaderSize + 4 * index;
    return (std::uint32_t{entry[2]} << 16) | (std::uint32_t{entry[1]} << 8) | entry[0];
}

std::uint32_t U32(const PictureBlock& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

// Five colours in stripes, distinct per row, so that a row order mistake shows.
std::uint32_t Stripes(int x, int y) {
    static const std::uint32_t colours[] = {0xff0000, 0x00ff00, 0x0000ff, 0xf0f0f0, 0x102030};
    return colours[(x + 2 * y) % 5];
}

TEST(PictureBlock, LayoutIsTheBitmapHeaderTableAndPaddedBottomUpRows) {
    const int widths[] = {1, 3, 4, 5, 8, 9};
    const std::size_t expected[] = {4, 4, 4, 8, 8, 12};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(PictureRowBytes(widths[i]), expected[i]) << "width " << widths[i];

    const RgbImage image = Image(5, 3, Stripes);
    const PictureBlock block = BuildPictureBlock(image);
    ASSERT_EQ(block.size(), 1064u + 8 * 3);
    EXPECT_EQ(U32(block, 0), 40u);
    EXPECT_EQ(U32(block, 4), 5u);
    EXPECT_EQ(U32(block, 8), 3u);  // positive: bottom-up
    EXPECT_EQ(block[12] | (block[13] << 8), 1);
    EXPECT_EQ(block[14] | (block[15] << 8), 8);
    for (std::size_t at = 16; at < 40; at += 4)
        EXPECT_EQ(U32(block, at), 0u) << "header offset " << at;
    for (std::size_t i = 0; i < 256; ++i)
        EXPECT_EQ(block[40 + 4 * i + 3], 0) << "reserved byte of colour " << i;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(BlockPixel(block, 5, 3, x, y), Stripes(x, y)) << x << "," << y;
        for (int pad = 5; pad < 8; ++pad)
            EXPECT_EQ(block[1064 + 8 * y + pad], 0) << "padding of row " << y;
    }
}

TEST(PictureBlock, ManyColoursGetTheCubeAndTheMostFrequentExactly) {
    // A large background, a frequent graph colour off the cube, and noise of many colours.
    std::mt19937 random(7);
    RgbImage image;
    image.width = 64;
    image.height = 64;
    std::map<std::uint32_t, int> counts;
    for (int i = 0; i < 64 * 64; ++i) {
        std::uint32_t c = i < 2048 ? 0xf6f5f4 : i < 2560 ? 0x3584e4 : random() & 0xffffff;
        ++counts[c];
        image.pixels.push_back(static_cast<std::uint8_t>(c >> 16));
        image.pixels.push_back(static_cast<std::uint8_t>(c >> 8));
        image.pixels.push_back(static_cast<std::uint8_t>(c));
    }
    ASSERT_GT(counts.size(), 256u);
    const PictureBlock block = BuildPictureBlock(image);
    ASSERT_FALSE(block.empty());
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const std::uint32_t want = Pixel(image, x, y), got = BlockPixel(block, 64, 64, x, y);
            if (want == 0xf6f5f4 || want == 0x3584e4) {
                ASSERT_EQ(got, want) << "frequent colour at " << x << "," << y;
                continue;
            }
            // At least as near as the nearest point of the 6x6x6 cube, by the eye-weighted
            // distance (3 red, 4 green, 2 blue) the conversion uses.
            int toGot = 0, toCube = 0;
            for (int shift : {16, 8, 0}) {
                const int weight = shift == 16 ? 3 : shift == 8 ? 4 : 2;
                const int a = (want >> shift) & 0xff, b = (got >> shift) & 0xff;
                const int cube = (a + 25) / 51 * 51;
                toGot += weight * (a - b) * (a - b);
                toCube += weight * (a - cube) * (a - cube);
            }
            ASSERT_LE(toGot, toCube) << "pixel " << x << "," << y;
        }
}

TEST(PictureBlock, BadImagesGiveNoBlockAndBadBlocksNoFile) {
    RgbImage empty;
    EXPECT_TRUE(BuildPictureBlock(empty).empty());
    RgbImage shortPixels = Image(4, 4, Stripes);
    shortPixels.pixels.pop_back();
    EXPECT_TRUE(BuildPictureBlock(shortPixels).empty());
    RgbImage tooWide;
    tooWide.width = kPictureMaxSide + 1;
    tooWide.height = 1;
    tooWide.pixels.resize(3 * static_cast<std::size_t>(tooWide.width));
    EXPECT_TRUE(BuildPictureBlock(tooWide).empty());
    RgbImage negative = Image(2, 2, Stripes);
    negative.height = -2;
    EXPECT_TRUE(BuildPictureBlock(negative).empty());

    test::TempDir dir;
    const PictureBlock good = BuildPictureBlock(Image(5, 3, Stripes));
    PictureBlock truncated = good;
    truncated.resize(truncated.size() - 1);
    PictureBlock wrongDepth = good;
    wrongDepth[14] = 24;
    PictureBlock topDown = good;
    topDown[11] = 0xff;  // height -3
    for (const PictureBlock& bad :
         {PictureBlock{}, PictureBlock(1064, 0), truncated, wrongDepth, topDown}) {
        std::string error;
        EXPECT_EQ(WritePictureFile(bad, dir.File("bad.gif"), &error), PictureStatus::BadPicture);
        EXPECT_NE(error.find(dir.File("bad.gif")), std::string::npos) << error;
        EXPECT_FALSE(std::filesystem::exists(dir.File("bad.gif")));
    }
}

TEST(PictureFile, GifReadsBackWithTheBlocksSizePaletteAndPixels) {
    test::TempDir dir;
    const RgbImage image = Image(7, 5, Stripes);
    const PictureBlock block = BuildPictureBlock(image);
    const std::string path = dir.File("stripes.gif");
    std::string error;
    ASSERT_EQ(WritePictureFile(block, path, &error), PictureStatus::Written) << error;

    const test::DecodedGif gif = test::ReadGif(path);
    ASSERT_TRUE(gif.ok) << gif.error;
    EXPECT_EQ(gif.width, 7);
    EXPECT_EQ(gif.height, 5);
    ASSERT_EQ(gif.palette.size(), 256u);
    for (std::size_t i = 0; i < 256; ++i) {
        const std::uint8_t* entry = block.data() + 40 + 4 * i;
        EXPECT_EQ(gif.palette[i],
                  static_cast<std::uint32_t>((entry[2] << 16) | (entry[1] << 8) | entry[0]))
            << "colour " << i;
    }
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            EXPECT_EQ(gif.indices[static_cast<std::size_t>(y) * 7 + x],
                      block[1064 + static_cast<std::size_t>(4 - y) * 8 + x])
                << x << "," << y;
            EXPECT_EQ(gif.Rgb(x, y), Stripes(x, y)) << x << "," << y;
        }

    // Writing again replaces the file and leaves no temporary beside it.
    const PictureBlock other = BuildPictureBlock(Image(2, 9, Stripes));
    ASSERT_EQ(WritePictureFile(other, path), PictureStatus::Written);
    EXPECT_EQ(test::ReadGif(path).height, 9);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(PictureFile, FailedWritesSayWhyAndKeepWhatWasThere) {
    test::TempDir dir;
    const PictureBlock block = BuildPictureBlock(Image(3, 3, Stripes));
    test::WriteFileBytes(dir.File("plain"), {1, 2, 3});
    const std::string targets[] = {
        dir.File("missing/copy.gif"),  // no such folder
        dir.File("plain/copy.gif"),    // a file where the folder should be
        dir.Path(),                    // a folder where the file should be
    };
    for (const std::string& target : targets) {
        std::string error;
        EXPECT_EQ(WritePictureFile(block, target, &error), PictureStatus::CantWrite) << target;
        EXPECT_NE(error.find(target), std::string::npos) << error;
        EXPECT_NE(error.find("Can't write"), std::string::npos) << error;
        EXPECT_GT(error.size(), target.size() + 25) << "a reason follows: " << error;
    }
    EXPECT_EQ(test::ReadFileBytes(dir.File("plain")), (std::vector<unsigned char>{1, 2, 3}));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1)
        << "no temporary file is left behind";
}

TEST(TempPicture, NameComesFromTheLocalTimeAndJoinsTheFolderOnce) {
    std::tm t{};
    t.tm_year = 124;  // 2024
    t.tm_mon = 2;     // March
    t.tm_mday = 3;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 7;
    EXPECT_EQ(TempPictureName(t), "240303090507.gif");
    EXPECT_EQ(TempPicturePath("/tmp", t), "/tmp/240303090507.gif");
    EXPECT_EQ(TempPicturePath("/tmp/", t), "/tmp/240303090507.gif");
    EXPECT_EQ(TempPicturePath("", t), "240303090507.gif");
    std::tm late{};
    late.tm_year = 100;  // 2000: the year modulo 100 is 00
    late.tm_mon = 11;
    late.tm_mday = 31;
    late.tm_hour = 23;
    late.tm_min = 59;
    late.tm_sec = 59;
    EXPECT_EQ(TempPictureName(late), "001231235959.gif");
}

}  // namespace
}  // namespace vesk
