// mutex.h --
//
//     The framework's recursive lock and its scoped locker. The owning
//     thread may lock a mutex again; it must unlock as often as it locked.
//
//     The rule for every lock of ours: none is held while calling code
//     that is not ours to know (a library's entry, an event handler, a
//     script, a callback). Record the state under the lock, release it,
//     then call out. Such code may load libraries, fire events or wait
//     for another thread that needs this very lock. Kinds and order: core/README.md.

#ifndef KIV_CORE_MUTEX_H
#define KIV_CORE_MUTEX_H

#include <kiv/core/export.h>

#include <atomic>
#include <mutex>

namespace kiv {

class KIV_EXPORT mutex {
public:
    mutex() = default;
    mutex(const mutex&) = delete;
    mutex& operator=(const mutex&) = delete;
    // Traces "warning: destroying locked mutex" when still locked.
    virtual ~mutex();

    // Waits without a time limit. Safe from any thread.
    void lock();
    // Must be called by the thread that holds the lock.
    void unlock();
    // Number of locks currently held (by the owning thread).
    unsigned lock_count() const { return lock_count_.load(std::memory_order_relaxed); }

private:
    std::recursive_mutex handle_;
    std::atomic<unsigned> lock_count_{0};  // incremented after lock, decremented before unlock; only the holder writes
};

// Locks a mutex for the scope of the locker. A null mutex locks nothing.
class KIV_EXPORT mutex_locker {
public:
    explicit mutex_locker(mutex* m) : mutex_(m) {
        if (mutex_ != nullptr)
            mutex_->lock();
    }
    mutex_locker(const mutex_locker&) = delete;
    mutex_locker& operator=(const mutex_locker&) = delete;
    virtual ~mutex_locker() {
        if (mutex_ != nullptr)
            mutex_->unlock();
    }
    // Unlocks now; the destructor then does nothing.
    void cancel() {
        if (mutex_ != nullptr)
            mutex_->unlock();
        mutex_ = nullptr;
    }

private:
    mutex* mutex_;  // locked by this locker; null when none
};

}  // namespace kiv

#endif
