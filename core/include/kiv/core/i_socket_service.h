// i_socket_service.h --
//
//     The socket service ("svc_socket") and the plain socket helpers.
//     The service owns every listening TCP socket and every bound UDP
//     socket of the process and serves them from one thread: each
//     accepted connection is announced as the queued event
//     "KIV_EVT_TCP_CONN_OPENED" and each datagram as
//     "KIV_EVT_UDP_PACKET_RECEIVED", both with the local port as event id.
//
//     A connection's event object is an i_typed_object whose id is the
//     accepted socket and an i_named_object whose name is the peer's
//     dotted address (its text value is the listening address). Whoever
//     wants the connections of a port installs a handler for that port
//     (object id = port); a handler that keeps the socket returns false
//     and closes it when done; one that returns true passes it on. A
//     connection nobody keeps is closed by the service. A datagram's
//     event object is an i_udp_conn holding the datagram as its input;
//     writing to it answers the sender from the receiving port.
//
//         auto_ptr_t<i_object> svc(kiv_core()->get_service("svc_socket"));
//         i_socket_service* sockets = kiv_cast_i_socket_service(svc);
//         if (sockets != nullptr && sockets->open_udp_socket("*", 5353)) ...
//
//     Addresses are IPv4; "*" or the empty text means any address.

#ifndef KIV_CORE_I_SOCKET_SERVICE_H
#define KIV_CORE_I_SOCKET_SERVICE_H

#include <kiv/core/i_stream.h>

namespace kiv {

class i_socket_service : public virtual i_object {
public:
    // Opens a listening TCP socket on (address, port).
    // Returns: false for a null address, port 0 or above 65535, backlog
    //     0, an entry with the same address text and port already open,
    //     or a socket, address, bind or listen failure (logged).
    virtual bool open_tcp_socket(const char* address, unsigned port, unsigned backlog) = 0;
    // Closes the listening socket opened with this address text and port.
    // Returns: false when there is none.
    virtual bool close_tcp_socket(const char* address, unsigned port) = 0;
    // Opens a bound UDP socket; as open_tcp_socket.
    virtual bool open_udp_socket(const char* address, unsigned port) = 0;
    virtual bool close_udp_socket(const char* address, unsigned port) = 0;
    // Returns: the socket most recently opened on `port` that is still
    //     open, or -1.
    virtual int get_port_socket(unsigned short port) = 0;

protected:
    ~i_socket_service() = default;
};

class i_tcp_listener : public virtual i_object {
public:
    // Returns: whether a connection to (host, port) is for this listener:
    //     the port must be its port, and host its address text (an empty
    //     host matches a listener on "*").
    virtual bool check_addr(const char* host, unsigned short port) = 0;

protected:
    ~i_tcp_listener() = default;
};

// One received datagram. Its input holds the datagram; each put_ call
// sends one datagram back to the sender.
class i_udp_conn : public virtual i_inet_stream {
public:
    // Returns: the sender's port.
    virtual unsigned short get_client_port() = 0;

protected:
    ~i_udp_conn() = default;
};

}  // namespace kiv

// Returns: true when the calling thread's last socket error is a real
//     one; false for none, would-block, in-progress, already, no buffer
//     space and an interrupted call.
KIV_EXTERN_C bool kiv_net_error();
// Sends all `size` bytes on a (non-blocking) socket, waiting while the
// socket is full; at most `timeout` seconds (0: no limit). Never raises
// SIGPIPE.
// Returns: true when every byte was sent; true at once for size 0; false
//     for a negative socket, a real error, the time-out or a core that is
//     not (or no longer) running.
KIV_EXTERN_C bool kiv_net_send(int socket, const void* data, unsigned size, unsigned timeout);
// Receives exactly `size` bytes into `buffer`, waiting while none are
// ready; at most `timeout` seconds (0: no limit).
// Returns: true once all arrived; false as kiv_net_send, and when the
//     peer closes first (the bytes received so far are in `buffer`).
KIV_EXTERN_C bool kiv_net_recv(int socket, void* buffer, unsigned size, unsigned timeout);
// Connects to the first address of `host` that accepts, waiting at most
// `timeout` seconds (0: 5 s) for the connection to be made.
// Returns: a connected non-blocking socket the caller closes; -1 for a
//     null or unknown host, a refusal (reported as soon as it comes), the
//     time-out, or a core that stops meanwhile.
KIV_EXTERN_C int kiv_net_tcp_open(const char* host, unsigned short port, unsigned timeout);

KIV_EXTERN_C kiv::i_socket_service* kiv_cast_i_socket_service(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_tcp_listener* kiv_cast_i_tcp_listener(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_udp_conn* kiv_cast_i_udp_conn(kiv::i_object* obj);

#endif
