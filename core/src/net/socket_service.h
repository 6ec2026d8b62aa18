// socket_service.h --
//
//     The socket service behind "svc_socket": the bound sockets of the
//     process and the one thread that accepts connections and receives
//     datagrams on them. The core's library entry creates it.

#ifndef KIV_CORE_SRC_SOCKET_SERVICE_H
#define KIV_CORE_SRC_SOCKET_SERVICE_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_socket_service.h>
#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/core/threads.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct pollfd;

namespace kiv {

class socket_service : public object, public thread_creator, public virtual i_socket_service {
public:
    // Starts the socket thread and installs the handler that closes
    // connections no other handler kept.
    socket_service();
    // Stops the thread (waiting up to 30 s), closes every socket and
    // uninstalls the handler.
    ~socket_service() override;

    bool open_tcp_socket(const char* address, unsigned port, unsigned backlog) override;
    bool close_tcp_socket(const char* address, unsigned port) override;
    bool open_udp_socket(const char* address, unsigned port) override;
    bool close_udp_socket(const char* address, unsigned port) override;
    int get_port_socket(unsigned short port) override;
    // A duplicate of the datagram socket bound to `port`, taken under the
    // service mutex, so a close meanwhile cannot turn it into a closed or
    // reused descriptor. Replies sent through it leave from that port.
    // Returns: the new descriptor, which the caller closes, or -1 when
    //     the port has no datagram socket.
    int duplicate_udp_socket(unsigned short port);
    // Answers "i_socket_service".
    bool get_interface(const char* name, void** out) override;

protected:
    // Stops the socket thread before the service goes; when it does not
    // stop in time the service is left in memory (logged), since the
    // thread still uses it.
    bool last_reference_dropped() override;

private:
    struct entry {
        uint16_t port;
        int socket;           // owned; closed when the entry goes
        bool tcp;             // true: listening TCP socket; false: UDP
        std::string address;  // the opener's text, "*" for any address
        uint64_t serial;      // order of opening, for the port map
    };
    typedef std::multimap<uint16_t, entry> entry_map;

    bool open_socket(const char* address, unsigned port, unsigned backlog, bool tcp);
    bool close_socket(const char* address, unsigned port, bool tcp);
    // Points the port map at the most recently opened entry still on
    // `port`, or drops the port. Called with lock_ held.
    void remap_port(uint16_t port);

    // The socket thread and its steps, all with lock_ held.
    void socket_thread(void* arg);
    // Returns: the number of connections handed over.
    unsigned accept_from(const entry& e, bool& starved);
    // Returns: the number of datagrams handed over; `fatal` is set when
    //     the socket failed for good.
    unsigned receive_from(const entry& e, char*& buffer, bool& fatal);
    void collect_poll_set(std::vector<pollfd>& fds);

    // The handler of last resort for "KIV_EVT_TCP_CONN_OPENED".
    bool on_unclaimed_conn(i_event* event);

    auto_ptr_t<i_object> events_;       // "svc_event" as found at construction; null when there was none
    mutex lock_;                        // the service mutex: entries, port map, serials
    entry_map entries_;                 // guarded by lock_
    std::map<uint16_t, int> port_map_;  // port to socket; guarded by lock_
    uint64_t next_serial_ = 1;          // guarded by lock_
};

}  // namespace kiv

#endif
