// thread_creator.cpp --
//
//     Owner threads: each runs one member function of its owner as a Tcl
//     thread, and the owner can ask them to stop and wait for them on the
//     monotonic clock.

#include "threads/thread_start.h"
#include "time/clock.h"

#include <kiv/core/log.h>
#include <kiv/core/process.h>
#include <kiv/core/threads.h>

#include <atomic>

namespace kiv {

struct thread_creator::state {
    std::mutex lock;                          // guards `running` and orders the waits
    unsigned running = 0;                     // this owner's threads still running
    std::atomic<bool> stop{false};            // a stop was asked
    std::atomic<uint32_t> auto_delete_id{0};  // system thread id; 0 when unset
    clock::deadline_cv changed{lock};         // `running` fell or a stop was asked
};

thread_creator::thread_creator() : state_(new state) {}

thread_creator::~thread_creator() {
    delete state_;
}

bool thread_creator::create_thread(thread_creator* owner, thread_function function, void* arg) {
    if (!threads::permitted() || function == nullptr)
        return false;
    if (owner == nullptr)
        owner = this;
    state& s = *owner->state_;
    threads::count_up();
    std::lock_guard<std::mutex> lock(s.lock);
    s.stop.store(false);
    // Counted before the start, so a thread that ends at once can never
    // take the count below zero.
    ++s.running;
    thread_info* info = new thread_info{owner, function, arg};
    if (!threads::start(thread_main, info)) {
        delete info;
        --s.running;
        threads::count_down();
        kiv_log(0, "thread_creator: could not start a thread");
        return false;
    }
    return true;
}

void thread_creator::thread_main(void* arg) {
    threads::presence presence;
    threads::thread_begin(&presence);
    start_thread(static_cast<thread_info*>(arg), &presence);
    threads::thread_end(&presence);
}

void thread_creator::start_thread(thread_info* info, void* presence) {
    thread_creator* owner = info->owner;
    (owner->*(info->function))(info->arg);
    delete info;
    state& s = *owner->state_;
    uint32_t auto_id = s.auto_delete_id.load();
    bool deletes_owner = auto_id != 0 && auto_id == kiv_get_thread_id();
    if (!deletes_owner)
        threads::leave(static_cast<threads::presence*>(presence));
    {
        // Once `running` falls, a waiting stop_threads may return and its
        // caller delete the owner: nothing of it is touched after this.
        std::lock_guard<std::mutex> lock(s.lock);
        --s.running;
        s.changed.notify_all();
    }
    if (deletes_owner) {
        // Deleting the owner while another of its threads still runs
        // would pull the object from under it: such an owner is left.
        if (owner->stop_threads(5))
            delete owner;
        else
            kiv_log(0, "thread_creator: threads still running, the owner is not deleted");
    }
}

bool thread_creator::thread_running() {
    return !state_->stop.load() && state_->auto_delete_id.load() == 0;
}

bool thread_creator::stop_threads(unsigned timeout) {
    state& s = *state_;
    uint64_t deadline = clock::mono_ms() + static_cast<uint64_t>(timeout) * 1000;
    std::unique_lock<std::mutex> lock(s.lock);
    s.stop.store(true);
    s.changed.notify_all();
    while (s.running > 0) {
        if (clock::mono_ms() >= deadline)
            return false;
        s.changed.wait_until(lock, deadline);
    }
    return true;
}

unsigned thread_creator::get_threads_count() {
    std::lock_guard<std::mutex> lock(state_->lock);
    return state_->running;
}

void thread_creator::enable_auto_delete_thread(unsigned long thread_id) {
    state& s = *state_;
    std::lock_guard<std::mutex> lock(s.lock);
    s.auto_delete_id.store(static_cast<uint32_t>(thread_id));
    s.changed.notify_all();
}

bool thread_creator::pause_thread(unsigned ms) {
    state& s = *state_;
    std::unique_lock<std::mutex> lock(s.lock);
    if (thread_running())
        s.changed.wait_for_real(lock, ms);
    return thread_running();
}

}  // namespace kiv
