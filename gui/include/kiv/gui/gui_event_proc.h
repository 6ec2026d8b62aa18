// gui_event_proc.h --
//
//     The implementation of "svc_gui_event" (i_gui_event_proc.h). The
//     application creates one right after it has registered its frame
//     service and registers it:
//
//         kiv_core()->register_service(new kiv::gui_frame(this), "svc_gui_frame");
//         kiv_core()->register_service(new kiv::gui_event_proc, "svc_gui_event");
//
//     and releases both in wxApp::OnExit, while the toolkit still stands.

#ifndef KIV_GUI_GUI_EVENT_PROC_H
#define KIV_GUI_GUI_EVENT_PROC_H

#include <kiv/core/export.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>
#include <kiv/gui/i_gui_event_proc.h>

#include <map>
#include <string>

namespace kiv {

class KIV_EXPORT gui_event_proc : public wxEvtHandler,
                                  public object,
                                  public i_named_object_impl,
                                  public virtual i_gui_event_proc {
public:
    // Name "gui_event_proc". When "svc_gui_frame" is registered, connects
    // on its application object the update-UI handler that disables the
    // command ids 6099 to 16099 (see i_gui_event_proc.h); without it no
    // id is ever disabled. GUI thread.
    gui_event_proc();
    // Disconnects the update-UI range, so the application object never
    // reaches this object again. GUI thread.
    ~gui_event_proc() override;
    gui_event_proc(const gui_event_proc&) = delete;
    gui_event_proc& operator=(const gui_event_proc&) = delete;

    // Answers "i_gui_event_proc" and "i_named_object".
    bool get_interface(const char* name, void** out) override;

    void install_gui_handler(int id, int event_type, wxObjectEventFunction handler, wxEvtHandler* sink) override;
    void uninstall_gui_handler(int id, int event_type, wxObjectEventFunction handler, wxEvtHandler* sink) override;
    void fire_gui_event(wxEvent& event, bool now) override;
    int get_cmd_id(const char* name) override;
    const char* get_cmd_str(int id) override;

    // The first and last id the update-UI rule covers.
    static const int first_update_id = 6099;
    static const int last_update_id = 16099;

private:
    // Disables the item of an id in the covered range; not skipped.
    void on_cmd_update(wxUpdateUIEvent& event);

    std::map<std::string, int> commands_;  // name -> id; only grows
    int last_id_ = first_update_id;        // the id handed out last
    wxEvtHandler* update_source_ = nullptr;  // the application object the range is
                                             // connected on, not owned; null: none
};

}  // namespace kiv

#endif
