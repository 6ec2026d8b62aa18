// addin_panes.cpp --
//
//     Showing and hiding the application's docking panes by name, through
//     the frame service's docking manager.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/service_ref.h>
#include <kiv/gui/i_gui_frame.h>
#include <kiv/gui_addin/addin_lib.h>

#include <wx/aui/framemanager.h>

using namespace kiv;

namespace {

// Calls `use` with the frame service's docking manager; nothing without
// a core, the service or a name.
template <class F>
void with_manager(const char* name, F use) {
    if (name == nullptr || kiv_core() == nullptr)
        return;
    auto_ptr_t<i_gui_frame> frame = service_ref("svc_gui_frame", kiv_cast_i_gui_frame);
    if (frame && frame->get_frame_manager() != nullptr)
        use(*frame->get_frame_manager());
}

}  // namespace

wxAuiPaneInfo* get_panel(const char* name) {
    wxAuiPaneInfo* pane = nullptr;
    // The pane lives in the manager, which outlives this call.
    with_manager(name, [&](wxAuiManager& manager) { pane = &manager.GetPane(wxString::FromUTF8(name)); });
    return pane;
}

void show_panel(const char* name, bool show, bool update) {
    with_manager(name, [&](wxAuiManager& manager) {
        wxAuiPaneInfo& pane = manager.GetPane(wxString::FromUTF8(name));
        if (!pane.IsOk())
            return;
        pane.Show(show);
        if (update)
            manager.Update();
    });
}

bool is_shown_panel(const char* name) {
    bool shown = false;
    with_manager(name, [&](wxAuiManager& manager) {
        wxAuiPaneInfo& pane = manager.GetPane(wxString::FromUTF8(name));
        shown = pane.IsOk() && pane.IsShown();
    });
    return shown;
}
