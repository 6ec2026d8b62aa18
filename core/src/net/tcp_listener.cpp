// tcp_listener.cpp --
//
//     Listeners take the connections of their port from the socket
//     service's events and end each event's dispatch: a connection that
//     reached a listener is the listener's, kept or closed.

#include "net/net_util.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/tcp_listener.h>

#include <cstring>

namespace kiv {

namespace {

const char* const conn_event = "KIV_EVT_TCP_CONN_OPENED";

}  // namespace

tcp_listener::~tcp_listener() {
    tcp_listener::stop();
}

bool tcp_listener::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_tcp_listener", static_cast<i_tcp_listener*>(this), out))
        return true;
    return object::get_interface(name, out);
}

unsigned tcp_listener::get_listen_count() {
    return 4096;
}

bool tcp_listener::init(const char* addr, unsigned short port) {
    if (addr == nullptr || port == 0)
        return false;
    stop();
    std::string address = *addr == '\0' ? std::string("*") : std::string(addr);
    {
        mutex_locker lock(&lock_);
        port_ = port;
        address_ = address;
    }
    kiv_install_handler(conn_event, port, this, static_cast<kiv_event_function>(&tcp_listener::on_tcp_conn));
    i_core* core = kiv_core();
    if (core == nullptr)
        return false;
    auto_ptr_t<i_object> svc(core->get_service("svc_socket"));
    i_socket_service* sockets = kiv_cast_i_socket_service(svc);
    return sockets != nullptr && sockets->open_tcp_socket(address.c_str(), port, get_listen_count());
}

bool tcp_listener::stop() {
    uint16_t port;
    std::string address;
    {
        mutex_locker lock(&lock_);
        port = port_;
        address.swap(address_);
        port_ = 0;
    }
    if (port == 0)
        return true;
    kiv_uninstall_handler(conn_event, port, this, static_cast<kiv_event_function>(&tcp_listener::on_tcp_conn));
    i_core* core = kiv_core();
    if (core != nullptr) {
        auto_ptr_t<i_object> svc(core->get_service("svc_socket"));
        i_socket_service* sockets = kiv_cast_i_socket_service(svc);
        if (sockets != nullptr)
            sockets->close_tcp_socket(address.c_str(), port);
    }
    return true;
}

bool tcp_listener::check_addr(const char* host, unsigned short port) {
    if (host == nullptr)
        return false;
    mutex_locker lock(&lock_);
    if (port_ == 0 || port != port_)
        return false;
    if (address_ == host)
        return true;
    return address_ == "*" && *host == '\0';
}

bool tcp_listener::on_tcp_conn(i_event* event) {
    if (event == nullptr)
        return true;
    auto_ptr_t<i_object> object(event->get_event_object());
    i_typed_object* conn = kiv_cast_i_typed_object(object);
    i_named_object* peer = kiv_cast_i_named_object(object);
    if (conn == nullptr || peer == nullptr)
        return true;
    int socket = static_cast<int>(conn->get_id());
    if (!on_connection(socket, peer->get_name()))
        net::close_socket(socket);
    return false;
}

}  // namespace kiv

kiv::i_tcp_listener* kiv_cast_i_tcp_listener(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_tcp_listener>(obj, "i_tcp_listener");
}
