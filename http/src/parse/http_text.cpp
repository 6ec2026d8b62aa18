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

// Returns: how many bytes character `p` takes escaped (1: as it is). Other
// control characters than line feed and carriage return become \u00XX,
// which both JSON and script strings require; "</" becomes "<\/", so a
// text never closes the script element it is placed in.
size_t escaped_size(const char* p, const char* src) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c == '"' || c == '\n' || c == '\r' || c == '\\')
        return 2;
    if (c < 0x20)
        return 6;
    if (c == '/' && p != src && p[-1] == '<')
        return 2;
    return 1;
}

}  // namespace

char* kiv_http_get_printable_jscript(const char* src, bool skip_update) {
    if (src == nullptr)
        return nullptr;
    size_t size = 0;
    bool changed = false;
    for (const char* p = src; *p != '\0'; ++p) {
        const size_t n = escaped_size(p, src);
        size += n;
        changed = changed || n != 1;
    }
    if (!changed && skip_update)
        return nullptr;
    char* out = static_cast<char*>(std::malloc(size + 1));
    if (out == nullptr)
        return nullptr;
    char* q = out;
    for (const char* p = src; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        switch (escaped_size(p, src)) {
        case 1:
            *q++ = *p;
            break;
        case 6:
            std::snprintf(q, 7, "\\u%04x", c);
            q += 6;
            break;
        default:
            *q++ = '\\';
            *q++ = c == '\n' ? 'n' : c == '\r' ? 'r' : *p;
            break;
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
