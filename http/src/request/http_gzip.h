// http_gzip.h --
//
//     Gzip of an answer held in memory (a page's output, a memory body),
//     at the fastest level. Each thread keeps one deflate stream and one
//     output area and re-uses them from answer to answer: setting a
//     stream up anew allocates and clears about 256 KiB, which cost more
//     than compressing a 64 KiB page.

#ifndef KIV_HTTP_SRC_HTTP_GZIP_H
#define KIV_HTTP_SRC_HTTP_GZIP_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace kiv {

// Bodies and files shorter than this go out uncompressed.
const uint64_t http_gzip_min_size = 256;

// Compresses `size` bytes at `data` into one gzip member (level 1) and
// puts it in `out`, replacing what `out` held.
// Returns: false when zlib fails or the input is larger than zlib takes
//     in one call (4 GiB); `out` is then empty.
// Changes: the calling thread's deflate stream. Safe from any thread;
//     each thread uses its own stream, which goes at the thread's end.
bool http_gzip_memory(const void* data, size_t size, std::string* out);

}  // namespace kiv

#endif
