// status_events.cpp --
//
//     Queues the status icons' GUI events on the application object.

#include "status_events.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>

#include <wx/app.h>

namespace kiv {

int status_event_type(const char* name) {
    if (kiv_core() == nullptr)
        return 0;
    auto_ptr_t<i_object> service(kiv_core()->get_service("svc_event"));
    i_event_proc* events = kiv_cast_i_event_proc(service);
    return events != nullptr ? static_cast<int>(events->get_event_type(name)) : 0;
}

void post_status_event(const char* name) {
    int type = status_event_type(name);
    if (type == 0 || wxTheApp == nullptr)
        return;
    wxTheApp->QueueEvent(new wxCommandEvent(type, 0));
}

}  // namespace kiv
