// worker_pool.h --
//
//     The parts of the worker pool that the rest of the core pokes: the
//     end of a thread (a slot below the limit opened) and the end of the
//     running flag (idle workers and waiting callers must look again).

#ifndef KIV_CORE_SRC_WORKER_POOL_H
#define KIV_CORE_SRC_WORKER_POOL_H

#include <cstdint>

namespace kiv {

namespace threads {
struct presence;
}

// Wakes callers waiting for a worker at the thread limit.
void pool_slot_freed();
// Wakes every idle worker and waiting caller; kiv_terminate calls it
// after clearing the running flag, so idle workers end and waiting
// callers run their tasks themselves.
void pool_wake_all();
// Tells the pool that the worker thread of `p` has left the thread
// count (its very last step). Called on that thread, no lock held.
void pool_worker_left(threads::presence* p);
// Waits until every pool worker still alive is inside a task, that is
// until the workers that had no task when the running flag fell have
// ended and left the thread count, or until mono_ms() reaches
// `deadline_ms`. kiv_terminate calls it after clearing the flag and
// pool_wake_all, so the threads it then counts are those still busy
// with someone's work, not the pool's own on their way out.
// Returns: whether no worker outside a task was left.
bool pool_wait_idle_ended(uint64_t deadline_ms);

}  // namespace kiv

#endif
