// file_writer.cpp --
//
//     Whole-file replacement through a temporary file and rename.

#include <kiv/core/file_writer.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace kiv {

file_writer::file_writer(const std::string& path) : path_(path) {
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // A folder would only be refused by the final rename, after the
    // caller had written everything: it is refused before the first byte.
    struct stat st;
    if (base.empty() || (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
        error_ = EISDIR;
        return;
    }
    // The temporary name adds 13 bytes to the base name; a long base name
    // is shortened in it so the name stays within the system's limit.
    const size_t base_room = 200;
    std::string templ = dir + "." + base.substr(0, base_room) + ".tmp.XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    fd_ = mkostemp(name.data(), O_CLOEXEC);
    if (fd_ >= 0)
        temp_path_ = name.data();
    else
        error_ = errno;
}

void file_writer::fail(int error) {
    failed_ = true;
    if (error_ == 0)
        error_ = error != 0 ? error : EIO;
}

file_writer::~file_writer() {
    abandon();
}

void file_writer::abandon() {
    if (stream_ != nullptr)
        fclose(stream_);  // closes fd_ too
    else if (fd_ >= 0)
        close(fd_);
    stream_ = nullptr;
    fd_ = -1;
    if (!temp_path_.empty())
        unlink(temp_path_.c_str());
    temp_path_.clear();
}

FILE* file_writer::stream() {
    if (stream_ == nullptr && ok())
        stream_ = fdopen(fd_, "wb");
    return stream_;
}

bool file_writer::write(const void* data, size_t size) {
    if (!ok())
        return false;
    if (stream_ != nullptr) {
        if (fwrite(data, 1, size, stream_) != size)
            fail(errno);
        return !failed_;
    }
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            fail(n < 0 ? errno : ENOSPC);
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool file_writer::commit() {
    if (!ok()) {
        abandon();
        return false;
    }
    struct stat old;
    mode_t mode = stat(path_.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    // A mode that keeps the owner from reading or writing the file would
    // make every later read of the new file fail as the old one did: the
    // new file is the owner's alone to read and write.
    if ((mode & 0600) != 0600)
        mode = 0600;
    if (stream_ != nullptr && (fflush(stream_) != 0 || ferror(stream_) != 0))
        fail(errno);
    if (fchmod(fd_, mode) != 0)
        fail(errno);
    if ((stream_ != nullptr ? fclose(stream_) : close(fd_)) != 0)
        fail(errno);
    stream_ = nullptr;
    fd_ = -1;
    if (!failed_ && rename(temp_path_.c_str(), path_.c_str()) != 0)
        fail(errno);
    if (failed_) {
        abandon();
        return false;
    }
    temp_path_.clear();
    return true;
}

}  // namespace kiv
