// image_fuzz_util.h --
//
//     Shared by the image fuzz targets: quiet start-up, and a check that
//     every decoded picture really owns the buffer its size claims.

#ifndef KIV_FUZZ_IMAGE_FUZZ_UTIL_H
#define KIV_FUZZ_IMAGE_FUZZ_UTIL_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/log.h>
#include <kiv/image/image_lib.h>

#include <cstdint>
#include <cstdlib>

namespace kiv_fuzz {

// Reads both ends of every row (AddressSanitizer reports a buffer
// shorter than width × height × 4) and aborts on an inconsistent size.
inline void check_picture(kiv::i_image* img) {
    uint64_t stride = uint64_t(img->get_width()) * 4;
    uint64_t expected = stride * img->get_height();
    if (img->get_data() == nullptr || img->get_data_size() != expected)
        abort();
    const uint8_t* p = static_cast<const uint8_t*>(img->get_data());
    volatile uint8_t sum = 0;
    for (uint64_t row = 0; row < expected; row += stride)
        sum = uint8_t(sum + p[row] + p[row + stride - 1]);
}

// Decodes data in `format` and checks the result.
inline void decode(const uint8_t* data, size_t size, unsigned char format) {
    if (size > UINT32_MAX)
        return;
    auto_ptr_t<kiv::i_image> img(kiv_image_create_from_data(data, unsigned(size), 0, 0, format));
    if (img)
        check_picture(img);
}

}  // namespace kiv_fuzz

// The decoders trace every refusal; tracing each input would only slow
// the run down.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kiv_enable_trace(false);
    return 0;
}

#endif
