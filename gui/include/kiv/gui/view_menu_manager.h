// view_menu_manager.h --
//
//     The View-menu items of the frame service: check items that show and
//     hide docking panes. Each item's id is the command id of its pane's
//     name, and the handlers find the pane by that name (the item's label
//     is a translation and may differ from the name). It is the sink of
//     the item bindings, which wxWidgets drops when it is destroyed.

#ifndef KIV_GUI_VIEW_MENU_MANAGER_H
#define KIV_GUI_VIEW_MENU_MANAGER_H

#include <kiv/core/export.h>

#include <wx/event.h>

class wxAuiManager;
class wxAuiPaneInfo;

namespace kiv {

class KIV_EXPORT view_menu_manager : public wxEvtHandler {
public:
    // Keeps `manager`, not owned; it outlives this object.
    explicit view_menu_manager(wxAuiManager* manager);
    view_menu_manager(const view_menu_manager&) = delete;
    view_menu_manager& operator=(const view_menu_manager&) = delete;

    // Appends the check item of `pane_name` and binds its menu and
    // update-UI handlers through "svc_gui_event" (see
    // i_gui_frame::add_view_menu_cmd). GUI thread.
    void add_menu_command(const wxString& pane_name);

    // Hides a shown pane (keeping its window's size as the pane's best
    // size) or shows a hidden one, then updates the layout.
    void on_cmd_view(wxCommandEvent& event);
    // Checks the item exactly when its pane is shown.
    void on_cmd_view_update(wxUpdateUIEvent& event);

private:
    // Returns: the pane of the View item `id`, or null when the frame has
    //     no such menu item, the id has no command name, or the docking
    //     manager has no pane of that name.
    wxAuiPaneInfo* pane_of(int id);

    wxAuiManager* manager_;  // the frame service's docking manager, not owned
};

}  // namespace kiv

#endif
