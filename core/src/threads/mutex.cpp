// mutex.cpp --
//
//     The framework's recursive mutex.

#include <kiv/core/log.h>
#include <kiv/core/mutex.h>

namespace kiv {

mutex::~mutex() {
    if (lock_count_.load() != 0)
        kiv_trace("warning: destroying locked mutex");
}

void mutex::lock() {
    handle_.lock();
    // Only the holder writes the count, so a plain load and store do:
    // no locked read-modify-write on every lock.
    lock_count_.store(lock_count_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

void mutex::unlock() {
    lock_count_.store(lock_count_.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed);
    handle_.unlock();
}

}  // namespace kiv
