// udp_conn.h --
//
//     One received datagram as a stream: the datagram is the whole input,
//     and every write sends one datagram back to the sender from the
//     port that received it. The socket thread makes one per datagram
//     and hands it to the handlers of "KIV_EVT_UDP_PACKET_RECEIVED".

#ifndef KIV_CORE_SRC_UDP_CONN_H
#define KIV_CORE_SRC_UDP_CONN_H

#include <kiv/core/i_socket_service.h>
#include <kiv/core/stream_impl.h>

#include <netinet/in.h>

#include <atomic>
#include <string>

namespace kiv {

class udp_conn : public i_stream_impl,
                 public i_input_stream_impl,
                 public i_output_stream_impl,
                 public virtual i_udp_conn {
public:
    // Copies the datagram (`size` bytes at `data`; 0 for an empty one).
    udp_conn(const char* host, unsigned short client_port, unsigned short local_port, const sockaddr_in& sender,
             const void* data, size_t size);

    const char* get_host() override { return host_.c_str(); }
    unsigned short get_port() override { return local_port_; }
    unsigned short get_client_port() override { return client_port_; }
    // Ends replies: later writes fail. Returns: true.
    bool disconnect() override;
    bool is_connected() override { return connected_.load(); }
    // Answers the stream interfaces it has, then what i_stream_impl answers.
    bool get_interface(const char* name, void** out) override;

protected:
    // Sends one datagram to the sender. Returns: the bytes sent, or -1.
    int write_impl(const char* data, unsigned size) override;

private:
    // Sends from a socket of its own bound to the local port, for when
    // the service has no datagram socket on that port (any more).
    int send_from_fresh_socket(const char* data, unsigned size);

    std::string host_;              // the sender's dotted address
    unsigned short local_port_;     // the bound port that received the datagram
    unsigned short client_port_;    // the sender's port
    sockaddr_in sender_;            // where replies go
    std::atomic<bool> connected_{true};
};

}  // namespace kiv

#endif
