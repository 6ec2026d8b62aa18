// http_client_test.cpp --
//
//     The HTTP client against a Python http.server peer on 127.0.0.1 and a
//     recording proxy of the test's own: reply statuses, headers, cookies,
//     chunked and early body bytes, an oversized head, the request the
//     client sends, and the proxy with its bypass list.

#include "http_fixture.h"

#include <kiv/core/i_binary.h>
#include <kiv/core/system.h>
#include <kiv/core/text_convert.h>
#include <kiv/http/i_http_client.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

using kiv_test::take_text;

namespace {

// The Python peer: started with pipes on its standard input and output;
// closing its input ends it.
class python_peer {
public:
    python_peer() {
        int to_child[2], from_child[2];
        if (pipe(to_child) != 0 || pipe(from_child) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(to_child[0], 0);
            dup2(from_child[1], 1);
            close(to_child[1]);
            close(from_child[0]);
            execlp("python3", "python3", KIV_CLIENT_PEER, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(to_child[0]);
        close(from_child[1]);
        input_ = to_child[1];
        FILE* out = fdopen(from_child[0], "r");
        if (out != nullptr) {
            unsigned value = 0;
            if (std::fscanf(out, "%u", &value) == 1)
                port = static_cast<unsigned short>(value);
            std::fclose(out);
        }
    }
    ~python_peer() {
        if (input_ >= 0)
            close(input_);
        if (pid_ > 0) {
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    unsigned short port = 0;

private:
    pid_t pid_ = -1;
    int input_ = -1;
};

// Opens a listening socket on 127.0.0.1 and a free port.
int listen_local(unsigned short* port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    *port = ntohs(addr.sin_port);
    return fd;
}

// A proxy that records the head of every request and answers each with
// "proxied"; a silent one accepts and never answers.
class recording_proxy {
public:
    explicit recording_proxy(bool silent = false) : silent_(silent) {
        fd_ = listen_local(&port);
        thread_ = std::thread([this] { run(); });
    }
    ~recording_proxy() {
        shutdown(fd_, SHUT_RDWR);
        thread_.join();
        close(fd_);
        for (int c : held_)
            close(c);
    }
    std::vector<std::string> heads() {
        std::lock_guard<std::mutex> hold(lock_);
        return heads_;
    }
    unsigned short port = 0;

private:
    void run() {
        for (;;) {
            int c = accept(fd_, nullptr, nullptr);
            if (c < 0)
                return;
            if (silent_) {
                held_.push_back(c);
                continue;
            }
            std::string head;
            char block[4096];
            while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
                ssize_t n = recv(c, block, sizeof block, 0);
                if (n <= 0)
                    break;
                head.append(block, static_cast<size_t>(n));
            }
            {
                std::lock_guard<std::mutex> hold(lock_);
                heads_.push_back(head);
            }
            const char reply[] = "HTTP/1.0 200 OK\r\nX-Proxy: yes\r\n\r\nproxied";
            send(c, reply, sizeof reply - 1, MSG_NOSIGNAL);
            close(c);
        }
    }
    bool silent_;
    int fd_ = -1;
    std::thread thread_;
    std::vector<int> held_;  // the silent proxy's connections
    std::mutex lock_;
    std::vector<std::string> heads_;
};

// Waits until the stream has delivered its whole body (a bounded safety
// net only), then takes it.
std::string read_body(kiv::i_http_stream* stream) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!stream->is_finished() && std::chrono::steady_clock::now() < limit)
        sleepms(5);
    EXPECT_TRUE(stream->is_finished());
    auto_ptr_t<kiv::i_binary> bin(stream->get_binary(0, true));
    if (!bin)
        return "<null>";
    return std::string(static_cast<const char*>(bin->get_data()), bin->get_data_size());
}

class http_client_test : public kiv_test::http_framework {
protected:
    void SetUp() override {
        kiv_test::http_framework::SetUp();
        ASSERT_NE(peer.port, 0) << "python3 peer did not start";
        client.reset(http->create_client());
        ASSERT_TRUE(client);
    }
    void TearDown() override {
        client.reset();
        kiv_test::http_framework::TearDown();
    }
    kiv::i_http_stream* open(const char* path, const void* body = nullptr, unsigned size = 0) {
        return client->open(path, "127.0.0.1", peer.port, body, size);
    }

    python_peer peer;
    auto_ptr_t<kiv::i_http_client> client;
};

TEST_F(http_client_test, http_client_defaults_and_refused_arguments) {
    EXPECT_EQ(client->get_timeout(), 30u);
    EXPECT_TRUE(client->get_use_proxy());
    EXPECT_EQ(client->get_error_code(), 0);
    EXPECT_NE(kiv_cast_i_http_client(client), nullptr);
    for (const char* method : {"PUT", "get", "", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(client->set_request_method(method)) << (method ? method : "null");

    struct bad_call {
        const char* resource;
        const char* host;
        unsigned short port;
    } cases[] = {
        {"ok", "127.0.0.1", peer.port},
        {nullptr, "127.0.0.1", peer.port},
        {"/ok", "", peer.port},
        {"/ok", nullptr, peer.port},
        {"/ok", "127.0.0.1", 0},
        {"/ok HTTP/1.0\r\nX: y", "127.0.0.1", peer.port},  // would split the request
        {"/ok", "origin\r\nX: y", peer.port},
    };
    for (const bad_call& c : cases) {
        EXPECT_EQ(client->open(c.resource, c.host, c.port, nullptr, 0), nullptr);
        EXPECT_EQ(client->get_error_code(), kiv::http_client_bad_call);
    }

    unsigned short closed_port = 0;
    int fd = listen_local(&closed_port);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(client->open("/ok", "127.0.0.1", closed_port, nullptr, 0), nullptr);
    EXPECT_EQ(client->get_error_code(), kiv::http_client_no_connection);
}

TEST_F(http_client_test, http_client_reply_statuses) {
    struct status_case {
        const char* path;
        bool stream;
        const char* body;
    } cases[] = {
        {"/ok", true, "hello world"},
        {"/empty", true, ""},
        {"/moved", false, nullptr},
        {"/missing", false, nullptr},
    };
    for (const status_case& c : cases) {
        SCOPED_TRACE(c.path);
        auto_ptr_t<kiv::i_http_stream> reply(open(c.path));
        if (!c.stream) {
            EXPECT_FALSE(reply);
            EXPECT_EQ(client->get_error_code(), kiv::http_client_bad_reply);
            continue;
        }
        ASSERT_TRUE(reply);
        EXPECT_EQ(client->get_error_code(), 0);
        EXPECT_EQ(kiv_cast_i_http_stream(reply), reply.get());
        EXPECT_EQ(read_body(reply), c.body);
    }

    auto_ptr_t<kiv::i_http_stream> reply(open("/ok"));
    ASSERT_TRUE(reply);
    EXPECT_STREQ(reply->get_header_value("x-peer"), "ok");
    EXPECT_STREQ(reply->get_header_value("X-Absent"), "");
    auto_ptr_t<kiv::i_object_col> headers(reply->get_headers());
    ASSERT_TRUE(headers);
    std::vector<std::string> names;
    for (unsigned i = 0; i < headers->get_count(); ++i) {
        auto_ptr_t<kiv::i_object> item(headers->get_item_by_pos(i));
        names.push_back(kiv_cast_i_named_string(item)->get_name());
    }
    EXPECT_NE(std::find(names.begin(), names.end(), "Content-Type"), names.end());
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    }));
    EXPECT_EQ(read_body(reply), "hello world");
    reply->disconnect();
    EXPECT_STREQ(reply->get_header_value("X-Peer"), "");
    EXPECT_EQ(reply->get_headers(), nullptr);
}

TEST_F(http_client_test, http_client_bodies_chunked_early_and_oversized_head) {
    struct body_case {
        const char* path;
        const char* body;
    } cases[] = {
        {"/chunked", "hello 0123456789abcdefghijklmnopqrstuvwxyz"},
        {"/badchunk", "abc"},  // a bad chunk line ends the body; nothing after it
        {"/early", "first-second"},
    };
    for (const body_case& c : cases) {
        SCOPED_TRACE(c.path);
        auto_ptr_t<kiv::i_http_stream> reply(open(c.path));
        ASSERT_TRUE(reply);
        EXPECT_EQ(read_body(reply), c.body);
    }
    EXPECT_EQ(open("/bighead"), nullptr);
    EXPECT_EQ(client->get_error_code(), kiv::http_client_bad_reply);
}

TEST_F(http_client_test, http_client_refuses_replies_whose_lengths_cannot_be_trusted) {
    struct row {
        const char* path;
        bool accepted;
    };
    const row rows[] = {
        {"/length/5", true},
        {"/length/5+5", true},
        {"/length/5,5", true},
        {"/length/99999999999999999999", false},
        {"/length/9223372036854775808", false},
        {"/length/-1", false},
        {"/length/5+6", false},
        {"/length/5,6", false},
        {"/length/5x", false},
        {"/length/", false},
    };
    for (const row& r : rows) {
        auto_ptr_t<kiv::i_http_stream> reply(open(r.path));
        EXPECT_EQ(bool(reply), r.accepted) << r.path;
        if (r.accepted) {
            EXPECT_EQ(read_body(reply), "hello") << r.path;
        } else {
            EXPECT_EQ(client->get_error_code(), kiv::http_client_bad_reply) << r.path;
        }
    }
}

TEST_F(http_client_test, http_client_refuses_headers_with_line_breaks) {
    const char* refused[][2] = {
        {"X-Injected", "a\r\nX-Evil: 1"},
        {"X-Injected", "a\nX-Evil: 1"},
        {"X-Injected", "a\rX-Evil: 1"},
        {"X-Evil: 1\r\nX-Injected", "a"},
        {"X-Evil:", "a"},
        {"", "a"},
    };
    for (const auto& header : refused)
        client->set_header(header[0], header[1]);
    client->set_header("X-Plain", "a: b");
    auto_ptr_t<kiv::i_http_stream> reply(open("/echo"));
    ASSERT_TRUE(reply);
    std::string text = read_body(reply);
    EXPECT_EQ(text.find("X-Evil"), std::string::npos) << text;
    EXPECT_EQ(text.find("X-Injected"), std::string::npos) << text;
    EXPECT_NE(text.find("X-Plain: a: b\n"), std::string::npos) << text;
}

TEST_F(http_client_test, http_client_request_headers_methods_and_cookies) {
    auto_ptr_t<kiv::i_http_stream> reply(open("/echo"));
    ASSERT_TRUE(reply);
    std::string text = read_body(reply);
    EXPECT_EQ(text.rfind("GET /echo HTTP/1.1\n", 0), 0u) << text;
    for (const char* line : {"Content-Length: 0\n", "Accept: */*\n", "Connection: Close\n",
                             "User-Agent: kiv_http_client/", "Host: 127.0.0.1\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in " << text;
    EXPECT_EQ(text.find("Cookie:"), std::string::npos);

    // Set-Cookie with attributes: only the name and the whole value.
    reply.reset(open("/cookie"));
    ASSERT_TRUE(reply);
    EXPECT_STREQ(client->get_cookie("sid"), "abc==");
    auto_ptr_t<kiv::i_object_col> cookies(client->get_cookies());
    EXPECT_EQ(cookies->get_count(), 1u);

    client->set_header("host", "example.test");
    ASSERT_TRUE(client->set_request_method("POST"));
    const char body[] = "a=1&b=2";
    reply.reset(open("/echo", body, sizeof body - 1));
    ASSERT_TRUE(reply);
    text = read_body(reply);
    EXPECT_EQ(text.rfind("POST /echo HTTP/1.1\n", 0), 0u) << text;
    std::string encoded = take_text(kiv_text_encode("abc=="));
    EXPECT_NE(text.find("Cookie: sid=" + encoded + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Content-Length: 7\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ost: example.test\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Host: 127.0.0.1"), std::string::npos) << text;
    EXPECT_NE(text.find("body:a=1&b=2"), std::string::npos) << text;

    ASSERT_TRUE(client->set_request_method("HEAD"));
    reply.reset(open("/echo"));
    ASSERT_TRUE(reply);
    EXPECT_STREQ(reply->get_header_value("X-Peer"), "head");
    EXPECT_EQ(read_body(reply), "");
}

TEST_F(http_client_test, http_client_proxy_and_bypass) {
    recording_proxy proxy;
    ASSERT_NE(proxy.port, 0);
    http->set_proxy_server("127.0.0.1", proxy.port, "");

    struct target_case {
        const char* host;
        unsigned short port;
        const char* request_line;
    } cases[] = {
        {"origin.test", 8080, "GET http://origin.test:8080/p?q=1 HTTP/1.1\r\n"},
        {"origin.test", 80, "GET http://origin.test/p?q=1 HTTP/1.1\r\n"},
    };
    for (const target_case& c : cases) {
        auto_ptr_t<kiv::i_http_stream> reply(client->open("/p?q=1", c.host, c.port, nullptr, 0));
        ASSERT_TRUE(reply);
        EXPECT_EQ(read_body(reply), "proxied");
    }
    std::vector<std::string> heads = proxy.heads();
    ASSERT_EQ(heads.size(), 2u);
    for (size_t i = 0; i < heads.size(); ++i) {
        EXPECT_EQ(heads[i].rfind(cases[i].request_line, 0), 0u) << heads[i];
        EXPECT_NE(heads[i].find("\r\nHost: origin.test\r\n"), std::string::npos) << heads[i];
    }

    // A host on the bypass list, or a client told not to, goes direct.
    http->set_proxy_server("127.0.0.1", proxy.port, "other.test;127.0.0.*");
    auto_ptr_t<kiv::i_http_stream> reply(open("/ok"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(read_body(reply), "hello world");
    http->set_proxy_server("127.0.0.1", proxy.port, "");
    client->set_use_proxy(false);
    reply.reset(open("/ok"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(read_body(reply), "hello world");
    EXPECT_EQ(proxy.heads().size(), 2u);
    http->set_proxy_server(nullptr, 0, "");
}

TEST_F(http_client_test, http_client_timeout_ends_a_silent_peer) {
    recording_proxy silent(true);
    client->set_timeout(1);
    EXPECT_EQ(client->get_timeout(), 1u);
    EXPECT_EQ(client->open("/x", "127.0.0.1", silent.port, nullptr, 0), nullptr);
    EXPECT_EQ(client->get_error_code(), kiv::http_client_bad_reply);
}

}  // namespace
