// net.cpp --
//
//     Plain socket helpers for whole sends and receives on non-blocking
//     sockets and for outgoing TCP connections. Instead of sleeping
//     between attempts they wait in poll() for the socket to become
//     ready, bounded by the same short periods, so they react at once to
//     data, room or a refused connection and still notice a stopping
//     core. Time limits run on the monotonic clock.

#include "net/net_util.h"
#include "time/clock.h"


#include <kiv/core/i_core.h>
#include <kiv/core/i_socket_service.h>

#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kiv::net {

namespace {

const unsigned idle_wait_ms = 5;      // nothing could be moved
const unsigned partial_wait_ms = 10;  // part of the bytes moved
const unsigned connect_wait_ms = 10;

// Returns: whether `timeout` seconds from `start_ms` have passed.
bool expired(uint64_t start_ms, unsigned timeout) {
    return timeout != 0 && clock::mono_ms() > start_ms + static_cast<uint64_t>(timeout) * 1000;
}

}  // namespace

bool transient_error(int error) {
    return error == 0 || error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS || error == EALREADY ||
           error == ENOBUFS || error == EINTR;
}

void close_socket(int socket) {
    if (socket < 0)
        return;
    shutdown(socket, SHUT_RDWR);
    close(socket);
}

bool set_non_blocking(int socket) {
    int flags = fcntl(socket, F_GETFL, 0);
    return flags >= 0 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}

void wait_ready(int socket, short events, unsigned ms) {
    pollfd fd{socket, events, 0};
    poll(&fd, 1, static_cast<int>(ms));
}

bool resolve_ipv4(const char* host, int socktype, std::vector<sockaddr_in>& out) {
    out.clear();
    if (host == nullptr)
        return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = socktype;
    addrinfo* list = nullptr;
    int failed;
    // The resolver reads the environment (RES_OPTIONS, LOCALDOMAIN,
    // HOSTALIASES) but may wait seconds on a name server: it holds no
    // lock, as writers never free what it might be reading (env_set).
    failed = getaddrinfo(host, nullptr, &hints, &list);
    if (failed != 0)
        return false;
    for (addrinfo* a = list; a != nullptr; a = a->ai_next)
        if (a->ai_family == AF_INET && a->ai_addr != nullptr && a->ai_addrlen >= sizeof(sockaddr_in))
            out.push_back(*reinterpret_cast<const sockaddr_in*>(a->ai_addr));
    freeaddrinfo(list);
    return !out.empty();
}

}  // namespace kiv::net

using namespace kiv;

bool kiv_net_error() {
    return !net::transient_error(errno);
}

bool kiv_net_send(int socket, const void* data, unsigned size, unsigned timeout) {
    uint64_t start = timeout != 0 ? clock::mono_ms() : 0;
    if (socket < 0)
        return false;
    if (size == 0)
        return true;
    if (data == nullptr || !kiv_is_running())
        return false;
    const char* bytes = static_cast<const char*>(data);
    size_t sent = 0;
    for (;;) {
        if (net::expired(start, timeout))
            return false;
        ssize_t n = send(socket, bytes + sent, size - sent, MSG_NOSIGNAL);
        if (n >= 0) {
            sent += static_cast<size_t>(n);
            if (sent >= size)
                return true;
        } else if (kiv_net_error()) {
            return false;
        }
        net::wait_ready(socket, POLLOUT, n > 0 ? net::partial_wait_ms : net::idle_wait_ms);
        if (!kiv_is_running())
            return false;
    }
}

bool kiv_net_recv(int socket, void* buffer, unsigned size, unsigned timeout) {
    uint64_t start = timeout != 0 ? clock::mono_ms() : 0;
    if (socket < 0)
        return false;
    if (size == 0)
        return true;
    if (buffer == nullptr || !kiv_is_running())
        return false;
    char* bytes = static_cast<char*>(buffer);
    size_t got = 0;
    for (;;) {
        if (net::expired(start, timeout))
            return false;
        ssize_t n = recv(socket, bytes + got, size - got, 0);
        if (n == 0)
            return false;
        if (n > 0) {
            got += static_cast<size_t>(n);
            if (got >= size)
                return true;
        } else if (kiv_net_error()) {
            return false;
        }
        net::wait_ready(socket, POLLIN, n > 0 ? net::partial_wait_ms : net::idle_wait_ms);
        if (!kiv_is_running())
            return false;
    }
}

int kiv_net_tcp_open(const char* host, unsigned short port, unsigned timeout) {
    if (host == nullptr)
        return -1;
    if (timeout == 0)
        timeout = 5;
    std::vector<sockaddr_in> addresses;
    if (!net::resolve_ipv4(host, SOCK_STREAM, addresses))
        return -1;
    int fd = -1;
    for (sockaddr_in& address : addresses) {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return -1;
        if (!net::set_non_blocking(fd)) {
            net::close_socket(fd);
            return -1;
        }
        address.sin_port = htons(port);
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return fd;
        if (errno == EINPROGRESS || errno == EAGAIN || errno == EALREADY || errno == EINTR)
            break;
        net::close_socket(fd);
        fd = -1;
    }
    if (fd < 0)
        return -1;
    uint64_t start = clock::mono_ms();
    for (;;) {
        net::wait_ready(fd, POLLOUT, net::connect_wait_ms);
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        if (error == 0) {
            // No error yet: connected once the socket has a peer.
            sockaddr_in peer{};
            socklen_t peer_length = sizeof peer;
            if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_length) == 0)
                return fd;
        } else if (error != EINPROGRESS && error != EALREADY && error != EINTR) {
            break;
        }
        if (net::expired(start, timeout) || !kiv_is_running())
            break;
    }
    net::close_socket(fd);
    return -1;
}
