// stream_ids.h --
//
//     Where a stream gets its process-wide 64-bit id. The framework's
//     shared id counter (kiv_get_next_id) belongs to the text utilities;
//     until they are part of the core this one function hands out ids
//     from a counter of its own, starting at 1.

#ifndef KIV_CORE_SRC_STREAM_IDS_H
#define KIV_CORE_SRC_STREAM_IDS_H

#include <atomic>
#include <cstdint>

namespace kiv {

// Returns: a fresh id, never 0. Any thread.
inline int64_t next_stream_id() {
    static std::atomic<int64_t> counter{1};
    return counter.fetch_add(1);
}

}  // namespace kiv

#endif
