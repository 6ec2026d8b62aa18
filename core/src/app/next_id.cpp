// next_id.cpp --
//
//     The process-wide id counter.

#include <kiv/core/next_id.h>

#include <atomic>

namespace {
std::atomic<int64_t> next_id{1};
}  // namespace

int64_t kiv_get_next_id() {
    return next_id.fetch_add(1, std::memory_order_relaxed);
}
