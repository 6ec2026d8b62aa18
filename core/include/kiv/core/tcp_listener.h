// tcp_listener.h --
//
//     The base class of objects that take the connections of one TCP
//     port. init opens the port through "svc_socket" and installs the
//     listener's handler for the port's "KIV_EVT_TCP_CONN_OPENED" events;
//     each connection then reaches on_connection on a pool worker. The
//     listener installed last on a port receives every connection of it;
//     addresses are not compared.
//
//         class echo_listener : public kiv::tcp_listener {
//             ~echo_listener() override { stop(); }
//             bool on_connection(int socket, const char* host) override;
//         };
//
//     A derived class calls stop() in its own destructor, so that no
//     connection reaches a half-destroyed object.

#ifndef KIV_CORE_TCP_LISTENER_H
#define KIV_CORE_TCP_LISTENER_H

#include <kiv/core/i_socket_service.h>
#include <kiv/core/mutex.h>
#include <kiv/core/object.h>

#include <cstdint>
#include <string>

namespace kiv {

class KIV_EXPORT tcp_listener : public object, public virtual i_tcp_listener {
public:
    tcp_listener() = default;
    // Stops listening.
    virtual ~tcp_listener();

    // Listens on (addr, port); an empty addr means "*". A listener that
    // listens already stops first.
    // Returns: false for a null addr, port 0, no socket service, or a
    //     port the service could not open. The handler stays installed
    //     until stop even when opening failed.
    virtual bool init(const char* addr, unsigned short port);
    // Uninstalls the handler and closes the port. Returns: true.
    virtual bool stop();
    // Takes an accepted non-blocking socket from `host` (dotted address).
    // Runs on a pool worker, possibly on several at once.
    // Returns: true when the listener keeps the socket (and closes it
    //     when done); false declines it, and the listener closes it.
    virtual bool on_connection(int socket, const char* host) = 0;

    bool check_addr(const char* host, unsigned short port) override;
    // Answers "i_tcp_listener".
    bool get_interface(const char* name, void** out) override;

protected:
    // Returns: the backlog of the listening socket (4096).
    virtual unsigned get_listen_count();

private:
    // The handler of the port's connection events.
    bool on_tcp_conn(i_event* event);

    mutex lock_;           // guards port_ and address_
    uint16_t port_ = 0;    // 0 while not listening
    std::string address_;  // the address text, "*" for any; empty while not listening
};

}  // namespace kiv

#endif
