// socket_service.cpp --
//
//     The socket service: opening and closing bound sockets, and the
//     socket thread that serves them all. Each pass walks the entries in
//     port order under the service mutex, accepts pending connections and
//     receives pending datagrams, and raises one queued event for each;
//     a pass that found nothing waits in poll() on every socket, bounded
//     by 5 ms, so new entries and a stop request are seen soon.
//
//     A datagram socket is closed for good only on a fatal error: an
//     empty datagram is a datagram, and a refused or reset peer reported
//     on a receive (the echo of an earlier reply) is passing news.

#include "net/socket_service.h"

#include "net/net_util.h"
#include "net/tcp_conn_event.h"
#include "net/udp_conn.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/log.h>

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace kiv {

namespace {

const char* const conn_event = "KIV_EVT_TCP_CONN_OPENED";
const char* const udp_event = "KIV_EVT_UDP_PACKET_RECEIVED";
const unsigned idle_wait_ms = 5;
const unsigned stop_wait_seconds = 30;
const size_t receive_buffer_size = 8388608;
// Per entry and pass, so one busy port cannot starve the others.
const unsigned accept_batch = 16;
const unsigned receive_batch = 64;

std::string entry_address(const char* address) {
    return *address == '\0' ? std::string("*") : std::string(address);
}

}  // namespace

socket_service::socket_service() {
    create_thread(this, static_cast<thread_function>(&socket_service::socket_thread), nullptr);
    // Through the event service held from here on: the service is
    // released after "svc_event" at shut-down and must still uninstall
    // (and wait for a callback under way).
    events_.reset(find_service("svc_event"));
    if (i_event_proc* proc = kiv_cast_i_event_proc(events_))
        proc->install_handler(proc->get_event_type(conn_event), 0, this,
                              static_cast<kiv_event_function>(&socket_service::on_unclaimed_conn));
}

socket_service::~socket_service() {
    if (!stop_threads(stop_wait_seconds))
        kiv_log(0, "socket_service: the socket thread did not stop");
    {
        mutex_locker lock(&lock_);
        for (auto& item : entries_)
            net::close_socket(item.second.socket);
        entries_.clear();
        port_map_.clear();
    }
    if (i_event_proc* proc = kiv_cast_i_event_proc(events_))
        proc->uninstall_handler(proc->get_event_type(conn_event), 0, this,
                                static_cast<kiv_event_function>(&socket_service::on_unclaimed_conn));
}

bool socket_service::last_reference_dropped() {
    if (stop_threads(stop_wait_seconds))
        return true;
    kiv_log(0, "socket_service: the socket thread did not stop in %u s; the service is left in memory",
            stop_wait_seconds);
    return false;
}

bool socket_service::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_socket_service", static_cast<i_socket_service*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool socket_service::open_tcp_socket(const char* address, unsigned port, unsigned backlog) {
    if (backlog == 0)
        return false;
    return open_socket(address, port, backlog, true);
}

bool socket_service::open_udp_socket(const char* address, unsigned port) {
    return open_socket(address, port, 0, false);
}

bool socket_service::close_tcp_socket(const char* address, unsigned port) {
    return close_socket(address, port, true);
}

bool socket_service::close_udp_socket(const char* address, unsigned port) {
    return close_socket(address, port, false);
}

int socket_service::get_port_socket(unsigned short port) {
    mutex_locker lock(&lock_);
    auto it = port_map_.find(port);
    return it != port_map_.end() ? it->second : -1;
}

int socket_service::duplicate_udp_socket(unsigned short port) {
    mutex_locker lock(&lock_);
    auto it = port_map_.find(port);
    if (it == port_map_.end())
        return -1;
    // The port map may name a TCP listener opened later on the same port.
    int type = 0;
    socklen_t length = sizeof type;
    if (getsockopt(it->second, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_DGRAM)
        return -1;
    return fcntl(it->second, F_DUPFD_CLOEXEC, 0);
}

bool socket_service::open_socket(const char* address, unsigned port, unsigned backlog, bool tcp) {
    if (address == nullptr || port == 0 || port > 65535)
        return false;
    std::string text = entry_address(address);
    uint16_t port16 = static_cast<uint16_t>(port);

    // Resolved before the mutex: a slow resolver must not stall the
    // socket thread's passes.
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port16);
    if (text == "*") {
        local.sin_addr.s_addr = htonl(INADDR_ANY);
    } else {
        std::vector<sockaddr_in> found;
        if (!net::resolve_ipv4(text.c_str(), tcp ? SOCK_STREAM : SOCK_DGRAM, found)) {
            kiv_log(0, "socket_service: Error resolving address '%s'.", text.c_str());
            return false;
        }
        local.sin_addr = found.front().sin_addr;
    }

    mutex_locker lock(&lock_);
    auto range = entries_.equal_range(port16);
    for (auto it = range.first; it != range.second; ++it)
        if (it->second.tcp == tcp && it->second.address == text)
            return false;
    int fd = socket(AF_INET, (tcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        kiv_log(0, "socket_service: Error creating socket: %s", std::strerror(errno));
        return false;
    }
    if (!net::set_non_blocking(fd)) {
        kiv_trace("socket_service: Error setting socket options.");
        net::close_socket(fd);
        return false;
    }
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        // The system's reason ends the line, for a host to show why it
        // cannot serve (kiv_last_log_error).
        kiv_log(0, "socket_service: Error binding socket to address [%s] : [%d]. %s", text.c_str(),
                static_cast<int>(port), std::strerror(errno));
        net::close_socket(fd);
        return false;
    }
    if (tcp && listen(fd, backlog > INT_MAX ? INT_MAX : static_cast<int>(backlog)) != 0) {
        kiv_log(0, "socket_service: Error listening socket: %s", std::strerror(errno));
        net::close_socket(fd);
        return false;
    }
    port_map_[port16] = fd;
    entries_.emplace(port16, entry{port16, fd, tcp, text, next_serial_++});
    return true;
}

bool socket_service::close_socket(const char* address, unsigned port, bool tcp) {
    if (address == nullptr || port == 0 || port > 65535)
        return false;
    std::string text = entry_address(address);
    uint16_t port16 = static_cast<uint16_t>(port);
    mutex_locker lock(&lock_);
    auto range = entries_.equal_range(port16);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second.tcp != tcp || it->second.address != text)
            continue;
        net::close_socket(it->second.socket);
        entries_.erase(it);
        remap_port(port16);
        return true;
    }
    return false;
}

void socket_service::remap_port(uint16_t port) {
    // The map must never name a closed socket: its number may already
    // belong to another file.
    const entry* newest = nullptr;
    auto range = entries_.equal_range(port);
    for (auto it = range.first; it != range.second; ++it)
        if (newest == nullptr || it->second.serial > newest->serial)
            newest = &it->second;
    if (newest != nullptr)
        port_map_[port] = newest->socket;
    else
        port_map_.erase(port);
}

unsigned socket_service::accept_from(const entry& e, bool& starved) {
    unsigned handed = 0;
    for (unsigned attempts = 0; attempts < accept_batch; ++attempts) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        int fd = accept4(e.socket, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors: the pending connection stays readable,
            // so the thread rests instead of polling it in a spin.
            if (errno == EMFILE || errno == ENFILE || errno == ENOMEM)
                starved = true;
            if (errno == ECONNABORTED || errno == EINTR || errno == EPROTO)
                continue;
            break;
        }
        char text[INET_ADDRSTRLEN];
        if (peer.sin_family != AF_INET || inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text) == nullptr) {
            net::close_socket(fd);
            kiv_trace("socket_service: invalid hostname");
            continue;
        }
        tcp_conn_event_object* conn = new tcp_conn_event_object(fd, text, e.address.c_str());
        conn->addref();
        kiv_generate_event(conn_event, e.port, conn, false);
        conn->release();
        ++handed;
    }
    return handed;
}

unsigned socket_service::receive_from(const entry& e, char*& buffer, bool& fatal) {
    if (buffer == nullptr) {
        buffer = static_cast<char*>(malloc(receive_buffer_size));
        if (buffer == nullptr)
            return 0;
    }
    unsigned handed = 0;
    for (unsigned attempts = 0; attempts < receive_batch; ++attempts) {
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        ssize_t n = recvfrom(e.socket, buffer, receive_buffer_size, 0, reinterpret_cast<sockaddr*>(&sender), &length);
        if (n < 0) {
            if (errno == ECONNREFUSED || errno == ECONNRESET || errno == EINTR)
                continue;
            if (!net::transient_error(errno))
                fatal = true;
            break;
        }
        char text[INET_ADDRSTRLEN] = "";
        if (sender.sin_family == AF_INET)
            inet_ntop(AF_INET, &sender.sin_addr, text, sizeof text);
        udp_conn* conn = new udp_conn(text, ntohs(sender.sin_port), e.port, sender, buffer, static_cast<size_t>(n));
        conn->addref();
        kiv_generate_event(udp_event, e.port, conn, false);
        conn->release();
        ++handed;
    }
    return handed;
}

void socket_service::collect_poll_set(std::vector<pollfd>& fds) {
    fds.clear();
    for (const auto& item : entries_)
        fds.push_back(pollfd{item.second.socket, POLLIN, 0});
}

void socket_service::socket_thread(void*) {
    char* buffer = nullptr;  // the datagram buffer, made on first need
    std::vector<pollfd> fds;
    std::vector<entry> failed;
    while (thread_running() && kiv_is_running()) {
        unsigned handed = 0;
        bool starved = false;
        {
            mutex_locker lock(&lock_);
            failed.clear();
            for (const auto& item : entries_) {
                const entry& e = item.second;
                if (e.tcp) {
                    handed += accept_from(e, starved);
                } else {
                    bool fatal = false;
                    handed += receive_from(e, buffer, fatal);
                    if (fatal)
                        failed.push_back(e);
                }
            }
            for (const entry& e : failed)
                close_udp_socket(e.address.c_str(), e.port);
            if (handed == 0)
                collect_poll_set(fds);
        }
        if (handed > 0)
            continue;
        // Sockets closed by other threads meanwhile just time the poll
        // out: the next pass walks the entries as they are then.
        if (starved || fds.empty())
            pause_thread(idle_wait_ms);
        else
            poll(fds.data(), fds.size(), static_cast<int>(idle_wait_ms));
    }
    free(buffer);
}

bool socket_service::on_unclaimed_conn(i_event* event) {
    if (event == nullptr)
        return true;
    auto_ptr_t<i_object> object(event->get_event_object());
    i_typed_object* conn = kiv_cast_i_typed_object(object);
    if (conn != nullptr)
        net::close_socket(static_cast<int>(conn->get_id()));
    return false;
}

}  // namespace kiv

kiv::i_socket_service* kiv_cast_i_socket_service(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_socket_service>(obj, "i_socket_service");
}
