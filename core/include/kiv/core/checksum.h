// checksum.h --
//
//     CRC checksums used to key caches and check data. Neither function
//     inverts its value before or after: the standard CRC-32 of a buffer is
//     ~kiv_crc32(data, size, 0xFFFFFFFF), and feeding one result in as the
//     next start value continues over concatenated data. Cache folder
//     names depend on these exact values.

#ifndef KIV_CORE_CHECKSUM_H
#define KIV_CORE_CHECKSUM_H

#include <kiv/core/export.h>

#include <cstdint>

// CRC-32 (reflected polynomial 0xEDB88320). Null data or size 0 returns
// start_val. Safe from any thread.
KIV_EXTERN_C unsigned kiv_crc32(const void* data, unsigned data_size, unsigned start_val);
// CRC-16 (bit-reflected CCITT, 0x8408). Null data or size 0 returns
// start_val. Safe from any thread.
KIV_EXTERN_C unsigned short kiv_crc16(const void* data, unsigned data_size, unsigned short start_val);

#endif
