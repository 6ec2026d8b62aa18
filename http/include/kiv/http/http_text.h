// http_text.h --
//
//     Two text helpers of the HTTP library that pages, the JSON writer
//     and the response writer share: escaping a text for a double-quoted
//     script string, and the date format of HTTP headers.

#ifndef KIV_HTTP_HTTP_TEXT_H
#define KIV_HTTP_HTTP_TEXT_H

#include <kiv/core/export.h>

#include <cstddef>
#include <cstdint>

// Escapes a text for a double-quoted JavaScript (or JSON) string: '"',
// line feed, carriage return and backslash become \", \n, \r and \\;
// other control characters \u00XX, and "</" becomes "<\/" (the text may
// stand inside a script element); every other byte is copied as it is.
// Returns: a malloc-ed text the caller frees; null for null `src` or
//     when memory fails. When `src` holds nothing to escape
//     and `skip_update` is set, null too: the caller may use `src` as it
//     is. Any thread.
KIV_EXTERN_C char* kiv_http_get_printable_jscript(const char* src, bool skip_update);

// Writes the HTTP date of `t` (seconds since 1970-01-01 UTC, 64-bit, so
// dates after 2038 print correctly), such as
// "Thu, 01 Jan 1970 00:00:00 GMT", into `dst`, cut to `size` bytes with
// the terminator. A time the calendar cannot show gives the empty text.
// Nothing is written for a null `dst` or size 0. Any thread.
KIV_EXTERN_C void kiv_http_print_time(char* dst, size_t size, int64_t t);

#endif
