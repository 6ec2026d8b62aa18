// gui_event.cpp --
//
//     The GUI event: a core event whose wxWidgets type and id mirror the
//     core type number and the low half of the core id.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/gui/i_gui_event.h>

namespace kiv {

gui_event::gui_event(const char* event_name, unsigned int id, i_object* obj) {
    uint32_t type = 0;
    if (i_core* core = kiv_core()) {
        auto_ptr_t<i_object> service(core->get_service("svc_event"));
        if (i_event_proc* proc = kiv_cast_i_event_proc(service))
            type = proc->get_event_type(event_name);
    }
    init_event(type, id, obj);
}

gui_event::gui_event(unsigned int type, unsigned int id, i_object* obj) {
    init_event(type, id, obj);
}

gui_event::gui_event(const gui_event& other) : i_object(), i_event(), i_gui_event(other), event() {
    gui_event& source = const_cast<gui_event&>(other);
    auto_ptr_t<i_object> payload(source.get_event_object());
    event::init_event(source.get_event_type(), source.get_event_id(), payload);
}

gui_event::~gui_event() = default;

bool gui_event::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_gui_event", static_cast<i_gui_event*>(this), out))
        return true;
    return event::get_interface(name, out);
}

void gui_event::init_event(unsigned int type, unsigned int id, i_object* obj) {
    event::init_event(type, static_cast<int64_t>(id), obj);
    SetEventType(static_cast<wxEventType>(type));
    SetId(static_cast<int>(id));
}

void gui_event::set_event_id(unsigned int id) {
    event::set_event_id(static_cast<int64_t>(id));
    SetId(static_cast<int>(id));
}

wxEvent* gui_event::Clone() const {
    gui_event& self = const_cast<gui_event&>(*this);
    auto_ptr_t<i_object> payload(self.get_event_object());
    return new gui_event(self.get_event_type(), static_cast<unsigned int>(self.get_event_id()), payload);
}

}  // namespace kiv

kiv::i_gui_event* kiv_cast_i_gui_event(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_gui_event>(obj, "i_gui_event");
}
