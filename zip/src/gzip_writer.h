// gzip_writer.h --
//
//     The writer behind i_gzip_writer: compresses a stream of buffers
//     into a gzip file. Others read these files back (the HTTP library
//     serves them as gzip copies), so the bytes go through the core's
//     file_writer: a unique temporary file beside the target that
//     replaces it, keeping its mode, only when every write, the final
//     flush and the close succeeded; otherwise the temporary file is
//     removed and the target stays as it was. Every operation holds the
//     mutex.

#ifndef KIV_ZIP_SRC_GZIP_WRITER_H
#define KIV_ZIP_SRC_GZIP_WRITER_H

#include <kiv/core/file_writer.h>
#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/zip/i_zip.h>

#include <zlib.h>

#include <memory>
#include <string>

namespace kiv {

class gzip_writer : public object, public mutex, public i_gzip_writer {
public:
    // Takes over `out`, already open on the absolute path `target`.
    // Returns: a new writer (count 0), or null when zlib cannot start
    //     (the temporary file is then removed).
    static gzip_writer* create(const std::string& target, std::unique_ptr<file_writer> out);
    // Closes the file when still open (as close does).
    ~gzip_writer() override;

    bool write(const void* buf, unsigned buf_size) override;
    // Finishes the gzip stream and puts the file in place; a failure is
    // named in the log with its cause.
    bool close() override;
    // Answers "i_gzip_writer"; other names go to object.
    bool get_interface(const char* name, void** out) override;

private:
    explicit gzip_writer(const std::string& target) : target_(target) {}

    // Deflates what stream_ holds with `flush` (Z_NO_FLUSH: until the
    // input is taken; Z_FINISH: to the end of the gzip stream) and hands
    // what comes out to `out`. Returns: false when zlib or a write failed.
    bool pump(file_writer& out, int flush);

    std::string target_;               // the file replaced by a successful close
    std::unique_ptr<file_writer> out_; // owned; null once closed
    z_stream stream_ = {};             // deflate state writing the gzip form
    bool deflating_ = false;           // stream_ was started and not yet ended
    bool failed_ = false;              // a write failed: close abandons the file
    unsigned char chunk_[1 << 16];     // deflate output on its way to out_
};

}  // namespace kiv

#endif
