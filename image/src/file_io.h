// file_io.h --
//
//     File access of the image library. Reading takes a whole file into
//     memory under the image cap. Writing goes through temp_file_writer:
//     a file that others read back (cached map tiles, saved pictures)
//     must never be seen half-written, so bytes go to a unique temporary
//     file beside the target and replace it only once they were all
//     written and closed without error.

#ifndef KIV_IMAGE_FILE_IO_H
#define KIV_IMAGE_FILE_IO_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kiv {

// Reads an open file from its current position to its end.
// Returns: false when a read fails or the file holds more than `cap`
//     bytes (out is then unspecified).
bool read_whole_file(FILE* file, uint64_t cap, std::vector<uint8_t>& out);

class temp_file_writer {
public:
    // Nothing is created until open().
    explicit temp_file_writer(std::string target);
    // Closes and removes the temporary file unless commit() succeeded.
    ~temp_file_writer();
    temp_file_writer(const temp_file_writer&) = delete;
    temp_file_writer& operator=(const temp_file_writer&) = delete;

    // Creates a new temporary file beside the target (O_EXCL, mode 0666
    // less the umask).
    // Returns: the stream to write (owned by the writer), or null with
    //     the cause traced.
    FILE* open();
    // Flushes and closes the stream, then renames the temporary file over
    // the target.
    // Returns: false (the temporary file removed, the target untouched)
    //     when any of the three fails or the stream saw a write error.
    bool commit();

private:
    void discard();

    std::string target_;      // the path that receives the file
    std::string temp_;        // the temporary path; empty until open()
    FILE* file_ = nullptr;    // owned; null before open() and after close
    bool committed_ = false;  // true once renamed into place
};

}  // namespace kiv

#endif
