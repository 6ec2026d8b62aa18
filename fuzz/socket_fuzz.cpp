// socket_fuzz.cpp --
//
//     Hands any bytes to the socket service as a peer would, through real
//     sockets on 127.0.0.1. The first byte chooses the way in:
//     - even: the rest is one datagram to a UDP port of "svc_socket"; a
//       handler of "KIV_EVT_UDP_PACKET_RECEIVED" reads it through the
//       datagram's input stream (lines, bytes, what is left) and writes
//       what it read back as the answer, which must be the datagram
//       exactly, sent from the port it reached;
//     - odd: the rest is what a client sends on a TCP connection to a
//       port the socket service accepts on for the HTTP server (the
//       reader of TCP input). After the bytes the client closes its side;
//       the server must answer with an HTTP status line or close, and
//       end the connection in bounded time.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_binary.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/i_socket_service.h>
#include <kiv/core/object.h>
#include <kiv/http/i_http_server.h>
#include <kiv/http/i_http_service.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"

namespace {

const char udp_event[] = "KIV_EVT_UDP_PACKET_RECEIVED";

// Reads each datagram through its stream and echoes what it read.
class datagram_reader : public kiv::object {
public:
    bool on_datagram(kiv::i_event* event) {
        auto_ptr_t<kiv::i_object> payload(event->get_event_object());
        kiv::i_udp_conn* conn = kiv_cast_i_udp_conn(payload);
        if (conn == nullptr)
            return true;
        unsigned buffered = conn->get_in_buffer_size();
        auto_ptr_t<kiv::i_binary> all(conn->get_binary(0, false));
        check(all && all->get_data_size() == buffered);
        std::string read;
        bool text = std::memchr(all->get_data(), 0, buffered) == nullptr;
        // Text: lines first, one byte taken alone after each.
        while (text && conn->get_in_buffer_size() > 0) {
            char* line = conn->get_text("\n", true);
            if (line == nullptr)
                break;
            read += line;
            std::free(line);
            if (conn->get_in_buffer_size() > 0)
                read += char(conn->get_byte(true));
        }
        auto_ptr_t<kiv::i_binary> rest(conn->get_binary(0, true));
        check(rest);
        read.append(static_cast<const char*>(rest->get_data()), rest->get_data_size());
        check(read.size() == buffered && conn->get_in_buffer_size() == 0);
        check(conn->put_binary(read.data(), unsigned(read.size())));
        return false;
    }
};

datagram_reader* reader = nullptr;  // lives as long as the process
unsigned short udp_port = 0, tcp_port = 0;
int udp_client = -1;                // the fuzzer's side of every datagram

// Returns: a free port on 127.0.0.1 for the given socket type.
unsigned short free_port(int type) {
    int fd = socket(AF_INET, type, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        std::abort();
    close(fd);
    return ntohs(addr.sin_port);
}

sockaddr_in local(unsigned short port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    return addr;
}

// Waits for `fd` to be readable, at most 30 s (a safety bound: the
// answer is due at once). A signal that interrupts the wait (the
// fuzzer's own timers, a profiler's) only makes it wait on for the time
// that is left. Returns: whether it became readable.
bool readable(int fd) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        int ready = poll(&p, 1, left.count() > 0 ? int(left.count()) : 0);
        if (ready >= 0 || errno != EINTR)
            return ready == 1;
    }
}

void send_datagram(const uint8_t* data, size_t size) {
    sockaddr_in to = local(udp_port);
    check(sendto(udp_client, data, size, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) == ssize_t(size));
    check(readable(udp_client));
    std::string echo(65536, '\0');
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = recvfrom(udp_client, &echo[0], echo.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
    check(n == ssize_t(size) && std::memcmp(echo.data(), data, size) == 0);
    check(ntohs(from.sin_port) == udp_port);
}

void send_connection(const uint8_t* data, size_t size) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to = local(tcp_port);
    check(fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0);
    size_t sent = 0;
    while (sent < size) {
        ssize_t n = send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;  // the server may close early on a bad request
        sent += size_t(n);
    }
    shutdown(fd, SHUT_WR);
    std::string answer;
    char block[16384];
    for (;;) {
        check(readable(fd));  // a connection the server never ends
        ssize_t n = recv(fd, block, sizeof block, 0);
        if (n <= 0)
            break;
        answer.append(block, size_t(n));
    }
    close(fd);
    check(answer.empty() || answer.compare(0, 7, "HTTP/1.") == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string root = start_framework({"kiv_core", "kiv_zip", "kiv_http"});
    write_file(root + "/index.html", "<p>fuzz</p>", 11, 1000000);
    auto_ptr_t<kiv::i_object> sockets_svc(kiv_core()->get_service("svc_socket"));
    kiv::i_socket_service* sockets = kiv_cast_i_socket_service(sockets_svc);
    udp_port = free_port(SOCK_DGRAM);
    if (sockets == nullptr || !sockets->open_udp_socket("127.0.0.1", udp_port))
        std::abort();
    reader = new datagram_reader;
    reader->addref();
    kiv_install_handler(udp_event, udp_port, reader, static_cast<kiv::kiv_event_function>(&datagram_reader::on_datagram));
    udp_client = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in mine = local(0);
    if (udp_client < 0 || bind(udp_client, reinterpret_cast<sockaddr*>(&mine), sizeof mine) != 0)
        std::abort();

    kiv::i_object* http_svc = keep(kiv_core()->get_service("svc_http"));
    kiv::i_http_service* http = kiv_cast_i_http_service(http_svc);
    kiv::i_http_server* site = http != nullptr ? keep(http->create_server("fuzz", root.c_str())) : nullptr;
    tcp_port = free_port(SOCK_STREAM);
    if (site == nullptr || !http->bind_server(site, "127.0.0.1", tcp_port))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 60000)
        return 0;
    if (data[0] % 2 == 0)
        send_datagram(data + 1, size - 1);
    else
        send_connection(data + 1, size - 1);
    return 0;
}
