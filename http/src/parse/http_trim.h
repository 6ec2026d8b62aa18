// http_trim.h --
//
//     The one trimming rule of header fields, chunk lines and cookie
//     parts on both sides of the library: the optional white space of
//     HTTP is blanks and tabs only, so a line feed or a NUL byte inside a
//     value stays where it is (kiv_trim would drop the one and stop at
//     the other).

#ifndef KIV_HTTP_SRC_HTTP_TRIM_H
#define KIV_HTTP_SRC_HTTP_TRIM_H

#include <cstdint>
#include <string>
#include <vector>

namespace kiv {

// Returns: `text` without blanks and tabs at both ends. Any thread.
inline std::string http_trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Returns: the elements of a comma-separated field value, each trimmed
//     (empty elements kept, so that a caller may refuse them). Any thread.
inline std::vector<std::string> http_split_list(const std::string& text) {
    std::vector<std::string> elements;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        elements.push_back(http_trim(text.substr(start, comma == std::string::npos ? comma : comma - start)));
        if (comma == std::string::npos)
            return elements;
        start = comma + 1;
    }
}

// Reads a length from a peer: decimal digits only, no sign, no blanks.
// Returns: false for anything else or a number over 2^63 - 1 (`*out`
//     then unchanged). Any thread.
inline bool http_parse_length(const std::string& text, uint64_t* out) {
    uint64_t n = 0;
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9' || n > (uint64_t(INT64_MAX) - 9) / 10)
            return false;
        n = n * 10 + uint64_t(c - '0');
    }
    *out = n;
    return true;
}

}  // namespace kiv

#endif
