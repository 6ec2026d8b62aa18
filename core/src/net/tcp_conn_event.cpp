// tcp_conn_event.cpp --
//
//     The accepted connection as an event object (see tcp_conn_event.h).

#include "net/tcp_conn_event.h"

#include "net/net_util.h"

namespace kiv {

tcp_conn_event_object::tcp_conn_event_object(int socket, const char* peer, const char* listen_address)
    : named_string(peer, listen_address) {
    id_ = socket;
}

tcp_conn_event_object::~tcp_conn_event_object() {
    if (!handed_out_.load())
        net::close_socket(static_cast<int>(id_));
}

int64_t tcp_conn_event_object::get_id() {
    handed_out_.store(true);
    return id_;
}

bool tcp_conn_event_object::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_typed_object", static_cast<i_typed_object*>(this), out))
        return true;
    return named_string::get_interface(name, out);
}

}  // namespace kiv
