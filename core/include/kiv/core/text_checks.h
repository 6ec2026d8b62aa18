// text_checks.h --
//
//     Checks on texts and bytes that every library wants in its own C++
//     code: prefix and suffix tests, the line-break test of texts that go
//     into a header line, and the value of a hexadecimal digit. Inline,
//     and never wrapped for scripts.

#ifndef KIV_CORE_TEXT_CHECKS_H
#define KIV_CORE_TEXT_CHECKS_H

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

}  // namespace kiv

#endif
