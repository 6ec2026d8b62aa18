// file_io.h --
//
//     File reading of the image library: a whole file into memory under
//     the image cap. (Writing goes through the core's kiv::file_writer, so
//     a saved picture is never seen half-written.)

#ifndef KIV_IMAGE_FILE_IO_H
#define KIV_IMAGE_FILE_IO_H

#include <cstdint>
#include <cstdio>
#include <vector>

namespace kiv {

// Reads an open file from its current position to its end.
// Returns: false when a read fails or the file holds more than `cap`
//     bytes (out is then unspecified).
bool read_whole_file(FILE* file, uint64_t cap, std::vector<uint8_t>& out);

}  // namespace kiv

#endif
