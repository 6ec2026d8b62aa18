// process.h --
//
//     The running process as the system sees it: the calling thread's id,
//     sleeping, and the CPUs the process may use.

#ifndef KIV_CORE_PROCESS_H
#define KIV_CORE_PROCESS_H

#include <kiv/core/export.h>

#include <cstdint>

// Returns: the calling thread's system id (non-zero).
KIV_EXTERN_C uint32_t kiv_get_thread_id();
// Sleeps `milliseconds`; 0 sleeps one millisecond.
KIV_EXTERN_C void sleepms(unsigned milliseconds);
// Returns: the CPUs this process may run on (its affinity, as taskset
//     sets it); at least 1. Any thread.
KIV_EXTERN_C unsigned kiv_usable_cpus();

#endif
