// image_lib.h --
//
//     The flat functions of the image library: creating images, the
//     packed image blob and the colour text. Other libraries use these
//     rather than constructing `image` themselves. None keeps state; all
//     may be called from any thread.
//
//     Packed image blob (big-endian numbers):
//         offset 0, 4 bytes: width;  offset 4, 4 bytes: height;
//         offset 8, 1 byte: format code (2, 3, 4, 6 or 7);
//         offset 9: the picture encoded in that format.
//     For 2, 3 and 4 the picture's own size wins over the header's; for 6
//     and 7 the header's size must match the payload exactly.
//
//     Colour text: hexadecimal RRGGBB or AARRGGBB (leading blanks and
//     "0x" accepted). Alpha is taken only when the value exceeds
//     0xFFFFFF, so "00FF0000" is opaque red: the text cannot ask for
//     alpha 0.

#ifndef KIV_IMAGE_IMAGE_LIB_H
#define KIV_IMAGE_IMAGE_LIB_H

#include <kiv/core/i_binary.h>
#include <kiv/image/i_image.h>

// Decodes a PNG, JPEG or GIF file chosen by its extension.
// Returns: a new image with one reference, or null on failure.
KIV_EXTERN_C kiv::i_image* kiv_image_load(const char* path);
// Returns: a new width × height image filled with `color` (one reference),
//     or null for a zero side or no memory.
KIV_EXTERN_C kiv::i_image* kiv_image_create(unsigned width, unsigned height, unsigned color);
// Builds an image from encoded or raw data (see image::create).
// Returns: a new image with one reference, or null on failure.
KIV_EXTERN_C kiv::i_image* kiv_image_create_from_data(const void* data, unsigned data_size,
                                                      unsigned width, unsigned height,
                                                      unsigned char format);
// Returns: the colour of a colour text as a 32-bit pixel value (R in
//     bits 0-7 ... A in bits 24-31); 0 for null.
KIV_EXTERN_C unsigned kiv_image_text2color(const char* txt);
// Encodes img in `format` and prefixes the blob header.
// Returns: a new block with one reference, or null for a null image or
//     a failed encoding (format 5 always fails).
KIV_EXTERN_C kiv::i_binary* kiv_image_pack(kiv::i_image* img, unsigned char format = 6,
                                           unsigned char quality = 100);
// Returns: a new image with one reference from a packed blob, or null
//     for null data, fewer than 10 bytes, or a payload that does not
//     decode or match its header.
KIV_EXTERN_C kiv::i_image* kiv_image_unpack(const void* data, unsigned data_size);

#endif
