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
    lock_count_.fetch_add(1, std::memory_order_relaxed);
}

void mutex::unlock() {
    lock_count_.fetch_sub(1, std::memory_order_relaxed);
    handle_.unlock();
}

}  // namespace kiv
