// memory_sink.cpp --
//
//     The growing output block of the in-memory encoders.

#include "memory_sink.h"

#include <kiv/core/byte_buffer.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace kiv {

namespace {
constexpr uint64_t first_capacity = 8192;
constexpr uint64_t max_capacity = UINT32_MAX;
}  // namespace

memory_sink::~memory_sink() {
    free(data_);
}

bool memory_sink::write(const void* bytes, size_t n) {
    if (n == 0)
        return true;
    uint64_t needed = uint64_t(size_) + n;
    uint64_t wanted = data_ == nullptr && needed <= first_capacity ? first_capacity : 2 * needed;
    if (!grow_buffer(data_, capacity_, size_, n, wanted, max_capacity))
        return false;
    std::memcpy(data_ + size_, bytes, n);
    size_ += n;
    return true;
}

binary* memory_sink::to_binary() {
    binary* out = new (std::nothrow) binary(data_, static_cast<unsigned>(size_), true);
    if (out == nullptr)
        return nullptr;
    data_ = nullptr;
    size_ = capacity_ = 0;
    out->addref();
    return out;
}

}  // namespace kiv
