// memory_sink.h --
//
//     The growing output block of the in-memory encoders. It starts at
//     8192 bytes and, when a write would pass its capacity, is reallocated
//     to 2 × (bytes used + bytes to write), so long outputs cost few
//     copies. It never grows past what an i_binary can hold (4 GiB - 1).

#ifndef KIV_IMAGE_MEMORY_SINK_H
#define KIV_IMAGE_MEMORY_SINK_H

#include <kiv/core/binary_impl.h>

#include <cstddef>
#include <cstdint>

namespace kiv {

class memory_sink {
public:
    memory_sink() = default;
    ~memory_sink();
    memory_sink(const memory_sink&) = delete;
    memory_sink& operator=(const memory_sink&) = delete;

    // Appends n bytes. Returns: false when memory fails or the block
    //     would pass the size limit (the bytes so far stay).
    bool write(const void* bytes, size_t n);
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    // Hands the bytes to a new binary, with one reference for the caller;
    // the sink becomes empty. Returns: null when memory fails.
    binary* to_binary();

private:
    uint8_t* data_ = nullptr;  // malloc-ed, owned; null before the first write
    size_t size_ = 0;          // bytes written
    size_t capacity_ = 0;      // bytes allocated
};

}  // namespace kiv

#endif
