// http_stream.h --
//
//     The reply stream of the HTTP client (see i_http_client.h). It
//     delivers the body bytes that came with the head first, then what
//     arrives on the socket; a chunked reply is decoded on the way. The
//     body ends at its Content-Length or last chunk (the connection is
//     closed then, without waiting for the peer), else when the peer
//     closes; a body that ends before its announced end is marked cut.

#ifndef KIV_HTTP_SRC_HTTP_STREAM_H
#define KIV_HTTP_SRC_HTTP_STREAM_H

#include "parse/http_header_map.h"

#include <kiv/core/stream_impl.h>
#include <kiv/http/i_http_client.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace kiv {

// The reply head may not grow beyond this many bytes.
constexpr size_t http_client_head_limit = 1048576;
// A chunk-size line (with extensions) or trailer line longer than this
// is refused.
constexpr size_t http_client_chunk_line_limit = 4096;

class http_stream : public i_stream_impl, public i_input_stream_impl, public virtual i_http_stream {
public:
    // Takes over `socket` (closed by disconnect).
    http_stream(int socket, const char* host, unsigned short port);
    ~http_stream() override;

    // How the end of a reply body is known.
    enum framing {
        framed_none,    // no body: a HEAD reply, 204 or 304, Content-Length 0
        framed_length,  // Content-Length bytes
        framed_chunked, // the last chunk and the trailer
        framed_close,   // the peer closes the connection
    };

    // Takes the reply: its head text, the body bytes that came with it
    // and the parsed headers; the body's framing and, for
    // framed_length, its length. Then hands the stream to the core's
    // pump. Called once, by the client that made the stream.
    void attach_reply(std::string head, std::string body, std::unique_ptr<http_header_map> headers, framing how,
                      uint64_t length);

    bool get_interface(const char* name, void** out) override;
    bool disconnect() override;
    bool is_connected() override;
    const char* get_header_value(const char* header) override;
    i_object_col* get_headers() override;
    bool is_finished() override;
    int get_error_code() override;

protected:
    unsigned read_impl(char* buffer, unsigned size) override;

private:
    enum chunk_state { chunk_size, chunk_data, chunk_data_end, chunk_trailer, chunk_done };

    // Receives up to `size` bytes. Returns: their count; 0 for nothing
    // now; -1 once the peer closed or failed (peer_gone_ is then set,
    // and peer_failed_ for a failure).
    long receive(char* buffer, size_t size);
    // Ends the body, whole or cut: closes the connection and drops the
    // bytes not delivered. Called with lock_ held; later calls change
    // nothing.
    void finish(bool whole);
    // read_impl for the bodies that are not chunked.
    unsigned read_plain(char* buffer, unsigned size);
    // read_impl for chunked bodies.
    unsigned read_chunked(char* buffer, unsigned size);
    // Decodes chunked bytes of raw_ into `buffer`. Returns: the bytes
    // written. A malformed chunk marks the body broken (chunk_done and
    // chunk_broken_).
    unsigned decode(char* buffer, unsigned size);
    // Removes one line ended by "\n" from raw_ into `line` (without its
    // line end). Returns: false when raw_ holds no whole line yet.
    bool take_line(std::string& line);
    void close_socket();

    std::mutex lock_;                          // guards everything below
    int socket_;                               // -1 once closed
    std::unique_ptr<http_header_map> headers_; // null until attached; kept to the stream's end
    std::string raw_;                          // received bytes not yet delivered (or decoded)
    std::string host_;
    unsigned short port_;
    bool opened_ = false;
    framing framing_ = framed_close;
    uint64_t length_left_ = 0;                 // framed_length: body bytes still to deliver
    bool peer_gone_ = false;                   // the peer closed or the socket failed
    bool peer_failed_ = false;                 // it failed (a reset, say) rather than closed
    bool ended_ = false;                       // the body ended; the socket is closed
    int error_code_ = 0;                       // http_client_cut_reply once it ended short
    chunk_state state_ = chunk_size;
    bool chunk_broken_ = false;                // the chunk coding was malformed
    uint64_t chunk_left_ = 0;                  // bytes of the current chunk still to deliver
    std::string head_;                         // the reply head
};

}  // namespace kiv

#endif
