// byte_order.h --
//
//     The little-endian numbers of a map file, as the writer's parts lay
//     them down: appended to a growing buffer (put_*) or written over
//     bytes already reserved (set_*). Floats go as their IEEE bits.

#ifndef KIV_OZM_WRITER_SRC_BYTE_ORDER_H
#define KIV_OZM_WRITER_SRC_BYTE_ORDER_H

#include <cstdint>
#include <cstring>
#include <vector>

namespace kiv {
namespace ozm_writer {

inline void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

inline void put_f32(std::vector<uint8_t>& out, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    put_u32(out, v);
}

// `at` must have 4 bytes.
inline void set_u32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        at[i] = uint8_t(v >> (8 * i));
}

inline void set_f32(uint8_t* at, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    set_u32(at, v);
}

}  // namespace ozm_writer
}  // namespace kiv

#endif
