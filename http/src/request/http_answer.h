// http_answer.h --
//
//     The answer of one request held in memory: its status, its headers,
//     the head once built, the memory body after it, and how much of it
//     went out. The pool worker fills it while the request is processed;
//     once the head is built and sending starts, the service thread owns
//     it (the request's state hands it over with release/acquire).

#ifndef KIV_HTTP_SRC_HTTP_ANSWER_H
#define KIV_HTTP_SRC_HTTP_ANSWER_H

#include "parse/cookie_manager.h"
#include "parse/http_header_map.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

namespace kiv {

class http_answer {
public:
    // -- pool worker, while processing --
    // The status text; "" until set.
    const std::string& status() const { return status_; }
    void set_status(const char* code) { status_ = code; }
    // The number of the status the head will carry (200 while unset).
    int status_number() const { return status_.empty() ? 200 : std::atoi(status_.c_str()); }
    // The response headers; emptied when the head is built.
    http_header_map& headers() { return headers_; }
    // Whether the head has been built (headers can no longer change).
    bool head_built() const { return head_built_; }
    // The memory body gathered so far (after build_head(): head and body).
    std::string& buffer() { return out_; }
    // Builds the head of the answer in front of the memory body: adds
    // "Connection: Close" and, for a status other than 200 without a
    // length, "Content-Length: 0" (none for 1xx, 204 and 304, which
    // never have a body); keeps `referer` and `user_agent` for
    // the access log; adds the Set-Cookie lines of `cookies` (200 only).
    // Returns: false when the head was built already or a header or
    //     cookie cannot be written.
    bool build_head(const char* referer, const char* user_agent, const std::vector<cookie_manager::cookie>& cookies,
                    int64_t now);
    // Appends `length` bytes of the file open on `fd` from `offset` to
    // the memory body. Returns: false, changing nothing, when the file
    //     gives fewer bytes or memory fails.
    bool append_file(int fd, uint64_t offset, uint64_t length);
    // Appends `length` bytes at `data` to the memory body.
    // Returns: false, changing nothing, when memory fails.
    bool append_bytes(const char* data, size_t length);
    // For an answer to HEAD: drops the memory body, keeps the head.
    void keep_head_only() { out_.resize(head_size_); }
    // Sending starts from the first byte of the buffer.
    void rewind() { out_pos_ = 0; }

    // -- service thread, while sending --
    // Bytes of the buffer not yet sent.
    size_t unsent() const { return out_.size() - out_pos_; }
    // Sends what the socket takes of the buffer, without blocking. When
    // `last` (nothing follows the buffer) and the rest is small, the
    // kernel is told more follows: the bytes then wait for the FIN that
    // closing or shutting the socket sends, and leave with it in one
    // segment.
    // Returns: the bytes sent (also counted in bytes_sent()), or -1 with
    //     errno set.
    ssize_t send_some(int socket, bool last);
    // Whether the last send held the end of the answer back for the FIN.
    bool held_back() const { return held_back_; }
    // Counts `n` bytes of the body sent from elsewhere (a file).
    void count_sent(uint64_t n) { bytes_sent_ += n; }
    // Frees the buffer once everything went out.
    void release() { std::string().swap(out_); }

    // -- access log --
    uint64_t bytes_sent() const { return bytes_sent_; }
    size_t head_size() const { return head_size_; }
    const std::string& referer() const { return referer_; }
    const std::string& user_agent() const { return user_agent_; }
    // Returns: true the first time only, so the access log gets one
    //     line per answer.
    bool take_log_turn();

private:
    std::string status_;          // "200 OK"; "" until set
    http_header_map headers_;     // the response headers until the head is built
    bool head_built_ = false;
    std::string out_;             // the memory body; head and memory body once the head is built
    size_t out_pos_ = 0;          // bytes of out_ sent
    size_t head_size_ = 0;        // bytes of the head at the start of out_
    uint64_t bytes_sent_ = 0;     // head and body bytes that went out
    std::string referer_;         // the request's Referer, kept when the head is built
    std::string user_agent_;      // the request's User-agent, kept when the head is built
    bool logged_ = false;         // the access-log line was written
    bool held_back_ = false;      // the last send took the rest and held it for the FIN
};

}  // namespace kiv

#endif
