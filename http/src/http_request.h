// http_request.h --
//
//     One accepted connection of the web server and its one exchange.
//     The service thread reads the request without blocking and, once
//     the answer is built, sends it (head and memory body from one
//     buffer, file bodies with sendfile); in between a pool worker
//     parses the request, chooses the server and the file and builds the
//     answer. The state says who owns the request's buffers: the service
//     thread while reading and sending, the worker while processing; the
//     state is handed over with release/acquire, so no lock is needed
//     around the buffers. The worker's reference keeps the object alive
//     after the service dropped it.

#ifndef KIV_HTTP_SRC_HTTP_REQUEST_H
#define KIV_HTTP_SRC_HTTP_REQUEST_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_script.h>
#include <kiv/core/object.h>
#include <kiv/core/object_col.h>
#include <kiv/http/cookie_manager.h>
#include <kiv/http/http_head.h>
#include <kiv/http/http_header_map.h>
#include <kiv/http/i_http_request.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace kiv {

class i_http_service;

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
    bool awaiting_head() const { return state() == reading && head_length_ == 0; }
    // Whether not a byte has come in yet.
    bool nothing_received() const { return state() == reading && in_.empty(); }
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
    // Reads what arrived. Returns: false when the connection ended.
    bool read_some();
    // Whether the buffer holds a whole request, or one that is refused
    // already (`reject_status_`): a bad head, a head or line over its
    // limit, a body over its cap. Decodes a chunked body as it arrives.
    bool request_complete();
    // Refuses the request with `status`. Returns: true (it is complete).
    bool reject(int status);
    // Sends what the socket takes. Returns: false when the connection ended.
    bool write_some();
    // After the last byte: shuts the write side and lingers. Closing at
    // once with unread input makes Linux reset the connection and throw
    // away what the peer has not yet received, so the input is read and
    // dropped until the peer closes or the bounds pass.
    void start_lingering();
    // Reads and drops what arrived while lingering; closes on the peer's
    // close, an error, or 64 KiB dropped.
    void drop_input();
    // What a failed recv, send or sendfile leaves to do.
    enum io_next { io_retry, io_wait, io_ended };
    // Sorts out such a failure by errno: an interrupted call is tried
    // again, a socket with nothing to give or no room waits for the next
    // poll, anything else ends the connection (a reset or broken pipe
    // quietly, other errors logged as `what`, the errno and its text).
    io_next after_io_error(const char* what);
    // Builds the head (once) before the memory body.
    bool finish_headers();
    // The answer is built: the service thread starts sending.
    void start_sending();
    void write_access_log();
    void log_error(const char* message);
    // Splits a "multipart/form-data" body into files and variables.
    void take_multipart(const std::string& content_type, const std::string& body);
    // Runs the page `path` as the whole answer in this thread's engine
    // (404 when the file does not exist).
    // Returns: false when no engine is at hand or the path is null.
    bool run_page(const char* path);
    // Sends the file open on `fd` (`length` bytes from `offset`) after
    // the head.
    bool send_file_part(int fd, uint64_t offset, uint64_t length);

    std::atomic<int> state_{reading};
    std::shared_ptr<http_wakeup> wakeup_;
    int socket_;                  // owned; closed by the destructor
    uint16_t local_port_;
    std::string listen_address_;  // the listening entry's address text ("*" for any)
    std::string host_;            // the peer, or the address a trusted forwarder named

    // Reading (service thread).
    std::string in_;              // received bytes
    uint32_t first_byte_time_ = 0;  // core clock of the first byte; 0 before
    uint32_t last_io_time_;       // core clock of the last progress
    http_head_scanner scanner_;   // finds the end of the head in the new bytes only
    http_head_info head_;         // the checked head; filled when the head is complete
    size_t head_length_ = 0;      // bytes up to and with the blank line; 0 until seen
    uint64_t body_expected_ = 0;  // Content-Length, or the decoded length of a chunked body
    int reject_status_ = 0;       // 0, or the error status the request gets at once
    std::unique_ptr<http_chunked_decoder> chunked_;  // while a chunked body arrives; else null
    std::string chunked_body_;    // the body decoded so far

    // Processing (worker).
    http_header_map request_headers_;
    http_header_map variables_;
    http_header_map response_headers_;
    std::string method_;
    std::string page_;
    std::string request_line_;    // the first line, at most 511 characters
    std::string request_root_;
    std::string status_;          // "200 OK"; "" until set
    auto_ptr_t<i_http_server> server_;
    auto_ptr_t<i_http_session> session_;
    bool cookies_updated_ = false;
    bool head_built_ = false;
    bool forced_compression_ = false;  // asked for by force_compression; changes nothing
    auto_ptr_t<object_col> files_;     // uploaded files (http_file_data) in body order; never null

    // The engine of the page being run, so that includes run in it and
    // stop() can discard the page's output; null outside a page. The lock
    // guards only this reference.
    std::mutex engine_lock_;
    auto_ptr_t<i_script_engine> engine_;
    uint32_t start_time_ = 0;     // core clock when processing began

    // Sending (service thread after processing).
    std::string out_;             // head and memory body
    size_t out_pos_ = 0;
    size_t head_size_ = 0;
    int file_fd_ = -1;            // owned; the file body, -1 for none
    uint64_t file_offset_ = 0;
    uint64_t file_remaining_ = 0;
    uint64_t bytes_sent_ = 0;
    std::string referer_;
    std::string user_agent_;
    std::string delete_after_send_;  // a file removed once the request ends
    std::string delete_copy_after_send_;  // its gzip copy, removed with it; "" for none
    bool logged_ = false;            // the access-log line was written

    // Lingering (service thread).
    uint32_t linger_since_ = 0;      // core clock of the start or of the peer's last progress
    int linger_unsent_ = 0;          // bytes the peer had not taken at that time
    size_t linger_dropped_ = 0;      // input read and dropped so far
};

}  // namespace kiv

#endif
