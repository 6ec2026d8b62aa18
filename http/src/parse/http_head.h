// http_head.h --
//
//     The framing of a received HTTP/1.x request, with no connection
//     and no state beyond one request: finding the end of the head as
//     bytes arrive (each byte looked at once), checking the request line
//     and the header lines against the message syntax, and decoding a
//     chunked request body. The request engine uses them on the service
//     thread; tests and fuzz targets reach them alone through
//     kiv_http_internal.
//
//     Limits: a request line of at most 8 KiB (longer: 414), a header
//     line of at most 8 KiB and a head of at most 64 KiB (longer: 431).
//     Lines end with CR LF or a bare LF; a CR not followed by LF, or a
//     zero byte, makes the request bad (400). Empty lines before the
//     request line are skipped.
//
//     Every input is hostile: nothing is read outside the given bytes and
//     every number is checked for overflow. Reentrant; no globals.

#ifndef KIV_HTTP_SRC_HTTP_HEAD_H
#define KIV_HTTP_SRC_HTTP_HEAD_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace kiv {

const size_t http_request_line_max = 8192;   // bytes of the request line, without its line end
const size_t http_header_line_max = 8192;    // bytes of one header line, without its line end
const size_t http_head_max = 65536;          // bytes of the whole head, with empty lines before it
const uint64_t http_body_max = 8u * 1024 * 1024 - 1;  // bytes of a request body (decoded)

// Finds the end of a request head in a buffer that grows as bytes
// arrive. Call scan() with the whole buffer after every receive; it goes
// on where it stopped, so the bytes of a slow client are never searched
// twice.
class http_head_scanner {
public:
    enum result_t {
        need_more,       // no end yet and no limit passed
        complete,        // head_start() .. head_end() is the head
        bad,             // 400: a lone CR or a zero byte
        line_too_long,   // 414: the request line passes its limit
        head_too_large,  // 431: a header line or the head passes its limit
    };

    // Looks at the bytes of `data` after those seen by earlier calls
    // (`size` never shrinks between calls). Returns: the state; once
    // not need_more it stays what it is.
    result_t scan(const char* data, size_t size);
    // Returns: the offset of the request line (after skipped empty lines).
    size_t head_start() const { return head_start_; }
    // Returns: the offset just past the blank line; 0 until complete.
    size_t head_end() const { return head_end_; }

private:
    result_t result_ = need_more;
    size_t pos_ = 0;          // next byte to look at
    size_t line_start_ = 0;   // first byte of the line being read
    size_t head_start_ = 0;   // first byte of the request line
    size_t head_end_ = 0;     // 0 until complete
    bool in_head_ = false;    // the request line has begun
};

// What the head says about the request, once checked.
struct http_head_info {
    int status = 0;             // 0: acceptable; else the status to answer (400, 411, 413, 501, 505)
    std::string method;         // "GET", "HEAD" or "POST" when status is 0; as sent otherwise
    std::string target;         // the request-target as sent
    std::string version;        // "HTTP/1.0", "HTTP/1.1" ...
    std::string request_line;   // the whole first line
    std::string head;           // request line and header lines, each ending in CR LF, then CR LF
    bool chunked = false;       // the body is sent in chunks
    bool expect_continue = false;  // an HTTP/1.1 client waits for "100 Continue" before its body
    uint64_t content_length = 0;  // the body's length when not chunked
};

// Checks the head `data` of `size` bytes (from head_start() to
// head_end() of the scanner): the request line must be
// "method SP target SP HTTP/1.x" with a method this server implements
// (GET, HEAD, POST: others 501; another major version 505); header
// names must be tokens followed at once by ":" (whitespace before the
// colon is 400, so is a folded line); one Content-Length of digits
// only, at most `http_body_max` (larger: 413); Transfer-Encoding only
// "chunked", only in HTTP/1.1 and never beside Content-Length (else 400,
// 501 for another coding); a line without ":" is 400; an HTTP/1.1
// request needs exactly one Host (none or two: 400). "Expect:
// 100-continue" is noted for HTTP/1.1 only.
// Returns: the request's description; `status` says whether it is usable.
http_head_info http_check_head(const char* data, size_t size);

// Decodes a chunked request body as its bytes arrive:
// chunk-size [; extensions] CRLF data CRLF ... 0 CRLF [trailers] CRLF.
// Every line ends with CR LF: a bare LF is bad, as a peer in front that
// read it otherwise would see another body. Sizes are hexadecimal and checked
// for overflow; a size line or trailer line over 8 KiB, or trailers
// over 64 KiB, make the body bad; a decoded body over `limit` bytes is
// too large.
class http_chunked_decoder {
public:
    enum result_t { need_more, complete, bad, too_large };

    explicit http_chunked_decoder(uint64_t limit = http_body_max) : limit_(limit) {}
    // Decodes `size` bytes of `data`, appending the body's bytes to
    // `out`. Returns: the state after them; once not need_more it stays
    // what it is and no further byte is read. `*used` (when not null)
    // gets the bytes consumed (less than `size` only past the end).
    result_t feed(const char* data, size_t size, std::string* out, size_t* used = nullptr);
    // Returns: the decoded bytes so far.
    uint64_t decoded() const { return decoded_; }

private:
    enum step_t { size_digits, size_rest, size_lf, data, data_cr, data_lf, trailer, trailer_lf };
    result_t result_ = need_more;
    step_t step_ = size_digits;
    uint64_t limit_;
    uint64_t chunk_left_ = 0;    // data bytes of the current chunk still to come
    uint64_t decoded_ = 0;
    size_t line_length_ = 0;     // bytes of the current size or trailer line
    size_t trailer_bytes_ = 0;   // bytes of all trailer lines
    bool digits_seen_ = false;   // the size line has at least one digit
};

// Returns: whether an "Accept-Encoding" value lets the answer be
//     gzipped: "gzip" (or "x-gzip") is listed with a weight above 0, or
//     it is not listed and "*" is, with a weight above 0. Codings are
//     compared in exact case, as the server always did; weights are
//     "q=" parameters from 0 to 1 with at most three decimals (a
//     malformed weight makes its element count as absent).
bool http_accepts_gzip(const char* value);

// Returns: the status line text of an error status the server gives
//     by itself ("413 Content Too Large"); "400 Bad Request" for others.
const char* http_status_text(int status);

// Returns: whether an answer of `status` may carry a body (and so a
//     Content-Length): not 1xx, 204 or 304.
bool http_status_has_body(int status);

// Returns: `path` with every run of "/" made one "/", and every control
//     byte (below 0x20, 0x7f; a decoded URL may hold one) written as
//     "%XX" again, so that the path can stand in a Location header.
std::string http_location_path(const std::string& path);

// Returns: `text` with control characters (below 0x20, 0x7f), the
//     double quote and the backslash written as "\xHH", so that a log
//     line stays one line and its quoted fields stay fields.
std::string http_log_escape(const std::string& text);
// The same text appended to `*out`, in at most `max` bytes: a text whose
// escaped form is longer is cut before an escape or character that does
// not fit with the mark "[...]" after it (which the `max` bytes hold).
void http_append_log_escaped(std::string* out, const std::string& text, size_t max = SIZE_MAX);

}  // namespace kiv

#endif
