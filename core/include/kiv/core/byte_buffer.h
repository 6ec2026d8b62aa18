// byte_buffer.h --
//
//     The one place where a growable heap block changes size. Streams,
//     strings, the block stream, the in-memory encoders and the zip
//     readers each keep their own block and their own growth rule; what
//     they share is here: the size arithmetic in 64 bits, so it never
//     wraps, a cap the block never passes, and a block that stays as it
//     was when growing fails. Blocks come from malloc/realloc, so one
//     handed to a caller is released with free.
//
//     Every function works on the caller's block only and is safe from
//     any thread that owns that block.

#ifndef KIV_CORE_BYTE_BUFFER_H
#define KIV_CORE_BYTE_BUFFER_H

#include <kiv/core/export.h>

#include <cstdint>
#include <limits>
#include <type_traits>

// Makes the malloc-ed block *data (null: none yet) of *capacity bytes
// exactly `size` bytes long, growing or shrinking it; the bytes that fit
// in both sizes are kept.
// Returns: false, leaving *data and *capacity as they were, when size is
//     0 or passes `cap`, or memory fails. Writes no log line: the caller
//     names the cause.
// Changes: *data and *capacity.
KIV_EXPORT bool kiv_resize_buffer(void** data, uint64_t* capacity, uint64_t size, uint64_t cap);

// Makes room for `more` bytes after the first `used` bytes of the block.
// When used + more fits in *capacity, nothing changes; otherwise the
// block is resized to `wanted` bytes (the caller's growth rule: doubling,
// slack), or to used + more when `wanted` is smaller, never past `cap`.
// Returns: false, leaving *data and *capacity as they were, when used +
//     more passes `cap` (the sum is checked, never wrapped) or memory
//     fails. Writes no log line.
// Changes: *data and *capacity.
KIV_EXPORT bool kiv_grow_buffer(void** data, uint64_t* capacity, uint64_t used, uint64_t more, uint64_t wanted,
                                uint64_t cap);

namespace kiv {

// The same two calls for a block held as T* with a capacity field of
// unsigned type N. The cap is lowered to what N can count, so storing the
// new capacity back never truncates it.
template <typename T, typename N>
bool resize_buffer(T*& data, N& capacity, uint64_t size, uint64_t cap = UINT64_MAX) {
    static_assert(std::is_unsigned<N>::value, "a capacity is an unsigned count of bytes");
    const uint64_t limit = std::numeric_limits<N>::max();
    void* block = data;
    uint64_t held = capacity;
    if (!kiv_resize_buffer(&block, &held, size, cap < limit ? cap : limit))
        return false;
    data = static_cast<T*>(block);
    capacity = static_cast<N>(held);
    return true;
}

template <typename T, typename N>
bool grow_buffer(T*& data, N& capacity, uint64_t used, uint64_t more, uint64_t wanted, uint64_t cap = UINT64_MAX) {
    static_assert(std::is_unsigned<N>::value, "a capacity is an unsigned count of bytes");
    const uint64_t limit = std::numeric_limits<N>::max();
    void* block = data;
    uint64_t held = capacity;
    if (!kiv_grow_buffer(&block, &held, used, more, wanted, cap < limit ? cap : limit))
        return false;
    data = static_cast<T*>(block);
    capacity = static_cast<N>(held);
    return true;
}

}  // namespace kiv

#endif
