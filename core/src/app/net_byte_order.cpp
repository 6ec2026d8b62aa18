// net_byte_order.cpp --
//
//     Exported front of the platform layer's 64-bit byte swap.

#include <kiv/core/net_byte_order.h>

#include "../../platform/platform.h"

uint64_t ntohll(uint64_t value) {
    return kiv::platform::swap_net64(value);
}
