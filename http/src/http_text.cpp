// http_text.cpp --
//
//     The escaping of texts for script strings and the HTTP date format.
//     The date is built from our own day and month names, so it never
//     depends on the process locale.

#include <kiv/http/http_text.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

bool needs_escape(char c) {
    return c == '"' || c == '\n' || c == '\r' || c == '\\';
}

}  // namespace

char* kiv_http_get_printable_jscript(const char* src, bool skip_update) {
    if (src == nullptr)
        return nullptr;
    size_t length = std::strlen(src);
    size_t escapes = 0;
    for (const char* p = src; *p != '\0'; ++p)
        if (needs_escape(*p))
            ++escapes;
    if (escapes == 0 && skip_update)
        return nullptr;
    char* out = static_cast<char*>(std::malloc(length + escapes + 1));
    if (out == nullptr)
        return nullptr;
    char* q = out;
    for (const char* p = src; *p != '\0'; ++p) {
        switch (*p) {
        case '"':  *q++ = '\\'; *q++ = '"'; break;
        case '\n': *q++ = '\\'; *q++ = 'n'; break;
        case '\r': *q++ = '\\'; *q++ = 'r'; break;
        case '\\': *q++ = '\\'; *q++ = '\\'; break;
        default:   *q++ = *p; break;
        }
    }
    *q = '\0';
    return out;
}

void kiv_http_print_time(char* dst, size_t size, int64_t t) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (dst == nullptr || size == 0)
        return;
    dst[0] = '\0';
    time_t when = static_cast<time_t>(t);
    struct tm fields;
    if (static_cast<int64_t>(when) != t || gmtime_r(&when, &fields) == nullptr)
        return;
    if (fields.tm_wday < 0 || fields.tm_wday > 6 || fields.tm_mon < 0 || fields.tm_mon > 11)
        return;
    long long year = static_cast<long long>(fields.tm_year) + 1900;
    std::snprintf(dst, size, "%s, %02d %s %04lld %02d:%02d:%02d GMT", days[fields.tm_wday], fields.tm_mday,
                  months[fields.tm_mon], year, fields.tm_hour, fields.tm_min, fields.tm_sec);
}
