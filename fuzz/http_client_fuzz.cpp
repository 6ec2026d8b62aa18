// http_client_fuzz.cpp --
//
//     Feeds any bytes to the HTTP client as a server's reply, through a
//     real connection on 127.0.0.1: a peer thread of the target accepts,
//     reads the request head, sends the input and closes. The client
//     reads the reply head, takes its Set-Cookie into its store and
//     decodes a chunked body as the core's stream pump would (the target
//     runs the stream's background step itself instead of waiting for
//     the pump's turn). Then the same client asks again, so the cookies
//     it took go back out in the next request.
//
//     Promises kept on every input: the reply ends (no hang); a plain
//     body is exactly a prefix of the bytes after the head and a chunked
//     one never longer than them; a cookie taken has a name; and the
//     next request is a well-formed head whose every line is one header,
//     so nothing a server sends can add a header or a line to a later
//     request.

#include <kiv/core/ascii_case.h>
#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_binary.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/string_impl.h>
#include <kiv/http/i_http_client.h>
#include <kiv/http/i_http_service.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "fuzz_support.h"

namespace {

// The peer: answers each connection with the reply set for it and keeps
// the request head it read.
struct peer_state {
    std::mutex lock;
    std::condition_variable changed;
    std::string reply;          // sent to the next connection
    std::string request;        // the head of the last request read
    unsigned served = 0;        // connections answered so far
} peer;

int listen_fd = -1;
unsigned short port = 0;
kiv::i_http_service* http = nullptr;  // the service's; lives as long as the core
kiv::i_object* http_service = nullptr;

void serve() {
    for (;;) {
        int c = accept(listen_fd, nullptr, nullptr);
        if (c < 0)
            continue;
        std::string head;
        char block[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < (1u << 20)) {
            ssize_t n = recv(c, block, sizeof block, 0);
            if (n <= 0)
                break;
            head.append(block, size_t(n));
        }
        std::string reply;
        {
            std::lock_guard<std::mutex> hold(peer.lock);
            reply = peer.reply;
        }
        size_t sent = 0;
        while (sent < reply.size()) {
            ssize_t n = send(c, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += size_t(n);
        }
        shutdown(c, SHUT_WR);
        close(c);
        std::lock_guard<std::mutex> hold(peer.lock);
        peer.request = head;
        ++peer.served;
        peer.changed.notify_all();
    }
}

// Waits until the peer has answered `count` connections in all.
void wait_served(unsigned count) {
    std::unique_lock<std::mutex> hold(peer.lock);
    check(peer.changed.wait_for(hold, std::chrono::seconds(30), [count] { return peer.served >= count; }));
}

// Reads the reply body to its end, as the pump does. Returns: the body.
std::string read_body(kiv::i_http_stream* stream) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!stream->is_finished()) {
        check(std::chrono::steady_clock::now() < limit);  // a reply that never ends
        stream->bg_task();
    }
    auto_ptr_t<kiv::i_binary> bin(stream->get_binary(0, true));
    return bin ? std::string(static_cast<const char*>(bin->get_data()), bin->get_data_size()) : std::string();
}

bool contains_chunked(const char* coding) {
    for (const char* p = coding; *p != '\0'; ++p)
        if (kiv::ascii_strnicmp(p, "chunked", 7) == 0)
            return true;
    return false;
}

// Checks a request head the client sent: "METHOD TARGET HTTP/1.1", then
// "Name: value" lines, each ended by CR LF, then an empty line.
void check_request(const std::string& head) {
    check(head.size() >= 4 && head.compare(head.size() - 4, 4, "\r\n\r\n") == 0);
    size_t pos = 0;
    bool first = true;
    while (pos < head.size() - 2) {
        size_t end = head.find("\r\n", pos);
        std::string line = head.substr(pos, end - pos);
        check(line.find_first_of("\r\n") == std::string::npos);
        if (first)
            check(line.compare(0, 4, "GET ") == 0 && line.size() > 13 &&
                  line.compare(line.size() - 9, 9, " HTTP/1.1") == 0);
        else
            check(line.find(": ") != std::string::npos && line.find(": ") > 0);
        first = false;
        pos = end + 2;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    start_framework({"kiv_core", "kiv_zip", "kiv_http"});
    http_service = keep(kiv_core()->get_service("svc_http"));
    http = kiv_cast_i_http_service(http_service);
    listen_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (http == nullptr || listen_fd < 0 || bind(listen_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listen_fd, 16) != 0 || getsockname(listen_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        std::abort();
    port = ntohs(addr.sin_port);
    std::thread(serve).detach();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16))
        return 0;
    std::string reply(reinterpret_cast<const char*>(data), size);
    auto_ptr_t<kiv::i_http_client> client(http->create_client());
    check(client);
    client->set_use_proxy(false);
    unsigned served = 0;
    {
        std::lock_guard<std::mutex> hold(peer.lock);
        peer.reply = reply;
        served = peer.served;
    }
    auto_ptr_t<kiv::i_http_stream> stream(client->open("/first", "127.0.0.1", port, nullptr, 0));
    if (stream) {
        size_t end = reply.find("\r\n\r\n");
        check(end != std::string::npos);
        std::string rest = reply.substr(end + 4);
        bool chunked = contains_chunked(stream->get_header_value("Transfer-Encoding"));
        std::string body = read_body(stream);
        check(body.size() <= rest.size());
        if (!chunked)
            check(rest.compare(0, body.size(), body) == 0);
        stream.reset();
    }
    wait_served(served + 1);

    auto_ptr_t<kiv::i_object_col> cookies(client->get_cookies());
    for (unsigned i = 0; cookies && i < cookies->get_count(); ++i) {
        auto_ptr_t<kiv::i_object> item(cookies->get_item_by_pos(i));
        kiv::i_named_string* cookie = kiv_cast_i_named_string(item);
        check(cookie != nullptr && *cookie->get_name() != '\0');
    }
    {
        std::lock_guard<std::mutex> hold(peer.lock);
        peer.reply = "HTTP/1.1 204 No Content\r\n\r\n";
    }
    auto_ptr_t<kiv::i_http_stream> again(client->open("/second", "127.0.0.1", port, nullptr, 0));
    check(again);
    again.reset();
    wait_served(served + 2);
    std::string request;
    {
        std::lock_guard<std::mutex> hold(peer.lock);
        request = peer.request;
    }
    check_request(request);
    return 0;
}
