// utf8.cpp --
//
//     Counting, indexing and comparing UTF-8 characters on Tcl's UTF-8
//     routines, and the lenient one-sequence decoder the text renderer
//     uses. Tcl's routines themselves run on past a terminator when asked
//     for more characters than a text holds, so every entry bounds its
//     walk by the text first.

#include <kiv/core/utf8.h>

#include <tcl.h>

namespace {

// Tcl's own character step: the same one Tcl_NumUtfChars and
// Tcl_UtfNcasecmp take, so indexes agree with counts. `state` carries
// what Tcl needs between the two halves of a character outside the basic
// plane (it steps over such a character as two).
inline const char* next_char(const char* p, Tcl_UniChar* state) {
    return p + Tcl_UtfToUniChar(p, state);
}

// The number of characters to compare: count (0: the length of a),
// bounded by the length of a plus its terminator, so that Tcl stops at
// the first terminator of either text (at a's, or at b's where the two
// then differ).
int compare_count(const char* a, unsigned count) {
    if (count == 1)
        return 1;
    int len = Tcl_NumUtfChars(a, -1);
    if (count == 0)
        return len;
    return count > static_cast<unsigned>(len) ? len + 1 : static_cast<int>(count);
}

}  // namespace

int kiv_strlen(const char* text) {
    if (text == nullptr)
        return 0;
    return Tcl_NumUtfChars(text, -1);
}

const char* kiv_strat(const char* text, int index, char* buffer, unsigned* size) {
    if (text == nullptr || index < 0)
        return nullptr;
    const char* p = text;
    Tcl_UniChar state = 0;
    for (int i = 0; i < index && *p != '\0'; ++i)
        p = next_char(p, &state);
    if (*p == '\0')
        return nullptr;
    if (buffer != nullptr && size != nullptr) {
        unsigned n = static_cast<unsigned>(next_char(p, &state) - p);
        if (n > 3)
            n = 3;
        if (n > *size)
            n = *size;
        for (unsigned i = 0; i < n; ++i)
            buffer[i] = p[i];
        *size = n;
    }
    return p;
}

int kiv_strnicmp(const char* a, const char* b, unsigned count) {
    if (a == nullptr || b == nullptr)
        return 0;
    return Tcl_UtfNcasecmp(a, b, compare_count(a, count)) == 0 ? 1 : 0;
}

int kiv_strnicmp2(const char* a, const char* b, unsigned count) {
    if (a == nullptr || b == nullptr)
        return 0;
    return Tcl_UtfNcasecmp(a, b, compare_count(a, count));
}

unsigned kiv_charlen(const char* text) {
    if (text == nullptr)
        return 0;
    unsigned len = 1;
    while (!Tcl_UtfCharComplete(text, static_cast<int>(len)) && text[len] != '\0')
        ++len;
    return len;
}

bool kiv_get_unicode_char(const char* text, uint32_t* code_point, const char** next) {
    uint32_t cp = 0;
    if (code_point != nullptr)
        *code_point = 0;
    if (next != nullptr)
        *next = text;
    if (text == nullptr)
        return false;
    int pending = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text);; ++p) {
        unsigned char c = *p;
        if (c == 0)
            return false;
        if (c < 0x80) {
            cp = c;
        } else if (c >= 0xC0 && c <= 0xDF) {
            cp = c & 0x1F;
            pending = 1;
            continue;
        } else if (c >= 0xE0 && c <= 0xEF) {
            cp = c & 0x0F;
            pending = 2;
            continue;
        } else if (c >= 0xF0 && c <= 0xF7) {
            cp = c & 0x07;
            pending = 3;
            continue;
        } else if (c >= 0xF8) {
            continue;
        } else {
            // Continuation byte: a stray one ends the call with what was
            // gathered so far.
            --pending;
            if (pending >= 0)
                cp = cp * 64 + (c & 0x3F);
            if (pending > 0)
                continue;
        }
        if (code_point != nullptr)
            *code_point = cp;
        if (next != nullptr)
            *next = reinterpret_cast<const char*>(p + 1);
        return true;
    }
}
