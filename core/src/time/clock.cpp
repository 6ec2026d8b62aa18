// clock.cpp --
//
//     Real and driven clocks, and deadline waits that work with both.

#include "time/clock.h"

#include <kiv/core/host_offer.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <vector>

namespace kiv::clock {

namespace {

std::atomic<bool> driven{false};
std::atomic<uint64_t> driven_mono{0};  // ms; meaningful while driven
std::atomic<uint64_t> driven_wall{0};  // ms since 1970; meaningful while driven

struct listener_list {
    std::mutex lock;
    std::vector<listener*> items;
};

// Never destroyed, so threads that outlive static destruction stay safe.
listener_list& listeners() {
    static listener_list* l = new listener_list;
    return *l;
}

uint64_t real_mono_ms() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint64_t real_wall_ms() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

void wake_listeners() {
    listener_list& l = listeners();
    std::lock_guard<std::mutex> lock(l.lock);
    for (listener* item : l.items)
        item->clock_advanced();
}

}  // namespace

uint64_t mono_ms() {
    return driven.load(std::memory_order_acquire) ? driven_mono.load() : real_mono_ms();
}

uint32_t wall_seconds() {
    uint64_t ms = driven.load(std::memory_order_acquire) ? driven_wall.load() : real_wall_ms();
    return static_cast<uint32_t>(ms / 1000);
}

void add_listener(listener* l) {
    listener_list& list = listeners();
    std::lock_guard<std::mutex> lock(list.lock);
    list.items.push_back(l);
}

void remove_listener(listener* l) {
    listener_list& list = listeners();
    std::lock_guard<std::mutex> lock(list.lock);
    list.items.erase(std::remove(list.items.begin(), list.items.end(), l), list.items.end());
}

void wait_until(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, uint64_t deadline_ms) {
    if (driven.load(std::memory_order_acquire)) {
        // Advancing the driven clock notifies; the real-time bound only
        // keeps a waiter from hanging should a test forget to advance.
        if (mono_ms() < deadline_ms)
            cv.wait_for(lock, std::chrono::milliseconds(200));
        return;
    }
    uint64_t now = real_mono_ms();
    if (now >= deadline_ms)
        return;
    cv.wait_for(lock, std::chrono::milliseconds(deadline_ms - now));
}

void wait_until(sem_t& sem, uint64_t deadline_ms) {
    uint64_t wait_ms;
    if (driven.load(std::memory_order_acquire)) {
        if (mono_ms() >= deadline_ms)
            return;
        wait_ms = 200;  // as above: only a bound should a test forget to advance
    } else {
        uint64_t now = real_mono_ms();
        if (now >= deadline_ms)
            return;
        wait_ms = deadline_ms - now;
    }
    // steady_clock is CLOCK_MONOTONIC here, the clock real_mono_ms reads.
    timespec until{};
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += static_cast<time_t>(wait_ms / 1000);
    until.tv_nsec += static_cast<long>(wait_ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    while (sem_clockwait(&sem, CLOCK_MONOTONIC, &until) != 0 && errno == EINTR) {
    }
}

deadline_cv::deadline_cv(std::mutex& guard) : guard_(guard) {
    add_listener(this);
}

deadline_cv::~deadline_cv() {
    remove_listener(this);
}

void deadline_cv::wait_for_real(std::unique_lock<std::mutex>& lock, unsigned ms) {
    cv_.wait_for(lock, std::chrono::milliseconds(ms));
}

void deadline_cv::clock_advanced() {
    // Taking the waiters' mutex orders this notification after any
    // waiter that read the old time and is about to block.
    std::lock_guard<std::mutex> lock(guard_);
    cv_.notify_all();
}

}  // namespace kiv::clock

namespace {

// The driven clocks, for the project's tests (host_offer.h).
// Replaces (true) both clocks with a driven pair that starts at the real
// values and moves only through clock_advance; false returns to the real
// clocks. Waiters are woken either way.
void clock_drive(bool on) {
    using namespace kiv::clock;
    // Driving an already driven clock keeps its time: a jump to the real
    // time would pass the seconds a test holds back.
    if (on && !driven.load(std::memory_order_acquire)) {
        driven_mono.store(real_mono_ms());
        driven_wall.store(real_wall_ms());
    }
    driven.store(on, std::memory_order_release);
    wake_listeners();
}

// Moves both driven clocks forward and wakes every deadline wait; does
// nothing while the clocks are real.
void clock_advance(unsigned milliseconds) {
    using namespace kiv::clock;
    if (!driven.load(std::memory_order_acquire))
        return;
    driven_mono.fetch_add(milliseconds);
    driven_wall.fetch_add(milliseconds);
    wake_listeners();
}

const bool offered = kiv::offer_to_host("core.clock_drive", &clock_drive) &&
                     kiv::offer_to_host("core.clock_advance", &clock_advance);

}  // namespace
