// net_test.cpp --
//
//     The plain socket helpers on 127.0.0.1: whole sends and receives
//     across a full socket and a slow peer, peers that close or reset,
//     time limits on the driven clock, and outgoing connections that
//     succeed, are refused, or are never answered.

#include <kiv/core/i_socket_service.h>
#include <kiv_test/core_hooks.h>

#include "core_session.h"
#include "net_peer.h"

#include <cerrno>
#include <future>
#include <string>
#include <thread>

using namespace kiv_test;

namespace {

// A connected pair: ours (non-blocking, through kiv_net_tcp_open) and the
// peer's end (blocking), over a listener made for the test.
struct tcp_pair {
    tcp_pair() {
        fd_holder listener(listen_tcp(0, 4));
        EXPECT_GE(listener.get(), 0);
        ours.reset(kiv_net_tcp_open("127.0.0.1", local_port(listener.get()), 5));
        EXPECT_GE(ours.get(), 0);
        peer.reset(accept(listener.get(), nullptr, nullptr));
        EXPECT_GE(peer.get(), 0);
    }
    fd_holder ours;
    fd_holder peer;
};

std::string pattern(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(i * 7 + i / 509);
    return s;
}

}  // namespace

TEST(net_send, refuses_bad_sockets_and_accepts_empty_data_without_sending) {
    core_session session(false);
    EXPECT_FALSE(kiv_net_send(-1, "x", 1, 0));
    EXPECT_FALSE(kiv_net_recv(-1, nullptr, 1, 0));
    tcp_pair pair;
    EXPECT_TRUE(kiv_net_send(pair.ours.get(), nullptr, 0, 0));
    EXPECT_TRUE(kiv_net_send(pair.ours.get(), "", 0, 0));
    EXPECT_FALSE(readable(pair.peer.get(), 20));
}

TEST(net_send, whole_buffers_pass_a_full_socket_and_a_peer_reading_in_small_pieces) {
    core_session session(false);
    tcp_pair pair;
    const std::string data = pattern(8 * 1024 * 1024);  // far more than the socket buffers hold
    int peer = pair.peer.get();
    auto echoed = std::async(std::launch::async, [peer, &data] {
        std::string got;
        char piece[1000];
        while (got.size() < data.size()) {
            ssize_t n = recv(peer, piece, sizeof piece, 0);
            if (n <= 0)
                break;
            got.append(piece, static_cast<size_t>(n));
        }
        // Echo it back in small sends, for the receiving side.
        for (size_t at = 0; at < got.size(); at += 777)
            send(peer, got.data() + at, std::min<size_t>(777, got.size() - at), 0);
        return got;
    });
    ASSERT_TRUE(kiv_net_send(pair.ours.get(), data.data(), static_cast<unsigned>(data.size()), 30));
    std::string back(data.size(), '\0');
    ASSERT_TRUE(kiv_net_recv(pair.ours.get(), &back[0], static_cast<unsigned>(back.size()), 30));
    EXPECT_TRUE(echoed.get() == data);
    EXPECT_TRUE(back == data);
}

TEST(net_recv, fails_when_the_peer_closes_or_resets_before_all_bytes_came) {
    core_session session(false);
    {
        tcp_pair pair;
        send(pair.peer.get(), "abc", 3, 0);
        pair.peer.reset();
        char buffer[8] = {};
        EXPECT_FALSE(kiv_net_recv(pair.ours.get(), buffer, 8, 10));
        EXPECT_STREQ(buffer, "abc");
    }
    {
        tcp_pair pair;
        linger hard{1, 0};
        setsockopt(pair.peer.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        pair.peer.reset();  // sends a reset
        char buffer[4];
        EXPECT_FALSE(kiv_net_recv(pair.ours.get(), buffer, 4, 10));
        EXPECT_TRUE(kiv_net_error());
        // Sends to the reset connection fail too, without SIGPIPE.
        std::string data = pattern(1 << 20);
        EXPECT_FALSE(kiv_net_send(pair.ours.get(), data.data(), static_cast<unsigned>(data.size()), 10));
    }
}

TEST(net_recv, gives_up_after_its_time_limit_on_the_driven_clock) {
    core_session session(false);
    tcp_pair pair;
    kiv_test_clock_drive(true);
    int fd = pair.ours.get();
    auto result = std::async(std::launch::async, [fd] {
        char buffer[4];
        return kiv_net_recv(fd, buffer, 4, 2);
    });
    EXPECT_EQ(result.wait_for(std::chrono::milliseconds(30)), std::future_status::timeout);
    kiv_test_clock_advance(1500);
    EXPECT_EQ(result.wait_for(std::chrono::milliseconds(30)), std::future_status::timeout);
    // Advance until it notices, in case it noted its start late.
    eventually([&] {
        kiv_test_clock_advance(1000);
        return result.wait_for(std::chrono::milliseconds(1)) == std::future_status::ready;
    });
    EXPECT_FALSE(result.get());
}

TEST(net_helpers, give_up_once_the_core_stops) {
    auto session = std::make_unique<core_session>(false);
    tcp_pair pair;
    int fd = pair.ours.get();
    auto result = std::async(std::launch::async, [fd] {
        char buffer[4];
        return kiv_net_recv(fd, buffer, 4, 0);  // no time limit
    });
    EXPECT_EQ(result.wait_for(std::chrono::milliseconds(30)), std::future_status::timeout);
    session.reset();
    EXPECT_FALSE(result.get());
    EXPECT_FALSE(kiv_net_send(fd, "x", 1, 0));
}

TEST(net_error, tells_real_errors_from_passing_ones) {
    errno = EAGAIN;
    EXPECT_FALSE(kiv_net_error());
    errno = EINPROGRESS;
    EXPECT_FALSE(kiv_net_error());
    errno = EINTR;
    EXPECT_FALSE(kiv_net_error());
    errno = ECONNRESET;
    EXPECT_TRUE(kiv_net_error());
    errno = EPIPE;
    EXPECT_TRUE(kiv_net_error());
}

TEST(net_tcp_open, connects_to_a_listener_and_hands_back_a_non_blocking_socket) {
    core_session session(false);
    fd_holder listener(listen_tcp(0, 4));
    fd_holder ours(kiv_net_tcp_open("localhost", local_port(listener.get()), 0));
    ASSERT_GE(ours.get(), 0);
    char byte;
    EXPECT_EQ(recv(ours.get(), &byte, 1, 0), -1);  // nothing yet, and no blocking
    EXPECT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK);
    EXPECT_EQ(kiv_net_tcp_open(nullptr, 80, 1), -1);
}

TEST(net_tcp_open, a_refused_connection_fails_at_once_without_waiting_for_the_time_limit) {
    core_session session(false);
    kiv_test_clock_drive(true);  // the limit can only pass when the test says so
    uint16_t port = free_port();
    EXPECT_EQ(kiv_net_tcp_open("127.0.0.1", port, 3600), -1);
}

TEST(net_tcp_open, an_unanswered_connection_fails_after_the_time_limit) {
    core_session session(false);
    // A listener with a full accept queue lets new handshakes go unanswered.
    fd_holder listener(listen_tcp(0, 0));
    uint16_t port = local_port(listener.get());
    fd_holder fillers[3];
    for (fd_holder& f : fillers) {
        f.reset(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        sockaddr_in a = loopback(port);
        connect(f.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    kiv_test_clock_drive(true);
    auto result = std::async(std::launch::async, [port] { return kiv_net_tcp_open("127.0.0.1", port, 0); });
    EXPECT_EQ(result.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    kiv_test_clock_advance(4000);
    EXPECT_EQ(result.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    eventually([&] {
        kiv_test_clock_advance(1000);
        return result.wait_for(std::chrono::milliseconds(1)) == std::future_status::ready;
    });
    EXPECT_EQ(result.get(), -1);
}
