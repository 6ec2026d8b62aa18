// http_gzip.cpp --
//
//     Gzip of memory answers with a deflate stream kept per thread (see
//     http_gzip.h). deflateReset brings a used stream back to its start
//     without giving its windows back, and the compressed bytes pass
//     through a fixed area of the thread that is already in memory, so
//     an answer costs the compression itself and one copy of its result.

#include "request/http_gzip.h"

#include <zlib.h>

#include <climits>
#include <memory>

namespace kiv {

namespace {

const int gzip_level = 1;
const int gzip_window_bits = 15 + 16;  // the largest window, gzip framing
const int gzip_mem_level = 8;
const size_t chunk_size = 64 * 1024;  // the output area; larger results take several rounds

// One thread's deflate stream and output area, made at the thread's
// first answer and freed when the thread ends.
struct deflater {
    z_stream stream{};                 // ready only when `ready`
    bool ready = false;                // deflateInit2 succeeded and deflateEnd is due
    std::unique_ptr<Bytef[]> chunk;    // chunk_size bytes; null until the first use

    deflater() = default;
    deflater(const deflater&) = delete;
    deflater& operator=(const deflater&) = delete;
    ~deflater() {
        if (ready)
            deflateEnd(&stream);
    }

    // Returns: whether the stream stands at the start of a new member.
    bool start() {
        if (!chunk)
            chunk.reset(new Bytef[chunk_size]);
        if (ready)
            return deflateReset(&stream) == Z_OK;
        stream = z_stream{};
        ready = deflateInit2(&stream, gzip_level, Z_DEFLATED, gzip_window_bits, gzip_mem_level,
                             Z_DEFAULT_STRATEGY) == Z_OK;
        return ready;
    }
};

thread_local deflater thread_deflater;

}  // namespace

bool http_gzip_memory(const void* data, size_t size, std::string* out) {
    out->clear();
    if ((data == nullptr && size > 0) || size > UINT_MAX)
        return false;
    deflater& d = thread_deflater;
    if (!d.start())
        return false;
    z_stream& zs = d.stream;
    zs.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    zs.avail_in = static_cast<uInt>(size);
    int result;
    do {
        zs.next_out = d.chunk.get();
        zs.avail_out = static_cast<uInt>(chunk_size);
        result = deflate(&zs, Z_FINISH);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            break;
        size_t produced = chunk_size - zs.avail_out;
        if (out->empty() && result != Z_STREAM_END)
            out->reserve(deflateBound(&zs, static_cast<uLong>(size)));
        out->append(reinterpret_cast<const char*>(d.chunk.get()), produced);
        // Z_BUF_ERROR with output space left means no progress at all.
        if (result == Z_BUF_ERROR && produced == 0)
            break;
    } while (result != Z_STREAM_END);
    zs.next_in = nullptr;
    zs.next_out = nullptr;
    if (result != Z_STREAM_END) {
        // A failed stream is set up anew at the next answer.
        deflateEnd(&zs);
        d.ready = false;
        out->clear();
        return false;
    }
    return true;
}

}  // namespace kiv
