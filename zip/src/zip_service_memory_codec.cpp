// zip_service_memory_codec.cpp --
//
//     Compressing and inflating buffers in memory with zlib. Compression
//     runs at level 1, the fastest: its users (script data, cached
//     answers) favour speed over size. Inflating does not know the
//     output size, so it retries with a doubled buffer while zlib reports
//     that the output did not fit; the buffer is sized in 64 bits and
//     capped at zip_max_memory_size, so crafted input can neither wrap
//     the size nor make it grow without end.

#include "memory_cap.h"
#include "zip_service.h"

#include <kiv/core/byte_buffer.h>

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kiv {

i_binary* zip_service::compress_binary(const void* buf, unsigned buf_size) {
    if (buf == nullptr || buf_size == 0)
        return nullptr;
    uLongf size = compressBound(buf_size);
    uint8_t* out = static_cast<uint8_t*>(malloc(size));
    if (out == nullptr)
        return nullptr;
    if (compress2(out, &size, static_cast<const Bytef*>(buf), buf_size, 1) != Z_OK) {
        free(out);
        return nullptr;
    }
    // The bound is generous; give the unused tail back (a block that
    // cannot shrink is handed over as it is).
    uint64_t capacity = compressBound(buf_size);
    resize_buffer(out, capacity, size);
    return adopt_binary(out, size);
}

i_binary* zip_service::compress_text(const char* buf) {
    if (buf == nullptr)
        return nullptr;
    size_t length = std::strlen(buf);
    if (length > UINT32_MAX)
        return nullptr;
    return compress_binary(buf, unsigned(length));
}

uint8_t* zip_service::uncompress(const void* buf, unsigned buf_size, unsigned unc_buf_size,
                                 uint64_t* size) {
    if (buf == nullptr || buf_size == 0 || size == nullptr)
        return nullptr;
    uint64_t capacity = unc_buf_size != 0 ? unc_buf_size : uint64_t(buf_size) * 2;
    const uint64_t limit = memory_cap();
    capacity = std::min(capacity, limit);
    uint8_t* out = nullptr;
    for (;;) {
        // Each attempt starts over, so the old bytes need no copying.
        free(out);
        out = static_cast<uint8_t*>(malloc(size_t(capacity) + 1));
        if (out == nullptr)
            break;
        uLongf length = uLongf(capacity);
        int result = ::uncompress(out, &length, static_cast<const Bytef*>(buf), buf_size);
        if (result == Z_OK) {
            *size = length;
            return out;
        }
        if (result != Z_BUF_ERROR || capacity >= limit)
            break;
        capacity = std::min(capacity * 2, limit);
    }
    free(out);
    return nullptr;
}

i_binary* zip_service::uncompress_binary(const void* buf, unsigned buf_size, unsigned unc_buf_size) {
    uint64_t size = 0;
    uint8_t* out = uncompress(buf, buf_size, unc_buf_size, &size);
    return out != nullptr ? adopt_binary(out, size) : nullptr;
}

char* zip_service::uncompress_text(const void* buf, unsigned buf_size, unsigned unc_buf_size) {
    uint64_t size = 0;
    uint8_t* out = uncompress(buf, buf_size, unc_buf_size, &size);
    if (out == nullptr)
        return nullptr;
    out[size] = 0;
    return reinterpret_cast<char*>(out);
}

}  // namespace kiv
