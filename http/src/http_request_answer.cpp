// http_request_answer.cpp --
//
//     The work of a pool worker on one request (see http_request.h):
//     parsing and dispatch, the answer's status, headers and bodies,
//     error answers, and static files with conditional requests, HEAD,
//     byte ranges and gzip copies.

#include "http_request.h"

#include <kiv/core/auto_string.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/wildcard.h>
#include <kiv/http/http_files.h>
#include <kiv/http/http_gzip.h>
#include <kiv/http/http_head.h>
#include <kiv/http/http_request_text.h>
#include <kiv/http/http_text.h>
#include <kiv/http/i_http_service.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kiv {

namespace {

const uint64_t gzip_min_size = 256;
const size_t head_room = 1024;  // usual size of an answer's head, kept free before it is built

const char server_header[] = "kiv_http_server/3.18.0094";

bool starts_with(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool holds_line_break(const char* text) {
    return std::strpbrk(text, "\r\n") != nullptr;
}

std::string http_date(int64_t t) {
    char buf[64];
    kiv_http_print_time(buf, sizeof buf, t);
    return buf;
}

int64_t now_seconds() {
    return static_cast<int64_t>(kiv_get_curr_time());
}

auto_ptr_t<i_http_service> http_service_ref() {
    auto_ptr_t<i_object> svc(find_service("svc_http"));
    i_http_service* http = kiv_cast_i_http_service(svc);
    if (http == nullptr)
        return auto_ptr_t<i_http_service>();
    http->addref();
    return auto_ptr_t<i_http_service>(http);
}

}  // namespace

// ---- pool worker: parsing and dispatch ---------------------------------

void http_request::process(bool running) {
    if (state() != processing)
        return;
    if (!running) {
        close_connection("process error: no worker");
        return;
    }
    start_time_ = kiv_get_curr_time();
    response_headers_.set("Server", server_header, true);
    response_headers_.set("Date", http_date(now_seconds()).c_str(), true);

    // The request line is read whole; the log keeps its first 511
    // characters only.
    size_t line_start = scanner_.head_start();
    size_t line_end = std::min(in_.find('\n', line_start), in_.size());
    if (line_end > line_start && in_[line_end - 1] == '\r')
        --line_end;
    request_line_ = in_.substr(line_start, std::min<size_t>(line_end - line_start, 511));
    if (reject_status_ != 0) {
        // An answer to HEAD has no body, even when the request is refused.
        if (in_.compare(line_start, 5, "HEAD ") == 0)
            method_ = "HEAD";
        send_error(http_status_text(reject_status_));
        log_error(("process error: bad request (" + std::to_string(reject_status_) + ")").c_str());
        return;
    }
    std::vector<char> head_buffer(head_.head.begin(), head_.head.end());
    head_buffer.push_back('\0');
    char* body_start = nullptr;
    http_header_map::parse(head_buffer.data(), static_cast<uint32_t>(head_.head.size()), &body_start,
                           request_headers_);
    std::string body = in_.substr(head_length_, static_cast<size_t>(body_expected_));
    method_ = head_.method;
    std::string url = head_.target;
    http_target target;
    http_target_result parsed = http_parse_target(url.c_str(), &target);
    if (parsed == http_target_result::no_memory) {
        close_connection("process error: 3");
        return;
    }
    if (parsed == http_target_result::bad_request) {
        send_error("400 Bad Request");
        log_error("process error: bad request");
        return;
    }
    page_ = target.page;
    for (const auto& pair : target.query)
        variables_.set(pair.first.c_str(), pair.second.c_str(), false);
    std::string content_type = request_headers_.find("Content-Type");
    if (!body.empty() && starts_with(content_type, "application/x-www-form-urlencoded"))
        for (const auto& pair : http_split_variables(body.c_str(), "&"))
            variables_.set(pair.first.c_str(), pair.second.c_str(), false);
    if (!body.empty() && starts_with(content_type, "multipart/form-data"))
        take_multipart(content_type, body);

    auto_ptr_t<i_http_service> http = http_service_ref();
    if (!http) {
        close_connection("process error: no service");
        return;
    }
    // "name:port" is served by the server "name".
    std::string host_name = request_headers_.find("Host");
    host_name = host_name.substr(0, host_name.find(':'));
    server_.reset(http->find_server(host_name.c_str(), listen_address_.c_str(), local_port_));
    if (!server_) {
        close_connection("process error: 5");
        return;
    }

    auto_string doc_root(server_->get_doc_root());
    auto_string mapped(server_->get_url_mapping(page_.c_str()));
    std::string path = mapped.is_ok() ? std::string(static_cast<const char*>(mapped))
                                      : std::string(static_cast<const char*>(doc_root)) + page_;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && page_.back() != '/') {
        set_response_code("301 Moved Permanent");
        // "//sub/" would name a host: runs of slashes become one.
        send_header("Location", (http_collapse_slashes(page_) + "/").c_str());
        stop();
        return;
    }
    if (page_.back() == '/') {
        auto_string default_page(server_->get_default_page());
        path = std::string(static_cast<const char*>(doc_root)) + page_ + static_cast<const char*>(default_page);
        page_ += static_cast<const char*>(default_page);
    }

    const char* cookie_header = request_headers_.find("Cookie");
    for (const auto& pair : http_split_variables(cookie_header, "; "))
        cookie_manager::set_cookie(pair.first.c_str(), pair.second.c_str(), cookie_from_request);

    const char* forwarded_server = request_headers_.find("X-Forwarded-Server");
    std::string trusted = kiv_get_env("KIV_HTTP_FWD_SERVERS");
    if (*forwarded_server != '\0' && !trusted.empty() && kiv_wildcmp_list(trusted.c_str(), forwarded_server)) {
        std::string forwarded = http_forwarded_host(request_headers_.find("X-Forwarded-For"));
        if (!forwarded.empty())
            host_ = forwarded;
    }

    session_.reset(server_->find_session(get_cookie("sid"), false, host_.c_str()));
    if (session_)
        session_->touch(host_.c_str());

    kiv_generate_event("KIV_EVT_HTTP_PAGE_REQUEST", server_->get_id(), static_cast<i_http_request*>(this), true);
    if (state() != processing)
        return;

    size_t slash = path.rfind('/');
    if (slash != std::string::npos) {
        request_root_ = path.substr(0, slash);
        if (kiv_file_exists((request_root_ + "/.deny_http_access").c_str())) {
            send_error("403 Forbidden");
            return;
        }
    }
    size_t dot = page_.rfind('.');
    std::string extension = dot == std::string::npos || page_.find('/', dot) != std::string::npos
                                ? std::string()
                                : page_.substr(dot);
    auto_string type(http->get_mime_type(extension.c_str()));
    send_header("Content-Type", type.is_ok() ? static_cast<const char*>(type) : "application/binary");
    set_response_code("200 OK");
    if (extension == ".html") {
        // A page's source never goes out as a file, not even when no
        // engine can run it.
        if (!run_page(path.c_str()))
            send_error("503 Service Unavailable");
        else if (state() == processing)
            stop();
        return;
    }
    send_file(path.c_str(), false);
}

// ---- answers -----------------------------------------------------------

void http_request::set_cookie(const char* name, const char* value, unsigned lifetime) {
    cookies_updated_ = true;
    cookie_manager::set_cookie(name, value, lifetime);
}

const char* http_request::get_header_value(const char* header) {
    return head_built_ ? "" : request_headers_.find(header);
}

const char* http_request::get_var_value(const char* name) {
    return variables_.find(name);
}

i_http_server* http_request::get_server() {
    if (server_)
        server_->addref();
    return server_.get();
}

i_http_session* http_request::get_session() {
    if (session_)
        session_->addref();
    return session_.get();
}

bool http_request::force_use_session() {
    if (session_)
        return true;
    if (!server_)
        return false;
    std::string sid = get_cookie("sid");
    auto_ptr_t<i_http_session> found(server_->find_session(sid.c_str(), false, host_.c_str()));
    if (!found)
        // An unknown id chosen by the client is not adopted.
        found.reset(server_->find_session("", true, host_.c_str()));
    if (!found)
        return false;
    session_ = found;
    if (sid != session_->get_name()) {
        set_cookie("sid", session_->get_name(), 0);
        session_->touch(host_.c_str());
    }
    return true;
}

bool http_request::set_response_code(const char* code) {
    // Once the answer goes out the service thread reads the status for
    // the access log: it no longer changes.
    if (code == nullptr || *code == '\0' || holds_line_break(code) || state() != processing)
        return false;
    status_ = code;
    return true;
}

bool http_request::send_header(const char* header, const char* value) {
    if (header == nullptr || value == nullptr || head_built_ || *header == '\0' || holds_line_break(header) ||
        holds_line_break(value) || std::strchr(header, ':') != nullptr)
        return false;
    response_headers_.set(header, value, true);
    return true;
}

bool http_request::finish_headers() {
    if (head_built_)
        return false;
    response_headers_.set("Connection", "Close", true);
    if (*response_headers_.find("Content-Length") == '\0' && std::atoi(status_.c_str()) != 200)
        response_headers_.set("Content-Length", "0", true);
    referer_ = request_headers_.find("Referer");
    user_agent_ = request_headers_.find("User-agent");
    std::string head;
    if (!http_build_head(status_.empty() ? "200 OK" : status_, response_headers_.get_list(), get_cookie_list(),
                         now_seconds(), &head))
        return false;
    head_built_ = true;
    request_headers_.clear();
    variables_.clear();
    response_headers_.clear();
    head_size_ = head.size();
    out_.insert(0, head);
    return true;
}

bool http_request::send_text(const char* text, bool compress) {
    if (text == nullptr)
        return false;
    const char* callback = variables_.find("rjsfunc");
    if (compress && !head_built_ && http_is_callback_name(callback)) {
        auto_string param(kiv_http_get_printable_jscript(variables_.find("rjsparam"), false));
        auto_string escaped(kiv_http_get_printable_jscript(text, false));
        if (!param.is_ok() || !escaped.is_ok())
            return false;
        std::string call = std::string(callback) + "(\"" + static_cast<const char*>(param) + "\",\"" +
                           static_cast<const char*>(escaped) + "\");";
        send_header("Content-Type", "text/javascript");
        return send_binary(call.data(), static_cast<unsigned>(call.size()), true);
    }
    return send_binary(text, static_cast<unsigned>(std::strlen(text)), compress);
}

bool http_request::send_binary(const void* data, unsigned data_len, bool compress) {
    if (state() != processing || (data == nullptr && data_len > 0))
        return false;
    if (compress) {
        if (head_built_)
            return false;
        if (data_len >= gzip_min_size && out_.empty() &&
            http_accepts_gzip(request_headers_.find("Accept-Encoding")) &&
            http_gzip_memory(data, data_len, &out_)) {
            response_headers_.set("Content-Encoding", "gzip", true);
            response_headers_.set("Content-Length", std::to_string(out_.size()).c_str(), true);
            stop();
            return true;
        }
        response_headers_.set("Content-Length", std::to_string(out_.size() + data_len).c_str(), true);
    }
    if (data_len > 0) {
        // Room for the head too, which finish_headers puts in front of
        // the body without moving it to a new buffer.
        if (!head_built_)
            out_.reserve(out_.size() + data_len + head_room);
        out_.append(static_cast<const char*>(data), data_len);
    }
    if (compress)
        stop();
    return true;
}

void http_request::send_error(const char* code) {
    set_response_code(code);
    if (!head_built_) {
        response_headers_.set("Content-Type", "text/plain", true);
        send_text(code, true);
        return;
    }
    stop();
}

void http_request::stop() {
    if (state() != processing)
        return;
    // A page that answered itself loses what it printed before.
    auto_ptr_t<i_script_engine> engine;
    {
        std::lock_guard<std::mutex> hold(engine_lock_);
        engine = engine_;
    }
    if (engine)
        engine->reset();
    // The head describes the body that really goes out: what the
    // sends gathered (nothing for an answer without a body). An answer
    // to HEAD keeps the length its GET would have, where it is known.
    bool head_length_known = method_ == "HEAD" && *response_headers_.find("Content-Length") != '\0';
    if (!head_built_ && !head_length_known)
        response_headers_.set("Content-Length", std::to_string(out_.size()).c_str(), true);
    if (!head_built_ && !finish_headers()) {
        close_connection("Fin headers error");
        return;
    }
    start_sending();
}

void http_request::start_sending() {
    // An answer to HEAD keeps the head of the answer to GET, never its body.
    if (method_ == "HEAD") {
        out_.resize(head_size_);
        if (file_fd_ >= 0)
            close(file_fd_);
        file_fd_ = -1;
        file_remaining_ = 0;
    }
    out_pos_ = 0;
    last_io_time_ = kiv_get_curr_time();
    set_state(sending);
}

bool http_request::send_file_part(int fd, uint64_t offset, uint64_t length) {
    response_headers_.set("Content-Length", std::to_string(length).c_str(), true);
    if (!finish_headers()) {
        close(fd);
        close_connection("Fin headers error");
        return false;
    }
    file_fd_ = fd;
    file_offset_ = offset;
    file_remaining_ = length;
    start_sending();
    return true;
}

bool http_request::send_file(const char* path, bool delete_after_send) {
    if (path == nullptr || head_built_ || state() != processing)
        return false;
    if (delete_after_send)
        delete_after_send_ = path;
    // Non-blocking open, so that a FIFO does not hold the worker.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    int open_error = errno;
    struct stat st;
    const char* failure = nullptr;
    if (fd < 0)
        // A file that is there but cannot be opened says so apart.
        failure = open_error == ENOENT || open_error == ENOTDIR ? "File not found - " : "File not found(2) - ";
    else if (fstat(fd, &st) != 0)
        failure = "File not found(3) - ";
    else if (!S_ISREG(st.st_mode))
        failure = "File not found - ";
    if (failure != nullptr) {
        if (fd >= 0)
            close(fd);
        send_error("404 Not Found");
        log_error((std::string(failure) + path).c_str());
        return false;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    uint64_t size = static_cast<uint64_t>(st.st_size);
    int64_t modified = static_cast<int64_t>(st.st_mtim.tv_sec);

    int64_t since = http_parse_date(request_headers_.find("If-Modified-Since"));
    if (since >= 0 && since == modified &&
        std::strstr(request_headers_.find("Cache-Control"), "max-age=0") == nullptr) {
        close(fd);
        set_response_code("304 Not Modified");
        stop();
        return true;
    }
    send_header("Last-Modified", http_date(modified).c_str());
    if (ascii_stricmp(method_.c_str(), "POST") != 0 && *response_headers_.find("Expires") == '\0' && *response_headers_.find("Cache-Control") == '\0') {
        send_header("Expires", http_date(now_seconds() + 86400).c_str());
        send_header("Cache-Control", "max-age=86400");
    }
    if (!delete_after_send)
        send_header("Accept-Ranges", "bytes");
    if (method_ == "HEAD") {
        close(fd);
        set_response_code("200 OK");
        response_headers_.set("Content-Length", std::to_string(size).c_str(), true);
        stop();
        return true;
    }
    set_response_code("200 OK");

    std::string type = response_headers_.find("Content-Type");
    if ((starts_with(type, "text/") || type == "application/pdf") && size >= gzip_min_size &&
        http_accepts_gzip(request_headers_.find("Accept-Encoding"))) {
        // A file meant to be deleted leaves no copy behind: its copy is
        // made for this answer alone and deleted with it.
        std::string copy = http_gzip_copy(path, !delete_after_send);
        if (delete_after_send && !copy.empty())
            delete_copy_after_send_ = copy;
        int gz = copy.empty() ? -1 : open(copy.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat gz_st;
        if (gz >= 0 && fstat(gz, &gz_st) == 0) {
            close(fd);
            send_header("Content-Encoding", "gzip");
            return send_file_part(gz, 0, static_cast<uint64_t>(gz_st.st_size));
        }
        if (gz >= 0)
            close(gz);
    }

    uint64_t first = 0, last = 0;
    switch (http_parse_range(request_headers_.find("Range"), size, &first, &last)) {
    case http_range_result::partial:
        set_response_code("206 Partial Content");
        send_header("Content-Range", ("bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                                      std::to_string(size)).c_str());
        return send_file_part(fd, first, last - first + 1);
    case http_range_result::unsatisfiable:
        close(fd);
        send_header("Content-Range", ("bytes */" + std::to_string(size)).c_str());
        send_error("416 Requested range not satisfiable");
        log_error("Invalid range");
        return false;
    case http_range_result::whole:
        break;
    }
    return send_file_part(fd, 0, size);
}

}  // namespace kiv
