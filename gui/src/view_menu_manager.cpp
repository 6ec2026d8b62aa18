// view_menu_manager.cpp --
//
//     View-menu check items that show and hide docking panes.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_translator.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/gui/i_gui_frame.h>
#include <kiv/gui/view_menu_manager.h>

#include <wx/aui/framemanager.h>
#include <wx/frame.h>
#include <wx/menu.h>

#include <string>

namespace kiv {

namespace {

wxString translated(const char* text) {
    return wxString::FromUTF8(kiv_translate(text, ""));
}

// The help text: the translation of "Show/hide %s" with its first "%s"
// replaced by `label`. The translation comes from a catalog file, so it
// is never used as a format.
wxString help_text(const wxString& label) {
    std::string pattern = kiv_translate("Show/hide %s", "");
    std::string::size_type at = pattern.find("%s");
    if (at == std::string::npos)
        return wxString::FromUTF8(pattern);
    return wxString::FromUTF8(pattern.substr(0, at)) + label + wxString::FromUTF8(pattern.substr(at + 2));
}

// Returns: the menu bar of the frame service's frame, or null.
wxMenuBar* frame_menu_bar(i_gui_frame* frame) {
    wxFrame* top = frame != nullptr ? frame->get_frame() : nullptr;
    return top != nullptr ? top->GetMenuBar() : nullptr;
}

// Returns: the submenu of the first item of `menu` labelled `label`
// (mnemonics ignored) that has one, or null.
wxMenu* submenu_labelled(wxMenu* menu, const wxString& label) {
    const wxString wanted = wxMenuItem::GetLabelText(label);
    for (wxMenuItem* item : menu->GetMenuItems())
        if (item->GetSubMenu() != nullptr && item->GetItemLabelText() == wanted)
            return item->GetSubMenu();
    return nullptr;
}

}  // namespace

view_menu_manager::view_menu_manager(wxAuiManager* manager) : manager_(manager) {}

void view_menu_manager::add_menu_command(const wxString& pane_name) {
    auto_ptr_t<i_object> frame_service(find_service("svc_gui_frame"));
    auto_ptr_t<i_object> event_service(find_service("svc_gui_event"));
    i_gui_frame* frame = kiv_cast_i_gui_frame(frame_service);
    i_gui_event_proc* events = kiv_cast_i_gui_event_proc(event_service);
    if (pane_name.empty() || frame == nullptr || events == nullptr)
        return;
    wxMenuBar* bar = frame_menu_bar(frame);
    if (bar == nullptr)
        return;
    int view_index = bar->FindMenu(translated("&View"));
    if (view_index == wxNOT_FOUND)
        return;
    wxMenu* target = bar->GetMenu(view_index);
    // A "&Toolbars" item without a submenu is an ordinary item: the View
    // menu stays the target.
    if (wxMenu* toolbars = submenu_labelled(target, translated("&Toolbars")))
        target = toolbars;

    const wxScopedCharBuffer name = pane_name.utf8_str();
    int id = events->get_cmd_id(name.data());
    wxString label = translated(name.data());
    target->AppendCheckItem(id, label, help_text(label));
    events->install_gui_handler(id, wxEVT_MENU, wxCommandEventHandler(view_menu_manager::on_cmd_view), this);
    events->install_gui_handler(id, wxEVT_UPDATE_UI, wxUpdateUIEventHandler(view_menu_manager::on_cmd_view_update),
                                this);
}

wxAuiPaneInfo* view_menu_manager::pane_of(int id) {
    auto_ptr_t<i_object> frame_service(find_service("svc_gui_frame"));
    auto_ptr_t<i_object> event_service(find_service("svc_gui_event"));
    i_gui_frame* frame = kiv_cast_i_gui_frame(frame_service);
    i_gui_event_proc* events = kiv_cast_i_gui_event_proc(event_service);
    wxMenuBar* bar = frame_menu_bar(frame);
    if (bar == nullptr || events == nullptr || bar->FindItem(id) == nullptr)
        return nullptr;
    const char* name = events->get_cmd_str(id);
    if (*name == '\0')
        return nullptr;
    wxAuiPaneInfo& pane = manager_->GetPane(wxString::FromUTF8(name));
    return pane.IsOk() ? &pane : nullptr;
}

void view_menu_manager::on_cmd_view(wxCommandEvent& event) {
    wxAuiPaneInfo* pane = pane_of(event.GetId());
    if (pane == nullptr)
        return;
    if (pane->IsShown()) {
        // Remembered so that showing it again restores the size the user
        // gave it.
        if (pane->window != nullptr)
            pane->BestSize(pane->window->GetSize());
        pane->Hide();
    } else {
        pane->Show();
        pane->BestSize(pane->best_size);
    }
    manager_->Update();
}

void view_menu_manager::on_cmd_view_update(wxUpdateUIEvent& event) {
    wxAuiPaneInfo* pane = pane_of(event.GetId());
    event.Check(pane != nullptr && pane->IsShown());
}

}  // namespace kiv
