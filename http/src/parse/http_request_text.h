// http_request_text.h --
//
//     The texts of one HTTP exchange taken apart and put together, with
//     no connection and no state: the request line, the URL's page and
//     query, variables and cookies, forwarded addresses, byte ranges and
//     dates of conditional requests on the way in; the response head and
//     the access-log line on the way out. The request engine uses them;
//     tests and fuzz targets reach them alone through kiv_http_internal.
//
//     Every input is treated as hostile: sizes are 64-bit, every number
//     is checked for overflow, and nothing is read outside the given text.
//     All functions are reentrant and safe from any thread.

#ifndef KIV_HTTP_SRC_HTTP_REQUEST_TEXT_H
#define KIV_HTTP_SRC_HTTP_REQUEST_TEXT_H

#include "parse/cookie_manager.h"

#include <kiv/core/ascii_case.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kiv {

typedef std::vector<std::pair<std::string, std::string>> http_pairs;

// Returns: whether `text` may stand in an answer's status line or as a
//     header's value as it is: no control byte (below 0x20, or 0x7f) but
//     a tab. A page that echoes request input there would otherwise send
//     bytes that split or garble the line at the client.
inline bool http_head_text_ok(const std::string& text) {
    for (unsigned char c : text)
        if ((c < 0x20 && c != '\t') || c == 0x7f)
            return false;
    return true;
}

// Returns: whether `name` is a header name: a non-empty token of
//     letters, digits and !#$%&'*+-.^_`|~ (no blank, ":" or control byte).
inline bool http_header_name_ok(const std::string& name) {
    if (name.empty())
        return false;
    static const std::string marks = "!#$%&'*+-.^_`|~";
    for (char c : name)
        if (!ascii_isalnum(static_cast<unsigned char>(c)) && marks.find(c) == std::string::npos)
            return false;
    return true;
}

// Splits a request line at blanks: the method, the URL and (ignored)
// the protocol version.
// Returns: false when the method or the URL is missing.
bool http_split_request_line(const char* line, std::string* method, std::string* url);

// The most variables one request may bring: query, form body and
// multipart fields (files included) together. What a request keeps of
// them costs memory and time several times their bytes; past this the
// request is refused (413) before more is kept, as other servers bound
// the keys of a form.
const size_t http_variables_max = 10000;

// What a URL holds once taken apart.
struct http_target {
    std::string page;       // the decoded path in one form (path_one_form): beginning with "/",
                            // no run of "/", no "." component
    http_pairs query;       // the decoded variables of the query, in order
    std::string authority;  // host[:port] of an absolute URL; "" for a path
};

enum class http_target_result {
    ok,
    bad_request,  // the path does not begin with "/", or holds ".." or "$" once decoded;
                  // an absolute URL without a host or with user information
    no_memory,
    too_many_variables,  // the query holds more than http_variables_max
};

// Takes a URL apart: an absolute URL ("http://host/path", "https://...",
// scheme in any case) gives its authority and the path after it ("/"
// when none); the fragment ("#...") is dropped, the path ends at
// the first "?", and the query is split at "&" and "=" before each name
// and value is decoded once (so "%26" and "%3D" arrive as data and "%3F"
// stays in the path). Decoding turns "+" into a blank and "%XX" into
// its byte. The decoded path is then brought to one form (runs of "/"
// merged, "." components dropped; see path_form.h).
// Returns: ok with `out` filled, or the cause of the refusal.
http_target_result http_parse_target(const char* url, http_target* out);

// Splits `text` at any of the `separators` (runs count as one) into
// name=value pairs, each decoded once; a token without "=", with an
// empty name or an empty value is dropped.
// Returns: the pairs in order (empty for null).
http_pairs http_split_variables(const char* text, const char* separators);

// The same, appending to `*pairs`, which may hold at most `max` pairs:
// the split stops at the pair that would pass it, before decoding it.
// Returns: false when it stopped so (the pairs before it stay).
bool http_split_variables(const char* text, const char* separators, size_t max, http_pairs* pairs);

// Returns: the last blank-separated address of an "X-Forwarded-For"
//     value ("" for null or none); a token of 128 characters or more
//     ends the scan, and the token before it counts.
std::string http_forwarded_host(const char* value);

// The one range of a "Range" value ("bytes=0-9", "bytes=-10",
// "bytes=90-") against a file of `size` bytes. A last position past the
// end is the end; a suffix longer than the file is the whole file. A
// value in another unit, one that does not follow the syntax, and a
// list of more than one range are ignored (whole); a first position past the end, a last position
// before the first, and "bytes=-0" cannot be satisfied.
enum class http_range_result {
    whole,          // no usable range header: the whole file
    partial,        // `first` to `last` inclusive
    unsatisfiable,  // answer 416
};
http_range_result http_parse_range(const char* value, uint64_t size, uint64_t* first, uint64_t* last);

// Reads an "If-Modified-Since" date in any of the three forms a
// recipient must accept, all read as UTC: RFC 1123 ("Sun, 06 Nov 1994
// 08:49:37 GMT"), RFC 850 ("Sunday, 06-Nov-94 08:49:37 GMT"; a
// two-digit year more than 50 years ahead of `now` is of the century
// before) and asctime ("Sun Nov  6 08:49:37 1994").
// Each form is read exactly (names in their case, the digits each field
// has, "GMT" as the only zone, nothing after it).
// Returns: seconds since 1970, or -1 for any other form or a date that
//     does not exist.
int64_t http_parse_date(const char* value, int64_t now = -1);

// Returns: the access-log time of `t`, such as "07/Dec/2026:22:29:02
//     +0000" (always UTC), or "" when the calendar cannot show it.
std::string http_log_time(int64_t t);

// The longest access-log line, its line feed included: a pipe takes a
// write of this size whole, and a client's texts, which the escapes may
// make four times as long as they came, cannot make a line longer.
const size_t http_access_log_line_max = 4096;

// Appends one access-log line ending in "\n" to `*out`, which a caller
// keeps between lines so that a line costs no allocation once the buffer
// has grown: host, "- -", the time, the quoted request line, the status
// number, the body bytes sent, and the quoted referer and user agent
// (texts from the peer escaped as http_log_escape does, each cut with
// the mark "[...]" to its share of http_access_log_line_max).
void http_append_access_log_line(std::string* out, const std::string& host, int64_t t,
                                 const std::string& request_line, int status, uint64_t body_bytes,
                                 const std::string& referer, const std::string& user_agent);

// Builds a response head: "HTTP/1.0 <status>", one "name: value" line
// per header in the given order, then (only for a status whose number is
// 200) one "Set-Cookie" line per cookie that did not come with the
// request: "name=value; path=/", then "; expires=" `now` + lifetime
// (64-bit) for a non-zero lifetime and "; HttpOnly; SameSite=Lax" for the session
// cookie "sid"; names and values of cookies with bytes other than digits and
// 'A'..'~' are %-escaped. Lines are never cut.
// Returns: false, with `head` unchanged, when a status or header value
//     holds a control byte (http_head_text_ok), a header name is no
//     token (http_header_name_ok), or memory fails.
bool http_build_head(const std::string& status, const http_pairs& headers,
                     const std::vector<cookie_manager::cookie>& cookies, int64_t now, std::string* head);

// Returns: whether a "rjsfunc" callback name is safe to put before a
//     parenthesis in a script: non-empty and only ASCII letters, digits,
//     "_", "." and "$".
bool http_is_callback_name(const char* name);

}  // namespace kiv

#endif
