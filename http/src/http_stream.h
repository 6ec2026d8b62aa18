// http_stream.h --
//
//     The reply stream of the HTTP client (see i_http_client.h). It
//     delivers the body bytes that came with the head first, then what
//     arrives on the socket; a chunked reply is decoded on the way, and
//     its last chunk ends the body.

#ifndef KIV_HTTP_SRC_HTTP_STREAM_H
#define KIV_HTTP_SRC_HTTP_STREAM_H

#include <kiv/core/stream_impl.h>
#include <kiv/http/http_header_map.h>
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

    // Takes the reply: its head text, the body bytes that came with it
    // and the parsed headers; `chunked` when the body is chunk-coded.
    // Then hands the stream to the core's pump.
    void attach_reply(std::string head, std::string body, std::unique_ptr<http_header_map> headers, bool chunked);

    bool get_interface(const char* name, void** out) override;
    bool disconnect() override;
    bool is_connected() override;
    const char* get_header_value(const char* header) override;
    i_object_col* get_headers() override;
    bool is_finished() override;

protected:
    unsigned read_impl(char* buffer, unsigned size) override;

private:
    enum chunk_state { chunk_size, chunk_data, chunk_data_end, chunk_trailer, chunk_done };

    // Receives up to `size` bytes. Returns: their count; 0 for nothing
    // now; -1 once the peer closed or failed (peer_gone_ is then set).
    long receive(char* buffer, size_t size);
    // Decodes chunked bytes of raw_ into `buffer`. Returns: the bytes
    // written. A malformed chunk marks the body broken (chunk_done).
    unsigned decode(char* buffer, unsigned size);
    // Removes one line ended by "\n" from raw_ into `line` (without its
    // line end). Returns: false when raw_ holds no whole line yet.
    bool take_line(std::string& line);
    void close_socket();

    std::mutex lock_;                          // guards everything below
    int socket_;                               // -1 once closed
    std::unique_ptr<http_header_map> headers_; // null until attached and after disconnect
    std::string raw_;                          // received bytes not yet delivered (or decoded)
    std::string host_;
    unsigned short port_;
    bool opened_ = false;
    bool chunked_ = false;
    bool peer_gone_ = false;                   // the peer closed or the socket failed
    chunk_state state_ = chunk_size;
    uint64_t chunk_left_ = 0;                  // bytes of the current chunk still to deliver
    std::string head_;                         // the reply head
};

}  // namespace kiv

#endif
