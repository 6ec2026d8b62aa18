// http_client.cpp --
//
//     The HTTP/1.1 client: one request over a fresh connection, directly
//     or through the service's proxy, with the client's cookies. Sending
//     and reading the reply head wait in poll() under the client's
//     time-out; nothing spins. The head is capped at
//     http_client_head_limit bytes.

#include "client/http_client.h"
#include "client/http_stream.h"
#include "parse/http_trim.h"

#include <kiv/core/ascii_case.h>
#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_socket_service.h>
#include <kiv/core/library_protocol.h>
#include <kiv/core/log.h>
#include <kiv/core/object_col.h>
#include <kiv/core/service_ref.h>
#include <kiv/core/string_impl.h>
#include <kiv/core/text_convert.h>
#include <kiv/core/wildcard.h>
#include <kiv/http/i_http_service.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace kiv {

namespace {

// Bytes taken from the socket per receive while reading the head.
constexpr size_t head_block = 16384;

// Returns: `text` passed through a malloc-ing converter; false when it
// gave null.
bool convert(char* (*fn)(const char*), const std::string& text, std::string& out) {
    char* converted = fn(text.c_str());
    if (converted == nullptr)
        return false;
    out = converted;
    std::free(converted);
    return true;
}

// Returns: the status of a status line "HTTP/1.x NNN ...", three
//     digits from 100 to 999; 0 for any other line.
int status_of(const std::string& line) {
    size_t blank = line.find(' ');
    if (blank == std::string::npos || line.compare(0, 7, "HTTP/1.") != 0 || blank < 7)
        return 0;
    size_t code = line.find_first_not_of(' ', blank);
    if (code == std::string::npos || line.size() - code < 3)
        return 0;
    int status = 0;
    for (size_t i = 0; i < 3; ++i) {
        if (line[code + i] < '0' || line[code + i] > '9')
            return 0;
        status = status * 10 + (line[code + i] - '0');
    }
    if (line.size() > code + 3 && line[code + 3] != ' ')
        return 0;  // more than three digits
    return status >= 100 ? status : 0;
}

// Returns: true when the reply body is chunk-coded (chunked is the last
// coding named).
bool is_chunked(const char* coding) {
    if (coding == nullptr)
        return false;
    std::string text = http_trim(coding);
    if (text.size() < 7)
        return false;
    return kiv::ascii_strnicmp(text.c_str() + text.size() - 7, "chunked", 7) == 0 &&
           (text.size() == 7 || text[text.size() - 8] == ',' || text[text.size() - 8] == ' ');
}

// Returns: true when `text` holds a blank or a control byte, which would
// split the request line or a header.
bool has_breaks(const char* text) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        if (*p <= 0x20 || *p == 0x7F)
            return true;
    }
    return false;
}

// Reads the Content-Length fields of a reply head into `*length` and
// `*present`: every value (fields may repeat, values may be lists) must
// be decimal digits only, below 2^63, and all the same.
// Returns: false when they are not; true (with *present false) when the
//     head has none.
bool read_length(const std::string& head, bool* present, uint64_t* length) {
    *present = false;
    *length = 0;
    size_t pos = head.find("\r\n");
    while (pos != std::string::npos && pos < head.size()) {
        pos += 2;
        size_t eol = head.find("\r\n", pos);
        std::string line = head.substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
        pos = eol;
        size_t colon = line.find(':');
        if (colon == std::string::npos ||
            kiv::ascii_stricmp(http_trim(line.substr(0, colon)).c_str(), "Content-Length") != 0)
            continue;
        for (const std::string& value : http_split_list(line.substr(colon + 1))) {
            uint64_t n = 0;
            if (!http_parse_length(value, &n))
                return false;
            if (*present && n != *length)
                return false;
            *present = true;
            *length = n;
        }
    }
    return true;
}

// Returns: the origin as the Host header and an absolute target write
//     it: `host`, with ":port" unless the port is HTTP's own.
std::string authority(const char* host, unsigned short port) {
    return port != 80 ? std::string(host) + ":" + std::to_string(port) : std::string(host);
}

}  // namespace

http_client::http_client() {
    headers_.set("Accept", "*/*", true);
    headers_.set("Connection", "Close", true);
    std::string agent = std::string("kiv_http_client/") + kiv_library_version();
    headers_.set("User-Agent", agent.c_str(), true);
}

bool http_client::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_http_client", static_cast<i_http_client*>(this), out) ||
        answer_interface(name, "i_http_cookie_manager", static_cast<i_http_cookie_manager*>(this), out) ||
        answer_interface(name, "i_property_manager", static_cast<i_property_manager*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool http_client::set_request_method(const char* method) {
    if (method == nullptr)
        return false;
    if (std::strcmp(method, "GET") != 0 && std::strcmp(method, "POST") != 0 && std::strcmp(method, "HEAD") != 0)
        return false;
    method_ = method;
    return true;
}

void http_client::set_header(const char* name, const char* value) {
    // A line break would let the value start a header or a request of
    // its own; such headers are refused, as bad resources and hosts are.
    if (name == nullptr || value == nullptr || *name == '\0' || std::strpbrk(name, "\r\n:") != nullptr ||
        std::strpbrk(value, "\r\n") != nullptr) {
        kiv_trace("http_client::set_header: refused a header with a line break");
        return;
    }
    headers_.set(name, value, true);
}

bool http_client::read_head(int socket, std::string& head, std::string& body) {
    using clock = std::chrono::steady_clock;
    std::string buffer;
    auto last_data = clock::now();
    char block[head_block];
    for (;;) {
        if (!kiv_is_running())
            return false;  // the framework shuts down
        int wait_ms = 1000;
        if (timeout_ != 0) {
            auto deadline = last_data + std::chrono::seconds(timeout_);
            auto now = clock::now();
            if (deadline <= now)
                return false;
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
            wait_ms = static_cast<int>(std::min<long long>(left + 1, 1000));
        }
        pollfd fd{socket, POLLIN, 0};
        int ready = ::poll(&fd, 1, wait_ms);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;  // the deadline is checked at the top
        ssize_t n = ::recv(socket, block, sizeof block, MSG_DONTWAIT);
        if (n == 0)
            return false;
        if (n < 0) {
            if (kiv_net_error())
                return false;
            continue;
        }
        size_t searched = buffer.size() >= 3 ? buffer.size() - 3 : 0;
        buffer.append(block, static_cast<size_t>(n));
        size_t end = buffer.find("\r\n\r\n", searched);
        if (end != std::string::npos) {
            if (end + 2 > http_client_head_limit)
                return false;
            head.assign(buffer, 0, end + 2);
            body.assign(buffer, end + 4, std::string::npos);
            return true;
        }
        if (buffer.size() >= http_client_head_limit)
            return false;
        last_data = clock::now();
    }
}

i_http_stream* http_client::open(const char* resource, const char* host, unsigned short port, const void* body,
                                 unsigned body_size) {
    error_code_ = http_client_bad_call;
    status_ = 0;
    reply_headers_.clear();
    auto_ptr_t<i_http_service> service = service_ref("svc_http", kiv_cast_i_http_service);
    if (!service || resource == nullptr || resource[0] != '/' || host == nullptr || host[0] == '\0' ||
        port == 0 || (body == nullptr && body_size != 0) || has_breaks(resource) || has_breaks(host))
        return nullptr;

    bool proxy = use_proxy_;
    auto_string bypass(service->get_proxy_bypass());
    if (proxy && bypass.is_ok()) {
        std::string list = static_cast<const char*>(bypass);
        size_t pos = 0;
        while (proxy && pos < list.size()) {
            size_t end = list.find_first_of(" ;", pos);
            if (end == std::string::npos)
                end = list.size();
            std::string entry = list.substr(pos, end - pos);
            if (!entry.empty() && kiv_wildcmp(entry.c_str(), host))
                proxy = false;
            pos = end + 1;
        }
    }
    std::string connect_host = host;
    unsigned short connect_port = port;
    bool proxy_form = false;
    if (proxy) {
        auto_string proxy_host(service->get_proxy_host());
        if (proxy_host.is_ok() && *static_cast<const char*>(proxy_host) != '\0') {
            connect_host = static_cast<const char*>(proxy_host);
            unsigned short proxy_port = service->get_proxy_port();
            if (proxy_port > 0) {
                connect_port = proxy_port;
                proxy_form = true;
            }
        }
    }
    kiv_trace("http_client::open(%s:%d%s, proxy=%s)", connect_host.c_str(), static_cast<int>(connect_port), resource,
              proxy_form ? "yes" : "no");

    int socket = kiv_net_tcp_open(connect_host.c_str(), connect_port, 3);
    if (socket < 0) {
        error_code_ = http_client_no_connection;
        return nullptr;
    }
    http_stream* made = new http_stream(socket, connect_host.c_str(), connect_port);
    made->addref();
    auto_ptr_t<http_stream> stream(made);  // released on every failure below

    std::string target = resource;
    if (proxy_form)
        target = "http://" + authority(host, port) + resource;
    std::string cookies;
    for (const cookie& entry : get_cookie_list()) {
        std::string name, value;
        if (!convert(kiv_text_encode, entry.name, name) || !convert(kiv_text_encode, entry.value, value))
            continue;
        if (!cookies.empty())
            cookies += "; ";
        cookies += name + "=" + value;
    }

    error_code_ = http_client_send_failed;
    std::string request = method_ + " " + target + " HTTP/1.1\r\n";
    for (const auto& header : headers_.get_list())
        request += header.first + ": " + header.second + "\r\n";
    // A GET or HEAD without a body says nothing of one: some servers and
    // proxies refuse a length on them.
    if (*headers_.find("Content-Length") == '\0' && (body_size != 0 || method_ == "POST"))
        request += "Content-Length: " + std::to_string(body_size) + "\r\n";
    if (!cookies.empty() && *headers_.find("Cookie") == '\0')
        request += "Cookie: " + cookies + "\r\n";
    if (*headers_.find("Host") == '\0')
        request += "Host: " + authority(host, port) + "\r\n";
    request += "\r\n";
    if (request.size() > 0xFFFFFFFFu ||
        !kiv_net_send(socket, request.data(), static_cast<unsigned>(request.size()), timeout_) ||
        (body_size != 0 && !kiv_net_send(socket, body, body_size, timeout_)))
        return nullptr;

    error_code_ = http_client_bad_reply;
    std::string head, pending;
    if (!read_head(socket, head, pending))
        return nullptr;
    std::unique_ptr<http_header_map> headers(new http_header_map);
    // The head with the blank line that ends it; no body follows, so the
    // parser writes nothing past it.
    std::string parsed = head + "\r\n";
    http_header_map::parse(&parsed[0], static_cast<uint32_t>(parsed.size()), nullptr, *headers);
    // Kept whatever the status, so a caller can read a refused reply
    // (the Location of a redirect, say).
    status_ = status_of(head.substr(0, head.find("\r\n")));
    for (const auto& header : headers->get_list())
        reply_headers_.set(header.first.c_str(), header.second.c_str(), true);
    if (status_ < 200 || status_ > 299)
        return nullptr;
    // A length that is negative, too large or contradicted by another
    // cannot say where the body ends: the reply is refused.
    bool has_length = false;
    uint64_t length = 0;
    if (!read_length(head, &has_length, &length)) {
        kiv_trace("http_client::open: reply from %s:%d with unusable Content-Length", connect_host.c_str(),
                  static_cast<int>(connect_port));
        return nullptr;
    }

    const char* set_cookie_value = headers->find("Set-Cookie");
    if (set_cookie_value != nullptr && *set_cookie_value != '\0') {
        // One cookie: its name runs to the first "=", its value to the
        // first ";" (base64 padding such as "abc==" stays in the value).
        std::string text = set_cookie_value;
        size_t eq = text.find('=');
        size_t semi = text.find(';');
        if (eq != std::string::npos && (semi == std::string::npos || eq < semi)) {
            std::string name, value;
            if (convert(kiv_text_decode, http_trim(text.substr(0, eq)), name) &&
                convert(kiv_text_decode, http_trim(text.substr(eq + 1, semi == std::string::npos ? std::string::npos
                                                                                            : semi - eq - 1)),
                        value) &&
                !name.empty())
                set_cookie(name.c_str(), value.c_str(), 0);
        }
    }

    // Which end the body has (RFC 9112, 6.3): none for HEAD, 204 and
    // 304; a chunked body its last chunk; a body in another coding runs
    // to the close whatever a length says; then the length; else the
    // close.
    const char* coding = headers->find("Transfer-Encoding", true);
    http_stream::framing how = http_stream::framed_close;
    if (method_ == "HEAD" || status_ == 204 || status_ == 304)
        how = http_stream::framed_none;
    else if (is_chunked(coding))
        how = http_stream::framed_chunked;
    else if (has_length && coding == nullptr)
        how = http_stream::framed_length;
    error_code_ = http_client_ok;
    stream->attach_reply(std::move(head), std::move(pending), std::move(headers), how, length);
    stream->addref();  // the caller's
    return stream.get();
}

}  // namespace kiv
