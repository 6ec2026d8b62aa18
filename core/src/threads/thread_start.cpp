// thread_start.cpp --
//
//     The process-wide thread count and the start of Tcl threads. A
//     thread leaves the count once its work is done, before it tells its
//     owner, so when an owner sees its threads gone the count has fallen
//     too; once the count is 0 no thread started by the core runs code of
//     any loaded library. A Tcl thread-exit handler takes off a thread
//     that ended inside its work, and a pool worker after the thread's
//     other exit handlers (its script engine's) have run.

#include "threads/thread_start.h"

#include "threads/worker_pool.h"
#include "time/clock.h"

#include <kiv/core/host_offer.h>

#include <tcl.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace kiv::threads {

namespace {

struct count_state {
    std::mutex lock;
    int live = 0;                       // threads started and not yet ended
    clock::deadline_cv zero{lock};      // notified whenever live falls
};

// Never destroyed: threads may end during static destruction.
count_state& counter() {
    static count_state* s = new count_state;
    return *s;
}

std::atomic<bool> permission{false};
std::atomic<int> limit{150};
std::atomic<unsigned> failures_asked{0};

struct start_record {
    void (*body)(void*);
    void* arg;
};

Tcl_ThreadCreateType tcl_thread_proc(ClientData data) {
    start_record record = *static_cast<start_record*>(data);
    delete static_cast<start_record*>(data);
    record.body(record.arg);
    TCL_THREAD_CREATE_RETURN;
}

void exit_handler(ClientData data) {
    leave(static_cast<presence*>(data));
}

}  // namespace

bool permitted() {
    return permission.load(std::memory_order_acquire);
}

void permit() {
    permission.store(true, std::memory_order_release);
}

int worker_limit() {
    return limit.load(std::memory_order_relaxed);
}

void set_worker_limit(int value) {
    limit.store(value, std::memory_order_relaxed);
}

void count_up() {
    count_state& s = counter();
    std::lock_guard<std::mutex> lock(s.lock);
    ++s.live;
}

bool count_up_below(int max) {
    count_state& s = counter();
    std::lock_guard<std::mutex> lock(s.lock);
    if (s.live >= max)
        return false;
    ++s.live;
    return true;
}

void count_down() {
    count_state& s = counter();
    {
        std::lock_guard<std::mutex> lock(s.lock);
        --s.live;
        s.zero.notify_all();
    }
    // A slot below the limit may have opened for a waiting pool caller.
    pool_slot_freed();
}

int count() {
    count_state& s = counter();
    std::lock_guard<std::mutex> lock(s.lock);
    return s.live;
}

int wait_for_zero(uint64_t deadline_ms) {
    count_state& s = counter();
    std::unique_lock<std::mutex> lock(s.lock);
    while (s.live > 0 && clock::mono_ms() < deadline_ms)
        s.zero.wait_until(lock, deadline_ms);
    return s.live;
}

bool start(void (*body)(void*), void* arg) {
    unsigned asked = failures_asked.load();
    while (asked > 0) {
        if (failures_asked.compare_exchange_weak(asked, asked - 1))
            return false;
    }
    start_record* record = new start_record{body, arg};
    Tcl_ThreadId id;
    if (Tcl_CreateThread(&id, tcl_thread_proc, record, TCL_THREAD_STACK_DEFAULT, TCL_THREAD_NOFLAGS) != TCL_OK) {
        delete record;
        return false;
    }
    return true;
}

void thread_begin(presence* p) {
    Tcl_CreateThreadExitHandler(exit_handler, p);
}

void leave(presence* p) {
    if (!p->counted)
        return;
    p->counted = false;
    count_down();
    if (p->pool_worker)
        pool_worker_left(p);
}

void thread_end(presence*) {
    // The thread leaves the count from its exit handler, which runs after
    // every thread-exit handler registered later (Tcl runs them last in,
    // first out): a script engine the thread owns is destroyed, running
    // library code, while the thread still counts.
    Tcl_ExitThread(0);
    // Tcl_ExitThread does not return; a Tcl build that did would break
    // the count's promise, so stop loudly.
    std::abort();
}

}  // namespace kiv::threads

namespace {

// Controls for the project's tests (host_offer.h): make the next `count`
// thread starts fail, and read the live count and its limit.
void fail_thread_starts(unsigned count) {
    kiv::threads::failures_asked.store(count);
}
int threads_count() {
    return kiv::threads::count();
}
int worker_limit() {
    return kiv::threads::worker_limit();
}

const bool offered = kiv::offer_to_host("core.fail_thread_starts", &fail_thread_starts) &&
                     kiv::offer_to_host("core.threads_count", &threads_count) &&
                     kiv::offer_to_host("core.worker_limit", &worker_limit);

}  // namespace
