// thread_start.h --
//
//     What owner threads and pool workers share: the permission to start
//     threads (given by the core's library entry), the process-wide count
//     of live threads with its limit, and starting one Tcl thread.
//
//     Lock order: the pool mutex may be held while the count is changed;
//     the count's own lock is never held while anything else is taken.

#ifndef KIV_CORE_SRC_THREAD_START_H
#define KIV_CORE_SRC_THREAD_START_H

#include <cstdint>

namespace kiv::threads {

// The permission, set by the core's library entry and never cleared.
bool permitted();
void permit();

// The limit on the count for pool workers (owner threads are never
// refused, but count).
int worker_limit();
void set_worker_limit(int limit);

// Adds one to the count. Always succeeds.
void count_up();
// Adds one to the count when it is below `limit`. Returns: false at the limit.
bool count_up_below(int limit);
// Takes one from the count and wakes those waiting for it to fall.
void count_down();
int count();
// Waits until the count is 0 or mono_ms() reaches `deadline_ms`.
// Returns: the count at the end.
int wait_for_zero(uint64_t deadline_ms);

// Starts a detached Tcl thread running body(arg). The body calls
// thread_begin() first and thread_end() last. The caller has counted
// the thread already. Returns: false when the system refused (or a test
// asked for a failure); the caller then undoes its count.
bool start(void (*body)(void*), void* arg);

// Whether the calling thread is still on the count. Lives on the
// thread's own stack from thread_begin to thread_end.
struct presence {
    bool counted = true;
    bool pool_worker = false;  // the pool is told when the thread leaves the count
    bool in_task = false;      // a pool worker inside its task (set and read under the pool mutex)
};
// Registers the Tcl thread-exit handler that takes the thread off the
// count should it end without leave() (a Tcl_ExitThread inside its work).
void thread_begin(presence* p);
// Takes the calling thread off the count, once: the thread runs no more
// code of the framework's callers, only the core's own way out.
void leave(presence* p);
// Ends the calling Tcl thread (Tcl_ExitThread); the thread leaves the
// count, if still on it, after its other thread-exit handlers ran. Never
// returns.
[[noreturn]] void thread_end(presence* p);

}  // namespace kiv::threads

#endif
