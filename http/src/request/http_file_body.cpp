// http_file_body.cpp --
//
//     The file body of an answer (see http_file_body.h): sent with
//     sendfile, at most a gigabyte a call, and the temporary files
//     removed once the transfer ends.

#include "request/http_file_body.h"

#include <sys/sendfile.h>
#include <unistd.h>

#include <algorithm>

namespace kiv {

namespace {

const size_t sendfile_chunk = 1u << 30;

}  // namespace

http_file_body::~http_file_body() {
    close();
    remove_files();
}

void http_file_body::remove_files() {
    if (!delete_after_send_.empty())
        unlink(delete_after_send_.c_str());
    if (!delete_copy_after_send_.empty())
        unlink(delete_copy_after_send_.c_str());
    delete_after_send_.clear();
    delete_copy_after_send_.clear();
}

void http_file_body::attach(int fd, uint64_t offset, uint64_t length) {
    close();
    fd_ = fd;
    offset_ = offset;
    remaining_ = length;
}

void http_file_body::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    remaining_ = 0;
}

ssize_t http_file_body::send_some(int socket) {
    off_t offset = static_cast<off_t>(offset_);
    size_t count = static_cast<size_t>(std::min<uint64_t>(remaining_, sendfile_chunk));
    ssize_t n = sendfile(socket, fd_, &offset, count);
    if (n > 0) {
        offset_ += static_cast<uint64_t>(n);
        remaining_ -= static_cast<uint64_t>(n);
    }
    return n;
}

}  // namespace kiv
