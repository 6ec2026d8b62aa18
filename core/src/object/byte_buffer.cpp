// byte_buffer.cpp --
//
//     Resizing and growing of the heap blocks behind streams, strings and
//     encoders (byte_buffer.h). Sizes are 64-bit and checked against the
//     caller's cap before any arithmetic that could wrap; realloc leaves
//     the old block intact when it fails, and so do these functions.

#include <kiv/core/byte_buffer.h>

#include <cstddef>
#include <cstdlib>

bool kiv_resize_buffer(void** data, uint64_t* capacity, uint64_t size, uint64_t cap) {
    if (data == nullptr || capacity == nullptr || size == 0 || size > cap || static_cast<size_t>(size) != size)
        return false;
    void* block = realloc(*data, static_cast<size_t>(size));
    if (block == nullptr)
        return false;
    *data = block;
    *capacity = size;
    return true;
}

bool kiv_grow_buffer(void** data, uint64_t* capacity, uint64_t used, uint64_t more, uint64_t wanted,
                     uint64_t cap) {
    if (data == nullptr || capacity == nullptr || used > cap || more > cap - used)
        return false;
    uint64_t needed = used + more;
    if (needed <= *capacity && (*data != nullptr || needed == 0))
        return true;
    uint64_t size = wanted < cap ? wanted : cap;
    return kiv_resize_buffer(data, capacity, size > needed ? size : needed, cap);
}
