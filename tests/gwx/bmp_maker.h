// bmp_maker.h --
//
//     Hand-made BMP files for the tests of the snapshot reader and for
//     the scripted control's snapshots: every header field is written
//     here, independently of the library's own writer, so a test can
//     also spoil each one.

#ifndef KIV_TESTS_GWX_BMP_MAKER_H
#define KIV_TESTS_GWX_BMP_MAKER_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kiv_test {

inline void put_le(std::vector<unsigned char>& out, size_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// A bitmap whose pixel (x, y), y counted from the top of the picture, is
// rgb(x, y) as 0xRRGGBB. 24 bits: rows stored bottom-up (top-down when
// `height` is negative), each padded to 4 bytes. 8 bits: a grey palette
// and the red value as the index.
inline std::vector<unsigned char> make_bmp(int width, int height, const std::function<uint32_t(int, int)>& rgb,
                                           uint16_t bits = 24) {
    int rows = height < 0 ? -height : height;
    size_t palette = bits <= 8 ? 4u * 256 : 0;
    size_t stride = ((size_t(width) * bits / 8) + 3) & ~size_t(3);
    size_t offset = 54 + palette;
    std::vector<unsigned char> out(offset + stride * rows, 0);
    out[0] = 'B';
    out[1] = 'M';
    put_le(out, 2, static_cast<uint32_t>(out.size()), 4);
    put_le(out, 10, static_cast<uint32_t>(offset), 4);
    put_le(out, 14, 40, 4);
    put_le(out, 18, static_cast<uint32_t>(width), 4);
    put_le(out, 22, static_cast<uint32_t>(height), 4);
    put_le(out, 26, 1, 2);
    put_le(out, 28, bits, 2);
    put_le(out, 34, static_cast<uint32_t>(stride * rows), 4);
    for (size_t i = 0; i < palette / 4; ++i)
        for (int c = 0; c < 3; ++c)
            out[54 + 4 * i + c] = static_cast<unsigned char>(i);
    for (int y = 0; y < rows; ++y) {
        int stored = height < 0 ? y : rows - 1 - y;  // row index in the file
        unsigned char* row = out.data() + offset + size_t(stored) * stride;
        for (int x = 0; x < width; ++x) {
            uint32_t c = rgb(x, y);
            if (bits == 24) {
                row[3 * x] = static_cast<unsigned char>(c);
                row[3 * x + 1] = static_cast<unsigned char>(c >> 8);
                row[3 * x + 2] = static_cast<unsigned char>(c >> 16);
            } else if (bits == 8) {
                row[x] = static_cast<unsigned char>(c >> 16);
            }
        }
    }
    return out;
}

}  // namespace kiv_test

#endif
