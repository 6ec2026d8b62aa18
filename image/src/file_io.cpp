// file_io.cpp --
//
//     Whole-file reads for the codecs.

#include "file_io.h"

namespace kiv {

bool read_whole_file(FILE* file, uint64_t cap, std::vector<uint8_t>& out) {
    out.clear();
    uint8_t chunk[65536];
    for (;;) {
        size_t n = fread(chunk, 1, sizeof chunk, file);
        if (n > 0) {
            if (out.size() + n > cap)
                return false;
            out.insert(out.end(), chunk, chunk + n);
        }
        if (n < sizeof chunk)
            return ferror(file) == 0;
    }
}

}  // namespace kiv
