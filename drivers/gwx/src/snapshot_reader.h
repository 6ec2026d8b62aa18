// snapshot_reader.h --
//
//     Turns the control's BMP snapshots back into RGBA images. Only what
//     the control is asked to write is accepted: a 24-bit, uncompressed,
//     bottom-up bitmap of exactly the requested size. Every header field
//     is checked against the bytes really there before a pixel is read.

#ifndef KIV_GWX_SNAPSHOT_READER_H
#define KIV_GWX_SNAPSHOT_READER_H

#include <kiv/image/i_image.h>

#include <cstddef>

namespace kiv {

// Decodes a snapshot held in memory (the whole file).
// Returns: a new image (one reference for the caller) with alpha 255,
//     or null for a bad magic, a size field below 54 or above the
//     bytes given, a pixel offset outside them, another bit count or
//     compression, a size other than width × height, a top-down bitmap,
//     or pixel rows cut short (the cause goes to the trace).
// Changes: nothing. Safe from any thread.
i_image* decode_snapshot(const unsigned char* data, size_t size, unsigned width, unsigned height);

// Reads a snapshot file and decodes it as decode_snapshot does.
// Returns: the image, or null when the file cannot be read or is refused.
i_image* read_snapshot(const char* path, unsigned width, unsigned height);

}  // namespace kiv

#endif
