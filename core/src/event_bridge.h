// event_bridge.h --
//
//     The events that the library loader and the environment-file
//     watcher raise and receive, in one place: "KIV_CORE_EVT_LOAD_LIBRARY"
//     and "KIV_CORE_EVT_POST_LOAD_LIBRARY" around a library's entry,
//     "KIV_CORE_EVT_ENV_UPDATED" after a watched file was applied again,
//     and the watcher's handler of "KIV_CORE_EVT_BG_TASK". Every function
//     tolerates a missing core or event service (nothing happens then).

#ifndef KIV_CORE_SRC_EVENT_BRIDGE_H
#define KIV_CORE_SRC_EVENT_BRIDGE_H

#include <kiv/core/i_object.h>

namespace kiv {

// Installs / uninstalls `callback` of `handler` for every event of
// `event_type` (object id 0).
void bridge_install_handler(const char* event_type, i_event_handler* handler, kiv_event_function callback);
void bridge_uninstall_handler(const char* event_type, i_event_handler* handler, kiv_event_function callback);

// Queues the event `event_type` with id 0 and no object.
void bridge_queue_event(const char* event_type);

// The two synchronous events around one library's entry, carrying the
// library object. Made on the loading thread and used there only.
class library_load_event {
public:
    // Fires "KIV_CORE_EVT_LOAD_LIBRARY" for `library` at once.
    explicit library_load_event(i_object* library);
    library_load_event(const library_load_event&) = delete;
    library_load_event& operator=(const library_load_event&) = delete;
    ~library_load_event();

    // Re-types the same event to "KIV_CORE_EVT_POST_LOAD_LIBRARY" and
    // fires it at once.
    void fire_post_load();

private:
    i_object* library_;  // one reference while the event lives
};

}  // namespace kiv

#endif
