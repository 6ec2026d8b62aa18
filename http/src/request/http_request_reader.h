// http_request_reader.h --
//
//     The reading side of one connection: takes what the socket gives,
//     without blocking, until the buffer holds a whole request (head and
//     body, a chunked body decoded as it arrives) or one that is refused
//     already (a bad head, a line or head over its limit, a body over
//     its cap). A client that sent "Expect: 100-continue" is told to go
//     on once its head is accepted. Used only by the service thread while the connection
//     reads; the pool worker reads the finished request afterwards.

#ifndef KIV_HTTP_SRC_HTTP_REQUEST_READER_H
#define KIV_HTTP_SRC_HTTP_REQUEST_READER_H

#include "parse/http_head.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kiv {

// Bytes of received requests all connections together may hold beyond
// the first http_head_max of each; a request whose bytes would pass it
// is refused with 503, so that clients holding large unfinished bodies
// cannot exhaust the memory.
const uint64_t http_held_body_budget = 64u * 1024 * 1024;

class http_request_reader {
public:
    http_request_reader() = default;
    // Gives back the bytes it held to the process-wide budget.
    ~http_request_reader();
    http_request_reader(const http_request_reader&) = delete;
    http_request_reader& operator=(const http_request_reader&) = delete;

    // What one read left.
    enum result_t {
        wait,         // nothing more for now (or the request is complete)
        peer_closed,  // the peer closed its side
        failed,       // recv failed; error() holds errno
        no_memory,    // the received bytes could not be kept
    };

    // Reads what the socket gives until it has nothing more, the request
    // is complete or refused (503 when the process-wide budget of held
    // request bytes has no room for what came). `*last_io_time` becomes the core clock of
    // the read when bytes came in.
    result_t read_from(int socket, uint32_t* last_io_time);
    // Whether the buffer holds a whole request, or one that is refused
    // already (reject_status()). Decodes a chunked body as it arrives.
    bool complete();

    // Whether the head has not been seen whole yet.
    bool awaiting_head() const { return head_length_ == 0; }
    // Whether not a byte has come in yet.
    bool empty() const { return in_.empty(); }
    // Bytes held (the raw head and body, or the head and decoded body).
    uint64_t received() const { return uint64_t(in_.size()) + chunked_body_.size(); }
    // errno of the last failed recv.
    int error() const { return error_; }
    // Bytes held when memory for more failed (no_memory); 0 when nothing
    // was held yet.
    size_t failed_at() const { return failed_at_; }
    // Core clock of the first byte; 0 before.
    uint32_t first_byte_time() const { return first_byte_time_; }

    // -- the complete request (pool worker) --
    // 0, or the error status the request gets at once.
    int reject_status() const { return reject_status_; }
    // The checked head; filled once the head is complete.
    const http_head_info& head() const { return head_; }
    // The first line of the request as received (empty lines before it
    // skipped, without its line end).
    std::string request_line() const;
    // Whether the received request line begins with "HEAD ".
    bool is_head_request() const;
    // The body: Content-Length bytes, or the decoded chunked body.
    std::string body() const;
    // Whether the request ended exactly where the received bytes end:
    // complete, not refused, with a sized body (a chunked one may have
    // been followed by more). Before release() only.
    bool read_exactly() const {
        return reject_status_ == 0 && head_length_ != 0 && !head_.chunked &&
               in_.size() == head_length_ + body_expected_;
    }
    // Drops the received bytes (after the answer went out) and gives
    // them back to the budget.
    void release();

private:
    // Refuses the request with `status`. Returns: true (it is complete).
    bool reject(int status);
    // Sends what is left of "100 Continue", without blocking.
    void send_continue(int socket);
    // The bytes the next recv may take: a head may take http_head_max
    // bytes before its end (one more shows it is too large); a sized
    // body is read to its end only.
    size_t room(size_t chunk) const;

    std::string in_;                // received bytes
    uint32_t first_byte_time_ = 0;  // core clock of the first byte; 0 before
    http_head_scanner scanner_;     // finds the end of the head in the new bytes only
    http_head_info head_;           // the checked head; filled when the head is complete
    size_t head_length_ = 0;        // bytes up to and with the blank line; 0 until seen
    uint64_t body_expected_ = 0;    // Content-Length, or the decoded length of a chunked body
    int reject_status_ = 0;         // 0, or the error status the request gets at once
    std::unique_ptr<http_chunked_decoder> chunked_;  // while a chunked body arrives; else null
    std::string chunked_body_;      // the body decoded so far
    int error_ = 0;                 // errno of the last failed recv
    size_t continue_left_ = 0;      // bytes of "100 Continue" still to send; 0 for none
    size_t failed_at_ = 0;          // bytes held when memory for more failed
    uint64_t charged_ = 0;          // bytes taken from the process-wide budget
};

}  // namespace kiv

#endif
