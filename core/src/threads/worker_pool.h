// worker_pool.h --
//
//     The parts of the worker pool that the rest of the core pokes: the
//     end of a thread (a slot below the limit opened) and the end of the
//     running flag (idle workers and waiting callers must look again).

#ifndef KIV_CORE_SRC_WORKER_POOL_H
#define KIV_CORE_SRC_WORKER_POOL_H

namespace kiv {

// Wakes callers waiting for a worker at the thread limit.
void pool_slot_freed();
// Wakes every idle worker and waiting caller; kiv_terminate calls it
// after clearing the running flag, so idle workers end and waiting
// callers run their tasks themselves.
void pool_wake_all();

}  // namespace kiv

#endif
