// status_events.h --
//
//     The GUI events of the status icons. An event name becomes the core's
//     type number for it ("svc_event"), which is also its wxWidgets event
//     type; events go to the application object with id 0, the way every
//     GUI event of the framework travels.

#ifndef KIV_GUI_STATUS_EVENTS_H
#define KIV_GUI_STATUS_EVENTS_H

#include <wx/event.h>

namespace kiv {

// Returns: the event type of `name`, 0 without a core or "svc_event".
int status_event_type(const char* name);
// Queues an event of that name with id 0 on the application object; it
// is handled later on the GUI thread. Dropped without an application or
// an event type. Any thread.
void post_status_event(const char* name);

}  // namespace kiv

#endif
