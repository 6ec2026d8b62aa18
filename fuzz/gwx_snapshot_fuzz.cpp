// gwx_snapshot_fuzz.cpp --
//
//     Reads any bytes as a snapshot of the GWX map control, asking for
//     the size the bytes themselves claim (so the pixel loop is reached),
//     and for a fixed small size. A picture that comes back must have
//     exactly the size asked for, opaque pixels, and every byte of the
//     input must have been read within bounds (the sanitizers watch).
//     The reader is built into the target from its source.

#include "snapshot_reader.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/log.h>

#include <cstdint>
#include <cstdlib>

namespace {

void check(const uint8_t* data, size_t size, unsigned width, unsigned height) {
    auto_ptr_t<kiv::i_image> img(kiv::decode_snapshot(data, size, width, height));
    if (!img)
        return;
    if (img->get_width() != width || img->get_height() != height)
        std::abort();
    const unsigned char* px = static_cast<const unsigned char*>(img->get_data());
    for (uint64_t i = 3; i < uint64_t(width) * height * 4; i += 4)
        if (px[i] != 255)
            std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kiv_enable_trace(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 26) {
        uint32_t w = uint32_t(data[18]) | uint32_t(data[19]) << 8 | uint32_t(data[20]) << 16 |
                     uint32_t(data[21]) << 24;
        uint32_t h = uint32_t(data[22]) | uint32_t(data[23]) << 8 | uint32_t(data[24]) << 16 |
                     uint32_t(data[25]) << 24;
        if (w > 0 && h > 0 && uint64_t(w) * h <= 4u << 20)
            check(data, size, w, h);
    }
    check(data, size, 3, 2);
    return 0;
}
