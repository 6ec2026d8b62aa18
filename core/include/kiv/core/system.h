// system.h --
//
//     Small system services every library uses: the thread id, sleeping,
//     the CPUs the process may use and 64-bit network byte order.

#ifndef KIV_CORE_SYSTEM_H
#define KIV_CORE_SYSTEM_H

#include <kiv/core/export.h>

#include <cstdint>

// Returns: the calling thread's system id (non-zero).
KIV_EXTERN_C uint32_t kiv_get_thread_id();
// Sleeps `milliseconds`; 0 sleeps one millisecond.
KIV_EXTERN_C void sleepms(unsigned milliseconds);
// Returns: the CPUs this process may run on (its affinity, as taskset
//     sets it); at least 1. Any thread.
KIV_EXTERN_C unsigned kiv_usable_cpus();
// Returns: `value` with its eight bytes swapped from network to host order.
KIV_EXTERN_C uint64_t ntohll(uint64_t value);

#endif
