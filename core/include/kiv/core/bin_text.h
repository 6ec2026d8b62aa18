// bin_text.h --
//
//     Bytes as text and back: upper-case hexadecimal (two digits a byte)
//     and Base64 with the RFC 4648 alphabet and "=" padding, no line
//     breaks. The encryptor, the script and page loaders and the scripts
//     themselves move binary data through these.
//
//     Decoders never fail on bad input: they stop where the text stops
//     making sense and return what they decoded. All functions are
//     reentrant and safe from any thread.

#ifndef KIV_CORE_BIN_TEXT_H
#define KIV_CORE_BIN_TEXT_H

#include <kiv/core/i_binary.h>

// Returns: a new heap text of two upper-case hexadecimal digits per byte
//     ("0AFF" for 0A FF), the empty text for size 0; null for null data
//     or when memory fails. The caller frees it.
KIV_EXTERN_C char* kiv_bin2str(const void* data, unsigned size);

// Reads pairs of hexadecimal digits ("0aff" gives 0A FF). A pair is read
// from its first character up to the first that is no hexadecimal digit:
// "G1" gives 0, "1G" gives 1.
// Returns: a new binary with one reference for the caller (empty for the
//     empty text); null for a null text, a text of odd length, or when
//     memory fails.
KIV_EXTERN_C kiv::i_binary* kiv_str2bin(const char* text);

// Returns: a new heap text of the Base64 encoding of the bytes, padded
//     to a multiple of 4 characters; null for null data, size 0, or when
//     memory fails. The caller frees it.
KIV_EXTERN_C char* kiv_base64_encode(const void* data, unsigned size);

// Decodes Base64 up to the first "=" or the first character outside the
// alphabet; the rest of the text is ignored. A final group of 2 or 3
// characters gives 1 or 2 bytes; a single leftover character gives none.
// Returns: a new binary with one reference for the caller (empty when
//     nothing decoded); null for a null text or when memory fails.
KIV_EXTERN_C kiv::i_binary* kiv_base64_decode(const char* text);

#endif
