// udp_conn.cpp --
//
//     Replies on a received datagram leave from the service's socket on
//     the receiving port, so the sender sees the answer come from the
//     port it wrote to.

#include "net/udp_conn.h"

#include "net/socket_service.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>

#include <sys/socket.h>
#include <unistd.h>

#include <climits>

namespace kiv {

namespace {

int sent_count(ssize_t n) {
    if (n < 0)
        return -1;
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

}  // namespace

udp_conn::udp_conn(const char* host, unsigned short client_port, unsigned short local_port, const sockaddr_in& sender,
                   const void* data, size_t size)
    : host_(host != nullptr ? host : ""), local_port_(local_port), client_port_(client_port), sender_(sender) {
    store_in_data(data, size);
}

bool udp_conn::disconnect() {
    connected_.store(false);
    return true;
}

bool udp_conn::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_udp_conn", static_cast<i_udp_conn*>(this), out) ||
        answer_interface(name, "i_inet_stream", static_cast<i_inet_stream*>(this), out) ||
        answer_interface(name, "i_input_stream", static_cast<i_input_stream*>(this), out) ||
        answer_interface(name, "i_output_stream", static_cast<i_output_stream*>(this), out) ||
        answer_interface(name, "i_io_stream", static_cast<i_io_stream*>(this), out))
        return true;
    return i_stream_impl::get_interface(name, out);
}

int udp_conn::write_impl(const char* data, unsigned size) {
    if (!connected_.load())
        return -1;
    i_core* core = kiv_core();
    if (core != nullptr) {
        auto_ptr_t<i_object> svc(core->get_service("svc_socket"));
        socket_service* sockets = dynamic_cast<socket_service*>(kiv_cast_i_socket_service(svc));
        // Sent through a duplicate: the service may close its socket on
        // another thread while this one sends.
        int socket = sockets != nullptr ? sockets->duplicate_udp_socket(local_port_) : -1;
        if (socket >= 0) {
            ssize_t n = sendto(socket, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sender_),
                               sizeof sender_);
            close(socket);
            return sent_count(n);
        }
    }
    return send_from_fresh_socket(data, size);
}

int udp_conn::send_from_fresh_socket(const char* data, unsigned size) {
    int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return -1;
    if (local_port_ != 0) {
        // When the port is taken by a socket without address reuse, the
        // bind fails and the reply leaves from a port of the system's
        // choosing rather than not at all.
        int on = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_ANY);
        local.sin_port = htons(local_port_);
        bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    }
    ssize_t n = sendto(socket, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sender_), sizeof sender_);
    close(socket);
    return sent_count(n);
}

}  // namespace kiv

kiv::i_udp_conn* kiv_cast_i_udp_conn(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_udp_conn>(obj, "i_udp_conn");
}
