// panel.h --
//
//     The base of the add-in's dockable panels: a borderless wxPanel in
//     the parent window, managed by a docking manager of its own.

#ifndef KIV_GUI_ADDIN_PANEL_H
#define KIV_GUI_ADDIN_PANEL_H

#include <kiv/core/object.h>
#include <kiv/gui_addin/i_panel.h>

#include <wx/aui/framemanager.h>
#include <wx/event.h>
#include <wx/panel.h>

namespace kiv {

class KIV_EXPORT panel : public wxEvtHandler, public object, public virtual i_panel {
public:
    // Without a parent no window is made (get_wnd gives null). GUI thread.
    explicit panel(wxWindow* parent);
    // Detaches the docking manager; the window goes with its parent.
    ~panel() override;
    panel(const panel&) = delete;
    panel& operator=(const panel&) = delete;

    // Answers "i_panel".
    bool get_interface(const char* name, void** out) override;
    wxWindow* get_parent_wnd() override { return parent_; }
    wxWindow* get_wnd() override { return wnd_; }
    wxAuiManager* get_aui_mngr() override { return &aui_; }
    void attach(wxAuiManager*) override {}
    void update() override {}
    void uninit() override {}

protected:
    // The window is going away with its parent: forget it.
    void on_wnd_destroy(wxWindowDestroyEvent& event);

    wxAuiManager aui_;            // manages wnd_ when there is one
    wxWindow* parent_ = nullptr;  // not owned
    wxPanel* wnd_ = nullptr;      // a child of parent_; null without a parent
};

}  // namespace kiv

#endif
