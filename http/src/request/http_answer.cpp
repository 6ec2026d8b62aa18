// http_answer.cpp --
//
//     Building the head of an answer and sending the memory part of it
//     (see http_answer.h).

#include "request/http_answer.h"
#include "request/http_file_cache.h"

#include "parse/http_head.h"
#include "parse/http_request_text.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <new>

namespace kiv {

bool http_answer::build_head(const char* referer, const char* user_agent,
                             const std::vector<cookie_manager::cookie>& cookies, int64_t now) {
    if (head_built_)
        return false;
    headers_.set("Connection", "Close", true);
    int status = status_number();
    if (*headers_.find("Content-Length") == '\0' && status != 200 && http_status_has_body(status))
        headers_.set("Content-Length", "0", true);
    referer_ = referer;
    user_agent_ = user_agent;
    std::string head;
    if (!http_build_head(status_.empty() ? "200 OK" : status_, headers_.get_list(), cookies, now, &head))
        return false;
    head_built_ = true;
    headers_.clear();
    head_size_ = head.size();
    out_.insert(0, head);
    return true;
}

bool http_answer::append_file(int fd, uint64_t offset, uint64_t length) {
    size_t before = out_.size();
    try {
        out_.resize(before + static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (http_read_at(fd, &out_[before], offset, length))
        return true;
    out_.resize(before);
    return false;
}

bool http_answer::append_bytes(const char* data, size_t length) {
    try {
        out_.append(data, length);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

ssize_t http_answer::send_some(int socket, bool last) {
    // Held back at most what a fresh connection's first window carries,
    // so that the segment leaves whole as soon as the FIN is queued.
    const size_t hold_back_max = 14 * 1024;
    size_t rest = out_.size() - out_pos_;
    bool hold = last && rest <= hold_back_max;
    ssize_t n = send(socket, out_.data() + out_pos_, rest, MSG_NOSIGNAL | MSG_DONTWAIT | (hold ? MSG_MORE : 0));
    held_back_ = hold && n == static_cast<ssize_t>(rest);
    if (n > 0) {
        out_pos_ += static_cast<size_t>(n);
        bytes_sent_ += static_cast<uint64_t>(n);
    }
    return n;
}

bool http_answer::take_log_turn() {
    if (logged_)
        return false;
    logged_ = true;
    return true;
}

}  // namespace kiv
