// socket_test.cpp --
//
//     The socket service on 127.0.0.1 with free ports, inside a running
//     core: the bookkeeping of opened sockets, connections handed to
//     listeners or closed when nobody keeps them (also when their event
//     can never be delivered), datagrams delivered as streams and
//     answered from the receiving port, peers that reset, and many
//     connections at once.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_event.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/i_socket_service.h>
#include <kiv/core/tcp_listener.h>

#include "core_session.h"
#include "net_peer.h"

#include <fcntl.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace kiv;
using namespace kiv_test;

namespace {

i_socket_service* sockets(auto_ptr_t<i_object>& holder) {
    holder.reset(kiv_core()->get_service("svc_socket"));
    return kiv_cast_i_socket_service(holder);
}

// Greets every connection, closes it and remembers the peers. With
// `keep` false it declines each connection instead.
class greeting_listener : public tcp_listener {
public:
    explicit greeting_listener(const char* text, bool keep = true) : text_(text), keep_(keep) {}
    ~greeting_listener() override { stop(); }

    bool on_connection(int socket, const char* host) override {
        {
            std::lock_guard<std::mutex> lock(lock_);
            hosts_.push_back(host);
            non_blocking_ = non_blocking_ && (fcntl(socket, F_GETFL) & O_NONBLOCK) != 0;
        }
        connections.fetch_add(1);
        if (!keep_)
            return false;
        kiv_net_send(socket, text_.data(), static_cast<unsigned>(text_.size()), 5);
        close(socket);
        return true;
    }
    std::vector<std::string> hosts() {
        std::lock_guard<std::mutex> lock(lock_);
        return hosts_;
    }
    bool all_non_blocking() {
        std::lock_guard<std::mutex> lock(lock_);
        return non_blocking_;
    }

    std::atomic<int> connections{0};

private:
    std::string text_;
    bool keep_;
    std::mutex lock_;
    std::vector<std::string> hosts_;
    bool non_blocking_ = true;
};

// Reads "ping" from each connection and answers "pong"; records whether
// the four bytes came.
class ping_listener : public tcp_listener {
public:
    ~ping_listener() override { stop(); }
    bool on_connection(int socket, const char*) override {
        char buffer[4];
        bool got = kiv_net_recv(socket, buffer, 4, 5) && std::memcmp(buffer, "ping", 4) == 0;
        if (got)
            kiv_net_send(socket, "pong", 4, 5);
        (got ? answered : failed).fetch_add(1);
        close(socket);
        return true;
    }
    std::atomic<int> answered{0};
    std::atomic<int> failed{0};
};

// A handler of the connection event that looks and passes it on.
class passing_handler : public object {
public:
    bool on_conn(i_event* event) {
        auto_ptr_t<i_object> obj(event->get_event_object());
        i_named_string* conn = kiv_cast_i_named_string(obj);
        if (conn != nullptr) {
            std::lock_guard<std::mutex> lock(lock_);
            peer = conn->get_name();
            listen_address = conn->get_value();
        }
        calls.fetch_add(1);
        return true;
    }
    std::atomic<int> calls{0};
    std::mutex lock_;
    std::string peer;
    std::string listen_address;
};

// Keeps every datagram connection it is given.
class datagram_sink : public object {
public:
    bool on_packet(i_event* event) {
        auto_ptr_t<i_object> obj(event->get_event_object());
        i_udp_conn* conn = kiv_cast_i_udp_conn(obj);
        if (conn != nullptr) {
            std::lock_guard<std::mutex> lock(lock_);
            conn->addref();
            conns_.emplace_back(conn);
            count.fetch_add(1);
        }
        return false;
    }
    auto_ptr_t<i_udp_conn> get(size_t i) {
        std::lock_guard<std::mutex> lock(lock_);
        return i < conns_.size() ? conns_[i] : auto_ptr_t<i_udp_conn>();
    }
    std::atomic<int> count{0};

private:
    std::mutex lock_;
    std::vector<auto_ptr_t<i_udp_conn>> conns_;
};

const char* const conn_event = "KIV_EVT_TCP_CONN_OPENED";
const char* const udp_event = "KIV_EVT_UDP_PACKET_RECEIVED";

// A running core, its socket service and a free UDP port whose packet
// events go to `sink` while this lives.
struct udp_session {
    udp_session() {
        kiv_install_handler(udp_event, port, &sink, static_cast<kiv_event_function>(&datagram_sink::on_packet));
    }
    ~udp_session() {
        kiv_uninstall_handler(udp_event, port, &sink, static_cast<kiv_event_function>(&datagram_sink::on_packet));
    }
    udp_session(const udp_session&) = delete;
    udp_session& operator=(const udp_session&) = delete;

    datagram_sink sink;  // outlives the session, whose threads deliver to it
    core_session session;
    auto_ptr_t<i_object> holder;
    i_socket_service* svc = sockets(holder);  // borrowed from holder
    uint16_t port = free_port(SOCK_DGRAM);
};

// A UDP socket of the test on 127.0.0.1 (any port), blocking.
int udp_client() {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return fd;
}

void send_datagram(int fd, uint16_t port, const std::string& data) {
    sockaddr_in to = loopback(port);
    sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

// Returns: the next datagram that arrives and the port it came from.
std::pair<std::string, uint16_t> receive_datagram(int fd) {
    char buffer[2048];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    ssize_t n = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    return {std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0), ntohs(from.sin_port)};
}

}  // namespace

TEST(socket_service, bookkeeping_of_opened_ports_by_address_text_and_kind) {
    core_session session;
    auto_ptr_t<i_object> holder;
    i_socket_service* svc = sockets(holder);
    ASSERT_NE(svc, nullptr);
    uint16_t port = free_port();
    EXPECT_FALSE(svc->open_tcp_socket("127.0.0.1", port, 0));  // backlog 0, nothing entered
    EXPECT_FALSE(svc->open_tcp_socket(nullptr, port, 10));
    EXPECT_FALSE(svc->open_tcp_socket("127.0.0.1", 0, 10));
    EXPECT_FALSE(svc->open_udp_socket("127.0.0.1", 70000));
    EXPECT_EQ(svc->get_port_socket(port), -1);

    EXPECT_TRUE(svc->open_tcp_socket("127.0.0.1", port, 10));
    EXPECT_FALSE(svc->open_tcp_socket("127.0.0.1", port, 10));
    EXPECT_TRUE(svc->open_tcp_socket("127.0.0.2", port, 10));  // another address text
    EXPECT_TRUE(svc->open_udp_socket("127.0.0.1", port));      // the other kind
    int udp = svc->get_port_socket(port);
    EXPECT_GE(udp, 0);

    EXPECT_FALSE(svc->close_udp_socket("127.0.0.2", port));
    EXPECT_TRUE(svc->close_udp_socket("127.0.0.1", port));
    EXPECT_FALSE(svc->close_udp_socket("127.0.0.1", port));
    // The port now names the newest socket still open on it, never a closed one.
    int newest = svc->get_port_socket(port);
    EXPECT_GE(newest, 0);
    EXPECT_TRUE(svc->close_tcp_socket("127.0.0.2", port));
    EXPECT_NE(svc->get_port_socket(port), newest);
    EXPECT_TRUE(svc->close_tcp_socket("127.0.0.1", port));
    EXPECT_EQ(svc->get_port_socket(port), -1);
}

TEST(socket_service, an_empty_address_and_the_star_are_one_entry) {
    core_session session;
    auto_ptr_t<i_object> holder;
    i_socket_service* svc = sockets(holder);
    uint16_t port = free_port(SOCK_DGRAM);
    EXPECT_TRUE(svc->open_udp_socket("", port));
    EXPECT_FALSE(svc->open_udp_socket("*", port));
    EXPECT_TRUE(svc->close_udp_socket("*", port));
    EXPECT_TRUE(svc->open_udp_socket("*", port));
    EXPECT_TRUE(svc->close_udp_socket("", port));
}

TEST(socket_service, a_listener_gets_each_connection_of_its_port_as_a_non_blocking_socket) {
    greeting_listener listener("hello");
    core_session session;
    uint16_t port = free_port();
    ASSERT_TRUE(listener.init("127.0.0.1", port));
    EXPECT_TRUE(listener.check_addr("127.0.0.1", port));
    EXPECT_FALSE(listener.check_addr("127.0.0.1", port + 1));
    EXPECT_FALSE(listener.check_addr("", port));
    for (int i = 0; i < 3; ++i) {
        fd_holder client(connect_tcp(port));
        ASSERT_GE(client.get(), 0);
        EXPECT_EQ(read_until_closed(client.get()), "hello");
    }
    EXPECT_EQ(listener.connections, 3);
    EXPECT_EQ(listener.hosts(), (std::vector<std::string>{"127.0.0.1", "127.0.0.1", "127.0.0.1"}));
    EXPECT_TRUE(listener.all_non_blocking());
    listener.stop();
    EXPECT_FALSE(listener.check_addr("127.0.0.1", port));
    EXPECT_EQ(connect_tcp(port), -1);  // the port is closed
}

TEST(socket_service, a_listener_on_any_address_matches_only_the_empty_host) {
    greeting_listener listener("x");
    core_session session;
    uint16_t port = free_port();
    ASSERT_TRUE(listener.init("", port));
    EXPECT_TRUE(listener.check_addr("", port));
    EXPECT_FALSE(listener.check_addr("127.0.0.1", port));
    EXPECT_FALSE(listener.check_addr(nullptr, port));
}

TEST(socket_service, the_listener_installed_last_on_a_port_takes_every_connection) {
    greeting_listener first("first");
    greeting_listener second("second");
    core_session session;
    uint16_t port = free_port();
    ASSERT_TRUE(first.init("127.0.0.1", port));
    EXPECT_FALSE(second.init("127.0.0.1", port));  // the port is open already; the handler stays
    for (int i = 0; i < 2; ++i) {
        fd_holder client(connect_tcp(port));
        EXPECT_EQ(read_until_closed(client.get()), "second");
    }
    EXPECT_EQ(first.connections, 0);
}

TEST(socket_service, a_connection_nobody_keeps_is_closed) {
    greeting_listener declining("unused", false);
    passing_handler passer;
    core_session session;
    auto_ptr_t<i_object> holder;
    i_socket_service* svc = sockets(holder);

    uint16_t bare = free_port();
    ASSERT_TRUE(svc->open_tcp_socket("127.0.0.1", bare, 16));
    fd_holder a(connect_tcp(bare));
    EXPECT_EQ(read_until_closed(a.get()), "");

    uint16_t passed = free_port();
    kiv_install_handler(conn_event, passed, &passer, static_cast<kiv_event_function>(&passing_handler::on_conn));
    ASSERT_TRUE(svc->open_tcp_socket("*", passed, 16));
    fd_holder b(connect_tcp(passed));
    EXPECT_EQ(read_until_closed(b.get()), "");
    EXPECT_EQ(passer.calls, 1);
    {
        std::lock_guard<std::mutex> lock(passer.lock_);
        EXPECT_EQ(passer.peer, "127.0.0.1");
        EXPECT_EQ(passer.listen_address, "*");
    }
    kiv_uninstall_handler(conn_event, passed, &passer, static_cast<kiv_event_function>(&passing_handler::on_conn));

    uint16_t declined = free_port();
    ASSERT_TRUE(declining.init("127.0.0.1", declined));
    fd_holder c(connect_tcp(declined));
    EXPECT_EQ(read_until_closed(c.get()), "");
    EXPECT_EQ(declining.connections, 1);
}

TEST(socket_service, a_connection_whose_event_cannot_be_delivered_is_closed_not_leaked) {
    core_session session;
    auto_ptr_t<i_object> holder;
    i_socket_service* svc = sockets(holder);
    ASSERT_TRUE(kiv_core()->unregister_service("svc_event"));
    uint16_t port = free_port();
    ASSERT_TRUE(svc->open_tcp_socket("127.0.0.1", port, 16));
    fd_holder client(connect_tcp(port));
    EXPECT_EQ(read_until_closed(client.get()), "");
}

TEST(socket_service, a_peer_that_resets_does_not_disturb_the_others) {
    ping_listener listener;
    core_session session;
    uint16_t port = free_port();
    ASSERT_TRUE(listener.init("127.0.0.1", port));
    {
        fd_holder rude(connect_tcp(port));
        linger hard{1, 0};
        setsockopt(rude.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }  // closed with a reset
    fd_holder polite(connect_tcp(port));
    ASSERT_EQ(send(polite.get(), "ping", 4, 0), 4);
    EXPECT_EQ(read_until_closed(polite.get()), "pong");
    EXPECT_EQ(listener.answered, 1);
    eventually([&] { return listener.failed.load() <= 1; });
}

TEST(socket_service, many_connections_at_once_are_all_served) {
    greeting_listener listener("ok");
    core_session session;
    uint16_t port = free_port();
    ASSERT_TRUE(listener.init("127.0.0.1", port));
    const int threads = 8, per_thread = 40;
    std::atomic<int> greeted{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < threads; ++t)
        clients.emplace_back([&] {
            for (int i = 0; i < per_thread; ++i) {
                fd_holder c(connect_tcp(port));
                if (c.get() >= 0 && read_until_closed(c.get()) == "ok")
                    greeted.fetch_add(1);
            }
        });
    for (std::thread& c : clients)
        c.join();
    EXPECT_EQ(greeted, threads * per_thread);
    EXPECT_EQ(listener.connections, threads * per_thread);
}

TEST(socket_service, a_datagram_arrives_as_a_stream_and_replies_leave_from_the_bound_port) {
    udp_session udp;
    datagram_sink& sink = udp.sink;
    i_socket_service* svc = udp.svc;
    uint16_t port = udp.port;
    ASSERT_TRUE(svc->open_udp_socket("127.0.0.1", port));
    fd_holder client(udp_client());
    std::string data(100, 'd');
    send_datagram(client.get(), port, data);
    eventually([&] { return sink.count.load() == 1; });

    auto_ptr_t<i_udp_conn> conn = sink.get(0);
    EXPECT_EQ(conn->get_in_buffer_size(), 100u);
    EXPECT_STREQ(conn->get_host(), "127.0.0.1");
    EXPECT_EQ(conn->get_client_port(), local_port(client.get()));
    EXPECT_EQ(conn->get_port(), port);
    EXPECT_NE(kiv_cast_i_io_stream(conn), nullptr);
    char* text = conn->get_text("", true);
    EXPECT_EQ(std::string(text), data);
    free(text);

    EXPECT_TRUE(conn->put_text("answer"));
    EXPECT_EQ(receive_datagram(client.get()), std::make_pair(std::string("answer"), port));

    // Once the service's socket is gone the reply still leaves from the port.
    EXPECT_TRUE(svc->close_udp_socket("127.0.0.1", port));
    EXPECT_TRUE(conn->put_text("late"));
    EXPECT_EQ(receive_datagram(client.get()), std::make_pair(std::string("late"), port));
    conn->disconnect();
    EXPECT_FALSE(conn->put_text("never"));
}

TEST(socket_service, an_empty_datagram_is_delivered_and_the_port_stays_open) {
    udp_session udp;
    datagram_sink& sink = udp.sink;
    i_socket_service* svc = udp.svc;
    uint16_t port = udp.port;
    ASSERT_TRUE(svc->open_udp_socket("*", port));
    int socket = svc->get_port_socket(port);
    fd_holder client(udp_client());
    send_datagram(client.get(), port, "");
    send_datagram(client.get(), port, "after");
    eventually([&] { return sink.count.load() == 2; });
    EXPECT_EQ(sink.get(0)->get_in_buffer_size() + sink.get(1)->get_in_buffer_size(), 5u);
    EXPECT_EQ(svc->get_port_socket(port), socket);
}

TEST(socket_service, shut_down_closes_every_port) {
    uint16_t port = free_port();
    {
        core_session session;
        auto_ptr_t<i_object> holder;
        ASSERT_TRUE(sockets(holder)->open_tcp_socket("127.0.0.1", port, 16));
    }
    EXPECT_EQ(connect_tcp(port), -1);
}
