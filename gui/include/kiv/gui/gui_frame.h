// gui_frame.h --
//
//     The implementation of "svc_gui_frame" (i_gui_frame.h). An
//     application creates one for itself before anything else in the GUI
//     is built, registers it, attaches its main frame to the docking
//     manager, and releases the service in wxApp::OnExit.
//
//     It installs a process-wide help provider over its help controller
//     and removes it again when it dies (when the provider is still ours).

#ifndef KIV_GUI_GUI_FRAME_H
#define KIV_GUI_GUI_FRAME_H

#include <kiv/core/export.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>
#include <kiv/gui/i_gui_frame.h>
#include <kiv/gui/view_menu_manager.h>

#include <wx/aui/framemanager.h>

class wxHelpProvider;

namespace kiv {

class KIV_EXPORT gui_frame : public object, public i_named_object_impl, public virtual i_gui_frame {
public:
    // Name "gui_frame"; keeps `app` (not owned). Creates the help
    // controller (no parent; its temporary folder, where it caches parsed
    // books, is "tmp" under the root when it exists, else the framework's
    // temp folder when that exists, else none) and installs the help
    // provider. GUI thread.
    explicit gui_frame(wxApp* app);
    // Resets the help provider when it is still ours, deletes the help
    // controller. GUI thread, while the toolkit still stands.
    ~gui_frame() override;
    gui_frame(const gui_frame&) = delete;
    gui_frame& operator=(const gui_frame&) = delete;

    // Answers "i_gui_frame" and "i_named_object".
    bool get_interface(const char* name, void** out) override;

    wxApp* get_app() override;
    wxFrame* get_frame() override;
    wxHtmlHelpController* get_help() override;
    wxAuiManager* get_frame_manager() override;
    void add_view_menu_cmd(const char* pane_name) override;

    // The docking manager's flags: floating, transparent hint, hint fade,
    // no venetian-blinds fade.
    static const unsigned manager_flags = wxAUI_MGR_ALLOW_FLOATING | wxAUI_MGR_TRANSPARENT_HINT |
                                          wxAUI_MGR_HINT_FADE | wxAUI_MGR_NO_VENETIAN_BLINDS_FADE;

private:
    wxApp* app_;                                // not owned; may be null
    wxAuiManager manager_;                      // no managed window until the app attaches one
    view_menu_manager view_menu_;               // over manager_
    wxHtmlHelpController* help_ = nullptr;      // owned
    wxHelpProvider* help_provider_ = nullptr;   // owned while installed; null: none installed
};

}  // namespace kiv

#endif
