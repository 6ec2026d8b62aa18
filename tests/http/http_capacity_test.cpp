// http_capacity_test.cpp --
//
//     Nobody can lock the server out: http_serve, started as a user
//     starts it (under its own descriptor limit or a low one set as
//     `ulimit -n` would), holds thousands of idle connections while
//     ordinary clients are served, lets go of the oldest idle ones when
//     its limit is reached instead of refusing newcomers, and serves a
//     thousand clients at once without a refusal.

#include "../core/net_peer.h"
#include "../core/test_util.h"
#include "http_exchange.h"
#include "serve_process.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace kiv_test;

namespace {

// Raises this process's soft descriptor limit to its hard one.
// Returns: the limit now in force.
uint64_t raise_own_limit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
    return limit.rlim_cur == RLIM_INFINITY ? 1u << 20 : static_cast<uint64_t>(limit.rlim_cur);
}

const char ordinary_request[] = "GET /a.txt HTTP/1.0\r\n\r\n";

// Returns: the server closed `fd` (after an answer or without one).
bool closed_by_server(int fd) {
    return readable(fd, 0) && read_until_closed(fd, 30000).find("<timeout>") == std::string::npos;
}

// A connection that sends nothing reaches the server a second or more
// after it was made. Waits, at most a minute, until the server has let
// go of `wanted` of `idle`. Returns: which of them it let go.
std::vector<bool> wait_let_go(const std::vector<std::unique_ptr<fd_holder>>& idle, size_t wanted) {
    std::vector<bool> closed(idle.size(), false);
    size_t count = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    for (;;) {
        for (size_t i = 0; i < idle.size(); ++i)
            if (!closed[i] && closed_by_server(idle[i]->get())) {
                closed[i] = true;
                ++count;
            }
        if (count >= wanted || std::chrono::steady_clock::now() >= deadline)
            return closed;
        std::vector<pollfd> open;
        for (size_t i = 0; i < idle.size(); ++i)
            if (!closed[i])
                open.push_back(pollfd{idle[i]->get(), POLLIN, 0});
        poll(open.data(), open.size(), 1000);
    }
}

}  // namespace

TEST(http_capacity, idle_connections_do_not_lock_ordinary_clients_out) {
    uint64_t own = raise_own_limit();
    // The test holds every idle connection itself, within its own limit.
    const size_t idle_count = static_cast<size_t>(std::min<uint64_t>(2000, own > 400 ? own - 300 : 0));
    if (idle_count < 1100)
        GTEST_SKIP() << "this process may open only " << own << " descriptors";
    const struct {
        const char* name;
        unsigned limit;  // the server's descriptor limit; 0: as inherited (raised to the hard one)
    } cases[] = {{"own limit", 0}, {"limit 1024", 1024}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir root;
        std::ofstream(root.file("a.txt")) << "ordinary";
        uint16_t port = free_port();
        ASSERT_NE(port, 0);
        server_process server(root.path(), port, c.limit);
        ASSERT_EQ(server.first_line(), "listening on 127.0.0.1:" + std::to_string(port));
        // Idle connections come in batches of 100, each followed by five
        // ordinary requests; an answer to one of them shows that the
        // server has taken in every connection made before it.
        std::vector<std::unique_ptr<fd_holder>> idle;
        int served = 0, asked = 0;
        while (idle.size() < idle_count) {
            for (int i = 0; i < 100 && idle.size() < idle_count; ++i) {
                idle.emplace_back(new fd_holder(connect_tcp(port)));
                ASSERT_GE(idle.back()->get(), 0);
            }
            for (int i = 0; i < 5; ++i, ++asked)
                if (ask(port, ordinary_request).body == "ordinary")
                    ++served;
        }
        EXPECT_EQ(served, asked);
        EXPECT_GE(asked, 100);
        // The newest idle connections are still held.
        for (size_t i = idle.size() - 50; i < idle.size(); ++i)
            EXPECT_FALSE(readable(idle[i]->get(), 0)) << i;
        std::vector<bool> closed = wait_let_go(idle, c.limit != 0 ? idle_count - c.limit : 0);
        size_t let_go = static_cast<size_t>(std::count(closed.begin(), closed.end(), true));
        if (c.limit != 0) {
            // Beyond its limit the server let go of idle ones (the
            // oldest it holds; which those are depends on when the
            // kernel handed each over).
            EXPECT_GE(let_go, idle_count - c.limit);
        } else if (own >= 4096) {
            EXPECT_EQ(let_go, 0u);
        }
        EXPECT_EQ(server.stop(), 0);
    }
}

namespace {

// Connects `count` clients, then has each send the ordinary request.
// Returns: how many got the file whole with 200; -1 when a client could
// not connect or send.
int serve_at_once(uint16_t port, int count) {
    std::vector<std::unique_ptr<fd_holder>> clients;
    for (int i = 0; i < count; ++i) {
        clients.emplace_back(new fd_holder(connect_tcp(port)));
        if (clients.back()->get() < 0)
            return -1;
    }
    for (auto& c : clients)
        if (send(c->get(), ordinary_request, sizeof ordinary_request - 1, MSG_NOSIGNAL) !=
            ssize_t(sizeof ordinary_request - 1))
            return -1;
    int served = 0;
    for (auto& c : clients) {
        response answer = parse_response(read_until_closed(c->get(), 30000));
        if (answer.status == 200 && answer.body == "ordinary")
            ++served;
    }
    return served;
}

}  // namespace

TEST(http_capacity, a_thousand_clients_at_once_are_all_served) {
    uint64_t own = raise_own_limit();
    if (own < 2200)
        GTEST_SKIP() << "this process may open only " << own << " descriptors";
    temp_dir root;
    std::ofstream(root.file("a.txt")) << "ordinary";
    uint16_t port = free_port();
    ASSERT_NE(port, 0);
    server_process server(root.path(), port);
    ASSERT_EQ(server.first_line(), "listening on 127.0.0.1:" + std::to_string(port));
    // Rounds follow each other at once: connections of the round before
    // that the server still winds down must not count against the next.
    const int count = 1000;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(serve_at_once(port, count), count);
    }
    EXPECT_EQ(server.stop(), 0);
}

// With a pool of a handful of workers (the thread limit set as a user
// sets it), complete requests wait for a free worker on the service
// thread instead of blocking it, and every client is answered.
TEST(http_capacity, requests_beyond_the_free_workers_wait_for_one_and_are_all_served) {
    uint64_t own = raise_own_limit();
    if (own < 1200)
        GTEST_SKIP() << "this process may open only " << own << " descriptors";
    temp_dir root;
    std::ofstream(root.file("a.txt")) << "ordinary";
    uint16_t port = free_port();
    ASSERT_NE(port, 0);
    setenv("KIV_MAX_THREADS_COUNT", "12", 1);  // inherited by the server only
    server_process server(root.path(), port);
    unsetenv("KIV_MAX_THREADS_COUNT");
    ASSERT_EQ(server.first_line(), "listening on 127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(serve_at_once(port, 500), 500);
    EXPECT_EQ(server.stop(), 0);
}

// Clients that send a whole head and then trickle their body hold their
// descriptors as long as they like: past the server's limit it lets go
// of those silent longest (answering "503" with "Retry-After"), so an
// ordinary client is still answered.
TEST(http_capacity, slow_bodies_do_not_lock_ordinary_clients_out) {
    uint64_t own = raise_own_limit();
    if (own < 1000)
        GTEST_SKIP() << "this process may open only " << own << " descriptors";
    temp_dir root;
    std::ofstream(root.file("a.txt")) << "ordinary";
    uint16_t port = free_port();
    ASSERT_NE(port, 0);
    server_process server(root.path(), port, 256);
    ASSERT_EQ(server.first_line(), "listening on 127.0.0.1:" + std::to_string(port));
    const std::string slow = "POST /a.txt HTTP/1.0\r\nContent-Length: 100000\r\n\r\n0123456789";
    std::vector<std::unique_ptr<fd_holder>> slow_clients;
    for (int i = 0; i < 400; ++i) {
        slow_clients.emplace_back(new fd_holder(connect_tcp(port)));
        ASSERT_GE(slow_clients.back()->get(), 0);
        ASSERT_EQ(send(slow_clients.back()->get(), slow.data(), slow.size(), MSG_NOSIGNAL), ssize_t(slow.size()));
    }
    // Locked out, the ordinary request would never be taken in; the bound
    // only tells that from being answered.
    fd_holder ordinary(connect_tcp(port));
    ASSERT_GE(ordinary.get(), 0);
    ASSERT_EQ(send(ordinary.get(), ordinary_request, sizeof ordinary_request - 1, MSG_NOSIGNAL),
              ssize_t(sizeof ordinary_request - 1));
    auto start = std::chrono::steady_clock::now();
    response r = parse_response(read_until_closed(ordinary.get(), 30000));
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "ordinary");
    RecordProperty("ordinary_answer_ms", static_cast<int>(took.count()));
    // The slow clients let go read why: the oldest ones went first.
    response first = parse_response(read_until_closed(slow_clients.front()->get(), 30000));
    EXPECT_EQ(first.status, 503);
    EXPECT_EQ(first.headers["retry-after"], "5");
    EXPECT_EQ(server.stop(), 0);
}
