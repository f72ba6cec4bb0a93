#include "capture/picture.h"

#include <gif_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "base/atomic_file.h"

namespace vesk {

namespace {

std::uint32_t Pack(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return (std::uint32_t{r} << 16) | (std::uint32_t{g} << 8) | b;
}
std::uint8_t Red(std::uint32_t c) {
    return static_cast<std::uint8_t>(c >> 16);
}
std::uint8_t Green(std::uint32_t c) {
    return static_cast<std::uint8_t>(c >> 8);
}
std::uint8_t Blue(std::uint32_t c) {
    return static_cast<std::uint8_t>(c);
}

// Squared distance weighted roughly by the eye's sensitivity (green most, blue least).
int Distance(std::uint32_t a, std::uint32_t b) {
    const int dr = Red(a) - Red(b), dg = Green(a) - Green(b), db = Blue(a) - Blue(b);
    return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t GetU32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

// The colour table for the distinct colours of an image (with their pixel counts), most
// frequent first so that the order does not depend on the hash map.
std::vector<std::uint32_t> ChoosePalette(
    const std::unordered_map<std::uint32_t, std::uint32_t>& counts) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> byCount(counts.begin(), counts.end());
    std::sort(byCount.begin(), byCount.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    std::vector<std::uint32_t> palette;
    palette.reserve(kPictureColours);
    if (byCount.size() <= kPictureColours) {
        for (const auto& entry : byCount)
            palette.push_back(entry.first);
        return palette;
    }
    // A uniform cube covers every hue; the remaining 40 entries keep the large areas (window
    // backgrounds, graph paper) exactly as they are.
    constexpr int kLevels[6] = {0, 51, 102, 153, 204, 255};
    for (int r : kLevels)
        for (int g : kLevels)
            for (int b : kLevels)
                palette.push_back(Pack(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                       static_cast<std::uint8_t>(b)));
    const auto inCube = [](std::uint32_t c) {
        return Red(c) % 51 == 0 && Green(c) % 51 == 0 && Blue(c) % 51 == 0;
    };
    for (const auto& entry : byCount) {
        if (palette.size() == kPictureColours) break;
        if (!inCube(entry.first)) palette.push_back(entry.first);
    }
    return palette;
}

std::uint8_t NearestIndex(const std::vector<std::uint32_t>& palette, std::uint32_t colour) {
    std::size_t best = 0;
    int bestDistance = Distance(palette[0], colour);
    for (std::size_t i = 1; i < palette.size() && bestDistance > 0; ++i) {
        const int d = Distance(palette[i], colour);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return static_cast<std::uint8_t>(best);
}

struct GifWriter {
    std::vector<std::uint8_t> bytes;
};

int AppendBytes(GifFileType* gif, const GifByteType* data, int size) {
    auto* writer = static_cast<GifWriter*>(gif->UserData);
    writer->bytes.insert(writer->bytes.end(), data, data + size);
    return size;
}

struct MapDeleter {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

// The GIF file of a checked block, in memory; false with giflib's reason on failure.
bool EncodeGif(const PictureBlock& block, int width, int height, std::vector<std::uint8_t>* out,
               std::string* reason) {
    GifColorType colours[kPictureColours];
    for (std::size_t i = 0; i < kPictureColours; ++i) {
        const std::uint8_t* entry = block.data() + kPictureHeaderSize + 4 * i;
        colours[i].Blue = entry[0];
        colours[i].Green = entry[1];
        colours[i].Red = entry[2];
    }
    std::unique_ptr<ColorMapObject, MapDeleter> map(
        GifMakeMapObject(static_cast<int>(kPictureColours), colours));
    if (!map) {
        *reason = "out of memory";
        return false;
    }
    GifWriter writer;
    int error = 0;
    GifFileType* gif = EGifOpen(&writer, AppendBytes, &error);
    if (!gif) {
        *reason = GifErrorString(error) ? GifErrorString(error) : "giflib failed";
        return false;
    }
    const std::size_t rowBytes = PictureRowBytes(width);
    std::vector<GifPixelType> line(static_cast<std::size_t>(width));
    bool ok = EGifPutScreenDesc(gif, width, height, 8, 0, map.get()) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    // The block's rows run bottom-up, GIF's top-down.
    for (int y = 0; ok && y < height; ++y) {
        const std::size_t row = static_cast<std::size_t>(height - 1 - y);
        const std::uint8_t* src = block.data() + kPictureBitsOffset + row * rowBytes;
        std::copy(src, src + width, line.begin());
        ok = EGifPutLine(gif, line.data(), width) == GIF_OK;
    }
    if (!ok) error = gif->Error;
    // Closing writes the trailer, and frees the file in every case.
    int closeError = 0;
    if (EGifCloseFile(gif, &closeError) != GIF_OK && ok) {
        ok = false;
        error = closeError;
    }
    if (!ok) {
        *reason = GifErrorString(error) ? GifErrorString(error) : "giflib failed";
        return false;
    }
    *out = std::move(writer.bytes);
    return true;
}

std::string CantWriteMessage(const std::string& path, const std::string& reason) {
    return "Can't write the picture file " + path + " (" + reason + ").";
}

}  // namespace

std::size_t PictureRowBytes(int width) {
    return width <= 0 ? 0 : (static_cast<std::size_t>(width) * 8 + 31) / 32 * 4;
}

PictureBlock BuildPictureBlock(const RgbImage& image) {
    const int w = image.width, h = image.height;
    if (w <= 0 || h <= 0 || w > kPictureMaxSide || h > kPictureMaxSide) return {};
    const std::size_t pixelCount = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    if (image.pixels.size() != 3 * pixelCount) return {};

    std::unordered_map<std::uint32_t, std::uint32_t> index;  // colour -> count, then entry
    for (std::size_t i = 0; i < pixelCount; ++i) {
        const std::uint8_t* p = image.pixels.data() + 3 * i;
        ++index[Pack(p[0], p[1], p[2])];
    }
    const std::vector<std::uint32_t> palette = ChoosePalette(index);
    for (auto& entry : index)
        entry.second = NearestIndex(palette, entry.first);

    const std::size_t rowBytes = PictureRowBytes(w);
    PictureBlock block(kPictureBitsOffset + rowBytes * static_cast<std::size_t>(h), 0);
    std::uint8_t* header = block.data();
    PutU32(header + 0, static_cast<std::uint32_t>(kPictureHeaderSize));
    PutU32(header + 4, static_cast<std::uint32_t>(w));
    PutU32(header + 8, static_cast<std::uint32_t>(h));
    PutU16(header + 12, 1);  // planes
    PutU16(header + 14, 8);  // bits per pixel; compression and the rest stay 0
    for (std::size_t i = 0; i < palette.size(); ++i) {
        std::uint8_t* entry = block.data() + kPictureHeaderSize + 4 * i;
        entry[0] = Blue(palette[i]);
        entry[1] = Green(palette[i]);
        entry[2] = Red(palette[i]);
    }
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* src = image.pixels.data() + 3 * static_cast<std::size_t>(y) * w;
        std::uint8_t* dst =
            block.data() + kPictureBitsOffset + static_cast<std::size_t>(h - 1 - y) * rowBytes;
        for (int x = 0; x < w; ++x, src += 3)
            dst[x] = static_cast<std::uint8_t>(index[Pack(src[0], src[1], src[2])]);
    }
    return block;
}

PictureStatus WritePictureFile(const PictureBlock& block, const std::string& path,
                               std::string* error) {
    const auto fail = [&](PictureStatus status, const std::string& reason) {
        if (error) *error = CantWriteMessage(path, reason);
        return status;
    };
    if (block.size() < kPictureBitsOffset) return fail(PictureStatus::BadPicture, "no picture");
    const std::uint8_t* header = block.data();
    const auto width = static_cast<std::int32_t>(GetU32(header + 4));
    const auto height = static_cast<std::int32_t>(GetU32(header + 8));
    if (GetU32(header) != kPictureHeaderSize || width <= 0 || width > kPictureMaxSide ||
        height <= 0 || height > kPictureMaxSide || GetU16(header + 12) != 1 ||
        GetU16(header + 14) != 8 || GetU32(header + 16) != 0 ||
        block.size() <
            kPictureBitsOffset + PictureRowBytes(width) * static_cast<std::size_t>(height))
        return fail(PictureStatus::BadPicture, "not an 8-bit picture");

    std::vector<std::uint8_t> gif;
    std::string reason;
    if (!EncodeGif(block, width, height, &gif, &reason))
        return fail(PictureStatus::EncodeFailed, reason);
    errno = 0;
    if (!WriteFileAtomically(path, gif.data(), gif.size())) {
        const int code = errno;
        return fail(PictureStatus::CantWrite, code ? std::strerror(code) : "write failed");
    }
    return PictureStatus::Written;
}

std::string TempPictureName(const std::tm& t) {
    char name[96];
    std::snprintf(name, sizeof name, "%02d%02d%02d%02d%02d%02d.gif",
                  static_cast<int>((1900L + t.tm_year) % 100), t.tm_mon + 1, t.tm_mday, t.tm_hour,
                  t.tm_min, t.tm_sec);
    return name;
}

std::string TempPicturePath(const std::string& folder, const std::tm& t) {
    if (folder.empty()) return TempPictureName(t);
    return folder + (folder.back() == '/' ? "" : "/") + TempPictureName(t);
}

std::string TempFolder() {
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

}  // namespace vesk
