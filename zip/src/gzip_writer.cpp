// gzip_writer.cpp --
//
//     gzip files written through zlib onto a temporary file, renamed
//     into place by close. The temporary file is made with O_EXCL
//     (mkostemp) in the target's folder, so the rename never crosses file
//     systems and never meets another writer's file.

#include "gzip_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <vector>

namespace kiv {

namespace {

constexpr unsigned max_piece = 1u << 30;

}  // namespace

gzip_writer* gzip_writer::create(const std::string& target) {
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty())
        return nullptr;
    std::string templ = dir + "." + base + ".tmp.XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    // Readers of the target see the usual mode of a new file.
    fchmod(fd, 0644);
    gzFile file = gzdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        unlink(name.data());
        return nullptr;
    }
    gzip_writer* writer = new (std::nothrow) gzip_writer(file, target, name.data());
    if (writer == nullptr) {
        gzclose(file);
        unlink(name.data());
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
