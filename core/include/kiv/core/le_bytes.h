// le_bytes.h --
//
//     Little-endian reads of packed fields: map records, bitmap headers,
//     cipher and digest blocks. Such fields sit at any alignment, so every
//     multi-byte value is put together byte by byte and never read through
//     a cast pointer (a misaligned float read is undefined and aborts under
//     the sanitizers).
//
//     The le_* loads trust the caller to have checked that the bytes are
//     there. le_reader is for bytes straight from a file or a peer: each
//     read names its offset and is refused when the field would pass the
//     end of what was really read, with the sum done so it cannot wrap.
//     Everything here is inline and safe from any thread.

#ifndef KIV_CORE_LE_BYTES_H
#define KIV_CORE_LE_BYTES_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kiv {

inline uint16_t le_u16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline uint32_t le_u32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint64_t le_u64(const uint8_t* p) {
    return uint64_t(le_u32(p)) | uint64_t(le_u32(p + 4)) << 32;
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

inline double le_f64(const uint8_t* p) {
    uint64_t u = le_u64(p);
    double v;
    std::memcpy(&v, &u, 8);
    return v;
}

inline void store_le_u32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Bounds-checked reads over a borrowed byte block. Each read returns
// false, leaving *out untouched, when the field does not lie wholly
// inside the block; a null block has no bytes.
class le_reader {
public:
    le_reader(const void* data, uint64_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(data != nullptr ? size : 0) {}

    uint64_t size() const { return size_; }
    // Returns: true when the n bytes at `offset` lie inside the block.
    bool has(uint64_t offset, uint64_t n) const { return offset <= size_ && n <= size_ - offset; }

    bool u16(uint64_t offset, uint16_t* out) const { return read(offset, 2, le_u16, out); }
    bool u32(uint64_t offset, uint32_t* out) const { return read(offset, 4, le_u32, out); }
    bool u64(uint64_t offset, uint64_t* out) const { return read(offset, 8, le_u64, out); }
    bool i32(uint64_t offset, int32_t* out) const { return read(offset, 4, le_i32, out); }
    bool f64(uint64_t offset, double* out) const { return read(offset, 8, le_f64, out); }

private:
    template <typename T>
    bool read(uint64_t offset, uint64_t n, T (*load)(const uint8_t*), T* out) const {
        if (!has(offset, n))
            return false;
        *out = load(data_ + offset);
        return true;
    }

    const uint8_t* data_;  // borrowed; outlives the reader
    uint64_t size_;        // bytes readable at data_; 0 for a null block
};

}  // namespace kiv

#endif
