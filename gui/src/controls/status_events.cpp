// status_events.cpp --
//
//     Queues the status icons' GUI events on the application object.

#include "status_events.h"

#include <kiv/gui/i_gui_event.h>
#include <kiv/gui/i_gui_event_proc.h>

namespace kiv {

void post_status_event(const char* name) {
    gui_event event(name, 0, nullptr);
    if (event.get_event_type() != 0)
        kiv_fire_gui_event(&event, false);
}

}  // namespace kiv
