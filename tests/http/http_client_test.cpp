// http_client_test.cpp --
//
//     The HTTP client against a Python http.server peer on 127.0.0.1 (two
//     ports), the library's own server, a recording proxy of the test's
//     own and tinyproxy: reply statuses and redirects, headers, cookies,
//     chunked and early body bytes, replies cut short or kept open past
//     their end, an oversized head, the request the client sends, and
//     the proxy with its bypass list.

#include "http_fixture.h"

#include <kiv/core/ascii_case.h>
#include <kiv/core/i_binary.h>
#include <kiv/core/process.h>
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
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
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
            unsigned first = 0, second = 0;
            if (std::fscanf(out, "%u %u", &first, &second) == 2) {
                port = static_cast<unsigned short>(first);
                other_port = static_cast<unsigned short>(second);
            }
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
    unsigned short other_port = 0;  // the same paths at a second origin

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

// Waits until the stream has delivered its whole body, then takes it.
std::string read_body(kiv::i_http_stream* stream) {
    while (!stream->is_finished())
        sleepms(5);
    auto_ptr_t<kiv::i_binary> bin(stream->get_binary(0, true));
    if (!bin)
        return "<null>";
    return std::string(static_cast<const char*>(bin->get_data()), bin->get_data_size());
}

class http_client_test : public kiv_test::http_framework {
protected:
    void SetUp() override {
        kiv_test::http_framework::SetUp();
        ASSERT_NE(peer.other_port, 0) << "python3 peer did not start";
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
        return kiv::ascii_stricmp(a.c_str(), b.c_str()) < 0;
    }));
    EXPECT_EQ(read_body(reply), "hello world");
    EXPECT_EQ(reply->get_error_code(), kiv::http_client_ok);
    // The pump has dropped the finished stream; its headers stay.
    reply->disconnect();
    EXPECT_STREQ(reply->get_header_value("X-Peer"), "ok");
    headers.reset(reply->get_headers());
    EXPECT_TRUE(headers);
}

TEST_F(http_client_test, http_client_keeps_the_status_and_headers_of_refused_replies) {
    struct row {
        const char* path;
        int status;
        const char* header;
        std::string value;
    } rows[] = {
        {"/redirect", 302, "location", "http://127.0.0.1:" + std::to_string(peer.other_port) + "/echo"},
        {"/missing", 404, "Content-Type", ""},
        {"/ok", 200, "X-Peer", "ok"},
    };
    for (const row& r : rows) {
        auto_ptr_t<kiv::i_http_stream> reply(open(r.path));
        EXPECT_EQ(bool(reply), r.status == 200) << r.path;
        EXPECT_EQ(client->get_error_code(), r.status == 200 ? 0 : kiv::http_client_bad_reply) << r.path;
        EXPECT_EQ(client->get_status(), r.status) << r.path;
        EXPECT_EQ(client->get_reply_header(r.header), r.value) << r.path;
    }

    // The caller follows the redirect to the other origin; Host names
    // that origin's port.
    ASSERT_TRUE(client->get_reply_header("X-Peer") != nullptr);
    auto_ptr_t<kiv::i_http_stream> refused(open("/redirect"));
    std::string location = client->get_reply_header("Location");
    unsigned short to_port = 0;
    char path[64] = "";
    ASSERT_EQ(std::sscanf(location.c_str(), "http://127.0.0.1:%hu%63s", &to_port, path), 2) << location;
    auto_ptr_t<kiv::i_http_stream> reply(client->open(path, "127.0.0.1", to_port, nullptr, 0));
    ASSERT_TRUE(reply);
    std::string text = read_body(reply);
    EXPECT_NE(text.find("Host: 127.0.0.1:" + std::to_string(peer.other_port) + "\n"), std::string::npos) << text;

    // Without a reply head there is nothing to read.
    unsigned short closed_port = 0;
    int fd = listen_local(&closed_port);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(client->open("/ok", "127.0.0.1", closed_port, nullptr, 0), nullptr);
    EXPECT_EQ(client->get_status(), 0);
    EXPECT_STREQ(client->get_reply_header("Location"), "");
}

// A body cut before its announced end ends the stream with an error;
// one that reaches its end, by length, last chunk or close, does not.
// The headers stay readable after the end.
TEST_F(http_client_test, http_client_reports_replies_cut_short) {
    struct row {
        const char* path;
        const char* body;
        int error;
    } rows[] = {
        {"/cut/length", "0123456789", kiv::http_client_cut_reply},
        {"/cut/chunk", "hello0123", kiv::http_client_cut_reply},
        {"/cut/between", "hello", kiv::http_client_cut_reply},
        {"/cut/trailer", "hello", kiv::http_client_cut_reply},
        {"/badchunk", "abc", kiv::http_client_cut_reply},
        {"/ok", "hello world", kiv::http_client_ok},
        {"/length/5", "hello", kiv::http_client_ok},
        {"/chunked", "hello 0123456789abcdefghijklmnopqrstuvwxyz", kiv::http_client_ok},
        {"/early", "first-second", kiv::http_client_ok},  // no length: the close ends it
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.path);
        auto_ptr_t<kiv::i_http_stream> reply(open(r.path));
        ASSERT_TRUE(reply);
        EXPECT_EQ(client->get_error_code(), kiv::http_client_ok);
        EXPECT_EQ(read_body(reply), r.body);
        EXPECT_EQ(reply->get_error_code(), r.error);
    }
    auto_ptr_t<kiv::i_http_stream> reply(open("/cut/length"));
    ASSERT_TRUE(reply);
    read_body(reply);
    EXPECT_STREQ(reply->get_header_value("Content-Length"), "100");
}

// The peer keeps each connection open after a whole reply (until the
// test ends): the stream ends at the body's end by itself, and takes no
// byte past it.
TEST_F(http_client_test, http_client_ends_at_the_body_end_on_a_connection_kept_open) {
    struct row {
        const char* method;
        const char* path;
        const char* body;
    } rows[] = {
        {"GET", "/keep/length", "hello"},
        {"GET", "/keep/chunked", "hello"},
        {"GET", "/keep/empty", ""},
        {"GET", "/keep/zero", ""},
        {"HEAD", "/keep/length", ""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.method) + " " + r.path);
        ASSERT_TRUE(client->set_request_method(r.method));
        auto_ptr_t<kiv::i_http_stream> reply(open(r.path));
        ASSERT_TRUE(reply);
        EXPECT_EQ(read_body(reply), r.body);
        EXPECT_EQ(reply->get_error_code(), kiv::http_client_ok);
    }
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
    std::string host = "Host: 127.0.0.1:" + std::to_string(peer.port) + "\n";
    for (const std::string& line : {std::string("Accept: */*\n"), std::string("Connection: Close\n"),
                                    std::string("User-Agent: kiv_http_client/"), host})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in " << text;
    EXPECT_EQ(text.find("Cookie:"), std::string::npos);
    EXPECT_EQ(text.find("Content-Length"), std::string::npos) << text;  // a GET without a body

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

    // A POST without a body still says so.
    auto_ptr_t<kiv::i_http_client> poster(http->create_client());
    ASSERT_TRUE(poster->set_request_method("POST"));
    reply.reset(poster->open("/echo", "127.0.0.1", peer.port, nullptr, 0));
    ASSERT_TRUE(reply);
    text = read_body(reply);
    EXPECT_NE(text.find("Content-Length: 0\n"), std::string::npos) << text;

    ASSERT_TRUE(client->set_request_method("HEAD"));
    reply.reset(open("/echo"));
    ASSERT_TRUE(reply);
    EXPECT_STREQ(reply->get_header_value("X-Peer"), "head");
    EXPECT_STREQ(reply->get_header_value("X-Content-Length"), "none");
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
        const char* host_line;
    } cases[] = {
        {"origin.test", 8080, "GET http://origin.test:8080/p?q=1 HTTP/1.1\r\n", "\r\nHost: origin.test:8080\r\n"},
        {"origin.test", 80, "GET http://origin.test/p?q=1 HTTP/1.1\r\n", "\r\nHost: origin.test\r\n"},
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
        EXPECT_NE(heads[i].find(cases[i].host_line), std::string::npos) << heads[i];
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

// Returns: the path of the program `name` on PATH (or in /usr/sbin);
//     "" when there is none.
std::string find_program(const char* name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(std::string(path != nullptr ? path : "") + ":/usr/sbin:/usr/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        std::string file = (dir.empty() ? "." : dir) + "/" + name;
        if (access(file.c_str(), X_OK) == 0)
            return file;
    }
    return "";
}

// tinyproxy on 127.0.0.1 at a free port, with its configuration, log and
// pid file in a temp folder of its own; stopped by SIGTERM at the end.
class tinyproxy_process {
public:
    // Returns: "" once it accepts connections, else why not.
    std::string start() {
        std::string program = find_program("tinyproxy");
        if (program.empty())
            return "tinyproxy is not installed (scripts/setup installs it)";
        port = kiv_test::free_port();
        if (port == 0)
            return "no free port";
        std::string conf = folder_.file("tinyproxy.conf");
        std::ofstream(conf) << "Port " << port << "\nListen 127.0.0.1\nTimeout 60\nMaxClients 20\n"
                            << "Allow 127.0.0.1\nLogLevel Info\nLogFile \"" << log_file() << "\"\nPidFile \""
                            << folder_.file("tinyproxy.pid") << "\"\n";
        pid_ = fork();
        if (pid_ == 0) {
            execl(program.c_str(), "tinyproxy", "-d", "-c", conf.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid_ < 0)
            return "fork failed";
        // Ready once it accepts.
        for (;;) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return "tinyproxy ended at start: " + kiv_test::read_all(log_file());
            }
            int fd = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in addr = kiv_test::loopback(port);
            bool up = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
            if (fd >= 0)
                close(fd);
            if (up)
                return "";
            sleepms(20);
        }
    }
    ~tinyproxy_process() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    std::string log_file() const { return folder_.file("tinyproxy.log"); }
    unsigned short port = 0;

private:
    kiv_test::temp_dir folder_;
    pid_t pid_ = -1;
};

// Through tinyproxy: whole, cut, kept-open and redirected replies, and
// the origin's port in the absolute target and the Host header.
TEST_F(http_client_test, http_client_through_tinyproxy) {
    tinyproxy_process proxy;
    std::string why = proxy.start();
    ASSERT_EQ(why, "");
    http->set_proxy_server("127.0.0.1", proxy.port, "");

    struct row {
        const char* path;
        bool stream;
        const char* body;  // "/echo": the start of the body
        int error;
    } rows[] = {
        {"/ok", true, "hello world", kiv::http_client_ok},
        {"/echo", true, "GET /echo HTTP/1.1\n", kiv::http_client_ok},
        {"/cut/length", true, "0123456789", kiv::http_client_cut_reply},
        {"/cut/chunk", true, "hello0123", kiv::http_client_cut_reply},
        {"/keep/length", true, "hello", kiv::http_client_ok},
        {"/redirect", false, nullptr, 0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.path);
        auto_ptr_t<kiv::i_http_stream> reply(open(r.path));
        ASSERT_EQ(bool(reply), r.stream) << kiv_test::read_all(proxy.log_file());
        if (!r.stream)
            continue;
        EXPECT_NE(std::string(reply->get_header_value("Via")).find("tinyproxy"), std::string::npos);
        std::string body = read_body(reply);
        if (std::strcmp(r.path, "/echo") == 0) {
            EXPECT_EQ(body.rfind(r.body, 0), 0u) << body;
            EXPECT_NE(body.find("Host: 127.0.0.1:" + std::to_string(peer.port) + "\n"), std::string::npos) << body;
        } else {
            EXPECT_EQ(body, r.body);
        }
        EXPECT_EQ(reply->get_error_code(), r.error);
    }
    EXPECT_EQ(client->get_status(), 302);
    EXPECT_EQ(std::string(client->get_reply_header("Location")),
              "http://127.0.0.1:" + std::to_string(peer.other_port) + "/echo");
    // Every request reached tinyproxy in the absolute form, port included.
    std::string log = kiv_test::read_all(proxy.log_file());
    EXPECT_NE(log.find("GET http://127.0.0.1:" + std::to_string(peer.port) + "/keep/length HTTP/1.1"),
              std::string::npos)
        << log;
    http->set_proxy_server(nullptr, 0, "");
}

// Against the library's own server on a port other than 80: a static
// file arrives whole, a missing one leaves its status readable.
class http_client_site_test : public kiv_test::http_site_framework {};

TEST_F(http_client_site_test, http_client_fetches_from_the_library_server) {
    std::string text;
    for (int i = 0; text.size() < 300000; ++i)
        text += "line " + std::to_string(i) + "\n";
    put("big.txt", text);
    auto_ptr_t<kiv::i_http_client> client(http->create_client());
    auto_ptr_t<kiv::i_http_stream> reply(client->open("/big.txt", "127.0.0.1", port, nullptr, 0));
    ASSERT_TRUE(reply);
    EXPECT_EQ(client->get_status(), 200);
    EXPECT_EQ(read_body(reply), text);
    EXPECT_EQ(reply->get_error_code(), kiv::http_client_ok);

    EXPECT_EQ(client->open("/absent.txt", "127.0.0.1", port, nullptr, 0), nullptr);
    EXPECT_EQ(client->get_error_code(), kiv::http_client_bad_reply);
    EXPECT_EQ(client->get_status(), 404);
}

}  // namespace
