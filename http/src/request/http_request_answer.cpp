// http_request_answer.cpp --
//
//     The answer operations of a request (see http_request.h): the
//     status, the headers, bodies held in memory (gzipped when large),
//     error answers, and the end of processing that hands the answer to
//     the service thread for sending.

#include "request/http_request.h"

#include "parse/http_head.h"
#include "parse/http_request_text.h"
#include "parse/http_trim.h"
#include "request/http_date.h"
#include "request/http_gzip.h"

#include <kiv/core/ascii_case.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/i_core.h>
#include <kiv/http/http_text.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kiv {

namespace {

const size_t head_room = 1024;  // usual size of an answer's head, kept free before it is built

// Returns: whether the "Vary" value `vary` names Accept-Encoding already.
bool lists_accept_encoding(const std::string& vary) {
    for (const std::string& name : http_split_list(vary))
        if (ascii_stricmp(name.c_str(), "Accept-Encoding") == 0)
            return true;
    return false;
}

}  // namespace

// ---- answers -----------------------------------------------------------

bool http_request::set_response_code(const char* code) {
    // Once the answer goes out the service thread reads the status for
    // the access log: it no longer changes.
    if (code == nullptr || *code == '\0' || !http_head_text_ok(code) || state() != processing)
        return false;
    answer_.set_status(code);
    return true;
}

bool http_request::send_header(const char* header, const char* value) {
    if (header == nullptr || value == nullptr || answer_.head_built() || !http_header_name_ok(header) ||
        !http_head_text_ok(value))
        return false;
    answer_.headers().set(header, value, true);
    return true;
}

bool http_request::finish_headers() {
    if (!answer_.build_head(request_headers_.find("Referer"), request_headers_.find("User-agent"),
                            get_cookie_list(), http_now_seconds()))
        return false;
    request_headers_.clear();
    variables_.clear();
    return true;
}

void http_request::vary_on_accept_encoding() {
    http_header_map& headers = answer_.headers();
    std::string vary = headers.find("Vary");
    if (vary.empty())
        vary = "Accept-Encoding";
    else if (vary.find('*') == std::string::npos && !lists_accept_encoding(vary))
        vary += ", Accept-Encoding";
    headers.set("Vary", vary.c_str(), true);
}

bool http_request::send_text(const char* text, bool compress) {
    if (text == nullptr)
        return false;
    const char* callback = variables_.find("rjsfunc");
    if (compress && !answer_.head_built() && http_is_callback_name(callback)) {
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
    if (state() != processing)
        return false;
    if (data == nullptr && data_len > 0) {
        log_error("Invalid buffer");
        return false;
    }
    std::string& out = answer_.buffer();
    if (compress) {
        if (answer_.head_built())
            return false;
        if (data_len >= http_gzip_min_size && out.empty())
            vary_on_accept_encoding();
        if (data_len >= http_gzip_min_size && out.empty() &&
            http_accepts_gzip(request_headers_.find("Accept-Encoding")) &&
            http_gzip_memory(data, data_len, &out)) {
            answer_.headers().set("Content-Encoding", "gzip", true);
            answer_.headers().set("Content-Length", std::to_string(out.size()).c_str(), true);
            stop();
            return true;
        }
        answer_.headers().set("Content-Length", std::to_string(out.size() + data_len).c_str(), true);
    }
    if (data_len > 0) {
        // A body held in memory stays within 32-bit lengths, as its
        // Content-Length does.
        if (out.size() + data_len > UINT32_MAX) {
            log_error("Buffer reallocation error");
            return false;
        }
        try {
            // Room for the head too, which the answer puts in front of
            // the body without moving it to a new buffer.
            if (!answer_.head_built())
                out.reserve(out.size() + data_len + head_room);
            out.append(static_cast<const char*>(data), data_len);
        } catch (const std::bad_alloc&) {
            log_error("Buffer reallocation error");
            return false;
        }
    }
    if (compress)
        stop();
    return true;
}

void http_request::send_error(const char* code) {
    set_response_code(code);
    if (!answer_.head_built()) {
        answer_.headers().set("Content-Type", "text/plain", true);
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
    // An answer ended before anything was sent is an empty text: a caller
    // that named a script callback ("rjsfunc") gets its call. Answers that
    // carry no body (to HEAD, 1xx, 204, 304) stay empty; the call's text
    // is never empty, so the send's own stop() goes on below.
    int status = std::atoi(answer_.status().c_str());
    if (!answer_.head_built() && answer_.buffer().empty() && method_ != "HEAD" && status >= 200 && status != 204 &&
        status != 304 && http_is_callback_name(variables_.find("rjsfunc"))) {
        send_text("", true);
        return;
    }
    // The head describes the body that really goes out: what the
    // sends gathered (nothing for an answer without a body). An answer
    // to HEAD keeps the length its GET would have, where it is known.
    http_header_map& headers = answer_.headers();
    bool head_length_known = method_ == "HEAD" && *headers.find("Content-Length") != '\0';
    if (!answer_.head_built() && !head_length_known && http_status_has_body(answer_.status_number()))
        headers.set("Content-Length", std::to_string(answer_.buffer().size()).c_str(), true);
    if (!answer_.head_built() && !finish_headers()) {
        close_connection("Fin headers error");
        return;
    }
    start_sending();
}

void http_request::start_sending() {
    // An answer to HEAD keeps the head of the answer to GET, never its
    // body; nor do a 304 and other answers that never have one.
    if (method_ == "HEAD" || !http_status_has_body(answer_.status_number())) {
        answer_.keep_head_only();
        file_.close();
    }
    answer_.rewind();
    last_io_time_ = kiv_get_curr_time();
    // Dekker with send_at_once(): the worker clears in_process_ and then
    // looks at the state, this thread sets the state and then looks at
    // in_process_, both sequentially consistent, so at least one of them
    // sees the answer and the claim below picks exactly one sender.
    state_.store(answered, std::memory_order_seq_cst);
    if (!in_process_.load(std::memory_order_seq_cst))
        hand_to_service();
}

void http_request::hand_to_service() {
    int expected = answered;
    if (state_.compare_exchange_strong(expected, sending, std::memory_order_acq_rel))
        wake();
}

}  // namespace kiv
