// net_peer.h --
//
//     Plain-socket helpers for the socket tests: free ports on 127.0.0.1,
//     blocking clients and listeners that play the other side, and
//     waits for data. A wait for data that is due has no bound of its own
//     (the suite's time-out ends a test whose data never comes); a bound
//     in milliseconds is for a test that checks that nothing comes.

#ifndef KIV_TESTS_CORE_NET_PEER_H
#define KIV_TESTS_CORE_NET_PEER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace kiv_test {

inline sockaddr_in loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Returns: a port of `type` (SOCK_STREAM or SOCK_DGRAM) that was free on
//     127.0.0.1 a moment ago, 0 on failure.
inline uint16_t free_port(int type = SOCK_STREAM) {
    int fd = socket(AF_INET, type, 0);
    if (fd < 0)
        return 0;
    sockaddr_in a = loopback(0);
    socklen_t length = sizeof a;
    uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

// A socket descriptor closed at scope end.
class fd_holder {
public:
    explicit fd_holder(int fd = -1) : fd_(fd) {}
    ~fd_holder() { reset(); }
    fd_holder(const fd_holder&) = delete;
    fd_holder& operator=(const fd_holder&) = delete;
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// Returns: a blocking TCP socket connected to 127.0.0.1:port, or -1.
inline int connect_tcp(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(port);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Returns: a listening TCP socket on 127.0.0.1:port (0: any), or -1.
inline int listen_tcp(uint16_t port, int backlog) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(port);
    if (fd >= 0 && (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, backlog) != 0)) {
        close(fd);
        return -1;
    }
    return fd;
}

inline uint16_t local_port(int fd) {
    sockaddr_in a{};
    socklen_t length = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    return ntohs(a.sin_port);
}

// Waits up to `ms` real milliseconds (-1: without a bound) for `fd` to
// become readable.
inline bool readable(int fd, int ms = -1) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) == 1;
}

// Sends `bytes` whole on the blocking socket `fd`.
// Returns: false when the peer closed or reset first.
inline bool send_all(int fd, const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Returns: what arrives on `fd` until the peer closes, waiting for each
//     piece at most `ms` (-1: without a bound); "<timeout>" appended
//     when a piece never came.
inline std::string read_until_closed(int fd, int ms = -1) {
    std::string all;
    char buffer[4096];
    for (;;) {
        if (!readable(fd, ms))
            return all + "<timeout>";
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return all;
        all.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace kiv_test

#endif
