// i_http_request.h --
//
//     One HTTP exchange of the embedded web server as pages and event
//     handlers see it: the request's method, page, headers, variables and
//     cookies (i_http_cookie_manager), its virtual server and session,
//     and the operations that build the answer. Every connection carries
//     one request; every answer ends with "Connection: Close".
//
//     A request is processed on a pool worker; the operations are meant
//     for that worker (and the handlers it calls), not for other threads.
//     Texts returned stay valid as long as the request lives.

#ifndef KIV_HTTP_I_HTTP_REQUEST_H
#define KIV_HTTP_I_HTTP_REQUEST_H

#include <kiv/core/i_object_col.h>
#include <kiv/http/i_http_cookie_manager.h>
#include <kiv/http/i_http_file_data.h>
#include <kiv/http/i_http_server.h>
#include <kiv/http/i_http_session.h>

namespace kiv {
class i_http_service;
}

namespace kiv {

class i_http_request : public virtual i_http_cookie_manager {
public:
    // Returns: the value of a request header (any letter case); "" when
    //     absent, and for every name once the answer's head was built.
    virtual const char* get_header_value(const char* header) = 0;
    // Returns: the decoded page (path without query and fragment); ""
    //     before parsing.
    virtual const char* get_request_page() = 0;
    // Returns: the method as sent ("GET"); "" before parsing.
    virtual const char* get_request_method() = 0;
    // Returns: the value of a query or form variable (any letter case);
    //     "" when absent.
    virtual const char* get_var_value(const char* name) = 0;
    // Returns: the chosen virtual server with one reference for the
    //     caller; null before it was chosen.
    virtual i_http_server* get_server() = 0;
    // Returns: the request's session with one reference for the caller;
    //     null when there is none.
    virtual i_http_session* get_session() = 0;
    // Returns: the peer's address, or the address a trusted forwarder
    //     named.
    virtual const char* get_host() = 0;
    // Finds or makes the session of the cookie "sid" (an unknown id sent
    // by the client is not adopted: the new session gets a fresh id, sent
    // back as the cookie "sid").
    // Returns: whether the request has a session afterwards.
    virtual bool force_use_session() = 0;
    // Returns: whether set_cookie was called on the request.
    virtual bool cookies_updated() = 0;
    // Returns: a new collection of the files uploaded with a
    //     "multipart/form-data" body (i_http_file_data, in body order),
    //     with one reference for the caller; empty when there are none.
    virtual i_object_col* get_files() = 0;
    // Returns: the first uploaded file whose field name is `name`
    //     (exact case), with one reference for the caller; null when
    //     there is none.
    virtual i_http_file_data* get_file(const char* name) = 0;
    // Returns: the "Host" header ("" when absent).
    virtual const char* get_server_name() = 0;
    // Returns: the folder of the requested file; "" when not set.
    virtual const char* get_request_root() = 0;
    // Sets the status text ("404 Not Found").
    // Returns: false for null or "", one holding a line break, or once
    //     the answer is on its way.
    virtual bool set_response_code(const char* code) = 0;
    // Sets an answer header, replacing one of that name.
    // Returns: false for null texts, a name or value holding a line
    //     break (or a name holding ":"), or once the head was built.
    virtual bool send_header(const char* header, const char* value) = 0;
    // Answers with a text body; with `compress` the body is whole and
    // final (256 bytes or more go gzipped to a client that accepts it).
    // Returns: false for null, or when the request is not being
    //     processed.
    virtual bool send_text(const char* text, bool compress) = 0;
    // As send_text, with `data_len` bytes.
    virtual bool send_binary(const void* data, unsigned data_len, bool compress) = 0;
    // Answers with a file: conditional requests (304), caching headers,
    // HEAD, the first byte range (206/416), gzip copies of text files of
    // 256 bytes or more; only regular files (else 404).
    // `delete_after_send` removes the file once the transfer ended.
    // Returns: true when the answer was started.
    virtual bool send_file(const char* path, bool delete_after_send) = 0;
    // Runs the page file `path` (Tcl code between "<?" and "?>") inside
    // the page that is running, its output in place; outside a page it
    // runs as the whole answer (404 when it does not exist). A Tcl error
    // puts the paragraph "<p>HTTP error on line N: message</p>" (the
    // message HTML-escaped) into the output instead.
    // Returns: true when the file ran or its error was reported; false
    //     for a null or empty path and a file that does not exist.
    virtual bool include_html_page(const char* path) = 0;
    // Returns: false once the connection is closed.
    virtual bool is_connected() = 0;
    // Ends the answer: what was built goes out (an empty answer with the
    // status when nothing was built).
    virtual void stop() = 0;
    // Notes that the caller wants compression; answers already compress
    // by themselves (see send_text), so nothing changes.
    virtual void force_compression(bool force) = 0;
    // One step of the connection on the service thread: reads what
    // arrived while the request is being received, sends what the socket
    // takes while the answer goes out, and applies the time-outs; a
    // request being processed is left alone. Pages and handlers have no
    // use for it (their request is being processed: nothing happens).
    // Returns: false when `hs` is null, the connection has no socket or
    //     has ended, so the service drops the request; true otherwise.
    virtual bool bg_task(i_http_service* hs) = 0;

protected:
    ~i_http_request() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_http_request* kiv_cast_i_http_request(kiv::i_object* obj);

#endif

// The command behind a page's Tcl procedure `include`: runs
// `req->include_html_page(path)` when both are set and the path holds
// no ".."; otherwise nothing.
KIV_EXTERN_C void _kiv_http_include(kiv::i_http_request* req, const char* path);
