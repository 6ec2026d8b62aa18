// i_gui_event_proc.h --
//
//     The GUI event service "svc_gui_event": named command ids for menus
//     and tools, and handler bindings and firing on the one wxWidgets
//     application object that the frame service ("svc_gui_frame") gives.
//     Menu and tool commands of every frame reach that object, so a
//     handler connected there sees them. Bindings connected later are
//     tried first; a handler that does not skip the event ends the search.
//
//     Command ids start at 6100 and never repeat. Ids 6099 to 16099 whose
//     menu or tool item has no update-UI handler of its own are shown
//     disabled: a component enables its command by connecting its own
//     wxEVT_UPDATE_UI handler for the id.
//
//     Everything here runs on the GUI thread, except firing with `now`
//     false, which is the way from any other thread to the GUI thread: a
//     clone of the event is queued and the GUI loop delivers it.

#ifndef KIV_GUI_I_GUI_EVENT_PROC_H
#define KIV_GUI_I_GUI_EVENT_PROC_H

#include <kiv/core/export.h>
#include <kiv/gui/i_gui_event.h>

namespace kiv {

class i_gui_event_proc : public virtual i_object {
public:
    // Connects on the application object one binding: events of
    // `event_type` with the wxWidgets id `id` (-1: every id) go to
    // `handler` on `sink`. Nothing without the frame service.
    virtual void install_gui_handler(int id, int event_type, wxObjectEventFunction handler,
                                     wxEvtHandler* sink) = 0;
    // Disconnects the binding made with the same four values.
    virtual void uninstall_gui_handler(int id, int event_type, wxObjectEventFunction handler,
                                       wxEvtHandler* sink) = 0;
    // `now` true: the application object processes the event before the
    // call returns (on the GUI thread; from another thread the event is
    // queued instead, since only the GUI thread may run GUI handlers).
    // `now` false: a clone is queued and delivered by the GUI loop; the
    // caller keeps its event. Without the frame service or its
    // application object the event is dropped.
    virtual void fire_gui_event(wxEvent& event, bool now) = 0;
    // Returns: the command id of `name`: the same id for the same name
    //     every time; a new one for every null or empty name.
    virtual int get_cmd_id(const char* name) = 0;
    // Returns: the name whose id is `id`, owned by the service, or ""
    //     when no name has it.
    virtual const char* get_cmd_str(int id) = 0;

protected:
    ~i_gui_event_proc() = default;
};

}  // namespace kiv

// Fires `event` through "svc_gui_event" (see fire_gui_event). A null event
// or a missing service does nothing.
KIV_EXTERN_C void kiv_fire_gui_event(kiv::gui_event* event, bool now);
// Installs / uninstalls a handler by event name: the name is resolved
// through "svc_event" and bound through "svc_gui_event". A null name or
// a missing service does nothing. GUI thread.
KIV_EXTERN_C void kiv_install_gui_handler(int id, const char* event_name, wxObjectEventFunction handler,
                                          wxEvtHandler* sink);
KIV_EXTERN_C void kiv_uninstall_gui_handler(int id, const char* event_name, wxObjectEventFunction handler,
                                            wxEvtHandler* sink);

// Returns: the GUI event service interface of `obj`, or null. No
//     reference is added.
KIV_EXTERN_C kiv::i_gui_event_proc* kiv_cast_i_gui_event_proc(kiv::i_object* obj);

#endif
