// le_bytes.h --
//
//     Little-endian reads of map file fields. Records in a map file are
//     packed with no alignment, so every multi-byte field is copied out
//     byte by byte here and never read through a cast pointer (a
//     misaligned float read is undefined and aborts under the
//     sanitizers). The caller has checked that the bytes are there.

#ifndef KIV_OZM_LE_BYTES_H
#define KIV_OZM_LE_BYTES_H

#include <cstdint>
#include <cstring>

namespace kiv {
namespace ozm {

inline uint16_t le_u16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline uint32_t le_u32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline int32_t le_i32(const uint8_t* p) {
    uint32_t u = le_u32(p);
    int32_t v;
    std::memcpy(&v, &u, 4);
    return v;
}

inline float le_f32(const uint8_t* p) {
    uint32_t u = le_u32(p);
    float v;
    std::memcpy(&v, &u, 4);
    return v;
}

}  // namespace ozm
}  // namespace kiv

#endif
