// ParseWaveBlock on arbitrary bytes, held in a buffer of exactly their size so that any read
// past the end is caught.
#include <cstring>
#include <memory>

#include "store/samples.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<unsigned char[]> copy(new unsigned char[size ? size : 1]);
    if (size) std::memcpy(copy.get(), data, size);
    vesk::SampleBlock block;
    if (vesk::ParseWaveBlock(copy.get(), size, &block)) {
        if (block.samples.size() * 2 + vesk::kWaveHeaderSize != size) abort();
        if (block.channels != 1 && block.channels != 2) abort();
        if (block.Frames() * block.channels != block.samples.size()) abort();
    }
    return 0;
}
