// system.h -- for the include switch only; goes in the next commit.
#ifndef KIV_CORE_SYSTEM_H
#define KIV_CORE_SYSTEM_H
#include <kiv/core/net_byte_order.h>
#include <kiv/core/process.h>
#endif
