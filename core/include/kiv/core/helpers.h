// helpers.h --
//
//     Small helpers that every library of the framework wants in its own
//     C++ code: prefix and suffix tests, the line-break test of texts that
//     go into a header line, hexadecimal digits, and kiv_get_absolute_path
//     as a std::string. Inline, and never wrapped for scripts.

#ifndef KIV_CORE_HELPERS_H
#define KIV_CORE_HELPERS_H

#include <kiv/core/files.h>

#include <cstdlib>
#include <string>

namespace kiv {

// Returns: whether `text` begins with `prefix` (always for an empty one).
inline bool starts_with(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Returns: whether `text` ends with `suffix` (always for an empty one).
inline bool ends_with(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Returns: whether `text` holds a carriage return, a line feed or a NUL
//     byte, any of which would end a header line early or split it.
inline bool holds_line_break(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// Returns: the value of a hexadecimal digit (either case), or -1 for any
//     other byte.
inline int hex_digit_value(unsigned char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// kiv_get_absolute_path without the heap text to free.
// Returns: the absolute path; empty when it cannot be made (no root, a
//     failed variable expansion, no core).
inline std::string absolute_path(const char* rel_path) {
    char* absolute = kiv_get_absolute_path(rel_path);
    if (absolute == nullptr)
        return std::string();
    std::string path(absolute);
    std::free(absolute);
    return path;
}

inline std::string absolute_path(const std::string& rel_path) {
    return absolute_path(rel_path.c_str());
}

}  // namespace kiv

#endif
