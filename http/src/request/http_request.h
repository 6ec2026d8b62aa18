// http_request.h --
//
//     One accepted connection of the web server and its one exchange.
//     The service thread reads the request without blocking
//     (http_request_reader); a pool worker parses it, chooses the server
//     and the file, builds the answer (http_request_dispatch.cpp,
//     http_request_static_file.cpp, http_request_answer.cpp,
//     http_request_page.cpp) and sends what the socket takes at once (the
//     head and memory body of http_answer, then the file body of
//     http_file_body with sendfile); the service thread sends the rest
//     and closes the connection after the peer. The state says who owns
//     the request's parts: the service thread while reading, sending and
//     lingering, the worker while processing and sending at once; the
//     state is handed over with release/acquire, so no lock is needed
//     around them. The worker's reference keeps the object alive after
//     the service dropped it.

#ifndef KIV_HTTP_SRC_HTTP_REQUEST_H
#define KIV_HTTP_SRC_HTTP_REQUEST_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_script.h>
#include <kiv/core/object.h>
#include <kiv/core/object_col.h>
#include <kiv/http/i_http_request.h>

#include "parse/cookie_manager.h"
#include "parse/http_header_map.h"
#include "request/http_answer.h"
#include "request/http_file_body.h"
#include "request/http_file_cache.h"
#include "request/http_request_reader.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace kiv {

class i_http_service;

// Seconds a client refused for want of room, workers or memory is told
// to wait before it asks again ("Retry-After").
const char http_retry_after[] = "5";

// The service thread's wake-up descriptor, shared with the requests so
// that a worker finishing after the service went away still has it.
class http_wakeup {
public:
    http_wakeup();
    ~http_wakeup();
    http_wakeup(const http_wakeup&) = delete;
    http_wakeup& operator=(const http_wakeup&) = delete;
    // Ends the service thread's current wait. Any thread.
    void wake();
    // Reads the pending wake-ups away (service thread).
    void drain();
    int fd() const { return fd_; }

private:
    int fd_;  // eventfd; owned; -1 when none could be made
};

class http_request : public object, public cookie_manager, public virtual i_http_request {
public:
    enum state_t : int {
        reading = 1,     // service thread: receiving the request
        ready = 2,       // service thread: complete, about to be handed to a worker
        sending = 3,     // service thread: the answer's head and memory body go out
        refilling = 4,   // service thread: the answer's file body goes out
        finished = 5,    // everything sent
        processing = 6,  // worker: parsing and building the answer
        closed = 7,      // the connection is shut down
        lingering = 8,   // service thread: the answer is out and the write side shut;
                         // input is read and dropped until the peer closes
        answered = 9,    // the answer is built; the worker that processed the request
                         // or the service thread (whichever claims it) sends it
        worker_sending = 10,  // worker: sends what the socket takes at once
    };

    // Takes over the connected non-blocking `socket` accepted on
    // (`listen_address`, `local_port`) from `peer`.
    http_request(int socket, uint16_t local_port, const char* peer, const char* listen_address,
                 std::shared_ptr<http_wakeup> wakeup);
    // Closes the socket and a file still open; removes files sent for
    // deletion.
    ~http_request() override;

    // Answers "i_http_request" and "i_http_cookie_manager".
    bool get_interface(const char* name, void** out) override;

    // -- service thread --
    state_t state() const { return static_cast<state_t>(state_.load(std::memory_order_acquire)); }
    void set_state(state_t s) { state_.store(s, std::memory_order_release); }
    int socket() const { return socket_; }
    // Whether the connection still waits for the rest of its head.
    bool awaiting_head() const { return state() == reading && reader_.awaiting_head(); }
    // Whether not a byte has come in yet.
    bool nothing_received() const { return state() == reading && reader_.empty(); }
    // Whether the head is there and the body still on its way.
    bool awaiting_body() const { return state() == reading && !reader_.awaiting_head(); }
    // Core clock of the last progress of the connection.
    uint32_t last_io_time() const { return last_io_time_; }
    // Whether a complete request has waited for a free worker of the pool
    // longer than it may at `now` (core clock).
    bool worker_wait_over(uint32_t now) const;
    // Returns: POLLIN while reading and lingering, POLLOUT while sending,
    //     else 0.
    short poll_events() const;
    // Reads or sends what the socket allows without blocking; closes the
    // connection on failure, on the peer's close and after the last byte.
    void on_io(short revents);
    // Closes a connection that waited too long at `now` (core clock):
    // 30 s before the first byte, 60 s for the whole head, 60 s without
    // progress on the body or the answer, 2 s lingering after the peer
    // took the last byte.
    void check_time(uint32_t now);
    // Ends the connection without an answer (with a log line when
    // `message` is not null).
    void close_connection(const char* message);

    // -- pool worker --
    // Parses the request and builds the answer; with `running` false
    // (the pool could not take the task) only closes the connection.
    void process(bool running);
    // After process(): when the answer is built, sends what the socket
    // takes at once, so that a small answer needs no turn of the service
    // thread, then hands the connection over (`sending` or `refilling`
    // when the socket is full, `lingering` after the last byte, `closed`
    // on failure). An answer still in the making (a page streams it) is
    // sent by the service thread once stop() is called.
    void send_at_once();
    // Whether a worker or a page has the request (the service thread
    // leaves it alone).
    bool held_by_worker() const {
        state_t s = state();
        return s == processing || s == answered || s == worker_sending;
    }
    void wake() { if (wakeup_) wakeup_->wake(); }

    // i_http_cookie_manager: notes that the answer carries cookies.
    void set_cookie(const char* name, const char* value, unsigned lifetime) override;

    const char* get_header_value(const char* header) override;
    const char* get_request_page() override { return page_.c_str(); }
    const char* get_request_method() override { return method_.c_str(); }
    const char* get_var_value(const char* name) override;
    i_http_server* get_server() override;
    i_http_session* get_session() override;
    const char* get_host() override { return host_.c_str(); }
    bool force_use_session() override;
    bool cookies_updated() override { return cookies_updated_; }
    i_object_col* get_files() override;
    i_http_file_data* get_file(const char* name) override;
    const char* get_server_name() override { return get_header_value("Host"); }
    const char* get_request_root() override { return request_root_.c_str(); }
    bool set_response_code(const char* code) override;
    bool send_header(const char* header, const char* value) override;
    bool send_text(const char* text, bool compress) override;
    bool send_binary(const void* data, unsigned data_len, bool compress) override;
    bool send_file(const char* path, bool delete_after_send) override;
    bool include_html_page(const char* path) override;
    bool is_connected() override { return state() != closed; }
    void stop() override;
    void force_compression(bool) override { forced_compression_ = true; }
    bool bg_task(i_http_service* hs) override;

    // Sends an error answer: the status text as a "text/plain" body.
    void send_error(const char* code);

private:
    // -- service thread (http_request.cpp) --
    // Reads what arrived. Returns: false when the connection ended.
    bool read_some();
    // Sends what the socket takes. Returns: false when the connection ended.
    bool write_some();
    // After the last byte: shuts the write side and lingers. Closing at
    // once with unread input makes Linux reset the connection and throw
    // away what the peer has not yet received, so the input is read and
    // dropped until the peer closes or the bounds pass.
    void start_lingering();
    // Reads and drops what arrived while lingering; closes on the peer's
    // close, an error, or 64 KiB dropped. Returns: false when closed.
    bool drop_input();
    // Closes the socket now, its answer out and the access log written,
    // and sets the state closed.
    void close_socket();
    // What a failed recv, send or sendfile leaves to do.
    enum io_next { io_retry, io_wait, io_ended };
    // Sorts out such a failure by `error` (an errno): an interrupted call
    // is tried again, a socket with nothing to give or no room waits for
    // the next poll, anything else ends the connection (a reset or broken
    // pipe quietly, other errors logged as `what`, the errno and its text).
    io_next after_io_error(int error, const char* what);
    void write_access_log();
    void log_error(const char* message);

    // -- pool worker: parsing and dispatch (http_request_dispatch.cpp) --
    // The steps of process().
    void process_request();
    // Answers a request the reader refused with its error status.
    void refuse_request();
    // Takes headers, method, page, variables and uploads from the
    // received request. Returns: false when it was answered or closed.
    bool parse_request();
    // Answers a request that brought more than http_variables_max
    // variables (413).
    void refuse_variables();
    // Chooses the virtual server by Host, address and port.
    // Returns: false when there is none (the connection is closed).
    bool choose_server(i_http_service* http);
    // Maps the page to the file `*path`, with the status of that file
    // in `*status` when it was taken; a directory without its "/" is
    // answered with a redirection. Returns: false when answered.
    bool resolve_path(std::string* path, http_path_status* status);
    // The request's cookies, which are never sent back.
    void take_cookies();
    // A trusted forwarder's last "X-Forwarded-For" address becomes the host.
    void take_forwarded_host();
    // Sets the request root from `path`; answers 403 when its folder
    // holds a deny file. Returns: true when answered.
    bool access_denied(const std::string& path);
    // Returns: the extension of the page with its dot ("" for none).
    std::string page_extension() const;
    // Runs a ".html" page or sends the file `path` (its status in
    // `status` when taken), of the media type `type`.
    void dispatch(const std::string& type, const std::string& path, const http_path_status& status);

    // -- pool worker: answers (http_request_answer.cpp) --
    // Builds the head (once) before the memory body.
    bool finish_headers();
    // Adds "Accept-Encoding" to the answer's "Vary": its encoding
    // depends on the request's.
    void vary_on_accept_encoding();
    // The answer is built: the worker sends it after processing, or,
    // when processing is over (stop() from a page's thread), the service
    // thread.
    void start_sending();
    // Gives an answered request to the service thread for sending, unless
    // the worker claimed it already.
    void hand_to_service();

    // -- pool worker: pages and uploads (http_request_page.cpp) --
    // Splits a "multipart/form-data" body into files and variables, of
    // which it may add at most `max` (fields and files together).
    // Returns: too_many, with nothing added, when the body holds more;
    //     no_memory when memory failed (what was taken until then stays).
    enum class multipart_result { ok, too_many, no_memory };
    multipart_result take_multipart(const std::string& content_type, const std::string& body, size_t max);
    // Runs the page `path` as the whole answer in this thread's engine
    // (404 when the file does not exist).
    // Returns: false when no engine is at hand or the path is null.
    bool run_page(const char* path);

    // -- pool worker: static files (http_request_static_file.cpp) --
    // Whether the request's If-Modified-Since names `modified` (and it
    // does not ask for a fresh copy).
    bool not_modified_since(int64_t modified);
    // Last-Modified, the caching headers (not for POST, not when a page
    // set its own) and Accept-Ranges (not for a file deleted after).
    void add_file_headers(int64_t modified, bool delete_after_send);
    // Whether the answer may come from the file's status alone (a 304,
    // or a gzip copy made before), so that the file is opened only when
    // its bytes are needed.
    bool may_answer_from_status(bool delete_after_send);
    // Whether the answer's type lets a file of `size` bytes go out
    // gzipped to a client that accepts it.
    bool gzip_possible(uint64_t size);
    // Whether the answer's type and the client allow a gzip copy of a
    // file of `size` bytes.
    bool gzip_wanted(uint64_t size);
    // send_file with the status of `path` taken moments ago when
    // `known` says so, else taken here.
    bool send_file_with_status(const char* path, bool delete_after_send, const http_path_status& known);
    // Sends the gzip copy open on `gz` (`gz_size` bytes) of the file
    // `path` in the state `st`; a small one is held in memory for the
    // next answers when `hold` is set.
    bool send_gzip_copy(int gz, uint64_t gz_size, const std::string& path, const struct stat& st, bool hold);
    // Opens the gzip copy of `path` (`size` bytes) when its type and the
    // client allow one. Returns: its descriptor with its size in
    //     `*gz_size`, or -1 to send the file itself.
    int open_gzip_copy(const char* path, bool delete_after_send, uint64_t size, uint64_t* gz_size);
    // Whether a Range may be honoured for a file last changed at
    // `modified`: always without If-Range; with it, only when it names
    // that date (an entity tag never matches: no answer carries one).
    bool range_allowed(int64_t modified);
    // Sends the file (`size` bytes, last changed at `modified`) open on
    // `fd`, or held as `bytes` when `fd` is -1, or the part the Range
    // header asks for (416 when it cannot be satisfied; the whole file
    // when If-Range names another version).
    bool send_file_range(int fd, const http_file_bytes& bytes, uint64_t size, int64_t modified);
    // Sends `length` bytes from `offset` of the file open on `fd`, or
    // held as `bytes` when `fd` is -1, after the head.
    bool send_file_part(int fd, const http_file_bytes& bytes, uint64_t offset, uint64_t length);

    // The connection (service thread, and the worker's closing).
    std::atomic<int> state_{reading};
    std::atomic<bool> in_process_{false};  // a worker runs process() on the request
    std::shared_ptr<http_wakeup> wakeup_;
    int socket_;                  // owned; closed by the destructor
    uint16_t local_port_;
    std::string listen_address_;  // the listening entry's address text ("*" for any)
    std::string host_;            // the peer, or the address a trusted forwarder named
    uint32_t last_io_time_;       // core clock of the last progress

    // Reading (service thread), then the complete request (worker).
    http_request_reader reader_;

    // The parsed request (worker; pages read it through the interface).
    http_header_map request_headers_;
    http_header_map variables_;
    std::string method_;
    std::string page_;
    std::string request_line_;    // the first line, at most 511 characters
    std::string request_root_;
    auto_ptr_t<i_http_server> server_;
    auto_ptr_t<i_http_session> session_;
    bool cookies_updated_ = false;
    bool forced_compression_ = false;  // asked for by force_compression; changes nothing
    auto_ptr_t<object_col> files_;     // uploaded files (http_file_data) in body order; never null
    uint32_t start_time_ = 0;     // core clock when processing began

    // The engine of the page being run, so that includes run in it and
    // stop() can discard the page's output; null outside a page. The lock
    // guards only this reference.
    std::mutex engine_lock_;
    auto_ptr_t<i_script_engine> engine_;

    // The answer: built by the worker, sent by the service thread.
    http_answer answer_;
    http_file_body file_;

    // Lingering (service thread).
    bool write_shut_ = false;        // the answer is out and the write side shut
    bool socket_closed_ = false;     // closed already; socket_ keeps the number, no longer ours
    uint32_t linger_since_ = 0;      // core clock of the start or of the peer's last progress
    int linger_unsent_ = 0;          // bytes the peer had not taken at that time
    size_t linger_dropped_ = 0;      // input read and dropped so far
};

}  // namespace kiv

#endif
