// charset.h --
//
//     Text conversions between the system's 8-bit code page (CP1251),
//     UTF-8 (the text of the system) and UTF-16 (char16_t, little-endian,
//     no byte-order mark). A character that the target cannot hold, or a
//     malformed input sequence, becomes "?"; a conversion never fails for
//     that reason. Every result is a malloc-ed, NUL-terminated block the
//     caller frees. Safe from any thread.

#ifndef KIV_CORE_CHARSET_H
#define KIV_CORE_CHARSET_H

#include <kiv/core/export.h>

// Code page numbers: 0 is the system's ANSI code page (CP1251), 65001 is
// UTF-8, 1200 is UTF-16; any other number n names the code page "CPn".
// Returns: the converted text, or null for null data or an unknown code
//     page.
KIV_EXTERN_C char* kiv_iconv_impl(unsigned from, unsigned to, const char* data);
// System code page to UTF-8.
KIV_EXTERN_C char* kiv_iconv_to_int(const char* data);
// UTF-8 to the system code page.
KIV_EXTERN_C char* kiv_iconv_to_ext(const char* data);
// UTF-8 to UTF-16 with a terminating 0 unit.
KIV_EXTERN_C char16_t* kiv_iconv_to_utf16(const char* data);
// UTF-16 (up to its 0 unit) to UTF-8.
KIV_EXTERN_C char* kiv_iconv_from_utf16(const char16_t* data);

#endif
