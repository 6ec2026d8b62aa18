// http_request_dispatch.cpp --
//
//     The work of a pool worker on one complete request (see
//     http_request.h): the request line, headers, variables and uploads
//     are taken from the received bytes, the virtual server, the file
//     and the session are chosen, the server-side checks applied, the
//     page-request event raised, and the request handed to a Tcl page or
//     to the static file sender. Also the read-only accessors and the
//     session operations pages use.

#include "request/http_request.h"

#include "parse/http_head.h"
#include "parse/http_request_text.h"
#include "request/http_date.h"
#include "service/http_service.h"

#include <kiv/core/auto_string.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/text_checks.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/service_ref.h>
#include <kiv/core/wildcard.h>

#include <sys/stat.h>

#include <cerrno>

#include <algorithm>
#include <vector>

namespace kiv {

namespace {

const char server_header[] = "kiv_http_server/3.18.0094";

}  // namespace

void http_request::process(bool running) {
    if (state() != processing)
        return;
    if (!running) {
        close_connection("process error: no worker");
        return;
    }
    in_process_.store(true, std::memory_order_seq_cst);
    process_request();
    in_process_.store(false, std::memory_order_seq_cst);
}

void http_request::process_request() {
    start_time_ = kiv_get_curr_time();
    answer_.headers().set("Server", server_header, true);
    answer_.headers().set("Date", http_date(http_now_seconds()).c_str(), true);
    // The request line is read whole; the log keeps its first 511
    // characters only.
    request_line_ = reader_.request_line().substr(0, 511);
    if (reader_.reject_status() != 0) {
        refuse_request();
        return;
    }
    if (!parse_request())
        return;
    // The service is held only while it is asked, not while the answer
    // is made: a page may run long, and shut-down lets the service go
    // meanwhile, which then waits for the page (bounded) and writes its
    // access-log line, rather than be put off until the page ends.
    std::string path, type;
    http_path_status status;
    {
        auto_ptr_t<i_http_service> http = service_ref("svc_http", kiv_cast_i_http_service);
        if (!http) {
            close_connection("process error: no service");
            return;
        }
        if (!choose_server(http.get()) || !resolve_path(&path, &status))
            return;
        auto_string found(http->get_mime_type(page_extension().c_str()));
        type = found.is_ok() ? static_cast<const char*>(found) : "application/binary";
    }
    take_cookies();
    take_forwarded_host();
    // Sessions always have an id, so a request without one has none.
    const char* sid = get_cookie("sid");
    if (*sid != '\0')
        session_.reset(server_->find_session(sid, false, host_.c_str()));
    if (session_)
        session_->touch(host_.c_str());

    kiv_generate_event("KIV_EVT_HTTP_PAGE_REQUEST", server_->get_id(), static_cast<i_http_request*>(this), true);
    if (state() != processing)
        return;
    if (access_denied(path))
        return;
    dispatch(type, path, status);
}

void http_request::refuse_request() {
    // An answer to HEAD has no body, even when the request is refused.
    if (reader_.is_head_request())
        method_ = "HEAD";
    int status = reader_.reject_status();
    if (status == 503) {
        // The requests held by all connections filled the memory budget:
        // the bytes this one held then.
        send_header("Retry-After", http_retry_after);
        send_error("503 Service Unavailable");
        log_error(("do_io_read: memory allocation error 2: " + std::to_string(reader_.received())).c_str());
        return;
    }
    send_error(http_status_text(status));
    if (status == 413 || status == 431)
        log_error(("do_io_read: buffer size error: " +
                   std::to_string(std::max<uint64_t>(reader_.head().content_length, reader_.received()))).c_str());
    // A request line without a method or without a URL has a text of
    // its own; other refusals name their status.
    const http_head_info& head = reader_.head();
    const char* cause = "bad request";
    if (head.status == 400) {
        size_t method = head.request_line.find_first_not_of(' ');
        size_t gap = head.request_line.find(' ', method);
        if (method == std::string::npos)
            cause = "1";
        else if (gap == std::string::npos || head.request_line.find_first_not_of(' ', gap) == std::string::npos)
            cause = "2";
    }
    log_error(("process error: " + std::string(cause) + " (" + std::to_string(status) + ")").c_str());
}

bool http_request::parse_request() {
    const http_head_info& head = reader_.head();
    std::vector<char> head_buffer(head.head.begin(), head.head.end());
    head_buffer.push_back('\0');
    char* body_start = nullptr;
    http_header_map::parse(head_buffer.data(), static_cast<uint32_t>(head.head.size()), &body_start,
                           request_headers_);
    method_ = head.method;
    http_target target;
    http_target_result parsed = http_parse_target(head.target.c_str(), &target);
    if (parsed == http_target_result::no_memory) {
        close_connection("process error: 3");
        return false;
    }
    if (parsed == http_target_result::bad_request) {
        send_error("400 Bad Request");
        log_error("process error: bad request");
        return false;
    }
    if (parsed == http_target_result::too_many_variables) {
        refuse_variables();
        return false;
    }
    page_ = target.page;
    // The host of an absolute URL stands for the Host header.
    if (!target.authority.empty())
        request_headers_.set("Host", target.authority.c_str(), true);
    for (const auto& pair : target.query)
        variables_.set(pair.first.c_str(), pair.second.c_str(), false);
    std::string content_type = request_headers_.find("Content-Type");
    // Only a form's body is copied out of the received bytes: a large
    // body of any other type would cost its size once more.
    bool form = starts_with(content_type, "application/x-www-form-urlencoded");
    bool multipart = starts_with(content_type, "multipart/form-data");
    std::string body = form || multipart ? reader_.body() : std::string();
    // The query's variables and the body's count together.
    size_t room = http_variables_max - target.query.size();
    if (!body.empty() && form) {
        http_pairs pairs;
        if (!http_split_variables(body.c_str(), "&", room, &pairs)) {
            refuse_variables();
            return false;
        }
        for (const auto& pair : pairs)
            variables_.set(pair.first.c_str(), pair.second.c_str(), false);
    }
    if (!body.empty() && multipart) {
        switch (take_multipart(content_type, body, room)) {
        case multipart_result::ok:
            break;
        case multipart_result::too_many:
            refuse_variables();
            return false;
        case multipart_result::no_memory:
            close_connection("process error: 4");
            return false;
        }
    }
    return true;
}

void http_request::refuse_variables() {
    // Nothing past the cap was kept; what was goes with the head.
    send_error("413 Content Too Large");
    log_error(("process error: more than " + std::to_string(http_variables_max) + " variables").c_str());
}

bool http_request::choose_server(i_http_service* http) {
    // "name:port" is served by the server "name".
    std::string host_name = request_headers_.find("Host");
    host_name = host_name.substr(0, host_name.find(':'));
    server_.reset(http->find_server(host_name.c_str(), listen_address_.c_str(), local_port_));
    if (!server_) {
        close_connection("process error: 5");
        return false;
    }
    return true;
}

bool http_request::resolve_path(std::string* path, http_path_status* status) {
    auto_string doc_root(server_->get_doc_root());
    auto_string mapped(server_->get_url_mapping(page_.c_str()));
    *path = mapped.is_ok() ? std::string(static_cast<const char*>(mapped))
                           : std::string(static_cast<const char*>(doc_root)) + page_;
    // The status taken here also serves the file's answer.
    status->taken = true;
    status->error = stat(path->c_str(), &status->st) == 0 ? 0 : errno;
    if (status->error == 0 && S_ISDIR(status->st.st_mode) && page_.back() != '/') {
        set_response_code("301 Moved Permanent");
        // "//sub/" would name a host: runs of slashes become one.
        send_header("Location", (http_location_path(page_) + "/").c_str());
        stop();
        return false;
    }
    if (page_.back() == '/') {
        auto_string default_page(server_->get_default_page());
        *path = std::string(static_cast<const char*>(doc_root)) + page_ + static_cast<const char*>(default_page);
        page_ += static_cast<const char*>(default_page);
        status->taken = false;
    }
    return true;
}

void http_request::take_cookies() {
    const char* cookie_header = request_headers_.find("Cookie");
    for (const auto& pair : http_split_variables(cookie_header, "; "))
        cookie_manager::set_cookie(pair.first.c_str(), pair.second.c_str(), cookie_from_request);
}

void http_request::take_forwarded_host() {
    const char* forwarded_server = request_headers_.find("X-Forwarded-Server");
    // The environment is read under a process-wide lock: only for
    // requests that name a forwarder.
    if (*forwarded_server == '\0')
        return;
    std::string trusted = kiv_get_env("KIV_HTTP_FWD_SERVERS");
    if (!trusted.empty() && kiv_wildcmp_list(trusted.c_str(), forwarded_server)) {
        std::string forwarded = http_forwarded_host(request_headers_.find("X-Forwarded-For"));
        if (!forwarded.empty())
            host_ = forwarded;
    }
}

bool http_request::access_denied(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return false;
    request_root_ = path.substr(0, slash);
    if (!http_deny_file_present(request_root_))
        return false;
    send_error("403 Forbidden");
    return true;
}

std::string http_request::page_extension() const {
    size_t dot = page_.rfind('.');
    return dot == std::string::npos || page_.find('/', dot) != std::string::npos ? std::string() : page_.substr(dot);
}

void http_request::dispatch(const std::string& type, const std::string& path, const http_path_status& status) {
    send_header("Content-Type", type.c_str());
    set_response_code("200 OK");
    if (page_extension() == ".html") {
        // A page's source never goes out as a file, not even when no
        // engine can run it.
        if (!run_page(path.c_str()))
            send_error("503 Service Unavailable");
        else if (state() == processing)
            stop();
        return;
    }
    send_file_with_status(path.c_str(), false, status);
}

// ---- accessors -----------------------------------------------------------

void http_request::set_cookie(const char* name, const char* value, unsigned lifetime) {
    cookies_updated_ = true;
    cookie_manager::set_cookie(name, value, lifetime);
}

const char* http_request::get_header_value(const char* header) {
    return answer_.head_built() ? "" : request_headers_.find(header);
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

}  // namespace kiv
