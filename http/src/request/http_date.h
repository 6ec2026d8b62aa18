// http_date.h --
//
//     The dates of answers: the HTTP form of a time and the core clock's
//     seconds as a signed number.

#ifndef KIV_HTTP_SRC_HTTP_DATE_H
#define KIV_HTTP_SRC_HTTP_DATE_H

#include <cstdint>
#include <string>

namespace kiv {

// Returns: the RFC 1123 date of `t` (seconds since 1970, UTC).
std::string http_date(int64_t t);
// Returns: the core clock in seconds.
int64_t http_now_seconds();

}  // namespace kiv

#endif
