// tcp_conn_event.h --
//
//     The object of a "KIV_EVT_TCP_CONN_OPENED" event: the accepted
//     socket as its id, the peer's dotted address as its name and the
//     listening address text as its value.
//
//     A handler reaches the socket only through get_id, so the first
//     call of get_id hands the socket over to the handlers, which then
//     keep or close it. Should the event die before any handler asked
//     (no event service, no worker to deliver it, shut-down dropping the
//     queue), the object closes the socket itself instead of leaking it.

#ifndef KIV_CORE_SRC_TCP_CONN_EVENT_H
#define KIV_CORE_SRC_TCP_CONN_EVENT_H

#include <kiv/core/string_impl.h>

#include <atomic>

namespace kiv {

class tcp_conn_event_object : public named_string, public virtual i_typed_object_impl {
public:
    // Takes over `socket`.
    tcp_conn_event_object(int socket, const char* peer, const char* listen_address);
    // Closes the socket when no handler was ever given it.
    ~tcp_conn_event_object() override;

    // Returns: the socket, which from now on belongs to the handlers.
    int64_t get_id() override;
    // Answers "i_typed_object", then what named_string answers.
    bool get_interface(const char* name, void** out) override;

private:
    std::atomic<bool> handed_out_{false};  // get_id has been called
};

}  // namespace kiv

#endif
