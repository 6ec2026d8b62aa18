// http_request_util.h --
//
//     Small helpers shared by the parts of a request (dispatch, answers,
//     static files): dates in the HTTP form and the core clock as a
//     signed number.

#ifndef KIV_HTTP_SRC_HTTP_REQUEST_UTIL_H
#define KIV_HTTP_SRC_HTTP_REQUEST_UTIL_H

#include <kiv/core/auto_ptr.h>
#include <kiv/http/i_http_service.h>

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace kiv {

// Bodies and files shorter than this go out uncompressed.
const uint64_t http_gzip_min_size = 256;

// Returns: the RFC 1123 date of `t` (seconds since 1970, UTC).
std::string http_date(int64_t t);
// Returns: the core clock in seconds.
int64_t http_now_seconds();
// Opens the gzip copy already made of the file `path` in the state `st`
// (http_gzip_copy remembers the copies it made or found), without
// looking at the file itself or making anything.
// Returns: its descriptor with its size in `*size`, or -1 when no copy
//     is known or it is gone.
int http_open_known_gzip_copy(const char* path, const struct stat& st, uint64_t* size);

}  // namespace kiv

#endif
