// i_http_client.h --
//
//     The HTTP/1.1 client and the stream of its reply. A client comes
//     from the service "svc_http" (create_client), which also holds the
//     proxy settings it reads on every request:
//
//         auto_ptr_t<kiv::i_http_client> client(http->create_client());
//         auto_ptr_t<kiv::i_http_stream> reply(client->open("/a.txt", "example.org", 80, nullptr, 0));
//         if (!reply) ... client->get_error_code() says why
//
//     Each open sends one request over a fresh connection ("Connection:
//     Close"). The reply body ends at its Content-Length, at the last
//     chunk of a chunked reply, or (with neither) when the peer closes;
//     a reply cut before that end says so in the stream's error code:
//
//         while (!reply->is_finished()) ... wait or read
//         if (reply->get_error_code() != kiv::http_client_ok) ... cut short
//
//     Only 2xx replies give a stream; the status and headers of any
//     reply, a redirect's Location say, stay readable on the client.
//     A client is used by one thread at a time.

#ifndef KIV_HTTP_I_HTTP_CLIENT_H
#define KIV_HTTP_I_HTTP_CLIENT_H

#include <kiv/core/i_object_col.h>
#include <kiv/core/i_property_manager.h>
#include <kiv/core/i_stream.h>
#include <kiv/http/i_http_cookie_manager.h>

namespace kiv {

// Error codes of i_http_client::get_error_code.
enum http_client_error {
    http_client_ok = 0,
    http_client_bad_call = -1,   // no HTTP service, or bad arguments
    http_client_bad_reply = -2,  // no reply head, or not "HTTP/1.x 2xx"
    http_client_no_connection = -3,
    http_client_send_failed = -5,
    // (i_http_stream::get_error_code) the body ended before its
    // Content-Length or its last chunk, its chunk coding was broken, or
    // the stream was disconnected first
    http_client_cut_reply = -6,
};

// The reply of one request: the body as a core input stream, read by
// the core's stream pump.
class i_http_stream : public virtual i_input_stream {
public:
    // Returns: the value of the reply header `header` (any letter case),
    //     borrowed for the stream's life (the headers outlast the end of
    //     the body and disconnect); "" when there is none.
    virtual const char* get_header_value(const char* header) = 0;
    // Returns: a new collection of named strings (name, value) in
    //     case-insensitive name order, one reference for the caller.
    virtual i_object_col* get_headers() = 0;
    // Returns: true once the body has ended: read whole, cut short (see
    //     get_error_code) or disconnected.
    virtual bool is_finished() = 0;
    // Returns: http_client_ok while the body arrives and once it ended
    //     whole; http_client_cut_reply once it ended short. Any thread.
    virtual int get_error_code() = 0;

protected:
    ~i_http_stream() = default;
};

class i_http_client : public virtual i_property_manager, public virtual i_http_cookie_manager {
public:
    // Accepts exactly "GET", "POST" or "HEAD". Returns: false (the method
    //     unchanged) for anything else.
    virtual bool set_request_method(const char* method) = 0;
    // Sets a request header, replacing one of that name in any case. A
    // name or value holding CR or LF (or a name holding ":" or empty) is
    // refused: nothing changes.
    virtual void set_header(const char* name, const char* value) = 0;
    // Sends the request for `resource` (beginning with "/") to host:port
    // with `body_size` bytes of `body`, and reads the reply head. "Host"
    // names the port unless it is 80; "Content-Length" goes out with a
    // body and with every POST, never with an empty GET or HEAD.
    // Redirects are not followed (see get_status, get_reply_header).
    // A resource or host holding blanks or control bytes is refused, and
    // so is a reply whose Content-Length fields are not digits, pass
    // 2^63 - 1 or disagree with each other (http_client_bad_reply).
    // Returns: the reply with one reference for the caller; null with the
    //     reason in get_error_code.
    virtual i_http_stream* open(const char* resource, const char* host, unsigned short port, const void* body,
                                unsigned body_size) = 0;
    // Whether open may go through the service's proxy (default true).
    virtual void set_use_proxy(bool use) = 0;
    virtual bool get_use_proxy() = 0;
    // Seconds without data after which sending the request or reading
    // the reply head gives up (default 30; 0: no limit).
    virtual void set_timeout(unsigned val) = 0;
    virtual unsigned get_timeout() = 0;
    // Returns: the result of the last open (http_client_error).
    virtual int get_error_code() = 0;
    // Returns: the status code of the reply head the last open received,
    //     whatever it was (a 302 or 404 too); 0 when no head arrived or
    //     its first line was no "HTTP/1.x NNN" status line.
    virtual int get_status() = 0;
    // Returns: the value of the header `name` (any letter case) of that
    //     reply head, borrowed until the next open; "" when there is none.
    virtual const char* get_reply_header(const char* name) = 0;

protected:
    ~i_http_client() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_http_client* kiv_cast_i_http_client(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_http_stream* kiv_cast_i_http_stream(kiv::i_object* obj);

#endif
