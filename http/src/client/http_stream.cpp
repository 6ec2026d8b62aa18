// http_stream.cpp --
//
//     The reply stream of the HTTP client: hands the core's pump the body
//     bytes that came with the reply head, then what arrives on the
//     socket, decoding a chunked body on the way. Every size from the
//     peer is checked: chunk sizes are at most 60 bits and chunk lines at
//     most http_client_chunk_line_limit bytes; a bad one ends the body as
//     cut. The stream reads no byte past the body's end and closes the
//     connection there, so a peer that keeps it open does not hold the
//     reader; a peer that closes before that end leaves the body marked
//     cut, which is the only way a caller can tell a truncated reply.

#include "client/http_stream.h"
#include "parse/http_trim.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_socket_service.h>
#include <kiv/core/log.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace kiv {

namespace {

// Bytes taken from the socket per receive.
constexpr size_t receive_block = 16384;

}  // namespace

http_stream::http_stream(int socket, const char* host, unsigned short port)
    : socket_(socket), host_(host != nullptr ? host : ""), port_(port) {}

http_stream::~http_stream() {
    http_stream::disconnect();
}

void http_stream::attach_reply(std::string head, std::string body, std::unique_ptr<http_header_map> headers,
                               framing how, uint64_t length) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (headers)
            headers_ = std::move(headers);
        raw_ = std::move(body);
        framing_ = how;
        length_left_ = length;
        opened_ = true;
        head_ = std::move(head);
        if (how == framed_none || (how == framed_length && length == 0))
            finish(true);  // bytes the peer sent anyway are not body
    }
    set_in_buffer_timeout(-1);
    start_io();
}

bool http_stream::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_http_stream", static_cast<i_http_stream*>(this), out) ||
        answer_interface(name, "i_input_stream", static_cast<i_input_stream*>(this), out) ||
        answer_interface(name, "http_stream", this, out))
        return true;
    return i_stream_impl::get_interface(name, out);
}

void http_stream::close_socket() {
    if (socket_ >= 0) {
        ::shutdown(socket_, SHUT_RDWR);
        ::close(socket_);
        socket_ = -1;
    }
}

void http_stream::finish(bool whole) {
    if (!ended_) {
        ended_ = true;
        if (!whole) {
            error_code_ = http_client_cut_reply;
            kiv_trace("http_stream: reply of %s:%d cut short", host_.c_str(), static_cast<int>(port_));
        }
    }
    close_socket();
    raw_.clear();
    raw_.shrink_to_fit();
}

// The headers stay: the pump disconnects a finished stream on its own
// thread, while the caller may still hold texts get_header_value gave.
bool http_stream::disconnect() {
    std::lock_guard<std::mutex> hold(lock_);
    if (opened_)
        finish(false);  // no change for a body that had ended
    else
        close_socket();
    return true;
}

long http_stream::receive(char* buffer, size_t size) {
    if (peer_gone_ || socket_ < 0)
        return -1;
    ssize_t n = ::recv(socket_, buffer, size, MSG_DONTWAIT);
    if (n > 0)
        return static_cast<long>(n);
    if (n < 0 && !kiv_net_error())
        return 0;
    peer_gone_ = true;
    peer_failed_ = n < 0;
    return -1;
}

bool http_stream::take_line(std::string& line) {
    size_t end = raw_.find('\n');
    if (end == std::string::npos) {
        if (raw_.size() > http_client_chunk_line_limit) {
            state_ = chunk_done;  // no sane chunk line is that long
            chunk_broken_ = true;
        }
        return false;
    }
    if (end > http_client_chunk_line_limit) {
        state_ = chunk_done;
        chunk_broken_ = true;
        return false;
    }
    line.assign(raw_, 0, end);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    raw_.erase(0, end + 1);
    return true;
}

unsigned http_stream::decode(char* buffer, unsigned size) {
    unsigned out = 0;
    std::string line;
    while (out < size && state_ != chunk_done) {
        if (state_ == chunk_data) {
            if (raw_.empty())
                break;
            size_t n = static_cast<size_t>(std::min<uint64_t>(chunk_left_, raw_.size()));
            n = std::min<size_t>(n, size - out);
            std::memcpy(buffer + out, raw_.data(), n);
            raw_.erase(0, n);
            out += static_cast<unsigned>(n);
            chunk_left_ -= n;
            if (chunk_left_ == 0)
                state_ = chunk_data_end;
            continue;
        }
        if (!take_line(line))
            break;
        if (state_ == chunk_size) {
            // Hexadecimal size, then optional extensions after ";".
            std::string digits = http_trim(line.substr(0, line.find(';')));
            uint64_t value = 0;
            bool ok = !digits.empty() && digits.size() <= 15;  // 60 bits at most
            for (char c : digits) {
                int d = (c >= '0' && c <= '9') ? c - '0'
                        : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                        : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                 : -1;
                if (d < 0) {
                    ok = false;
                    break;
                }
                value = value * 16 + static_cast<uint64_t>(d);
            }
            if (!ok) {
                kiv_trace("http_stream: bad chunk size from %s:%d", host_.c_str(), static_cast<int>(port_));
                state_ = chunk_done;
                chunk_broken_ = true;
                break;
            }
            chunk_left_ = value;
            state_ = value == 0 ? chunk_trailer : chunk_data;
        } else if (state_ == chunk_data_end) {
            if (!line.empty()) {
                kiv_trace("http_stream: chunk of %s:%d longer than announced", host_.c_str(),
                          static_cast<int>(port_));
                state_ = chunk_done;
                chunk_broken_ = true;
                break;
            }
            state_ = chunk_size;
        } else if (state_ == chunk_trailer) {
            if (line.empty())
                state_ = chunk_done;
        }
    }
    return out;
}

unsigned http_stream::read_impl(char* buffer, unsigned size) {
    std::lock_guard<std::mutex> hold(lock_);
    if (ended_ || socket_ < 0 || size == 0)
        return 0;
    return framing_ == framed_chunked ? read_chunked(buffer, size) : read_plain(buffer, size);
}

unsigned http_stream::read_plain(char* buffer, unsigned size) {
    // Never more than the body's rest, so no byte past its end is taken.
    uint64_t room = framing_ == framed_length ? std::min<uint64_t>(size, length_left_) : size;
    size_t pending = static_cast<size_t>(std::min<uint64_t>(room, raw_.size()));
    std::memcpy(buffer, raw_.data(), pending);
    raw_.erase(0, pending);
    unsigned out = static_cast<unsigned>(pending);
    if (raw_.empty() && out < room) {
        long n = receive(buffer + out, static_cast<size_t>(room - out));
        if (n > 0)
            out += static_cast<unsigned>(n);
        else if (n < 0)
            finish(framing_ == framed_close && !peer_failed_);
    }
    if (framing_ == framed_length && !ended_) {
        length_left_ -= out;
        if (length_left_ == 0)
            finish(true);
    }
    return out;
}

unsigned http_stream::read_chunked(char* buffer, unsigned size) {
    unsigned produced = decode(buffer, size);
    char block[receive_block];
    while (produced < size && state_ != chunk_done && !peer_gone_) {
        long n = receive(block, sizeof block);
        if (n <= 0)
            break;
        raw_.append(block, static_cast<size_t>(n));
        produced += decode(buffer + produced, size - produced);
    }
    if (state_ == chunk_done)
        finish(!chunk_broken_);
    else if (peer_gone_ && produced == 0)
        finish(false);  // what is left in raw_ can never become a chunk
    return produced;
}

bool http_stream::is_connected() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!ended_ && socket_ >= 0) {
            if (!raw_.empty())
                return true;
            char byte;
            ssize_t n = ::recv(socket_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
            if (n > 0 || (n < 0 && !kiv_net_error()))
                return true;
            // The peer closed or failed with every received byte
            // delivered: the end of a body that runs to the close, else
            // a cut.
            if (opened_)
                finish(n == 0 && framing_ == framed_close);
        }
    }
    // The pump may be between taking the last bytes and buffering them;
    // it holds the input lock across both, so passing that lock here
    // means they are buffered before the stream reports itself finished.
    get_in_buffer_size();
    return false;
}

const char* http_stream::get_header_value(const char* header) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!headers_ || header == nullptr)
        return "";
    return headers_->find(header);
}

i_object_col* http_stream::get_headers() {
    std::lock_guard<std::mutex> hold(lock_);
    if (!headers_)
        return nullptr;
    object_col* col = new object_col;
    col->addref();  // the caller's
    for (const auto& entry : headers_->get_list()) {
        auto_ptr_t<named_string> item(new named_string(entry.first.c_str(), entry.second.c_str()));
        item->addref();
        col->add_item(item, false);
    }
    return col;
}

bool http_stream::is_finished() {
    return !is_connected();
}

int http_stream::get_error_code() {
    std::lock_guard<std::mutex> hold(lock_);
    return error_code_;
}

}  // namespace kiv
