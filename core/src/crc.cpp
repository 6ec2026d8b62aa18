// crc.cpp --
//
//     CRC-32 and CRC-16 without inversions. CRC-32 runs eight bytes per
//     step through eight derived tables (slicing by eight); the result is
//     the same as the byte-by-byte definition.

#include <kiv/core/checksum.h>

#include <cstring>

namespace {

struct crc32_tables {
    uint32_t t[8][256];
    crc32_tables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < 8; ++s)
                t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

const crc32_tables& tables() {
    static const crc32_tables instance;
    return instance;
}

}  // namespace

unsigned kiv_crc32(const void* data, unsigned data_size, unsigned start_val) {
    if (data == nullptr || data_size == 0)
        return start_val;
    const crc32_tables& tab = tables();
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t crc = start_val;
    while (data_size >= 8) {
        uint32_t lo, hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        lo = __builtin_bswap32(lo);
        hi = __builtin_bswap32(hi);
#endif
        lo ^= crc;
        crc = tab.t[7][lo & 0xFF] ^ tab.t[6][(lo >> 8) & 0xFF] ^ tab.t[5][(lo >> 16) & 0xFF] ^
              tab.t[4][lo >> 24] ^ tab.t[3][hi & 0xFF] ^ tab.t[2][(hi >> 8) & 0xFF] ^
              tab.t[1][(hi >> 16) & 0xFF] ^ tab.t[0][hi >> 24];
        p += 8;
        data_size -= 8;
    }
    while (data_size-- > 0)
        crc = tab.t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

unsigned short kiv_crc16(const void* data, unsigned data_size, unsigned short start_val) {
    if (data == nullptr || data_size == 0)
        return start_val;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    unsigned crc = start_val;
    for (unsigned i = 0; i < data_size; ++i) {
        unsigned b = p[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = ((crc ^ b) & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
            b >>= 1;
        }
    }
    return static_cast<unsigned short>(crc);
}
