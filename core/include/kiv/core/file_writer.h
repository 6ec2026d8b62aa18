// file_writer.h --
//
//     Replaces a file as a whole: the bytes go to a unique temporary file
//     in the same folder (created with O_EXCL), which is renamed over the
//     target only when every write and the close succeeded. A failed or
//     abandoned write removes the temporary file, so readers see either
//     the old file or the complete new one, never a half-written one.

#ifndef KIV_CORE_FILE_WRITER_H
#define KIV_CORE_FILE_WRITER_H

#include <kiv/core/export.h>

#include <cstddef>
#include <cstdio>
#include <string>

namespace kiv {

class KIV_EXPORT file_writer {
public:
    // Creates the temporary file beside `path` (an absolute or working-
    // directory path, taken as given). ok() tells whether that worked; a
    // path that names a folder (or ends in "/") is refused with EISDIR.
    explicit file_writer(const std::string& path);
    file_writer(const file_writer&) = delete;
    file_writer& operator=(const file_writer&) = delete;
    // Abandons an uncommitted write (removes the temporary file).
    ~file_writer();

    bool ok() const { return fd_ >= 0 && !failed_; }
    // Appends bytes. Returns: false once any write has failed.
    bool write(const void* data, size_t size);
    // The temporary file as a stdio stream, for encoders that write to a
    // FILE*; from the first call on, write() goes through it too.
    // Returns: the stream (owned by the writer; do not close it), or null
    //     when the temporary file could not be made.
    FILE* stream();
    // Flushes, closes and renames into place; the new file keeps the mode
    // of the file it replaces (0644 for a new one), except that a mode
    // lacking the owner's read or write permission gives 0600.
    // Returns: false when anything failed; the target is then untouched.
    bool commit();
    // Returns: the errno of the first step that failed (making the
    //     temporary file, a write, closing or renaming it), 0 when none did.
    int error() const { return error_; }

private:
    // Marks the write failed and keeps the first reason.
    void fail(int error);

    void abandon();

    std::string path_;       // the target
    std::string temp_path_;  // the temporary file; empty once renamed or removed
    int fd_ = -1;            // open descriptor of the temporary file; -1 when closed
    FILE* stream_ = nullptr; // stdio stream over fd_ once stream() was called; null before
    bool failed_ = false;    // a write failed: commit refuses
    int error_ = 0;          // errno of the first failure, 0 while none
};

}  // namespace kiv

#endif
