// http_file_body.h --
//
//     The file body of an answer: the open file, the part of it still
//     to go out, and the temporary files to remove once the transfer
//     ends. The pool worker opens and attaches the file while it builds
//     the answer (http_request_static_file.cpp: conditional requests,
//     caching headers, HEAD, ranges and gzip copies); the service thread
//     then sends it with sendfile.

#ifndef KIV_HTTP_SRC_HTTP_FILE_BODY_H
#define KIV_HTTP_SRC_HTTP_FILE_BODY_H

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace kiv {

class http_file_body {
public:
    http_file_body() = default;
    // Closes the file and removes the files still marked for deletion.
    ~http_file_body();
    http_file_body(const http_file_body&) = delete;
    http_file_body& operator=(const http_file_body&) = delete;

    // Takes over `fd` to send `length` bytes from `offset`.
    void attach(int fd, uint64_t offset, uint64_t length);
    // Closes the file (the rest of it is not sent).
    void close();
    // Bytes still to send; 0 when no file is attached.
    uint64_t remaining() const { return fd_ >= 0 ? remaining_ : 0; }
    // Sends what the socket takes, without blocking.
    // Returns: the bytes sent, 0 when the file ended early, or -1 with
    //     errno set.
    ssize_t send_some(int socket);

    // `path` is removed when the transfer ends (remove_files()), or at
    // the latest with the request.
    void delete_after_send(const char* path) { delete_after_send_ = path; }
    // Removes the files marked for deletion, once; the file body must
    // be closed.
    void remove_files();
    // `path`, the gzip copy of a file removed after sending, goes with it.
    void delete_copy_after_send(const std::string& path) { delete_copy_after_send_ = path; }

private:
    int fd_ = -1;                         // owned; the file body, -1 for none
    uint64_t offset_ = 0;                 // the next byte to send
    uint64_t remaining_ = 0;              // bytes still to send
    std::string delete_after_send_;       // a file removed once the request ends; "" for none
    std::string delete_copy_after_send_;  // its gzip copy, removed with it; "" for none
};

}  // namespace kiv

#endif
