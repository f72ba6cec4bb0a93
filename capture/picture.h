// The picture of a screen copy: an RGB image turned into an 8-bit colour-table picture block
// (a bitmap information header, 256 colours, bottom-up rows) and that block written as a GIF
// file. Window-free; the button that captures and drags lives in screen_copy.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace vesk {

// Three bytes per pixel (red, green, blue), rows top-down without padding.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

// The picture block: header at 0, colour table (blue, green, red, 0) at 40, rows at 1064.
using PictureBlock = std::vector<std::uint8_t>;

constexpr std::size_t kPictureHeaderSize = 40;
constexpr std::size_t kPictureColours = 256;
constexpr std::size_t kPictureBitsOffset = kPictureHeaderSize + 4 * kPictureColours;  // 1064
// GIF stores sizes in 16 bits.
constexpr int kPictureMaxSide = 65535;

// Bytes per row: one per pixel, padded to a multiple of 4.
std::size_t PictureRowBytes(int width);

// The picture block of an image, or an empty block when the image is empty, larger than
// kPictureMaxSide on a side, or its pixel count does not match its size. An image of at most
// 256 colours keeps every colour exactly; a richer one gets a 6x6x6 colour cube plus its 40
// most frequent other colours, and each pixel takes the nearest entry.
PictureBlock BuildPictureBlock(const RgbImage& image);

enum class PictureStatus {
    Written = 0,
    BadPicture = 1,  // the block is not laid out as above
    EncodeFailed = 2,
    CantWrite = 3,  // the file could not be created or written
};

// Writes the block as a GIF file at `path`, through a temporary file beside it, so an older
// file there is kept whole when writing fails. On failure `error`, when given, receives a
// message for the user that names the path and the reason.
PictureStatus WritePictureFile(const PictureBlock& block, const std::string& path,
                               std::string* error = nullptr);

// The file name of a dragged copy made at local time `t`: "yymmddhhmmss.gif".
std::string TempPictureName(const std::tm& t);
// `folder` joined with that name by exactly one '/'.
std::string TempPicturePath(const std::string& folder, const std::tm& t);
// $TMPDIR when set and not empty, else /tmp.
std::string TempFolder();

}  // namespace vesk
