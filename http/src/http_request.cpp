// http_request.cpp --
//
//     One connection of the web server (see http_request.h): reading the
//     request and sending the answer without blocking, on the service
//     thread, with the time-outs and the end of the connection.

#include "http_request.h"

#include <kiv/core/auto_string.h>
#include <kiv/core/i_core.h>
#include <kiv/http/http_files.h>
#include <kiv/http/http_request_text.h>

#include <linux/sockios.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace kiv {

namespace {

const size_t read_chunk = 65536;
const uint32_t first_byte_timeout = 30;
const uint32_t head_timeout = 60;
const uint32_t progress_timeout = 60;
const size_t sendfile_chunk = 1u << 30;
// After the answer, input is dropped until the peer closes, at most this
// much of it, for at most this long after the peer took the last byte.
const size_t linger_max = 64 * 1024;
const uint32_t linger_timeout = 2;
const size_t linger_chunk = 16 * 1024;

// Returns: the bytes the peer has not yet acknowledged, 0 when unknown.
int unsent_bytes(int socket) {
    int unsent = 0;
    if (ioctl(socket, SIOCOUTQ, &unsent) != 0)
        return 0;
    return unsent;
}

}  // namespace

http_wakeup::http_wakeup() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

http_wakeup::~http_wakeup() {
    if (fd_ >= 0)
        close(fd_);
}

void http_wakeup::wake() {
    if (fd_ < 0)
        return;
    uint64_t one = 1;
    ssize_t written = write(fd_, &one, sizeof one);
    (void)written;  // a full counter wakes the thread as well
}

void http_wakeup::drain() {
    if (fd_ < 0)
        return;
    uint64_t count = 0;
    ssize_t got = read(fd_, &count, sizeof count);
    (void)got;  // only the wake-up matters
}

http_request::http_request(int socket, uint16_t local_port, const char* peer, const char* listen_address,
                           std::shared_ptr<http_wakeup> wakeup)
    : wakeup_(std::move(wakeup)),
      socket_(socket),
      local_port_(local_port),
      listen_address_(listen_address != nullptr ? listen_address : "*"),
      host_(peer != nullptr ? peer : ""),
      last_io_time_(kiv_get_curr_time()) {
    object_col* files = new object_col;
    files->addref();
    files_.reset(files);
    host_ = host_.substr(0, host_.find(':'));
}

http_request::~http_request() {
    if (file_fd_ >= 0)
        close(file_fd_);
    if (socket_ >= 0)
        close(socket_);
    if (!delete_after_send_.empty())
        unlink(delete_after_send_.c_str());
    if (!delete_copy_after_send_.empty())
        unlink(delete_copy_after_send_.c_str());
}

bool http_request::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_http_request", static_cast<i_http_request*>(this), out) ||
        answer_interface(name, "i_http_cookie_manager", static_cast<i_http_cookie_manager*>(this), out))
        return true;
    return object::get_interface(name, out);
}

// ---- service thread: reading and sending --------------------------------

short http_request::poll_events() const {
    switch (state()) {
    case reading:
    case lingering:
        return POLLIN;
    case sending:
    case refilling:
        return POLLOUT;
    default:
        return 0;
    }
}

void http_request::on_io(short revents) {
    state_t s = state();
    if (s == reading && (revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        if (!read_some())
            return;
        if (request_complete())
            set_state(ready);
    } else if ((s == sending || s == refilling) && (revents & (POLLOUT | POLLHUP | POLLERR)) != 0) {
        write_some();
    } else if (s == lingering && (revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        drop_input();
    }
}

bool http_request::read_some() {
    char chunk[read_chunk];
    for (;;) {
        if (request_complete())
            return true;
        // Before its end a head may take http_head_max bytes (one more
        // shows it is too large); a sized body is read to its end only.
        size_t room = sizeof chunk;
        if (head_length_ == 0)
            room = std::min(room, http_head_max + 1 - std::min(in_.size(), http_head_max + 1));
        else if (!chunked_)
            room = std::min<uint64_t>(room, head_length_ + body_expected_ - in_.size());
        if (room == 0)
            return reject(431);
        ssize_t n = recv(socket_, chunk, room, 0);
        if (n < 0) {
            io_next next = after_io_error("do_io_read: recv error");
            if (next == io_retry)
                continue;
            return next == io_wait;
        }
        if (n == 0) {
            close_connection(nullptr);
            return false;
        }
        uint32_t now = kiv_get_curr_time();
        if (in_.empty())
            first_byte_time_ = now;
        last_io_time_ = now;
        try {
            in_.append(chunk, static_cast<size_t>(n));
        } catch (const std::bad_alloc&) {
            close_connection("do_io_read: memory allocation error");
            return false;
        }
        if (static_cast<size_t>(n) < room)
            return true;
    }
}

bool http_request::reject(int status) {
    reject_status_ = status;
    chunked_.reset();
    return true;
}

bool http_request::request_complete() {
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

void http_request::check_time(uint32_t now) {
    state_t s = state();
    if (s == lingering) {
        // The bound runs from the last byte the peer took, so a slow
        // reader of a large answer is not cut off while it still reads.
        int unsent = unsent_bytes(socket_);
        if (unsent < linger_unsent_) {
            linger_unsent_ = unsent;
            linger_since_ = now;
        }
        if (uint64_t(linger_since_) + linger_timeout < now)
            close_connection(nullptr);
        return;
    }
    if (s != reading && s != sending && s != refilling)
        return;
    uint32_t limit;
    uint32_t since;
    if (s == reading && in_.empty()) {
        limit = first_byte_timeout;
        since = last_io_time_;
    } else if (s == reading && head_length_ == 0) {
        limit = head_timeout;
        since = first_byte_time_;
    } else {
        limit = progress_timeout;
        since = last_io_time_;
    }
    if (uint64_t(since) + limit < now) {
        std::string message = std::string(s == reading ? "do_io_read" : "do_io_write") +
                              ": connection timeout error: curr time=" + std::to_string(now) +
                              ", last op time=" + std::to_string(since) + ", timeout=" + std::to_string(limit);
        close_connection(message.c_str());
    }
}

bool http_request::write_some() {
    for (;;) {
        if (out_pos_ < out_.size()) {
            ssize_t n = send(socket_, out_.data() + out_pos_, out_.size() - out_pos_, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0) {
                io_next next = after_io_error("do_io_write: send error");
                if (next == io_retry)
                    continue;
                return next == io_wait;
            }
            out_pos_ += static_cast<size_t>(n);
            bytes_sent_ += static_cast<uint64_t>(n);
            last_io_time_ = kiv_get_curr_time();
            continue;
        }
        if (file_fd_ >= 0 && file_remaining_ > 0) {
            if (state() == sending)
                set_state(refilling);
            off_t offset = static_cast<off_t>(file_offset_);
            size_t count = static_cast<size_t>(std::min<uint64_t>(file_remaining_, sendfile_chunk));
            ssize_t n = sendfile(socket_, file_fd_, &offset, count);
            if (n < 0) {
                io_next next = after_io_error("do_io_write: file send error");
                if (next == io_retry)
                    continue;
                return next == io_wait;
            }
            if (n == 0) {
                // The file shrank under us: the answer cannot be completed.
                close_connection("do_io_write: file read error: the file ended early");
                return false;
            }
            file_offset_ += static_cast<uint64_t>(n);
            file_remaining_ -= static_cast<uint64_t>(n);
            bytes_sent_ += static_cast<uint64_t>(n);
            last_io_time_ = kiv_get_curr_time();
            continue;
        }
        start_lingering();
        return false;
    }
}

void http_request::start_lingering() {
    shutdown(socket_, SHUT_WR);
    write_access_log();
    if (file_fd_ >= 0) {
        close(file_fd_);
        file_fd_ = -1;
    }
    std::string().swap(out_);
    std::string().swap(in_);
    linger_since_ = kiv_get_curr_time();
    linger_unsent_ = unsent_bytes(socket_);
    set_state(lingering);
    drop_input();
}

void http_request::drop_input() {
    char chunk[linger_chunk];
    for (;;) {
        ssize_t n = recv(socket_, chunk, sizeof chunk, 0);
        if (n < 0) {
            io_next next = after_io_error("lingering close: recv error");
            if (next == io_retry)
                continue;
            return;
        }
        linger_dropped_ += static_cast<size_t>(n);
        if (n == 0 || linger_dropped_ >= linger_max) {
            close_connection(nullptr);
            return;
        }
    }
}

http_request::io_next http_request::after_io_error(const char* what) {
    int error = errno;
    if (error == EINTR)
        return io_retry;
    if (error == EAGAIN || error == EWOULDBLOCK)
        return io_wait;
    if (error == ECONNRESET || error == EPIPE) {
        close_connection(nullptr);
    } else {
        std::string message = std::string(what) + " " + std::to_string(error) + ": " + std::strerror(error);
        close_connection(message.c_str());
    }
    return io_ended;
}

void http_request::close_connection(const char* message) {
    if (message != nullptr)
        log_error(message);
    if (state() == closed)
        return;
    if (socket_ >= 0)
        shutdown(socket_, SHUT_RDWR);
    write_access_log();
    if (file_fd_ >= 0) {
        close(file_fd_);
        file_fd_ = -1;
    }
    set_state(closed);
}

void http_request::write_access_log() {
    if (logged_ || !head_built_ || !server_ || bytes_sent_ < head_size_ || request_line_.empty())
        return;
    int status = std::atoi(status_.c_str());
    auto_string log_file(server_->get_log_file());
    if (status == 0 || !log_file.is_ok() || *static_cast<const char*>(log_file) == '\0')
        return;
    logged_ = true;
    http_write_access_log(static_cast<const char*>(log_file),
                          http_access_log_line(host_, start_time_, request_line_, status, bytes_sent_ - head_size_,
                                               referer_, user_agent_));
}

void http_request::log_error(const char* message) {
    http_write_error_log(request_line_.c_str(), message);
}

bool http_request::bg_task(i_http_service* hs) {
    if (hs == nullptr || socket_ < 0)
        return false;
    switch (state()) {
    case reading:
    case lingering:
        on_io(POLLIN);
        break;
    case sending:
    case refilling:
        on_io(POLLOUT);
        break;
    case ready:
    case processing:
        return true;  // the worker has it, or is about to
    case finished:
        return false;
    default:
        close_connection("unknown mode error");
        return false;
    }
    check_time(kiv_get_curr_time());
    state_t s = state();
    return s != closed && s != finished;
}

}  // namespace kiv
