// http_request_static_file.cpp --
//
//     Answering a request with a file (see http_request.h):
//     conditional requests, caching headers, HEAD, byte ranges and the
//     gzip copies of text files; then the file body goes out with
//     sendfile from the service thread.

#include "request/http_request.h"

#include "parse/http_request_text.h"
#include "parse/http_trim.h"
#include "request/http_file_body.h"
#include "request/http_file_cache.h"
#include "request/http_date.h"
#include "request/http_files.h"
#include "request/http_gzip.h"

#include <kiv/core/string_impl.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kiv {

namespace {

// Opens `path` as a regular file for reading, blocking, with its status
// in `*st`. Returns: the descriptor, or -1 with `*failure` (when given)
//     naming the cause for the error log.
int open_regular_file(const char* path, struct stat* st, const char** failure) {
    // Non-blocking open, so that a FIFO does not hold the worker.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    int open_error = errno;
    const char* cause = nullptr;
    if (fd < 0)
        // A file that is there but cannot be opened says so apart.
        cause = open_error == ENOENT || open_error == ENOTDIR ? "File not found - " : "File not found(2) - ";
    else if (fstat(fd, st) != 0)
        cause = "File not found(3) - ";
    else if (!S_ISREG(st->st_mode))
        cause = "File not found - ";
    if (failure != nullptr)
        *failure = cause;
    if (cause != nullptr) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    // O_NONBLOCK stays: reads of a regular file never wait for it, and
    // a body sent with sendfile clears it first.
    return fd;
}

// Returns: the cause for the error log when a stat that ended with
//     `error` (an errno, 0 for success) in the status `st` found no
//     regular file, else null.
const char* status_failure(int error, const struct stat& st) {
    if (error != 0)
        return error == ENOENT || error == ENOTDIR ? "File not found - " : "File not found(2) - ";
    return S_ISREG(st.st_mode) ? nullptr : "File not found - ";
}

// Reads the open file `fd` of `size` bytes whole when it is small, closes
// it and holds its bytes as `kind` of `path` in the state `st` for the
// next answers. Returns: the bytes, or null (`fd` left open) when the
// file is too large or cannot be read.
http_file_bytes read_and_hold(int fd, uint64_t size, const std::string& path, const struct stat& st,
                              http_held_kind kind) {
    http_file_bytes bytes = http_read_bytes(fd, size);
    if (bytes) {
        close(fd);
        http_hold_bytes(path, st, kind, bytes);
    }
    return bytes;
}

// Takes the status of `path` into `*st`, as open_regular_file would.
// `*failure` names the cause for the error log when it is no regular
// file, else is null.
void stat_regular_file(const char* path, struct stat* st, const char** failure) {
    *failure = status_failure(stat(path, st) == 0 ? 0 : errno, *st);
}

}  // namespace

// ---- pool worker: choosing what goes out ---------------------------------

bool http_request::send_file(const char* path, bool delete_after_send) {
    return send_file_with_status(path, delete_after_send, http_path_status());
}

bool http_request::send_file_with_status(const char* path, bool delete_after_send, const http_path_status& known) {
    if (path == nullptr || answer_.head_built())
        return false;
    if (state() != processing) {
        log_error("Invalid file I/O state");
        return false;
    }
    if (delete_after_send)
        file_.delete_after_send(path);
    struct stat st;
    const char* failure = nullptr;
    // A 304, an answer to HEAD, a file held in memory and a gzip copy
    // made before need the file's status only; other answers open the
    // file at once.
    int fd = -1;
    if (known.taken && !delete_after_send) {
        st = known.st;
        failure = status_failure(known.error, st);
    } else if (may_answer_from_status(delete_after_send)) {
        stat_regular_file(path, &st, &failure);
    } else {
        fd = open_regular_file(path, &st, &failure);
    }
    if (failure != nullptr) {
        send_error("404 Not Found");
        log_error((std::string(failure) + path).c_str());
        return false;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    int64_t modified = static_cast<int64_t>(st.st_mtim.tv_sec);
    // Whether this file goes out gzipped depends on the request: a cache
    // must not hand one client's answer to another that asked otherwise.
    if (gzip_possible(size))
        vary_on_accept_encoding();
    if (not_modified_since(modified)) {
        if (fd >= 0)
            close(fd);
        set_response_code("304 Not Modified");
        stop();
        return true;
    }
    add_file_headers(modified, delete_after_send);
    // HEAD goes the way of GET, so its head is the one GET would get
    // (gzip and its length, a range); the body is dropped when sending.
    set_response_code("200 OK");
    std::string file_path(path);
    bool gzip = !delete_after_send && gzip_wanted(size);
    if (fd < 0 && gzip) {
        http_file_bytes held = http_find_held_bytes(file_path, st, http_held_kind::gzip_copy);
        if (held) {
            send_header("Content-Encoding", "gzip");
            return send_file_part(-1, held, 0, held->size());
        }
        uint64_t gz_size = 0;
        bool invalid = false;
        int gz = http_open_known_gzip_copy(path, st, &gz_size, &invalid);
        if (invalid)
            log_error("Invalid GZip archive");  // made anew below
        if (gz >= 0)
            return send_gzip_copy(gz, gz_size, file_path, st, true);
    }
    if (fd < 0 && !gzip && !delete_after_send) {
        http_file_bytes held = http_find_held_bytes(file_path, st, http_held_kind::file);
        if (held)
            return send_file_range(-1, held, held->size(), modified);
    }
    if (fd < 0) {
        // Its status was taken: whatever stops the open now, the error
        // log names this last step.
        fd = open_regular_file(path, &st, nullptr);
        if (fd < 0) {
            send_error("404 Not Found");
            log_error((std::string("File not found(4) - ") + path).c_str());
            return false;
        }
        size = static_cast<uint64_t>(st.st_size);
    }
    uint64_t gz_size = 0;
    int gz = open_gzip_copy(path, delete_after_send, size, &gz_size);
    if (gz >= 0) {
        close(fd);
        return send_gzip_copy(gz, gz_size, file_path, st, !delete_after_send);
    }
    if (!delete_after_send)
        if (http_file_bytes bytes = read_and_hold(fd, size, file_path, st, http_held_kind::file))
            return send_file_range(-1, bytes, size, modified);
    return send_file_range(fd, nullptr, size, modified);
}

bool http_request::send_gzip_copy(int gz, uint64_t gz_size, const std::string& path, const struct stat& st, bool hold) {
    send_header("Content-Encoding", "gzip");
    if (hold)
        if (http_file_bytes bytes = read_and_hold(gz, gz_size, path, st, http_held_kind::gzip_copy))
            return send_file_part(-1, bytes, 0, gz_size);
    return send_file_part(gz, nullptr, 0, gz_size);
}

bool http_request::may_answer_from_status(bool delete_after_send) {
    return *request_headers_.find("If-Modified-Since") != '\0' ||
           (!delete_after_send && gzip_wanted(http_gzip_min_size));
}

bool http_request::gzip_possible(uint64_t size) {
    const char* type = answer_.headers().find("Content-Type");
    return (std::strncmp(type, "text/", 5) == 0 || std::strcmp(type, "application/pdf") == 0) &&
           size >= http_gzip_min_size;
}

bool http_request::gzip_wanted(uint64_t size) {
    return gzip_possible(size) && http_accepts_gzip(request_headers_.find("Accept-Encoding"));
}

bool http_request::not_modified_since(int64_t modified) {
    int64_t since = http_parse_date(request_headers_.find("If-Modified-Since"));
    return since >= 0 && since == modified &&
           std::strstr(request_headers_.find("Cache-Control"), "max-age=0") == nullptr;
}

void http_request::add_file_headers(int64_t modified, bool delete_after_send) {
    send_header("Last-Modified", http_date(modified).c_str());
    http_header_map& headers = answer_.headers();
    if (ascii_stricmp(method_.c_str(), "POST") != 0 && *headers.find("Expires") == '\0' &&
        *headers.find("Cache-Control") == '\0') {
        send_header("Expires", http_date(http_now_seconds() + 86400).c_str());
        send_header("Cache-Control", "max-age=86400");
    }
    if (!delete_after_send)
        send_header("Accept-Ranges", "bytes");
}

int http_request::open_gzip_copy(const char* path, bool delete_after_send, uint64_t size, uint64_t* gz_size) {
    if (!gzip_wanted(size))
        return -1;
    // A file meant to be deleted leaves no copy behind: its copy is
    // made for this answer alone and deleted with it.
    bool invalid = false;
    std::string copy = http_gzip_copy(path, !delete_after_send, &invalid);
    if (invalid)
        log_error("Invalid GZip archive");
    if (delete_after_send && !copy.empty())
        file_.delete_copy_after_send(copy);
    int gz = copy.empty() ? -1 : open(copy.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat gz_st;
    if (gz >= 0 && fstat(gz, &gz_st) != 0) {
        close(gz);
        gz = -1;
    }
    if (gz >= 0)
        *gz_size = static_cast<uint64_t>(gz_st.st_size);
    return gz;
}

bool http_request::range_allowed(int64_t modified) {
    // A resumed download asks for the rest of the version it has; any
    // other version goes out whole rather than spliced onto it.
    const char* validator = request_headers_.find("If-Range");
    if (*validator == '\0')
        return true;
    int64_t named = http_parse_date(http_trim(validator).c_str(), http_now_seconds());
    return named >= 0 && named == modified;
}

bool http_request::send_file_range(int fd, const http_file_bytes& bytes, uint64_t size, int64_t modified) {
    uint64_t first = 0, last = 0;
    http_range_result range = range_allowed(modified)
                                  ? http_parse_range(request_headers_.find("Range"), size, &first, &last)
                                  : http_range_result::whole;
    switch (range) {
    case http_range_result::partial:
        set_response_code("206 Partial Content");
        send_header("Content-Range", ("bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                                      std::to_string(size)).c_str());
        return send_file_part(fd, bytes, first, last - first + 1);
    case http_range_result::unsatisfiable:
        if (fd >= 0)
            close(fd);
        send_header("Content-Range", ("bytes */" + std::to_string(size)).c_str());
        send_error("416 Requested range not satisfiable");
        log_error("Invalid range");
        return false;
    case http_range_result::whole:
        break;
    }
    return send_file_part(fd, bytes, 0, size);
}

bool http_request::send_file_part(int fd, const http_file_bytes& bytes, uint64_t offset, uint64_t length) {
    answer_.headers().set("Content-Length", std::to_string(length).c_str(), true);
    if (!finish_headers()) {
        if (fd >= 0)
            close(fd);
        close_connection("Fin headers error");
        return false;
    }
    // Bytes held in memory, or a small file, go out with the head in one
    // send; a larger file, or one that shrank meanwhile, streams with
    // sendfile.
    if (bytes) {
        if (offset > bytes->size() || length > bytes->size() - offset ||
            !answer_.append_bytes(bytes->data() + offset, static_cast<size_t>(length))) {
            close_connection("Allocation error 2");
            return false;
        }
        start_sending();
        return true;
    }
    if (length <= http_small_file_max && answer_.append_file(fd, offset, length)) {
        close(fd);
        start_sending();
        return true;
    }
    // Opened without blocking (a FIFO must not hold the worker); the
    // body is sent in blocking reads of the file.
    fcntl(fd, F_SETFL, 0);
    file_.attach(fd, offset, length);
    start_sending();
    return true;
}

}  // namespace kiv
