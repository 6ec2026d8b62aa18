// panel.cpp --
//
//     The panel base: a borderless window in the parent, managed by the
//     panel's own docking manager.

#include <kiv/gui_addin/panel.h>

namespace kiv {

panel::panel(wxWindow* parent) : aui_(nullptr, wxAUI_MGR_DEFAULT), parent_(parent) {
    if (parent_ != nullptr) {
        wnd_ = new wxPanel(parent_, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE);
        aui_.SetManagedWindow(wnd_);
        // The window goes with its parent, possibly before the panel.
        wnd_->Bind(wxEVT_DESTROY, &panel::on_wnd_destroy, this);
    }
}

panel::~panel() {
    if (wnd_ != nullptr)
        wnd_->Unbind(wxEVT_DESTROY, &panel::on_wnd_destroy, this);
    // The window belongs to its parent; the manager must let go of it
    // (and of its event handler) before either goes away.
    if (aui_.GetManagedWindow() != nullptr)
        aui_.UnInit();
}

void panel::on_wnd_destroy(wxWindowDestroyEvent& event) {
    if (event.GetEventObject() == wnd_) {
        wnd_->Unbind(wxEVT_DESTROY, &panel::on_wnd_destroy, this);
        wnd_ = nullptr;
    }
    event.Skip();
}

bool panel::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_panel", static_cast<i_panel*>(this), out))
        return true;
    return object::get_interface(name, out);
}

}  // namespace kiv
