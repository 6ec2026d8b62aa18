// gui_event_proc.cpp --
//
//     "svc_gui_event": command ids by name, handler bindings and firing on
//     the frame service's application object, and the plain functions that
//     reach the service by event name.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/log.h>
#include <kiv/core/service_ref.h>
#include <kiv/gui/gui_event_proc.h>
#include <kiv/gui/i_gui_frame.h>

#include <wx/app.h>
#include <wx/thread.h>

namespace kiv {

namespace {

// Returns: the frame service's application object, or null when the
// service or its application is missing. Not owned.
wxApp* frame_app() {
    auto_ptr_t<i_gui_frame> frame = service_ref("svc_gui_frame", kiv_cast_i_gui_frame);
    return frame ? frame->get_app() : nullptr;
}

}  // namespace

gui_event_proc::gui_event_proc() {
    kiv_trace("gui_event_proc::gui_event_proc()");
    set_name("gui_event_proc");
    if (wxApp* app = frame_app()) {
        app->Connect(first_update_id, last_update_id, wxEVT_UPDATE_UI,
                     wxUpdateUIEventHandler(gui_event_proc::on_cmd_update), nullptr, this);
        update_source_ = app;
    }
}

gui_event_proc::~gui_event_proc() {
    kiv_trace("gui_event_proc::~gui_event_proc()");
    // When the application object is gone, wxWidgets has already dropped
    // the binding; otherwise drop it here, before this object goes.
    if (update_source_ != nullptr && update_source_ == wxTheApp)
        update_source_->Disconnect(first_update_id, last_update_id, wxEVT_UPDATE_UI,
                                   wxUpdateUIEventHandler(gui_event_proc::on_cmd_update), nullptr, this);
    commands_.clear();
}

bool gui_event_proc::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_gui_event_proc", static_cast<i_gui_event_proc*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

void gui_event_proc::on_cmd_update(wxUpdateUIEvent& event) {
    event.Enable(false);
}

void gui_event_proc::install_gui_handler(int id, int event_type, wxObjectEventFunction handler, wxEvtHandler* sink) {
    if (wxApp* app = frame_app())
        app->Connect(id, wxID_ANY, event_type, handler, nullptr, sink);
}

void gui_event_proc::uninstall_gui_handler(int id, int event_type, wxObjectEventFunction handler,
                                           wxEvtHandler* sink) {
    if (wxApp* app = frame_app())
        app->Disconnect(id, wxID_ANY, event_type, handler, nullptr, sink);
}

void gui_event_proc::fire_gui_event(wxEvent& event, bool now) {
    wxApp* app = frame_app();
    if (app == nullptr)
        return;
    // Handlers touch windows, which only the GUI thread may do: from any
    // other thread the event is queued even when `now` asks otherwise.
    if (now && wxThread::IsMain())
        app->ProcessEvent(event);
    else
        app->AddPendingEvent(event);
}

int gui_event_proc::get_cmd_id(const char* name) {
    if (name == nullptr || *name == '\0')
        return ++last_id_;
    auto found = commands_.find(name);
    if (found != commands_.end())
        return found->second;
    ++last_id_;
    commands_.emplace(name, last_id_);
    return last_id_;
}

const char* gui_event_proc::get_cmd_str(int id) {
    for (const auto& command : commands_)
        if (command.second == id)
            return command.first.c_str();
    return "";
}

}  // namespace kiv

using namespace kiv;

namespace {

// Resolves `event_name` and runs `bind` with the GUI event service and
// the type number; nothing when a service is missing or the name is null.
template <class Bind>
void with_gui_type(const char* event_name, Bind bind) {
    if (event_name == nullptr)
        return;
    auto_ptr_t<i_object> gui_service(find_service("svc_gui_event"));
    auto_ptr_t<i_object> event_service(find_service("svc_event"));
    i_gui_event_proc* gui = kiv_cast_i_gui_event_proc(gui_service);
    i_event_proc* events = kiv_cast_i_event_proc(event_service);
    if (gui != nullptr && events != nullptr)
        bind(gui, static_cast<int>(events->get_event_type(event_name)));
}

}  // namespace

void kiv_fire_gui_event(gui_event* event, bool now) {
    if (event == nullptr)
        return;
    auto_ptr_t<i_object> gui_service(find_service("svc_gui_event"));
    if (i_gui_event_proc* gui = kiv_cast_i_gui_event_proc(gui_service))
        gui->fire_gui_event(*event, now);
}

void kiv_install_gui_handler(int id, const char* event_name, wxObjectEventFunction handler, wxEvtHandler* sink) {
    with_gui_type(event_name, [&](i_gui_event_proc* gui, int type) { gui->install_gui_handler(id, type, handler, sink); });
}

void kiv_uninstall_gui_handler(int id, const char* event_name, wxObjectEventFunction handler, wxEvtHandler* sink) {
    with_gui_type(event_name,
                  [&](i_gui_event_proc* gui, int type) { gui->uninstall_gui_handler(id, type, handler, sink); });
}

i_gui_event_proc* kiv_cast_i_gui_event_proc(i_object* obj) {
    return cast_interface<i_gui_event_proc>(obj, "i_gui_event_proc");
}
