// ascii_case.h --
//
//     Case-insensitive comparison of names: property names, header and
//     cookie names, keys of configuration maps. Only the ASCII letters
//     A-Z and a-z are folded, whatever the process locale says, so a
//     name compares the same in every thread and under every locale; all
//     other bytes (UTF-8 sequences included) compare as unsigned bytes.
//
//     Every case-insensitive name comparison of the project goes through
//     these helpers.

#ifndef KIV_CORE_ASCII_CASE_H
#define KIV_CORE_ASCII_CASE_H

#include <cstddef>
#include <string>

namespace kiv {

// Returns: c with A-Z mapped to a-z; every other byte unchanged.
inline unsigned char ascii_tolower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Returns: `text` with A-Z mapped to a-z; every other byte unchanged.
inline std::string ascii_lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(ascii_tolower(static_cast<unsigned char>(c)));
    return text;
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
