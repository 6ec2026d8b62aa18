// http_request.cpp --
//
//     One connection of the web server (see http_request.h): its state
//     machine on the service thread, which has the request read and the
//     answer sent without blocking, with the time-outs, the lingering
//     close and the end of the connection.

#include "request/http_request.h"
#include "request/http_files.h"
#include "request/http_log.h"
#include "service/http_server.h"
#include "parse/http_request_text.h"

#include <kiv/core/auto_string.h>
#include <kiv/core/i_core.h>

#include <linux/sockios.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace kiv {

namespace {

const uint32_t first_byte_timeout = 30;
const uint32_t head_timeout = 60;
const uint32_t progress_timeout = 60;
// A complete request waits this long for a free worker of the pool (a
// burst of a thousand clients holds every worker for milliseconds), then
// is refused with "503".
const uint32_t worker_wait_timeout = 1;
// After the answer, input is dropped until the peer closes, at most this
// much of it, for at most this long after the peer took the last byte.
const size_t linger_max = 64 * 1024;
const uint32_t linger_timeout = 2;
const size_t linger_chunk = 16 * 1024;

// Returns: whether every byte written to `socket` has been sent.
bool all_sent(int socket) {
    int unsent = 0;
    return ioctl(socket, SIOCOUTQNSD, &unsent) == 0 && unsent == 0;
}

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
    file_.close();
    if (socket_ >= 0 && !socket_closed_)
        close(socket_);
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
        if (reader_.complete())
            set_state(ready);
    } else if ((s == sending || s == refilling) && (revents & (POLLOUT | POLLHUP | POLLERR)) != 0) {
        write_some();
    } else if (s == lingering && (revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        drop_input();
    }
}

bool http_request::read_some() {
    switch (reader_.read_from(socket_, &last_io_time_)) {
    case http_request_reader::wait:
        return true;
    case http_request_reader::peer_closed:
        close_connection(nullptr);
        return false;
    case http_request_reader::failed:
        after_io_error(reader_.error(), "do_io_read: recv error");
        return false;
    case http_request_reader::no_memory:
        if (reader_.failed_at() == 0)
            close_connection("do_io_read: memory allocation error");
        else
            close_connection(("do_io_read: memory allocation error 2: " + std::to_string(reader_.failed_at())).c_str());
        return false;
    }
    return false;
}

bool http_request::worker_wait_over(uint32_t now) const {
    return state() == ready && uint64_t(last_io_time_) + worker_wait_timeout < now;
}

void http_request::check_time(uint32_t now) {
    state_t s = state();
    if (s == lingering) {
        // The bound runs from the last byte the peer took, so a slow
        // reader of a large answer is not cut off while it still reads.
        // The queue is looked at only when the bound has passed, not on
        // every pass: a peer that took bytes since earns another period.
        if (uint64_t(linger_since_) + linger_timeout >= now)
            return;
        int unsent = unsent_bytes(socket_);
        if (unsent < linger_unsent_) {
            linger_unsent_ = unsent;
            linger_since_ = now;
            return;
        }
        close_connection(nullptr);
        return;
    }
    if (s != reading && s != sending && s != refilling)
        return;
    uint32_t limit;
    uint32_t since;
    if (s == reading && reader_.empty()) {
        limit = first_byte_timeout;
        since = last_io_time_;
    } else if (s == reading && reader_.awaiting_head()) {
        limit = head_timeout;
        since = reader_.first_byte_time();
    } else {
        limit = progress_timeout;
        since = last_io_time_;
    }
    if (uint64_t(since) + limit < now) {
        char message[160];
        if (s == reading)
            std::snprintf(message, sizeof message,
                          "do_io_read: connection timeout error: curr time=%u, last op time=%u, timeout=%u", now,
                          since, limit);
        else  // buf: the bytes of the answer's buffer not yet sent
            std::snprintf(message, sizeof message,
                          "do_io_write: connection error: curr time=%u, last op time=%u, sock=%d, buf=%zx", now,
                          since, socket_, answer_.unsent());
        close_connection(message);
    }
}

bool http_request::write_some() {
    state_t s = state();
    if (s != sending && s != refilling && s != worker_sending) {
        close_connection("do_io_write: unknown error");
        return false;
    }
    for (;;) {
        ssize_t n;
        const char* what;
        if (answer_.unsent() > 0) {
            n = answer_.send_some(socket_, file_.remaining() == 0);
            what = "do_io_write: send error";
        } else if (file_.remaining() > 0) {
            if (state() == sending)
                set_state(refilling);
            n = file_.send_some(socket_);
            what = "do_io_write: file read error";
            if (n == 0) {
                // The file shrank under us: the answer cannot be completed.
                close_connection("do_io_write: file read error 0: the file ended early");
                return false;
            }
            if (n < 0 && errno == EBADF) {
                close_connection("do_io_write: bad file handle error");
                return false;
            }
            if (n > 0)
                answer_.count_sent(static_cast<uint64_t>(n));
        } else {
            start_lingering();
            return false;
        }
        if (n < 0) {
            io_next next = after_io_error(errno, what);
            if (next == io_retry)
                continue;
            return next == io_wait;
        }
        last_io_time_ = kiv_get_curr_time();
    }
}

void http_request::send_at_once() {
    int expected = answered;
    if (!state_.compare_exchange_strong(expected, worker_sending, std::memory_order_acq_rel))
        return;
    if (!write_some())
        return;  // lingering or closed
    // The socket is full: the service thread sends the rest.
    set_state(answer_.unsent() > 0 ? sending : refilling);
}

void http_request::start_lingering() {
    bool read_exactly = reader_.read_exactly();
    bool held_back = answer_.held_back();
    write_access_log();
    file_.close();
    file_.remove_files();
    answer_.release();
    reader_.release();
    // A client that sent its request and nothing after it only waits for
    // the answer. Once the last byte of the answer has left, closing sends
    // a plain FIN behind it, and the client has nothing left to lose:
    // what it may still send would be answered with a reset, which only
    // drops bytes the server has not yet sent. A small answer held back
    // for the FIN leaves with it as the socket closes, within the first
    // window. Otherwise the write side is shut and input dropped until
    // the client closes, so that a reset cannot cut the answer.
    if (read_exactly && (held_back || all_sent(socket_))) {
        char byte;
        ssize_t n = recv(socket_, &byte, 1, MSG_PEEK);
        if (n == 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))) {
            close_socket();
            return;
        }
    }
    shutdown(socket_, SHUT_WR);
    write_shut_ = true;
    linger_since_ = kiv_get_curr_time();
    // The input that is there already is read before the state is
    // published: from then on the service thread may read it too. A
    // client that took the answer has often closed by now, and then the
    // connection ends here.
    if (!drop_input())
        return;
    linger_unsent_ = unsent_bytes(socket_);
    set_state(lingering);
}

void http_request::close_socket() {
    close(socket_);
    socket_closed_ = true;
    set_state(closed);
}

bool http_request::drop_input() {
    char chunk[linger_chunk];
    for (;;) {
        ssize_t n = recv(socket_, chunk, sizeof chunk, 0);
        if (n < 0) {
            io_next next = after_io_error(errno, "lingering close: recv error");
            if (next == io_retry)
                continue;
            return next == io_wait;
        }
        linger_dropped_ += static_cast<size_t>(n);
        if (n == 0 || linger_dropped_ >= linger_max) {
            close_connection(nullptr);
            return false;
        }
    }
}

http_request::io_next http_request::after_io_error(int error, const char* what) {
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
    state_t s = state();
    if (s == closed)
        return;
    // The line is in the log before the peer sees the connection end.
    write_access_log();
    // A connection whose answer is out has shut its write side already;
    // the read side goes with the descriptor.
    if (socket_ >= 0 && !write_shut_)
        shutdown(socket_, SHUT_RDWR);
    file_.close();
    // The transfer ends here: files sent for deletion go now, not when
    // the last reference to the request goes.
    file_.remove_files();
    set_state(closed);
}

void http_request::write_access_log() {
    if (!answer_.head_built() || !server_ || answer_.bytes_sent() < answer_.head_size() || request_line_.empty())
        return;
    int status = std::atoi(answer_.status().c_str());
    if (status == 0)
        return;
    // The server's open log; a server of another make is asked for its
    // path.
    std::shared_ptr<http_log> log;
    if (auto* own = dynamic_cast<http_server*>(server_.get())) {
        log = own->access_log();
    } else {
        auto_string log_file(server_->get_log_file());
        if (log_file.is_ok())
            log = http_log_at(static_cast<const char*>(log_file));
    }
    if (!log || !answer_.take_log_turn())
        return;
    // The line is built in a buffer each thread keeps, and written whole
    // before the connection closes.
    thread_local std::string line;
    line.clear();
    http_append_access_log_line(&line, host_, start_time_, request_line_, status,
                                answer_.bytes_sent() - answer_.head_size(), answer_.referer(), answer_.user_agent());
    log->write(line.data(), line.size());
    if (line.capacity() > 16384)
        std::string().swap(line);
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
    case answered:
    case worker_sending:
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
