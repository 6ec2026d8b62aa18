// gzip_writer.cpp --
//
//     gzip files written through zlib onto a temporary file beside the
//     target (temp_beside.h), renamed into place by close.

#include "gzip_writer.h"

#include "temp_beside.h"

#include <unistd.h>

#include <new>

namespace kiv {

namespace {

constexpr unsigned max_piece = 1u << 30;

}  // namespace

gzip_writer* gzip_writer::create(const std::string& target) {
    std::string temp_path;
    int fd = create_temp_beside(target, &temp_path);
    if (fd < 0)
        return nullptr;
    gzFile file = gzdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        unlink(temp_path.c_str());
        return nullptr;
    }
    gzip_writer* writer = new (std::nothrow) gzip_writer(file, target, temp_path);
    if (writer == nullptr) {
        gzclose(file);
        unlink(temp_path.c_str());
    }
    return writer;
}

gzip_writer::~gzip_writer() {
    close();
}

bool gzip_writer::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_gzip_writer", static_cast<i_gzip_writer*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool gzip_writer::write(const void* buf, unsigned buf_size) {
    mutex_locker lock(this);
    if (file_ == nullptr)
        return false;
    if (buf_size == 0)
        return true;
    // gzwrite counts in int: larger buffers go in pieces.
    const char* p = static_cast<const char*>(buf);
    while (p != nullptr && buf_size > 0) {
        unsigned piece = buf_size < max_piece ? buf_size : max_piece;
        if (gzwrite(file_, p, piece) != int(piece))
            break;
        p += piece;
        buf_size -= piece;
    }
    if (p == nullptr || buf_size > 0) {
        failed_ = true;
        return false;
    }
    return true;
}

bool gzip_writer::close() {
    mutex_locker lock(this);
    if (file_ == nullptr)
        return false;
    bool ok = gzclose(file_) == Z_OK && !failed_;
    file_ = nullptr;
    if (ok && rename(temp_path_.c_str(), target_.c_str()) == 0)
        return true;
    unlink(temp_path_.c_str());
    return false;
}

}  // namespace kiv
