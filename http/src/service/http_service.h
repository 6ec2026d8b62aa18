// http_service.h --
//
//     The service "svc_http" (see i_http_service.h): virtual servers,
//     their bindings to listening sockets, the media-type table, the
//     proxy setting, and the service thread that runs the servers'
//     session sweeps every 5 s of the core clock.
//
//     Locks: the change lock (held for a whole bind or unbind, socket
//     and handler calls included, so that two of them on one port
//     cannot interleave), the binding lock (the bindings table), the
//     servers collection's own lock, the media-type lock, the proxy lock
//     and the lock of the new connections. A bind or unbind takes the
//     change lock, then the binding lock; a bind holds both while the
//     socket and event services take their own (opening the socket,
//     installing the handler). Everywhere else the service takes one of
//     its locks at a time.
//
//     The connection handler (http_service_connections.cpp, on the pool
//     worker that delivers the connection) takes the lock of the new
//     connections to queue the connection, and when the service thread
//     falls far behind a burst it waits on that lock's condition, a
//     second at most, for room. A request that came whole with its
//     connection is processed right there, as on a pool worker, with no
//     lock of the service held: choosing its server takes the binding
//     lock, a file's media type the media-type lock, each alone, and a
//     Tcl page may call any method of the service, a bind or unbind
//     included; apart from what a page calls, the handler never takes
//     the change lock. Since removing a handler waits for its running
//     calls on other threads, an unbind and the service's end take the
//     binding out of the table under the binding lock and remove its
//     handler after letting that lock go, under the change lock alone.

#ifndef KIV_HTTP_SRC_HTTP_SERVICE_H
#define KIV_HTTP_SRC_HTTP_SERVICE_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/object_col.h>
#include <kiv/core/property_manager.h>
#include <kiv/core/string_impl.h>
#include <kiv/core/threads.h>
#include <kiv/http/i_http_service.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kiv {

class i_event;
class http_request;
class http_wakeup;

class http_service : public object,
                     public i_property_manager_impl,
                     public i_named_object_impl,
                     public thread_creator,
                     public virtual i_http_service {
public:
    // Named "http_service"; fills the media types, reads the proxy from
    // the environment, takes its own reference to "svc_event" and starts
    // the service thread.
    http_service();
    // Stops the service thread, closes every listening socket of its
    // bindings and removes their connection handlers, then lets go of
    // the servers.
    ~http_service() override;

    // Answers "i_http_service", "i_named_object" and "i_property_manager".
    bool get_interface(const char* name, void** out) override;

    i_http_server* create_server(const char* server_name, const char* root_path) override;
    void delete_server(i_http_server* svr) override;
    i_object_col* get_servers() override;
    bool bind_server(i_http_server* svr, const char* bind_addr, unsigned int port) override;
    bool unbind_server(i_http_server* svr, const char* bind_addr, unsigned int port) override;
    i_http_server* find_server(const char* name, const char* bind_addr, unsigned int port) override;
    char* get_mime_type(const char* ext) override;
    void set_mime_type(const char* ext, const char* val) override;
    i_http_client* create_client() override;
    char* get_proxy_host() override;
    unsigned short get_proxy_port() override;
    char* get_proxy_bypass() override;
    bool set_proxy_server(const char* host, unsigned short port, const char* bypass) override;
    void update_socket(int sockfd, bool final) override;

    // The handler of "KIV_EVT_TCP_CONN_OPENED" on the bound ports.
    bool on_connection(i_event* event);

protected:
    // Keeps the service while the calling thread is in a worker's turn
    // with a connection or a request: its delete then comes at the end
    // of that turn.
    bool last_reference_dropped() override;

private:
    // on_connection itself.
    bool take_connection(i_event* event);

    struct binding {
        std::string address;                 // "*" for every local address
        uint16_t port;
        std::vector<i_http_server*> servers; // one reference each, in binding order
    };

    // The service thread: waits up to 50 ms at a time in poll() on the
    // live connections (read interest while reading, write interest
    // while sending) and the wake-up descriptor, serves them, hands
    // complete requests to the worker pool without waiting, and runs the
    // servers' sweeps every 5 s.
    void service_thread(void* arg);
    // One pass over the live requests: new ones are read at once,
    // complete ones handed to the pool, ended ones dropped, then the
    // rest polled.
    void serve_requests();
    // Hands a complete request to a pool worker if one is free at once.
    // Returns: false when none was, and the request stays ready.
    bool hand_over(http_request* request);
    // Above the cap, closes connections until it is met again: lingering
    // ones, then those still waiting for a whole head, oldest first, then
    // those whose body is still on its way, the one silent longest first.
    void make_room();
    // Ends the service thread's sleep at once.
    void wake();
    // Closes the socket of a binding and removes its handler, waiting
    // for the handler's running calls. The change lock held, the binding
    // lock not: the handler takes it.
    void close_binding(const binding& b);

    std::mutex rebind_lock_;          // held through a bind or unbind; before bindings_lock_
    std::mutex bindings_lock_;        // guards bindings_
    std::vector<binding> bindings_;   // in the order they were made
    object_col servers_;              // every server, one reference each; locks itself

    std::mutex mime_lock_;                      // guards mime_types_
    std::map<std::string, std::string> mime_types_; // extension with its dot -> media type

    std::mutex proxy_lock_;      // guards the three proxy fields
    std::string proxy_host_;     // "" when none
    std::string proxy_bypass_;   // "" when none
    unsigned short proxy_port_ = 0;

    auto_ptr_t<i_object> events_;       // "svc_event", held so shut-down cannot take it first
    std::shared_ptr<http_wakeup> wakeup_; // ends the service thread's wait; shared with requests
    std::atomic<bool> stopping_{false}; // the destructor began

    std::mutex pending_lock_;                 // guards pending_ and passes_
    std::condition_variable passed_;          // the service thread ended a pass
    uint64_t passes_ = 0;                     // passes of the service thread that made room
    std::vector<http_request*> pending_;      // new connections, one reference each
    std::vector<http_request*> live_;         // service thread only; one reference each
    std::atomic<size_t> held_count_{0};       // live_ and pending_ together
    size_t connection_cap_ = 0;               // connections held before the service makes room
    size_t refuse_at_ = 0;                    // held connections at which new ones wait for room,
                                              // then are refused
};

}  // namespace kiv

#endif
