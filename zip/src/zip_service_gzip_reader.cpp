// zip_service_gzip_reader.cpp --
//
//     Reading a gzip file whole. zlib passes a file without gzip header
//     through as it is. A gzip stream cut short does not make gzread fail:
//     it returns what it inflated and reports the cut only through its
//     error state, which gzclose returns, so the close result decides
//     whether the bytes are complete. The buffer starts at 1 MiB, doubles
//     and stops at zip_max_memory_size.

#include <kiv/core/byte_buffer.h>
#include <kiv/core/files.h>

#include "memory_cap.h"
#include "zip_service.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>

namespace kiv {

namespace {

constexpr uint64_t first_capacity = 0x100000;

}  // namespace

uint8_t* zip_service::ungzip(const char* path, uint64_t* size) {
    if (path == nullptr)
        return nullptr;
    char* abs = kiv_get_absolute_path(path);
    if (abs == nullptr)
        return nullptr;
    gzFile file = gzopen(abs, "rb");
    free(abs);
    if (file == nullptr)
        return nullptr;

    // The buffer keeps one spare byte for the terminator of a text.
    const uint64_t limit = memory_cap();
    uint8_t* data = nullptr;
    uint64_t capacity = 0;
    uint64_t length = 0;
    bool ok = resize_buffer(data, capacity, std::min(first_capacity, limit + 1));
    while (ok) {
        if (length == capacity - 1) {
            if (length >= limit) {
                // Full at the cap: acceptable only when nothing follows.
                uint8_t probe;
                ok = gzread(file, &probe, 1) == 0;
                break;
            }
            if (!resize_buffer(data, capacity, std::min(capacity * 2, limit + 1))) {
                ok = false;
                break;
            }
        }
        int n = gzread(file, data + length, unsigned(capacity - 1 - length));
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        length += unsigned(n);
    }
    ok = gzclose(file) == Z_OK && ok;
    if (!ok) {
        free(data);
        return nullptr;
    }
    *size = length;
    return data;
}

i_binary* zip_service::ungzip_binary(const char* path) {
    uint64_t size = 0;
    uint8_t* data = ungzip(path, &size);
    return data != nullptr ? adopt_binary(data, size) : nullptr;
}

char* zip_service::ungzip_text(const char* path) {
    uint64_t size = 0;
    uint8_t* data = ungzip(path, &size);
    if (data == nullptr)
        return nullptr;
    data[size] = 0;
    return reinterpret_cast<char*>(data);
}

}  // namespace kiv
