// worker_pool.cpp --
//
//     The pool of background workers behind kiv_bg_thread.
//
//     Every worker record is either busy (handed a task, not in the idle
//     queue) or idle (in the queue), and it changes between the two only
//     under the pool mutex: a caller takes a worker off the queue and
//     hands it the task in one step, and a worker ends only after it has
//     found itself idle and taken itself off the queue under that same
//     lock. So a task is never handed to a worker that is ending, and no
//     record is written after it was freed.
//
//     A caller wakes the worker it handed a task to after letting the
//     pool mutex go, so the worker does not wake only to block on it.
//     That notification may reach the record after its worker ran the
//     task, went idle and ended, so records are never freed: an ended
//     worker's record waits in a spare list for the next new worker, and
//     a late notification is a harmless spurious wake-up.
//
//     Idle workers sleep, with the pool mutex let go, on their own
//     semaphore until a task, the end of the running flag, or their
//     300-second idle deadline (monotonic clock). A semaphore rather than
//     a condition variable: waking from a condition variable takes its
//     mutex back in a state that makes the next unlock a system call
//     even when nobody waits, one more per task on the path of every
//     request a server hands to the pool. Callers at the thread limit
//     wait on the pool's condition variable for an idle worker or a free
//     slot, at most 10 seconds, then run the task themselves.
//
//     The pool counts its live workers and those inside a task, so that
//     shut-down can wait for the workers that had nothing to do when the
//     running flag fell: they end at once, running nobody's code, and
//     only then does shut-down count the threads still at work.

#include "threads/thread_start.h"
#include "threads/worker_pool.h"
#include "time/clock.h"

#include <kiv/core/i_core.h>
#include <kiv/core/log.h>
#include <kiv/core/host_offer.h>
#include <kiv/core/threads.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <vector>

namespace kiv {

namespace {

const uint64_t idle_limit_ms = 300 * 1000;   // an idle worker ends after this
const uint64_t hand_over_ms = 10 * 1000;     // a caller waits this long for a worker

struct worker {
    worker() { sem_init(&signal, 0, 0); }
    sem_t signal;                  // posted: a task came, running ended, or the clock moved
    bool busy = false;             // a task is assigned and not yet taken up
    uint64_t last_active = 0;      // mono ms when the worker last took or finished a task
    kiv_task_function task = nullptr;
    void* data = nullptr;          // the task's private copy (malloc-ed); null when none
    unsigned size = 0;
};

struct pool_state : clock::listener {
    std::mutex lock;
    std::deque<worker*> idle;           // longest idle at the front
    std::vector<worker*> spare;         // records of ended workers, for reuse
    std::condition_variable callers;    // callers waiting at the thread limit
    int waiting_callers = 0;            // how many wait on `callers`
    int live = 0;                       // workers counted as threads and not yet off the count
    int in_task = 0;                    // of those, the ones inside a task
    std::condition_variable settled;    // `live` fell or `in_task` rose, for shut-down
    int waiting_shutdowns = 0;          // how many wait on `settled`

    void wake_all() {
        std::lock_guard<std::mutex> guard(lock);
        for (worker* w : idle)
            sem_post(&w->signal);
        callers.notify_all();
        settled.notify_all();
    }
    // Pool mutex held.
    void note_settling() {
        if (waiting_shutdowns > 0)
            settled.notify_all();
    }
    void clock_advanced() override { wake_all(); }
};

// Never destroyed: workers may outlive static destruction.
pool_state& pool() {
    static pool_state* p = [] {
        pool_state* s = new pool_state;
        clock::add_listener(s);
        return s;
    }();
    return *p;
}

// Keeps the record of a worker that ended (or never started) for the
// next new worker. Pool mutex held.
void recycle(pool_state& p, worker* w) {
    w->busy = false;
    w->task = nullptr;
    w->data = nullptr;
    w->size = 0;
    try {
        p.spare.push_back(w);
    } catch (const std::bad_alloc&) {
        // Kept nowhere: a late notification may still reach it, so it is
        // left allocated rather than freed.
    }
}

// Returns: a record for a new worker, a spare one when there is one.
//     Pool mutex held. Null when out of memory.
worker* take_record(pool_state& p) {
    if (!p.spare.empty()) {
        worker* w = p.spare.back();
        p.spare.pop_back();
        return w;
    }
    return new (std::nothrow) worker;
}

void worker_main(void* arg) {
    threads::presence presence;
    presence.pool_worker = true;
    threads::thread_begin(&presence);
    worker* w = static_cast<worker*>(arg);
    pool_state& p = pool();
    std::unique_lock<std::mutex> lock(p.lock);
    for (;;) {
        if (w->busy) {
            w->busy = false;
            kiv_task_function task = w->task;
            void* data = w->data;
            unsigned size = w->size;
            w->data = nullptr;
            presence.in_task = true;
            ++p.in_task;
            p.note_settling();
            lock.unlock();
            task(kiv_is_running(), data, size);
            std::free(data);
            lock.lock();
            presence.in_task = false;
            --p.in_task;
            w->last_active = clock::mono_ms();
            p.idle.push_back(w);
            if (p.waiting_callers > 0) {
                // One idle worker serves one caller; woken after the
                // mutex is let go, it need not block on it.
                lock.unlock();
                p.callers.notify_one();
                lock.lock();
            }
            continue;
        }
        // Not busy, so this worker is in the idle queue and no caller can
        // take it while the lock is held.
        uint64_t expiry = w->last_active + idle_limit_ms;
        if (!kiv_is_running() || clock::mono_ms() > expiry) {
            p.idle.erase(std::find(p.idle.begin(), p.idle.end(), w));
            break;
        }
        lock.unlock();
        clock::wait_until(w->signal, expiry + 1);
        lock.lock();
    }
    recycle(p, w);
    lock.unlock();
    threads::thread_end(&presence);
}

}  // namespace

void pool_slot_freed() {
    pool_state& p = pool();
    std::lock_guard<std::mutex> guard(p.lock);
    p.callers.notify_all();
}

void pool_wake_all() {
    pool().wake_all();
}

void pool_worker_left(threads::presence* presence) {
    pool_state& p = pool();
    std::lock_guard<std::mutex> guard(p.lock);
    --p.live;
    // A worker whose thread ended inside its task (Tcl_ExitThread there)
    // never came back to say the task was done.
    if (presence->in_task) {
        presence->in_task = false;
        --p.in_task;
    }
    p.note_settling();
}

bool pool_wait_idle_ended(uint64_t deadline_ms) {
    pool_state& p = pool();
    std::unique_lock<std::mutex> lock(p.lock);
    ++p.waiting_shutdowns;
    while (p.live > p.in_task && clock::mono_ms() < deadline_ms)
        clock::wait_until(p.settled, lock, deadline_ms);
    --p.waiting_shutdowns;
    return p.live <= p.in_task;
}

}  // namespace kiv

using namespace kiv;

namespace {

enum hand_over_result { handed, ran_here, refused };

// Hands `task` with `size` bytes at `data` to an idle worker, else to a
// new one while the thread limit allows. At the limit `wait` makes the
// caller wait up to 10 seconds for a worker and then run the task itself
// (running false); without it the caller is refused at once. Every other
// failure (the core not running, no memory, no thread) runs the task on
// the caller when `wait` is set and refuses it otherwise.
hand_over_result hand_over(kiv_task_function task, void* data, unsigned size, bool wait) {
    auto give_up = [&] {
        if (!wait)
            return refused;
        task(false, data, size);
        return ran_here;
    };
    if (!threads::permitted() || !kiv_is_running())
        return give_up();
    void* copy = nullptr;
    if (data != nullptr) {
        copy = std::malloc(size > 0 ? size : 1);
        if (copy == nullptr)
            return give_up();
        std::memcpy(copy, data, size);
    }
    auto not_handed = [&] {
        std::free(copy);
        return give_up();
    };

    pool_state& p = pool();
    uint64_t deadline = clock::mono_ms() + hand_over_ms;
    std::unique_lock<std::mutex> lock(p.lock);
    for (;;) {
        if (!kiv_is_running()) {
            lock.unlock();
            return not_handed();
        }
        if (!p.idle.empty()) {
            worker* w = p.idle.front();
            p.idle.pop_front();
            w->task = task;
            w->data = copy;
            w->size = size;
            w->last_active = clock::mono_ms();
            w->busy = true;
            lock.unlock();
            sem_post(&w->signal);
            return handed;
        }
        if (threads::count_up_below(threads::worker_limit()))
            break;
        if (!wait || clock::mono_ms() > deadline) {
            lock.unlock();
            return not_handed();
        }
        ++p.waiting_callers;
        clock::wait_until(p.callers, lock, deadline + 1);
        --p.waiting_callers;
    }
    // A slot is counted for the new worker; every failure below gives it back.
    worker* w = kiv_is_running() ? take_record(p) : nullptr;
    if (w != nullptr)
        ++p.live;
    lock.unlock();
    if (w == nullptr) {
        threads::count_down();
        return not_handed();
    }
    w->task = task;
    w->data = copy;
    w->size = size;
    w->last_active = clock::mono_ms();
    w->busy = true;
    if (!threads::start(worker_main, w)) {
        {
            std::lock_guard<std::mutex> guard(p.lock);
            recycle(p, w);
            --p.live;
            p.note_settling();
        }
        threads::count_down();
        kiv_log(0, wait ? "kiv_bg_thread: could not start a worker thread; the task runs on the caller"
                        : "kiv_bg_thread: could not start a worker thread; the task was refused");
        return not_handed();
    }
    return handed;
}

}  // namespace

void kiv_bg_thread(kiv_task_function task, void* data, unsigned size) {
    if (task != nullptr)
        hand_over(task, data, size, true);
}

bool kiv_bg_thread_try(kiv_task_function task, void* data, unsigned size) {
    return task != nullptr && hand_over(task, data, size, false) == handed;
}

namespace {

// For the project's tests (host_offer.h): the workers waiting idle.
int idle_workers() {
    kiv::pool_state& p = kiv::pool();
    std::lock_guard<std::mutex> guard(p.lock);
    return static_cast<int>(p.idle.size());
}

const bool offered = kiv::offer_to_host("core.idle_workers", &idle_workers);

}  // namespace
