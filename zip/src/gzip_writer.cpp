// gzip_writer.cpp --
//
//     gzip files deflated by zlib in its gzip form (the header and
//     trailer gzwrite makes: default level, no name, time 0) onto the
//     core's file_writer, which close puts in place.

#include "gzip_writer.h"

#include <kiv/core/log.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace kiv {

namespace {

// The window of deflate plus 16: zlib writes the gzip header and trailer.
constexpr int gzip_window_bits = MAX_WBITS + 16;
// zlib's default memory level, the one gzwrite uses.
constexpr int gzip_memory_level = 8;

}  // namespace

gzip_writer* gzip_writer::create(const std::string& target, std::unique_ptr<file_writer> out) {
    gzip_writer* writer = new (std::nothrow) gzip_writer(target);
    if (writer == nullptr)
        return nullptr;
    if (deflateInit2(&writer->stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, gzip_window_bits, gzip_memory_level,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        kiv_log(0, "kiv_zip: cannot write '%s': zlib could not start", target.c_str());
        delete writer;
        return nullptr;
    }
    writer->deflating_ = true;
    writer->out_ = std::move(out);
    return writer;
}

gzip_writer::~gzip_writer() {
    close();
    if (deflating_)
        deflateEnd(&stream_);
}

bool gzip_writer::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_gzip_writer", static_cast<i_gzip_writer*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool gzip_writer::pump(file_writer& out, int flush) {
    for (;;) {
        stream_.next_out = chunk_;
        stream_.avail_out = sizeof chunk_;
        int rc = deflate(&stream_, flush);
        if (rc == Z_STREAM_ERROR)
            return false;
        size_t made = sizeof chunk_ - stream_.avail_out;
        if (made > 0 && !out.write(chunk_, made))
            return false;
        if (flush == Z_FINISH && rc == Z_STREAM_END)
            return true;
        if (flush != Z_FINISH && stream_.avail_out != 0)
            return true;
        if (rc == Z_BUF_ERROR && made == 0)
            return false;  // no progress possible: never loop for good
    }
}

bool gzip_writer::write(const void* buf, unsigned buf_size) {
    mutex_locker lock(this);
    if (out_ == nullptr)
        return false;
    if (buf_size == 0)
        return true;
    if (failed_ || buf == nullptr) {
        failed_ = true;
        return false;
    }
    stream_.next_in = static_cast<Bytef*>(const_cast<void*>(buf));
    stream_.avail_in = buf_size;
    if (!pump(*out_, Z_NO_FLUSH))
        failed_ = true;
    stream_.next_in = nullptr;
    stream_.avail_in = 0;
    return !failed_;
}

bool gzip_writer::close() {
    mutex_locker lock(this);
    if (out_ == nullptr)
        return false;
    // Closed from here on, whatever the outcome; a writer dropped without
    // commit removes its temporary file.
    std::unique_ptr<file_writer> out = std::move(out_);
    bool ok = !failed_ && pump(*out, Z_FINISH);
    deflateEnd(&stream_);
    deflating_ = false;
    ok = ok && out->commit();
    if (!ok)
        kiv_log(0, "kiv_zip: '%s' was not written: %s; the old file stays", target_.c_str(),
                out->error() != 0 ? std::strerror(out->error()) : "a write failed");
    return ok;
}

}  // namespace kiv
