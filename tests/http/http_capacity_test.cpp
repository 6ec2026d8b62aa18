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

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
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

// Returns: the server closed `fd` (after an answer or without one):
//     something or the end came, and what came is read to the end.
bool closed_by_server(int fd) {
    if (!readable(fd, 0))
        return false;
    read_until_closed(fd);
    return true;
}

// A connection that sends nothing reaches the server a second or more
// after it was made. Waits until the server has let go of `wanted` of
// `idle`. Returns: which of them it let go.
std::vector<bool> wait_let_go(const std::vector<std::unique_ptr<fd_holder>>& idle, size_t wanted) {
    std::vector<bool> closed(idle.size(), false);
    size_t count = 0;
    for (;;) {
        for (size_t i = 0; i < idle.size(); ++i)
            if (!closed[i] && closed_by_server(idle[i]->get())) {
                closed[i] = true;
                ++count;
            }
        if (count >= wanted)
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
        // Beyond its limit the server lets go of idle ones (the oldest it
        // holds; which those are depends on when the kernel handed each
        // over): as many are waited for. Within it, it keeps them all.
        std::vector<bool> closed = wait_let_go(idle, c.limit != 0 ? idle_count - c.limit : 0);
        if (c.limit == 0 && own >= 4096) {
            EXPECT_EQ(std::count(closed.begin(), closed.end(), true), 0);
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
        response answer = parse_response(read_until_closed(c->get()));
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
#ifdef KIV_TEST_ASAN
    // The server runs out of descriptors here on purpose, and UBSan checks
    // a vtable's memory through a pipe it makes on the spot: with no
    // descriptor free it reports every object it cannot check as broken.
    GTEST_SKIP() << "the sanitizers need free descriptors the server runs out of on purpose";
#endif
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
    response r = parse_response(read_until_closed(ordinary.get()));
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "ordinary");
    RecordProperty("ordinary_answer_ms", static_cast<int>(took.count()));
    // The slow clients let go read why. Which ones went depends on the
    // order in which the pool's workers handed the connections over and
    // on the whole seconds of their last input, so any may have: every
    // one the server closed is looked at.
    std::vector<pollfd> slow_fds;
    for (const auto& c : slow_clients)
        slow_fds.push_back(pollfd{c->get(), POLLIN, 0});
    while (poll(slow_fds.data(), slow_fds.size(), -1) <= 0) {
    }
    for (size_t i = 0; i < slow_clients.size(); ++i) {
        if (!readable(slow_clients[i]->get(), 0))
            continue;
        response let_go = parse_response(read_until_closed(slow_clients[i]->get()));
        EXPECT_EQ(let_go.status, 503) << i;
        EXPECT_EQ(let_go.headers["retry-after"], "5") << i;
    }
    EXPECT_EQ(server.stop(), 0);
}

namespace {

// Returns: the resident size of process `pid` in bytes (0 when unknown).
uint64_t resident_bytes(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, 6, "VmRSS:") == 0)
            return std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;
    return 0;
}

// Returns: whether every established connection on local port `port`
//     has no unread bytes in the kernel (the server read all that came).
bool server_read_everything(pid_t pid, uint16_t port) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/net/tcp");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues;
        fields >> slot >> local >> remote >> state >> queues;
        size_t colon = local.find(':');
        if (colon == std::string::npos || std::strtoul(local.c_str() + colon + 1, nullptr, 16) != port ||
            state != "01")
            continue;
        size_t split = queues.find(':');
        if (split == std::string::npos || std::strtoul(queues.c_str() + split + 1, nullptr, 16) != 0)
            return false;
    }
    return true;
}

}  // namespace

// Bodies that never end cost memory summed over the clients that send
// them: the server holds a bounded amount of them all together and
// refuses the rest with 503 and Retry-After, and a large upload through
// a page still arrives whole afterwards.
TEST(http_capacity, unfinished_large_bodies_hold_bounded_memory_and_uploads_still_arrive_whole) {
    temp_dir root;
    std::ofstream(root.file("a.txt")) << "ordinary";
    std::ofstream(root.file("up.html"))
        << "<? set d [i_binary_get_data [i_http_file_data_get_contents [i_http_request_get_file $http_request f]]]\n"
           "puts \"[string length $d] [zlib crc32 $d] [i_http_request_get_var_value $http_request note]\" ?>";
    uint16_t port = free_port();
    ASSERT_NE(port, 0);
    server_process server(root.path(), port);
    ASSERT_EQ(server.first_line(), "listening on 127.0.0.1:" + std::to_string(port));
    ASSERT_EQ(ask(port, ordinary_request).body, "ordinary");
    uint64_t before = resident_bytes(server.pid());
    ASSERT_GT(before, 0u);

    // Twenty clients send all of an 8 MiB - 1 body but its last byte.
    const size_t body_size = 8 * 1024 * 1024 - 1;
    const std::string head = "POST /a.txt HTTP/1.0\r\nContent-Length: " + std::to_string(body_size) + "\r\n\r\n";
    const std::string almost(body_size - 1, 'b');
    const int count = 20;
    std::vector<std::unique_ptr<fd_holder>> bodies;
    std::vector<std::thread> senders;
    std::unique_ptr<std::atomic<bool>[]> delivered(new std::atomic<bool>[count]);
    for (int i = 0; i < count; ++i) {
        bodies.emplace_back(new fd_holder(connect_tcp(port)));
        ASSERT_GE(bodies.back()->get(), 0);
        delivered[i] = false;
    }
    for (int i = 0; i < count; ++i)
        senders.emplace_back([&, i] { delivered[i] = send_all(bodies[i]->get(), head + almost); });
    for (std::thread& t : senders)
        t.join();
    // Wait until the server has taken in everything the clients it did not
    // refuse have sent: nothing left unacknowledged on their side, nothing
    // unread on the server's.
    auto settled = [&] {
        for (int i = 0; i < count; ++i) {
            int unsent = 0;
            if (delivered[i] && !readable(bodies[i]->get(), 0) &&
                (ioctl(bodies[i]->get(), SIOCOUTQ, &unsent) != 0 || unsent != 0))
                return false;
        }
        return server_read_everything(server.pid(), port);
    };
    while (!settled())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    uint64_t during = resident_bytes(server.pid());
    RecordProperty("resident_growth_mb", static_cast<int>((during - std::min(during, before)) >> 20));
#ifndef KIV_TEST_ASAN
    // (ASan keeps freed blocks resident for a while: no measure there.)
    // Held: at most the 64 MiB budget and each client's first 64 KiB; the
    // allocator may keep about as much again of the blocks the growing
    // buffers left behind. All twenty bodies held would be 168 MB and
    // more.
    EXPECT_LT(during, before + 150u * 1000 * 1000) << "before " << before << ", with the bodies held " << during;
#endif

    // The last bytes: those held are answered whole; the others read why
    // they were refused.
    int served = 0, refused = 0;
    for (int i = 0; i < count; ++i) {
        if (delivered[i])
            send(bodies[i]->get(), "b", 1, MSG_NOSIGNAL);
        response r = parse_response(read_until_closed(bodies[i]->get()));
        if (r.status == 200 && r.body == "ordinary")
            ++served;
        else if (r.status == 503 && r.headers["retry-after"] == "5")
            ++refused;
        else
            ADD_FAILURE() << "client " << i << ": " << r.raw.substr(0, 200);
    }
    EXPECT_GE(refused, 1);
    RecordProperty("served", served);

    // A 7 MiB upload through a page arrives whole.
    std::string data(7 * 1024 * 1024, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 7919) >> 5);
    const std::string boundary = "----kivUploadBoundary";
    std::string form = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nseven\r\n--" +
                       boundary + "\r\nContent-Disposition: form-data; name=\"f\"; filename=\"big.bin\"\r\n"
                       "Content-Type: application/octet-stream\r\n\r\n" + data + "\r\n--" + boundary + "--\r\n";
    response up = ask(port, "POST /up.html HTTP/1.0\r\nContent-Type: multipart/form-data; boundary=" + boundary +
                                "\r\nContent-Length: " + std::to_string(form.size()) + "\r\n\r\n" + form);
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    EXPECT_EQ(up.status, 200);
    EXPECT_EQ(up.body, std::to_string(data.size()) + " " + std::to_string(crc) + " seven");
    EXPECT_EQ(server.stop(), 0);
}
