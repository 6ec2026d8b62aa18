// ascii_case.h --
//
//     Case of names and case-insensitive comparison of names: property
//     names, header and cookie names, keys of configuration maps, the
//     environment variables and symbols made from a library's name. Only
//     the ASCII letters A-Z and a-z are folded, whatever the process
//     locale says (under a Turkish LC_CTYPE the C library's toupper leaves
//     "i" alone and tolower leaves "I"), so a name compares and cases the
//     same in every thread and under every locale; all other bytes (UTF-8
//     sequences included) stay as they are and compare as unsigned bytes.
//     The classification of bytes in machine-read text (blanks, letters
//     and digits) follows the same rule.
//
//     Every case-insensitive name comparison and every casing of a name
//     in the project goes through these helpers.

#ifndef KIV_CORE_ASCII_CASE_H
#define KIV_CORE_ASCII_CASE_H

#include <cstddef>
#include <string>

namespace kiv {

// Returns: c with A-Z mapped to a-z; every other byte unchanged.
inline unsigned char ascii_tolower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Returns: c with a-z mapped to A-Z; every other byte unchanged.
inline unsigned char ascii_toupper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

// Returns: `text` with A-Z mapped to a-z; every other byte unchanged.
inline std::string ascii_lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(ascii_tolower(static_cast<unsigned char>(c)));
    return text;
}

// Returns: `text` with a-z mapped to A-Z; every other byte unchanged.
inline std::string ascii_upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(ascii_toupper(static_cast<unsigned char>(c)));
    return text;
}

// Returns: whether c is a blank as the "C" locale's isspace has it:
//     space, tab, line feed, vertical tab, form feed, carriage return.
inline bool ascii_isspace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Returns: whether c is an ASCII letter or digit.
inline bool ascii_isalnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Compares at most n bytes of two terminated texts, folding ASCII letters.
// Returns: negative, 0 or positive like strncmp. Null sorts before any
//     text; two nulls are equal.
inline int ascii_strnicmp(const char* a, const char* b, size_t n) {
    if (a == nullptr || b == nullptr)
        return (a == nullptr ? 0 : 1) - (b == nullptr ? 0 : 1);
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    for (; n > 0; --n, ++x, ++y) {
        int diff = int(ascii_tolower(*x)) - int(ascii_tolower(*y));
        if (diff != 0 || *x == '\0')
            return diff;
    }
    return 0;
}

// The whole-text form of ascii_strnicmp.
inline int ascii_stricmp(const char* a, const char* b) {
    return ascii_strnicmp(a, b, static_cast<size_t>(-1));
}

// Ordering of std::map / std::set keys without regard to ASCII case.
struct ascii_iless {
    bool operator()(const std::string& a, const std::string& b) const {
        return ascii_stricmp(a.c_str(), b.c_str()) < 0;
    }
};

}  // namespace kiv

#endif
