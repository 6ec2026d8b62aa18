// http_connection_test.cpp --
//
//     The end of a connection, through a real socket: after the answer
//     the server shuts its write side and reads and drops what the
//     client still sends, so that nothing of the answer is lost to a
//     reset, and it lets go once the client closes, 64 KiB were dropped,
//     or 2 s passed (on the driven clock) after the client took the
//     last byte.

#include "../core/net_peer.h"
#include "http_exchange.h"
#include "http_fixture.h"

#include <sys/socket.h>

#include <cerrno>
#include <string>

using namespace kiv_test;

namespace {

class http_connection_test : public http_site_framework {};

// Returns: `size` bytes that differ from one position to the next.
std::string pattern(size_t size) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>((i * 131 + i / 251) % 256);
    return text;
}

// Sends one byte and looks for the reset a closed socket answers with.
// Returns: true once the server has let go of the connection.
bool server_let_go(int fd) {
    if (send(fd, "x", 1, MSG_NOSIGNAL) < 0)
        return errno == EPIPE || errno == ECONNRESET;
    if (!readable(fd, 50))
        return false;
    char byte;
    return recv(fd, &byte, 1, MSG_DONTWAIT) < 0 && errno == ECONNRESET;
}

}  // namespace

TEST_F(http_connection_test, answers_arrive_whole_when_the_client_sends_more_after_its_request) {
    const struct {
        const char* name;
        size_t size;
        std::string extra;  // sent once the answer has begun, while the server
                            // still sends or lingers
    } cases[] = {
        {"1m.bin", 1u << 20, "GET /1m.bin HTTP/1.0\r\n\r\n"},             // a pipelined request
        {"20m.bin", 20u << 20, "GET /20m.bin HTTP/1.0\r\n\r\n"},
        {"1m.bin", 1u << 20, std::string(3000, 'b')},                   // a body beyond its length
        {"20m.bin", 20u << 20, std::string(3000, 'b')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " + " + std::to_string(c.extra.size()));
        std::string body = pattern(c.size);
        put(c.name, body);
        fd_holder client(connect_tcp(port));
        ASSERT_GE(client.get(), 0);
        ASSERT_TRUE(send_all(client.get(), "GET /" + std::string(c.name) + " HTTP/1.0\r\nContent-Length: 0\r\n\r\n"));
        ASSERT_TRUE(readable(client.get()));
        ASSERT_TRUE(send_all(client.get(), c.extra));
        response r = parse_response(read_until_closed(client.get()));
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.body.size(), c.size);
        EXPECT_TRUE(r.body == body);
    }
}

TEST_F(http_connection_test, lingering_ends_at_its_bounds) {
    put("a.txt", "answer");
    uint32_t now = settle_driven_clock();
    // A client that sent its request and nothing more is let go with the
    // answer: nothing it could still send can cost it the answer.
    fd_holder exact(connect_tcp(port));
    ASSERT_TRUE(send_all(exact.get(), "GET /a.txt HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(parse_response(read_until_closed(exact.get())).body, "answer");
    eventually([&] { return server_let_go(exact.get()); });

    // One that sent more than its request is kept until 2 s after it
    // took the last byte, with the clock standing still before, when it
    // neither closes nor sends much.
    fd_holder quiet(connect_tcp(port));
    ASSERT_TRUE(send_all(quiet.get(), "GET /a.txt HTTP/1.0\r\n\r\nx"));
    EXPECT_EQ(parse_response(read_until_closed(quiet.get())).body, "answer");
    EXPECT_FALSE(server_let_go(quiet.get()));
    EXPECT_FALSE(server_let_go(quiet.get()));
    // The 2 s count from the last byte the client took, which the
    // service thread notes on its next pass: on a loaded machine that
    // pass may come after a move of the clock, so the clock moves on
    // again until the server lets go.
    bool let_go = false;
    while (!let_go) {
        now += 3;
        advance_clock_to(now, 3);
        let_go = holds_within([&] { return server_let_go(quiet.get()); }, 3000);
    }

    // 64 KiB dropped: let go without waiting for the clock.
    fd_holder chatty(connect_tcp(port));
    ASSERT_TRUE(send_all(chatty.get(), "GET /a.txt HTTP/1.0\r\n\r\nx"));
    EXPECT_EQ(parse_response(read_until_closed(chatty.get())).body, "answer");
    send_all(chatty.get(), std::string(100 * 1024, 'c'));
    eventually([&] { return server_let_go(chatty.get()); });

    // A client that closes is let go at once: the server keeps answering.
    for (int i = 0; i < 20; ++i) {
        fd_holder polite(connect_tcp(port));
        ASSERT_TRUE(send_all(polite.get(), "GET /a.txt HTTP/1.0\r\n\r\nmore"));
        EXPECT_EQ(parse_response(read_until_closed(polite.get())).body, "answer");
    }
}
