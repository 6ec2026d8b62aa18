// utf8_seq.h --
//
//     Private helpers of kiv_core for walking UTF-8 bytes one whole
//     character at a time without trusting them: a lead byte counts with
//     its continuation bytes only when they are really there, so a step
//     never passes the terminator of a text.

#ifndef KIV_CORE_SRC_UTF8_SEQ_H
#define KIV_CORE_SRC_UTF8_SEQ_H

#include <cstdint>

namespace kiv {

// Returns: the byte length of the well-formed sequence at p (2 to 4), or
//     1 for ASCII, a stray or invalid byte, an overlong form, or a
//     sequence cut short.
//     Reads no byte behind a zero byte.
inline unsigned utf8_seq_len(const unsigned char* p) {
    unsigned char c = p[0];
    unsigned n;
    if (c < 0xC2)
        return 1;  // ASCII, continuation byte, or overlong C0/C1 lead
    if (c < 0xE0)
        n = 2;
    else if (c < 0xF0)
        n = 3;
    else if (c < 0xF5)
        n = 4;
    else
        return 1;
    for (unsigned i = 1; i < n; ++i)
        if ((p[i] & 0xC0) != 0x80)
            return 1;
    // Overlong forms (which could pass for ASCII) and values past U+10FFFF
    // are no characters.
    if ((c == 0xE0 && p[1] < 0xA0) || (c == 0xF0 && p[1] < 0x90) || (c == 0xF4 && p[1] > 0x8F))
        return 1;
    return n;
}

// Returns: the code point of the sequence at p, whose length `len` came
//     from utf8_seq_len (a 1-byte "sequence" is its byte value).
inline uint32_t utf8_seq_value(const unsigned char* p, unsigned len) {
    switch (len) {
    case 2: return (uint32_t(p[0] & 0x1F) << 6) | (p[1] & 0x3F);
    case 3: return (uint32_t(p[0] & 0x0F) << 12) | (uint32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    case 4:
        return (uint32_t(p[0] & 0x07) << 18) | (uint32_t(p[1] & 0x3F) << 12) |
               (uint32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
    default: return p[0];
    }
}

}  // namespace kiv

#endif
