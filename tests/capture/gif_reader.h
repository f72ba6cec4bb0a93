// Reads a GIF file back through giflib's decoder, for the capture tests.
#pragma once

#include <gif_lib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vesk::test {

struct DecodedGif {
    bool ok = false;
    std::string error;
    int width = 0, height = 0;
    std::vector<std::uint32_t> palette;  // 0xRRGGBB
    std::vector<std::uint8_t> indices;   // rows top-down
    std::uint32_t Rgb(int x, int y) const {
        return palette.at(indices.at(static_cast<std::size_t>(y) * width + x));
    }
};

// The first image of the file with the global colour table.
inline DecodedGif ReadGif(const std::string& path) {
    DecodedGif out;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif) {
        out.error = GifErrorString(error) ? GifErrorString(error) : "cannot open";
        return out;
    }
    if (DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1 || !gif->SColorMap) {
        out.error = "cannot decode";
    } else {
        out.ok = true;
        out.width = gif->SWidth;
        out.height = gif->SHeight;
        const ColorMapObject* map = gif->SColorMap;
        for (int i = 0; i < map->ColorCount; ++i)
            out.palette.push_back((std::uint32_t{map->Colors[i].Red} << 16) |
                                  (std::uint32_t{map->Colors[i].Green} << 8) | map->Colors[i].Blue);
        const SavedImage& image = gif->SavedImages[0];
        const std::size_t n =
            static_cast<std::size_t>(image.ImageDesc.Width) * image.ImageDesc.Height;
        out.indices.assign(image.RasterBits, image.RasterBits + n);
        out.ok = image.ImageDesc.Width == out.width && image.ImageDesc.Height == out.height;
    }
    DGifCloseFile(gif, &error);
    return out;
}

}  // namespace vesk::test
