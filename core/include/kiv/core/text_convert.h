// text_convert.h --
//
//     Texts turned into other texts, each result a new heap text that the
//     caller frees: trimming, the URL-style escape used for cookies,
//     headers and query strings, and the transliteration of Cyrillic
//     letters to Latin ones for names that must stay ASCII.
//
//     All functions are reentrant and safe from any thread.

#ifndef KIV_CORE_TEXT_CONVERT_H
#define KIV_CORE_TEXT_CONVERT_H

#include <kiv/core/export.h>

// Drops leading and trailing blanks (space, tab, line feed; a carriage
// return is no blank).
// Returns: a new heap text (the empty text when only blanks were there);
//     null for null or when memory fails.
KIV_EXTERN_C char* kiv_trim(const char* text);

// Keeps digits and every byte from 'A' (0x41) to '~' (0x7E); every other
// byte becomes "%" and two upper-case hexadecimal digits ("a b/c" gives
// "a%20b%2Fc").
// Returns: a new heap text; null for null or when memory fails.
KIV_EXTERN_C char* kiv_text_encode(const char* text);

// Undoes the escape: "+" becomes a blank and "%" followed by exactly two
// hexadecimal digits becomes that byte ("a+b%41" gives "a bA"). A "%"
// that is not followed by two hexadecimal digits, and "%00" (which would
// cut the text short), are kept as they are.
// Returns: a new heap text; null for null or when memory fails.
KIV_EXTERN_C char* kiv_text_decode(const char* text);

// Replaces each Cyrillic letter of the Russian alphabet by its Latin
// spelling ("Щука" gives "SCHuka"); every other character is copied.
// Returns: a new heap text; null for a null or empty text or when memory
//     fails.
KIV_EXTERN_C char* kiv_do_translit(const char* text);

#endif
