// http_trim.h --
//
//     The one trimming rule of header fields, chunk lines and cookie
//     parts on both sides of the library: the optional white space of
//     HTTP is blanks and tabs only, so a line feed or a NUL byte inside a
//     value stays where it is (kiv_trim would drop the one and stop at
//     the other).

#ifndef KIV_HTTP_SRC_HTTP_TRIM_H
#define KIV_HTTP_SRC_HTTP_TRIM_H

#include <string>

namespace kiv {

// Returns: `text` without blanks and tabs at both ends. Any thread.
inline std::string http_trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace kiv

#endif
