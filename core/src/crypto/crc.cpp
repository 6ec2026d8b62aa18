// crc.cpp --
//
//     CRC-32 and CRC-16 without inversions. CRC-32 is zlib's sum (the
//     same polynomial, reflected) with its inversion at the start and at
//     the end undone, so zlib's fast implementation does the work.

#include <kiv/core/checksum.h>

#include <zlib.h>

unsigned kiv_crc32(const void* data, unsigned data_size, unsigned start_val) {
    if (data == nullptr || data_size == 0)
        return start_val;
    // zlib inverts the value it is handed and the value it returns.
    uLong crc = static_cast<uint32_t>(~start_val);
    const Bytef* p = static_cast<const Bytef*>(data);
    crc = crc32(crc, p, static_cast<uInt>(data_size));
    return static_cast<unsigned>(~static_cast<uint32_t>(crc));
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
