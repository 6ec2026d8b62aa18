// net_byte_order.h --
//
//     64-bit network byte order, which the C library's ntohl and ntohs
//     stop short of.

#ifndef KIV_CORE_NET_BYTE_ORDER_H
#define KIV_CORE_NET_BYTE_ORDER_H

#include <kiv/core/export.h>

#include <cstdint>

// Returns: `value` with its eight bytes swapped from network to host order.
KIV_EXTERN_C uint64_t ntohll(uint64_t value);

#endif
