// wildcard.cpp --
//
//     The wildcard matcher: a linear scan that, on a mismatch, goes back
//     to the last star and lets it swallow one more character of the
//     text. Only the last star is ever revisited, so a match costs at
//     most (pattern length x text length) steps and no recursion.
//
//     The case-insensitive form steps over whole UTF-8 characters (a
//     malformed byte is one character of its own) and compares their
//     lower-case forms through Tcl's Unicode tables.

#include <kiv/core/ascii_case.h>
#include <kiv/core/wildcard.h>

#include "text/utf8_seq.h"

#include <tcl.h>

#include <cstring>
#include <string>

namespace {

// Byte-wise characters.
struct byte_chars {
    static unsigned len(const unsigned char*) { return 1; }
    static bool same(const unsigned char* a, unsigned, const unsigned char* b, unsigned) { return *a == *b; }
};

// Whole UTF-8 characters compared without regard to case.
struct folded_chars {
    static unsigned len(const unsigned char* p) { return *p < 0x80 ? 1 : kiv::utf8_seq_len(p); }
    static bool same(const unsigned char* a, unsigned alen, const unsigned char* b, unsigned blen) {
        if (*a < 0x80 && *b < 0x80)
            return kiv::ascii_tolower(*a) == kiv::ascii_tolower(*b);  // what Unicode says for ASCII
        if (alen == blen && std::memcmp(a, b, alen) == 0)
            return true;
        uint32_t x = kiv::utf8_seq_value(a, alen);
        uint32_t y = kiv::utf8_seq_value(b, blen);
        if (x > 0xFFFF || y > 0xFFFF)
            return false;  // outside Tcl's case tables; only equal bytes match
        return Tcl_UniCharToLower(static_cast<int>(x)) == Tcl_UniCharToLower(static_cast<int>(y));
    }
};

template <class chars>
bool match(const char* wild, const char* val) {
    if (wild == nullptr || val == nullptr)
        return false;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(wild);
    const unsigned char* t = reinterpret_cast<const unsigned char*>(val);
    bool invert = *p == '!';
    if (invert)
        ++p;
    const unsigned char* star_p = nullptr;  // pattern just behind the last star
    const unsigned char* star_t = nullptr;  // text where that star's run ends
    bool matched;
    for (;;) {
        if (*t == '\0') {
            while (*p == '*')
                ++p;
            matched = *p == '\0';
            break;
        }
        if (*p == '*') {
            star_p = ++p;
            star_t = t;
            continue;
        }
        unsigned tlen = chars::len(t);
        if (*p == '?') {
            ++p;
            t += tlen;
            continue;
        }
        if (*p != '\0') {
            unsigned plen = chars::len(p);
            if (chars::same(p, plen, t, tlen)) {
                p += plen;
                t += tlen;
                continue;
            }
        }
        if (star_p == nullptr) {
            matched = false;
            break;
        }
        p = star_p;
        star_t += chars::len(star_t);
        t = star_t;
    }
    return matched != invert;
}

template <bool (*matcher)(const char*, const char*)>
bool match_list(const char* filter, const char* value) {
    if (filter == nullptr || value == nullptr || *filter == '\0')
        return true;
    std::string entry;
    const char* p = filter;
    for (;;) {
        const char* comma = std::strchr(p, ',');
        size_t len = comma != nullptr ? static_cast<size_t>(comma - p) : std::strlen(p);
        if (len > 0) {
            entry.assign(p, len);
            if (matcher(entry.c_str(), value))
                return true;
        }
        if (comma == nullptr)
            return false;
        p = comma + 1;
    }
}

}  // namespace

bool kiv_wildcmp(const char* wild, const char* val) {
    return match<byte_chars>(wild, val);
}

bool kiv_wildicmp(const char* wild, const char* val) {
    return match<folded_chars>(wild, val);
}

bool kiv_wildcmp_list(const char* filter, const char* value) {
    return match_list<kiv_wildcmp>(filter, value);
}

bool kiv_wildicmp_list(const char* filter, const char* value) {
    return match_list<kiv_wildicmp>(filter, value);
}
