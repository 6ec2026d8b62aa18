// status_events.h --
//
//     The GUI events of the status icons. They travel as every GUI event
//     of the framework does: a gui_event of the name with id 0, fired
//     through "svc_gui_event" to the application object, so a handler
//     installed by name gets a real i_gui_event.

#ifndef KIV_GUI_STATUS_EVENTS_H
#define KIV_GUI_STATUS_EVENTS_H

namespace kiv {

// Queues the GUI event `name` (id 0, no object); the GUI thread handles
// it later. Dropped without "svc_gui_event" or a frame service. Any
// thread.
void post_status_event(const char* name);

}  // namespace kiv

#endif
