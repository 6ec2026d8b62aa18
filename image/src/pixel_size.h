// pixel_size.h --
//
//     The one place where picture sizes from outside (file headers, raw
//     block sizes, blob headers) become byte counts. Everything is
//     computed in 64 bits and measured against the image cap, so a
//     crafted header is refused before anything is allocated.

#ifndef KIV_IMAGE_PIXEL_SIZE_H
#define KIV_IMAGE_PIXEL_SIZE_H

#include <kiv/image/image.h>

#include <cstdint>

namespace kiv {

// Returns: width × height × bytes_per_pixel, or 0 when a side is 0 or the
//     product passes image::max_data_size.
inline uint64_t checked_pixel_bytes(uint64_t width, uint64_t height, unsigned bytes_per_pixel) {
    if (width == 0 || height == 0 || bytes_per_pixel == 0)
        return 0;
    if (width > UINT32_MAX || height > UINT32_MAX)
        return 0;
    uint64_t pixels = width * height;  // both below 2^32: cannot overflow
    if (pixels > image::max_data_size / bytes_per_pixel)
        return 0;
    return pixels * bytes_per_pixel;
}

// Returns: the RGBA buffer size of a width × height picture, or 0 when
//     it is empty or over the cap.
inline uint64_t checked_rgba_bytes(uint64_t width, uint64_t height) {
    return checked_pixel_bytes(width, height, 4);
}

}  // namespace kiv

#endif
