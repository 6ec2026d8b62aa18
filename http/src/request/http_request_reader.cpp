// http_request_reader.cpp --
//
//     Reading one request from a non-blocking socket (see
//     http_request_reader.h). The head is scanned only in the bytes that
//     are new, a sized body is read no further than its end, and a
//     chunked body is decoded as it arrives, so a slow or hostile peer
//     costs no more than what it sent, within the caps.

#include "request/http_request_reader.h"

#include <kiv/core/i_core.h>

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <new>

namespace kiv {

namespace {

const size_t read_chunk = 65536;
// The interim answer to "Expect: 100-continue"; HTTP/1.1, as only such
// clients ask for it.
const char continue_line[] = "HTTP/1.1 100 Continue\r\n\r\n";

// Bytes of all readers taken from http_held_body_budget.
std::atomic<uint64_t> budget_used{0};

// Takes `bytes` from the budget. Returns: false, taking nothing, when
//     they do not fit.
bool take_budget(uint64_t bytes) {
    uint64_t used = budget_used.load(std::memory_order_relaxed);
    do {
        if (used + bytes > http_held_body_budget)
            return false;
    } while (!budget_used.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
    return true;
}

}  // namespace

http_request_reader::~http_request_reader() {
    budget_used.fetch_sub(charged_, std::memory_order_relaxed);
}

size_t http_request_reader::room(size_t chunk) const {
    if (head_length_ == 0)
        return std::min(chunk, http_head_max + 1 - std::min(in_.size(), http_head_max + 1));
    if (!chunked_)
        return static_cast<size_t>(std::min<uint64_t>(chunk, head_length_ + body_expected_ - in_.size()));
    return chunk;
}

http_request_reader::result_t http_request_reader::read_from(int socket, uint32_t* last_io_time) {
    char chunk[read_chunk];
    for (;;) {
        if (complete())
            return wait;
        send_continue(socket);
        size_t space = room(sizeof chunk);
        if (space == 0) {
            reject(431);
            return wait;
        }
        ssize_t n = recv(socket, chunk, space, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return wait;
            error_ = errno;
            return failed;
        }
        if (n == 0)
            return peer_closed;
        uint32_t now = kiv_get_curr_time();
        if (in_.empty())
            first_byte_time_ = now;
        *last_io_time = now;
        // Each connection's first bytes (a head's worth) are its own; what
        // it holds beyond them counts against the budget of all.
        uint64_t held = uint64_t(in_.size()) + chunked_body_.size() + static_cast<size_t>(n);
        uint64_t owed = held > http_head_max ? held - http_head_max : 0;
        if (owed > charged_) {
            if (!take_budget(owed - charged_)) {
                reject(503);
                return wait;
            }
            charged_ = owed;
        }
        try {
            in_.append(chunk, static_cast<size_t>(n));
        } catch (const std::bad_alloc&) {
            failed_at_ = in_.size();
            return no_memory;
        }
        if (static_cast<size_t>(n) < space)
            return wait;
    }
}

void http_request_reader::send_continue(int socket) {
    if (continue_left_ == 0)
        return;
    const char* rest = continue_line + (sizeof continue_line - 1 - continue_left_);
    ssize_t n = send(socket, rest, continue_left_, MSG_NOSIGNAL | MSG_DONTWAIT);
    // A socket without room now tries again at the next read; a failed
    // one shows at the next recv.
    if (n > 0)
        continue_left_ -= static_cast<size_t>(n);
    else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        continue_left_ = 0;
}

bool http_request_reader::reject(int status) {
    reject_status_ = status;
    chunked_.reset();
    return true;
}

bool http_request_reader::complete() {
    if (reject_status_ != 0)
        return true;
    if (head_length_ == 0) {
        switch (scanner_.scan(in_.data(), in_.size())) {
        case http_head_scanner::need_more:
            return false;
        case http_head_scanner::bad:
            return reject(400);
        case http_head_scanner::line_too_long:
            return reject(414);
        case http_head_scanner::head_too_large:
            return reject(431);
        case http_head_scanner::complete:
            break;
        }
        head_length_ = scanner_.head_end();
        head_ = http_check_head(in_.data() + scanner_.head_start(), head_length_ - scanner_.head_start());
        if (head_.status != 0)
            return reject(head_.status);
        body_expected_ = head_.content_length;
        // A client that waits for leave to send its body gets it once the
        // head passed its checks (a refused one gets its answer at once),
        // unless the body has begun to arrive anyway.
        if (head_.expect_continue && (body_expected_ > 0 || head_.chunked) && in_.size() == head_length_)
            continue_left_ = sizeof continue_line - 1;
        if (head_.chunked)
            chunked_.reset(new http_chunked_decoder(http_body_max));
    }
    if (chunked_) {
        // The raw chunks are dropped as they are decoded.
        http_chunked_decoder::result_t result =
            chunked_->feed(in_.data() + head_length_, in_.size() - head_length_, &chunked_body_);
        in_.resize(head_length_);
        if (result == http_chunked_decoder::need_more)
            return false;
        if (result != http_chunked_decoder::complete)
            return reject(result == http_chunked_decoder::too_large ? 413 : 400);
        body_expected_ = chunked_body_.size();
        in_ += chunked_body_;
        std::string().swap(chunked_body_);
        chunked_.reset();
    }
    return in_.size() >= head_length_ + body_expected_;
}

std::string http_request_reader::request_line() const {
    size_t line_start = scanner_.head_start();
    size_t line_end = std::min(in_.find('\n', line_start), in_.size());
    if (line_end > line_start && in_[line_end - 1] == '\r')
        --line_end;
    return in_.substr(line_start, line_end - line_start);
}

bool http_request_reader::is_head_request() const {
    return in_.compare(scanner_.head_start(), 5, "HEAD ") == 0;
}

std::string http_request_reader::body() const {
    return in_.substr(head_length_, static_cast<size_t>(body_expected_));
}

void http_request_reader::release() {
    std::string().swap(in_);
    std::string().swap(chunked_body_);
    budget_used.fetch_sub(charged_, std::memory_order_relaxed);
    charged_ = 0;
}

}  // namespace kiv
