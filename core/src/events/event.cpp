// event.cpp --
//
//     The event class and the flat functions that fire events and
//     install handlers by type name through "svc_event".

#include <kiv/core/auto_ptr.h>
#include <kiv/core/event_proc.h>
#include <kiv/core/i_core.h>
#include <kiv/core/service_ref.h>

namespace kiv {

event::event() = default;

event::event(uint32_t event_type, int64_t event_id, i_object* event_object) {
    init_event(event_type, event_id, event_object);
}

event::event(const char* event_type, int64_t event_id, i_object* event_object) {
    if (kiv_core() == nullptr)
        return;
    auto_ptr_t<i_event_proc> proc = service_ref("svc_event", kiv_cast_i_event_proc);
    init_event(proc != nullptr ? proc->get_event_type(event_type) : 0, event_id, event_object);
}

event::event(const event& other) : object(other) {
    init_event(other.event_type_, other.event_id_, other.event_object_);
}

event& event::operator=(const event& other) {
    if (this != &other)
        init_event(other.event_type_, other.event_id_, other.event_object_);
    return *this;
}

event::~event() {
    if (event_object_ != nullptr)
        event_object_->release();
}

bool event::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_event", static_cast<i_event*>(this), out))
        return true;
    return object::get_interface(name, out);
}

i_object* event::get_event_object() {
    if (event_object_ != nullptr)
        event_object_->addref();
    return event_object_;
}

void event::set_event_type(const char* event_type) {
    auto_ptr_t<i_event_proc> proc = service_ref("svc_event", kiv_cast_i_event_proc);
    if (proc != nullptr)
        event_type_ = proc->get_event_type(event_type);
}

void event::set_event_object(i_object* event_object) {
    if (event_object != nullptr)
        event_object->addref();
    i_object* old = event_object_;
    event_object_ = event_object;
    if (old != nullptr)
        old->release();
}

void event::init_event(uint32_t event_type, int64_t event_id, i_object* event_object) {
    event_type_ = event_type;
    event_id_ = event_id;
    set_event_object(event_object);
}

}  // namespace kiv

using namespace kiv;

void kiv_fire_event(i_event* evt, bool fire_immediately) {
    if (evt == nullptr)
        return;
    evt->addref();
    {
        auto_ptr_t<i_event_proc> proc = service_ref("svc_event", kiv_cast_i_event_proc);
        if (proc != nullptr)
            proc->fire_event(evt, fire_immediately);
    }
    evt->release();
}

void kiv_generate_event(const char* event_type, int64_t event_id, i_object* event_object, bool fire_immediately) {
    if (kiv_core() == nullptr)
        return;
    // One look-up of the service serves both the type name and the firing.
    auto_ptr_t<i_event_proc> proc = service_ref("svc_event", kiv_cast_i_event_proc);
    if (event_proc* ours = kiv_cast_event_proc(proc)) {
        // Ours holds the event while it fires it, so it goes over with no
        // reference and the service's last release frees it.
        ours->fire_event(new event(ours->get_event_type(event_type), event_id, event_object), fire_immediately);
        return;
    }
    if (!proc)
        return;
    event* evt = new event(proc->get_event_type(event_type), event_id, event_object);
    evt->addref();
    proc->fire_event(evt, fire_immediately);
    evt->release();
}

void kiv_install_handler(const char* event_type, int64_t object_id, i_event_handler* handler,
                         kiv_event_function callback) {
    auto_ptr_t<i_event_proc> proc = service_ref("svc_event", kiv_cast_i_event_proc);
    if (proc != nullptr)
        proc->install_handler(proc->get_event_type(event_type), object_id, handler, callback);
}

void kiv_uninstall_handler(const char* event_type, int64_t object_id, i_event_handler* handler,
                           kiv_event_function callback) {
    auto_ptr_t<i_event_proc> proc = service_ref("svc_event", kiv_cast_i_event_proc);
    if (proc != nullptr)
        proc->uninstall_handler(proc->get_event_type(event_type), object_id, handler, callback);
}

i_event* kiv_cast_i_event(i_object* obj) {
    return cast_interface<i_event>(obj, "i_event");
}

i_event_proc* kiv_cast_i_event_proc(i_object* obj) {
    return cast_interface<i_event_proc>(obj, "i_event_proc");
}

event_proc* kiv_cast_event_proc(i_object* obj) {
    return cast_interface<event_proc>(obj, "event_proc");
}
