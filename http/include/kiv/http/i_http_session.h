// i_http_session.h --
//
//     A session ties the requests of one browser to one object on a
//     virtual server, on which pages keep data as named properties and
//     objects. Its name (i_named_object) is the session id, carried by
//     the cookie "sid"; it never changes. A session expires when it has
//     not been touched for its expiry interval (one hour unless a page
//     changes it); the server's sweep removes it and queues
//     "KIV_EVT_HTTP_SESSION_EXPIRED", as it queued
//     "KIV_EVT_HTTP_SESSION_STARTED" at creation (event id: the server's
//     id, event object: the session).
//
//     Every operation is safe from any thread: one browser's parallel
//     requests touch one session at once.

#ifndef KIV_HTTP_I_HTTP_SESSION_H
#define KIV_HTTP_I_HTTP_SESSION_H

#include <kiv/core/i_property_manager.h>
#include <kiv/core/i_string.h>

namespace kiv {

class i_http_session : public virtual i_named_object, public virtual i_property_manager {
public:
    // Returns: the seconds of idleness after which the session expires.
    virtual unsigned get_exp_interval() = 0;
    // Sets the expiry interval in seconds (no bound; 0 expires the
    // session at the first sweep a second after its last touch).
    virtual void set_exp_interval(unsigned val) = 0;
    // Returns: the core clock (Unix seconds) at creation.
    virtual unsigned get_start_time() = 0;
    // Returns: the core clock (Unix seconds) of the last touch.
    virtual unsigned get_access_time() = 0;
    // Marks the session used now; a non-empty `host` replaces the stored
    // host name.
    virtual void touch(const char* host) = 0;
    // Returns: a malloc-ed copy of the host name of the last request
    //     that touched the session ("" when none), which the caller frees.
    virtual char* get_host() = 0;

protected:
    ~i_http_session() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_http_session* kiv_cast_i_http_session(kiv::i_object* obj);

#endif
