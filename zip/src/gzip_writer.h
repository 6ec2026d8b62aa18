// gzip_writer.h --
//
//     The writer behind i_gzip_writer: compresses a stream of buffers
//     into a gzip file. Others read these files back (the HTTP library
//     serves them as gzip copies), so the bytes go to a unique temporary
//     file beside the target and replace it only when every write and
//     the final flush succeeded; otherwise the temporary file is removed
//     and the target stays as it was. Every operation holds the mutex.

#ifndef KIV_ZIP_SRC_GZIP_WRITER_H
#define KIV_ZIP_SRC_GZIP_WRITER_H

#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/zip/i_zip.h>

#include <zlib.h>

#include <string>

namespace kiv {

class gzip_writer : public object, public mutex, public i_gzip_writer {
public:
    // Returns: a new writer (count 0) for the absolute path `target`, or
    //     null when the temporary file cannot be created.
    static gzip_writer* create(const std::string& target);
    // Closes the file when still open (as close does).
    ~gzip_writer() override;

    bool write(const void* buf, unsigned buf_size) override;
    bool close() override;
    // Answers "i_gzip_writer"; other names go to object.
    bool get_interface(const char* name, void** out) override;

private:
    gzip_writer(gzFile file, const std::string& target, const std::string& temp_path)
        : file_(file), target_(target), temp_path_(temp_path) {}

    gzFile file_;             // owned; null once closed
    std::string target_;      // the file replaced by a successful close
    std::string temp_path_;   // the file being written
    bool failed_ = false;     // a write failed: close abandons the file
};

}  // namespace kiv

#endif
