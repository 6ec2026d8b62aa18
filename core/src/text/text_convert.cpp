// text_convert.cpp --
//
//     Trimming, the URL-style escape and its inverse, and Cyrillic
//     transliteration. The decoders read outside input (query strings,
//     cookies), so each step checks the bytes it consumes are really
//     there and a malformed escape is copied, never guessed at.

#include <kiv/core/text_checks.h>
#include <kiv/core/text_convert.h>

#include "text/utf8_seq.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

char* heap_copy(const char* text, size_t len) {
    char* copy = static_cast<char*>(malloc(len + 1));
    if (copy == nullptr)
        return nullptr;
    std::memcpy(copy, text, len);
    copy[len] = '\0';
    return copy;
}

// One letter of the transliteration tables: its UTF-8 bytes (always two
// for the Russian alphabet) and its Latin text.
struct translit_entry {
    const char* letter;
    const char* latin;
};

const translit_entry lower_table[] = {
    {"а", "a"}, {"б", "b"}, {"в", "v"},  {"г", "g"},  {"д", "d"},   {"е", "e"},  {"ё", "e"},
    {"ж", "jz"}, {"з", "z"}, {"и", "i"}, {"й", "j"},  {"к", "k"},   {"л", "l"},  {"м", "m"},
    {"н", "n"}, {"о", "o"}, {"п", "p"},  {"р", "r"},  {"с", "s"},   {"т", "t"},  {"у", "u"},
    {"ф", "f"}, {"х", "h"}, {"ц", "c"},  {"ч", "ch"}, {"ш", "sh"},  {"щ", "sch"}, {"ъ", "'"},
    {"ы", "y"}, {"ь", "'"}, {"э", "eh"}, {"ю", "ju"}, {"я", "ja"},
};

const translit_entry upper_table[] = {
    {"А", "A"}, {"Б", "B"}, {"В", "V"},  {"Г", "G"},  {"Д", "D"},   {"Е", "E"},  {"Ё", "E"},
    {"Ж", "JZ"}, {"З", "Z"}, {"И", "I"}, {"Й", "J"},  {"К", "K"},   {"Л", "L"},  {"М", "M"},
    {"Н", "N"}, {"О", "O"}, {"П", "P"},  {"Р", "R"},  {"С", "S"},   {"Т", "T"},  {"У", "U"},
    {"Ф", "F"}, {"Х", "H"}, {"Ц", "C"},  {"Ч", "CH"}, {"Ш", "SH"},  {"Щ", "SCH"}, {"Ъ", "'"},
    {"Ы", "Y"}, {"Ь", "'"}, {"Э", "EH"}, {"Ю", "JU"}, {"Я", "JA"},
};

// Returns: the Latin text of the two-byte letter at p, or null.
const char* find_translit(const unsigned char* p) {
    for (const translit_entry& e : lower_table)
        if (std::memcmp(p, e.letter, 2) == 0)
            return e.latin;
    for (const translit_entry& e : upper_table)
        if (std::memcmp(p, e.letter, 2) == 0)
            return e.latin;
    return nullptr;
}

}  // namespace

char* kiv_trim(const char* text) {
    if (text == nullptr)
        return nullptr;
    size_t len = std::strlen(text);
    size_t start = 0;
    while (start < len && is_blank(text[start]))
        ++start;
    size_t end = len;
    while (end > start && is_blank(text[end - 1]))
        --end;
    return heap_copy(text + start, end - start);
}

char* kiv_text_encode(const char* text) {
    if (text == nullptr)
        return nullptr;
    static const char hex[] = "0123456789ABCDEF";
    uint64_t len = std::strlen(text);
    char* out = static_cast<char*>(malloc(len * 3 + 1));
    if (out == nullptr)
        return nullptr;
    char* q = out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != '\0'; ++p) {
        unsigned char c = *p;
        if ((c >= '0' && c <= '9') || (c >= 0x41 && c <= 0x7E)) {
            *q++ = static_cast<char>(c);
        } else {
            *q++ = '%';
            *q++ = hex[c >> 4];
            *q++ = hex[c & 0x0F];
        }
    }
    *q = '\0';
    return out;
}

char* kiv_text_decode(const char* text) {
    if (text == nullptr)
        return nullptr;
    size_t len = std::strlen(text);
    char* out = static_cast<char*>(malloc(len + 1));
    if (out == nullptr)
        return nullptr;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    char* q = out;
    while (*p != '\0') {
        if (*p == '+') {
            *q++ = ' ';
            ++p;
            continue;
        }
        if (*p == '%') {
            // p[1] is read only when it is no terminator, so p[2] exists.
            int high = kiv::hex_digit_value(p[1]);
            int low = high >= 0 ? kiv::hex_digit_value(p[2]) : -1;
            if (low >= 0 && (high | low) != 0) {
                *q++ = static_cast<char>(high * 16 + low);
                p += 3;
                continue;
            }
        }
        *q++ = static_cast<char>(*p++);
    }
    *q = '\0';
    return out;
}

char* kiv_do_translit(const char* text) {
    if (text == nullptr || *text == '\0')
        return nullptr;
    std::string out;
    out.reserve(std::strlen(text) + 16);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != '\0') {
        unsigned n = kiv::utf8_seq_len(p);
        const char* latin = n == 2 ? find_translit(p) : nullptr;
        if (latin != nullptr)
            out += latin;
        else
            out.append(reinterpret_cast<const char*>(p), n);
        p += n;
    }
    return heap_copy(out.data(), out.size());
}
