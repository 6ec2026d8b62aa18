// http_answer.cpp --
//
//     Building the head of an answer and sending the memory part of it
//     (see http_answer.h).

#include "http_answer.h"

#include <kiv/http/http_request_text.h>

#include <sys/socket.h>

#include <cstdlib>

namespace kiv {

bool http_answer::build_head(const char* referer, const char* user_agent,
                             const std::vector<cookie_manager::cookie>& cookies, int64_t now) {
    if (head_built_)
        return false;
    headers_.set("Connection", "Close", true);
    if (*headers_.find("Content-Length") == '\0' && std::atoi(status_.c_str()) != 200)
        headers_.set("Content-Length", "0", true);
    referer_ = referer;
    user_agent_ = user_agent;
    std::string head;
    if (!http_build_head(status_.empty() ? "200 OK" : status_, headers_.get_list(), cookies, now, &head))
        return false;
    head_built_ = true;
    headers_.clear();
    head_size_ = head.size();
    out_ = head + out_;
    return true;
}

ssize_t http_answer::send_some(int socket) {
    ssize_t n = send(socket, out_.data() + out_pos_, out_.size() - out_pos_, MSG_NOSIGNAL | MSG_DONTWAIT);
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
