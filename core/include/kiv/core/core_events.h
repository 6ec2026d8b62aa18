// core_events.h --
//
//     The core's one outlet for the events it raises itself: the
//     housekeeping thread queues "KIV_CORE_EVT_BG_TASK" once per new
//     second, and kiv_terminate fires "KIV_CORE_EVT_TERMINATING"
//     synchronously, both with id 0 and no object. The core holds no
//     event machinery of its own: the event service installs the function
//     that fires a named event, and until it does these events go nowhere.

#ifndef KIV_CORE_CORE_EVENTS_H
#define KIV_CORE_CORE_EVENTS_H

#include <kiv/core/export.h>

namespace kiv {

// Fires the event named `event_type` (id 0, no object): on the calling
// thread when `fire_immediately`, otherwise queued. Called from the
// housekeeping thread and from kiv_terminate; must be safe from any
// thread and must tolerate a missing event service.
typedef void (*core_event_function)(const char* event_type, bool fire_immediately);

// Installs `fn` (null: none). Any thread; the function must stay callable
// for the life of the process (a plain function of a library that is
// never unloaded before kiv_terminate).
KIV_EXPORT void set_core_event_function(core_event_function fn);
// Fires through the installed function; does nothing without one.
KIV_EXPORT void fire_core_event(const char* event_type, bool fire_immediately);

}  // namespace kiv

#endif
