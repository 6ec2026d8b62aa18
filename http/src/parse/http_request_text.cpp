// http_request_text.cpp --
//
//     Taking request texts apart and putting answer texts together (see
//     http_request_text.h). Numbers from the peer are read digit by digit
//     with an overflow check; decoding goes through the core's URL
//     decoder, once per name, value or path.

#include "parse/http_request_text.h"
#include "parse/http_head.h"

#include <kiv/core/ascii_case.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/path_form.h>
#include <kiv/core/i_time.h>
#include <kiv/core/text_convert.h>
#include <kiv/http/http_text.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace kiv {

namespace {

const char* const month_names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Returns: the decoded text, or false when memory failed.
bool decode(const std::string& text, std::string* out) {
    auto_string decoded(kiv_text_decode(text.c_str()));
    if (!decoded.is_ok())
        return false;
    *out = static_cast<const char*>(decoded);
    return true;
}

bool needs_cookie_escape(const std::string& text) {
    for (unsigned char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= '~')))
            return true;
    return false;
}

// Returns: false when memory fails.
bool cookie_text(const std::string& text, std::string* out) {
    if (!needs_cookie_escape(text)) {
        *out = text;
        return true;
    }
    auto_string encoded(kiv_text_encode(text.c_str()));
    if (!encoded.is_ok())
        return false;
    *out = static_cast<const char*>(encoded);
    return true;
}

// Reads the parts of an HTTP date, each in its exact form and case; a
// part that does not match leaves false.
struct date_reader {
    const char* p;

    bool literal(const char* text) {
        size_t n = std::strlen(text);
        if (std::strncmp(p, text, n) != 0)
            return false;
        p += n;
        return true;
    }
    // Exactly `count` digits.
    bool digits(int count, unsigned* out) {
        unsigned n = 0;
        for (int i = 0; i < count; ++i) {
            if (p[i] < '0' || p[i] > '9')
                return false;
            n = n * 10 + static_cast<unsigned>(p[i] - '0');
        }
        p += count;
        *out = n;
        return true;
    }
    bool month(unsigned* out) {
        for (unsigned m = 0; m < 12; ++m)
            if (literal(month_names[m])) {
                *out = m + 1;
                return true;
            }
        return false;
    }
    // "Sun" .. "Sat", or "Sunday" .. "Saturday" when `long_form`.
    bool day_name(bool long_form) {
        static const char* const names[] = {"Sunday", "Monday", "Tuesday", "Wednesday",
                                            "Thursday", "Friday", "Saturday"};
        for (const char* name : names) {
            std::string wanted = long_form ? std::string(name) : std::string(name, 3);
            if (literal(wanted.c_str()))
                return true;
        }
        return false;
    }
    // "HH:MM:SS".
    bool time(unsigned* hour, unsigned* minute, unsigned* second) {
        return digits(2, hour) && literal(":") && digits(2, minute) && literal(":") && digits(2, second);
    }
};

unsigned days_in_month(unsigned year, unsigned month) {
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return days[month - 1] + (month == 2 && leap ? 1 : 0);
}

}  // namespace

bool http_split_request_line(const char* line, std::string* method, std::string* url) {
    if (line == nullptr)
        return false;
    std::string words[2];
    const char* p = line;
    for (std::string& word : words) {
        while (*p == ' ')
            ++p;
        const char* start = p;
        while (*p != '\0' && *p != ' ')
            ++p;
        word.assign(start, p);
        if (word.empty())
            return false;
    }
    *method = words[0];
    *url = words[1];
    return true;
}

http_pairs http_split_variables(const char* text, const char* separators) {
    http_pairs pairs;
    http_split_variables(text, separators, SIZE_MAX, &pairs);
    return pairs;
}

bool http_split_variables(const char* text, const char* separators, size_t max, http_pairs* pairs) {
    if (text == nullptr || separators == nullptr)
        return true;
    const char* p = text;
    while (*p != '\0') {
        size_t length = std::strcspn(p, separators);
        if (length > 0) {
            std::string token(p, length);
            size_t equals = token.find('=');
            if (equals != std::string::npos && equals > 0 && equals + 1 < token.size()) {
                // Counted before it is decoded or kept.
                if (pairs->size() >= max)
                    return false;
                std::string name, value;
                if (decode(token.substr(0, equals), &name) && decode(token.substr(equals + 1), &value))
                    pairs->emplace_back(name, value);
            }
        }
        p += length;
        if (*p != '\0')
            ++p;
    }
    return true;
}

http_target_result http_parse_target(const char* url, http_target* out) {
    if (url == nullptr || out == nullptr)
        return http_target_result::bad_request;
    std::string text(url);
    text.erase(std::min(text.find('#'), text.size()));
    // The absolute form, which a client talking to a proxy sends: its
    // authority names the host, and the path follows it ("/" when
    // there is none).
    std::string authority;
    for (const char* scheme : {"http://", "https://"}) {
        size_t n = std::strlen(scheme);
        if (text.size() >= n && kiv::ascii_strnicmp(text.c_str(), scheme, n) == 0) {
            size_t end = std::min(text.find_first_of("/?", n), text.size());
            authority = text.substr(n, end - n);
            // No host, or user information, which no request may carry.
            if (authority.empty() || authority.find('@') != std::string::npos)
                return http_target_result::bad_request;
            text = text.substr(end);
            if (text.empty() || text[0] != '/')
                text.insert(0, "/");
            break;
        }
    }
    size_t question = text.find('?');
    std::string path = text.substr(0, question);
    if (path.empty() || path[0] != '/')
        return http_target_result::bad_request;
    std::string page;
    if (!decode(path, &page))
        return http_target_result::no_memory;
    if (page.find("..") != std::string::npos || page.find('$') != std::string::npos)
        return http_target_result::bad_request;
    http_pairs query;
    if (question != std::string::npos &&
        !http_split_variables(text.c_str() + question + 1, "&", http_variables_max, &query))
        return http_target_result::too_many_variables;
    // One spelling per file from here on: the URL mapping, the deny
    // file, the bytes and gzip copies kept of files and the compiled
    // pages all see this form, so "//a", "/./a" and "/a" are one file to
    // each of them rather than one more entry or copy per spelling.
    out->page = path_one_form(page);
    out->authority = authority;
    out->query.swap(query);
    return http_target_result::ok;
}

std::string http_forwarded_host(const char* value) {
    std::string last;
    if (value == nullptr)
        return last;
    const char* p = value;
    for (;;) {
        while (*p == ' ')
            ++p;
        if (*p == '\0')
            break;
        const char* start = p;
        while (*p != '\0' && *p != ' ')
            ++p;
        if (p - start >= 128)
            break;
        last.assign(start, p);
    }
    return last;
}

http_range_result http_parse_range(const char* value, uint64_t size, uint64_t* first, uint64_t* last) {
    // Only the unit "bytes" is known; anything malformed is ignored and
    // the whole file is served, as a Range header may always be.
    if (value == nullptr || size == 0 || kiv::ascii_strnicmp(value, "bytes=", 6) != 0)
        return http_range_result::whole;
    // One range of digits and one "-". A list of several is answered
    // whole: a body of many parts costs the server more than it spares
    // the client, and a peer may ask for the same bytes again and again.
    const char* p = value + 6;
    bool have = false;
    bool suffix = false;
    uint64_t start = 0, end = 0;
    bool start_big = false, end_given = false, end_big = false;
    for (;;) {
        while (*p == ' ' || *p == '\t')
            ++p;
        uint64_t a = 0, b = 0;
        bool a_digits = false, b_digits = false, a_big = false, b_big = false;
        for (; *p >= '0' && *p <= '9'; ++p) {
            a_digits = true;
            if (a > (UINT64_MAX - 9) / 10)
                a_big = true;
            else
                a = a * 10 + static_cast<uint64_t>(*p - '0');
        }
        if (*p != '-')
            return http_range_result::whole;
        ++p;
        for (; *p >= '0' && *p <= '9'; ++p) {
            b_digits = true;
            if (b > (UINT64_MAX - 9) / 10)
                b_big = true;
            else
                b = b * 10 + static_cast<uint64_t>(*p - '0');
        }
        if (!a_digits && !b_digits)
            return http_range_result::whole;
        if (have)
            return http_range_result::whole;
        {
            have = true;
            suffix = !a_digits;
            start = a;
            start_big = a_big;
            end = b;
            end_given = b_digits;
            end_big = b_big;
        }
        while (*p == ' ' || *p == '\t')
            ++p;
        if (*p == '\0')
            break;
        if (*p != ',')
            return http_range_result::whole;
        ++p;
    }
    if (suffix) {
        // The last `end` bytes: all of a shorter file, none is 416.
        if (end == 0 && !end_big)
            return http_range_result::unsatisfiable;
        *first = end_big || end >= size ? 0 : size - end;
        *last = size - 1;
        return http_range_result::partial;
    }
    if (end_given && (end < start || (start_big && !end_big)))
        return http_range_result::unsatisfiable;
    if (start_big || start >= size)
        return http_range_result::unsatisfiable;
    // A last position past the end means the end.
    *first = start;
    *last = !end_given || end_big || end >= size ? size - 1 : end;
    return http_range_result::partial;
}

int64_t http_parse_date(const char* value, int64_t now) {
    if (value == nullptr)
        return -1;
    date_reader in{value};
    unsigned day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    bool two_digit_year = false;
    if (in.day_name(false) && in.literal(", ")) {
        // IMF-fixdate: "Sun, 06 Nov 1994 08:49:37 GMT".
        if (!in.digits(2, &day) || !in.literal(" ") || !in.month(&month) || !in.literal(" ") ||
            !in.digits(4, &year) || !in.literal(" ") || !in.time(&hour, &minute, &second) || !in.literal(" GMT"))
            return -1;
    } else if ((in = date_reader{value}).day_name(true) && in.literal(", ")) {
        // RFC 850: "Sunday, 06-Nov-94 08:49:37 GMT".
        if (!in.digits(2, &day) || !in.literal("-") || !in.month(&month) || !in.literal("-") ||
            !in.digits(2, &year) || !in.literal(" ") || !in.time(&hour, &minute, &second) || !in.literal(" GMT"))
            return -1;
        two_digit_year = true;
    } else if ((in = date_reader{value}).day_name(false) && in.literal(" ")) {
        // asctime: "Sun Nov  6 08:49:37 1994".
        if (!in.month(&month) || !in.literal(" "))
            return -1;
        if (!(in.literal(" ") ? in.digits(1, &day) : in.digits(2, &day)) || !in.literal(" ") ||
            !in.time(&hour, &minute, &second) || !in.literal(" ") || !in.digits(4, &year))
            return -1;
    } else {
        return -1;
    }
    // Nothing may follow: "+0100" or another zone is no HTTP date.
    if (*in.p != '\0')
        return -1;
    if (two_digit_year) {
        // RFC 850's two-digit year: the most recent year with those
        // digits that is not more than 50 years ahead.
        time_t clock = now >= 0 ? static_cast<time_t>(now) : time(nullptr);
        struct tm today;
        if (gmtime_r(&clock, &today) == nullptr)
            return -1;
        unsigned this_year = static_cast<unsigned>(today.tm_year) + 1900;
        year += this_year / 100 * 100;
        if (year > this_year + 50)
            year -= 100;
    }
    if (day < 1 || day > days_in_month(year, month) || hour > 23 || minute > 59 || second > 60)
        return -1;
    unsigned t = kiv_calc_time(year, month, day, hour, minute, second, true);
    return t == 0 ? -1 : static_cast<int64_t>(t);
}

namespace {

// Writes the access-log time of `t` into `text` (at least 64 bytes).
// Returns: its length, 0 when the calendar cannot show it.
size_t format_log_time(int64_t t, char* text, size_t size) {
    time_t when = static_cast<time_t>(t);
    struct tm fields;
    if (static_cast<int64_t>(when) != t || gmtime_r(&when, &fields) == nullptr || fields.tm_mon < 0 ||
        fields.tm_mon > 11)
        return 0;
    int n = std::snprintf(text, size, "%02d/%s/%04lld:%02d:%02d:%02d +0000", fields.tm_mday,
                          month_names[fields.tm_mon], static_cast<long long>(fields.tm_year) + 1900, fields.tm_hour,
                          fields.tm_min, fields.tm_sec);
    return n > 0 && static_cast<size_t>(n) < size ? static_cast<size_t>(n) : 0;
}

// The shares of an access-log line that each text from the peer may
// take once escaped; with the line's other fields (at most 120 bytes)
// they stay within http_access_log_line_max.
const size_t access_log_host_max = 256;
const size_t access_log_request_max = 1664;
const size_t access_log_header_max = 1024;  // the referer and the user agent each
static_assert(access_log_host_max + access_log_request_max + 2 * access_log_header_max + 120 <=
                  http_access_log_line_max,
              "the shares fit in a line");

// Appends the decimal text of `n`.
void append_number(std::string* out, uint64_t n) {
    char digits[24];
    size_t i = sizeof digits;
    do {
        digits[--i] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0);
    out->append(digits + i, sizeof digits - i);
}

}  // namespace

std::string http_log_time(int64_t t) {
    char text[64];
    size_t n = format_log_time(t, text, sizeof text);
    return std::string(text, n);
}

void http_append_access_log_line(std::string* out, const std::string& host, int64_t t,
                                 const std::string& request_line, int status, uint64_t body_bytes,
                                 const std::string& referer, const std::string& user_agent) {
    // Texts from the peer cannot break the line or its quoted fields,
    // and each is cut (with a mark) to its share of the line.
    char time_text[64];
    size_t time_size = format_log_time(t, time_text, sizeof time_text);
    out->reserve(out->size() + std::min<size_t>(host.size() + request_line.size() + referer.size() +
                                                    user_agent.size() + 80, http_access_log_line_max));
    http_append_log_escaped(out, host, access_log_host_max);
    out->append(" - - [").append(time_text, time_size).append("] \"");
    http_append_log_escaped(out, request_line, access_log_request_max);
    out->append("\" ");
    if (status < 0) {
        out->push_back('-');
        append_number(out, static_cast<uint64_t>(-static_cast<int64_t>(status)));
    } else {
        append_number(out, static_cast<uint64_t>(status));
    }
    out->push_back(' ');
    append_number(out, body_bytes);
    out->append(" \"");
    http_append_log_escaped(out, referer, access_log_header_max);
    out->append("\" \"");
    http_append_log_escaped(out, user_agent, access_log_header_max);
    out->append("\"\n");
}

bool http_build_head(const std::string& status, const http_pairs& headers,
                     const std::vector<cookie_manager::cookie>& cookies, int64_t now, std::string* head) {
    if (head == nullptr || !http_head_text_ok(status))
        return false;
    // One buffer, appended to piece by piece: a head costs one or two
    // allocations rather than several per line.
    size_t size = status.size() + 13;
    for (const auto& header : headers)
        size += header.first.size() + header.second.size() + 4;
    std::string out;
    out.reserve(size + 64);
    out.append("HTTP/1.0 ").append(status).append("\r\n");
    for (const auto& header : headers) {
        if (!http_header_name_ok(header.first) || !http_head_text_ok(header.second))
            return false;
        out.append(header.first).append(": ").append(header.second).append("\r\n");
    }
    if (std::atoi(status.c_str()) == 200) {
        for (const auto& cookie : cookies) {
            if (cookie.lifetime == cookie_from_request)
                continue;
            std::string name, value;
            if (!cookie_text(cookie.name, &name) || !cookie_text(cookie.value, &value))
                return false;
            out += "Set-Cookie: " + name + "=" + value + "; path=/";
            if (cookie.lifetime != 0) {
                char date[64];
                kiv_http_print_time(date, sizeof date, now + static_cast<int64_t>(cookie.lifetime));
                out += std::string("; expires=") + date;
            }
            // The session id is for the server alone: no script on a
            // page may read it, and a page of another site may not
            // make the browser send it along (to read the page's
            // output through a script tag, say).
            if (cookie.name == "sid")
                out += "; HttpOnly; SameSite=Lax";
            out += "\r\n";
        }
    }
    out += "\r\n";
    head->swap(out);
    return true;
}

bool http_is_callback_name(const char* name) {
    if (name == nullptr || *name == '\0')
        return false;
    for (const char* p = name; *p != '\0'; ++p) {
        char c = *p;
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                  c == '.' || c == '$';
        if (!ok)
            return false;
    }
    return true;
}

}  // namespace kiv
