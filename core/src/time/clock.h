// clock.h --
//
//     The two clocks behind every deadline and every cached time of the
//     core, and waits that end at a deadline. Deadlines (pool hand-over,
//     idle workers, stopping threads, shut-down) run on the monotonic
//     clock, so a wall-clock jump or the end of the housekeeping thread
//     cannot stretch or freeze them. Tests may replace both clocks with a
//     driven pair (a control offered to test programs, host_offer.h);
//     advancing it wakes every waiter so waits end at once instead of
//     after real seconds. Which clock serves what: core/README.md.

#ifndef KIV_CORE_SRC_CLOCK_H
#define KIV_CORE_SRC_CLOCK_H

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include <semaphore.h>

namespace kiv::clock {

// Milliseconds on the monotonic clock (or the driven one). Any thread.
uint64_t mono_ms();
// Seconds since 1970-01-01 UTC, low 32 bits (or the driven wall clock).
uint32_t wall_seconds();

// Something that waits on the clock and must look again when a driven
// clock moves. clock_advanced is called with no clock lock held by the
// caller's side, but while the listener list is locked: it may take its
// own mutex, and must not add or remove listeners.
class listener {
public:
    virtual void clock_advanced() = 0;

protected:
    ~listener() = default;
};
// Listeners are added and removed with none of their own mutexes held.
void add_listener(listener* l);
void remove_listener(listener* l);

// Waits on `cv` (lock holds its mutex) until notified or until mono_ms()
// reaches `deadline_ms`. May return early (spuriously): callers loop on
// their condition and the deadline. Under a driven clock the wait ends
// when the clock is advanced, which notifies through a listener.
void wait_until(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, uint64_t deadline_ms);
// The same for a thread that sleeps on its own semaphore with no mutex
// held: waits until `sem` is posted (taking the post) or until the
// deadline; the listener posts when a driven clock moves. Unlike a
// condition variable's wait, waking here takes no mutex, so the waker
// and the woken thread each make one system call at most.
void wait_until(sem_t& sem, uint64_t deadline_ms);

// A condition variable tied to one mutex and registered as a listener,
// for waits whose owner is not a listener already.
class deadline_cv : public listener {
public:
    explicit deadline_cv(std::mutex& guard);
    ~deadline_cv();
    deadline_cv(const deadline_cv&) = delete;
    deadline_cv& operator=(const deadline_cv&) = delete;

    void wait_until(std::unique_lock<std::mutex>& lock, uint64_t deadline_ms) {
        clock::wait_until(cv_, lock, deadline_ms);
    }
    // Waits at most `ms` real milliseconds (a period, not a deadline).
    void wait_for_real(std::unique_lock<std::mutex>& lock, unsigned ms);
    void notify_all() { cv_.notify_all(); }
    void clock_advanced() override;

private:
    std::mutex& guard_;  // the mutex every waiter holds; not owned
    std::condition_variable cv_;
};

}  // namespace kiv::clock

#endif
