// utf8.h --
//
//     Characters of UTF-8 text. Text inside the system is UTF-8; these
//     helpers count, index and compare it by character rather than by
//     byte, on Tcl's UTF-8 routines (which also fold letter case for the
//     whole of Unicode's basic plane, Cyrillic included).
//
//     None of them reads past the terminator of a text, however malformed
//     the bytes before it. All are reentrant and safe from any thread.

#ifndef KIV_CORE_UTF8_H
#define KIV_CORE_UTF8_H

#include <kiv/core/export.h>

#include <cstdint>

// Returns: the number of characters of `text` (0 for null). A byte that
//     starts no valid sequence counts as one character.
KIV_EXTERN_C int kiv_strlen(const char* text);

// Finds the character at character index `index` of `text`.
// When `buffer` and `size` are given and a character is found, copies its
// bytes (at most *size and at most 3, no terminator) and stores in *size
// the number of bytes copied.
// Returns: a pointer into `text` at that character, or null for a null
//     text, a negative index or an index at or past the end of the text.
KIV_EXTERN_C const char* kiv_strat(const char* text, int index, char* buffer, unsigned* size);

// Compares the first `count` characters of a and b without regard to
// letter case; count 0 means the character length of a. Comparison stops
// at the end of either text.
// Returns: 1 when they are equal, 0 when not or when a or b is null.
KIV_EXTERN_C int kiv_strnicmp(const char* a, const char* b, unsigned count);

// The ordering form of kiv_strnicmp.
// Returns: negative, 0 or positive as a sorts before, with or after b
//     (lower-case code points compared); 0 when a or b is null.
KIV_EXTERN_C int kiv_strnicmp2(const char* a, const char* b, unsigned count);

// Returns: the number of bytes of the character at `text`: 1 when its
//     first byte is a whole character, else the bytes counted until the
//     sequence is complete or a zero byte comes (which is never counted);
//     0 for null.
KIV_EXTERN_C unsigned kiv_charlen(const char* text);

// Decodes one UTF-8 sequence at `text`. Lead bytes F8-FF are skipped; a
// stray continuation byte gives the code point gathered so far (0) and
// one byte of progress; a sequence cut short by an ASCII byte gives that
// ASCII byte.
// Returns: true with the code point in *code_point and the position
//     behind the sequence in *next; false at the terminator or for a null
//     text (then *code_point is 0 and *next is `text`). Either out
//     pointer may be null.
KIV_EXTERN_C bool kiv_get_unicode_char(const char* text, uint32_t* code_point, const char** next);

#endif
