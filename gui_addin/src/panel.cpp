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
    }
}

panel::~panel() {
    // The window belongs to its parent; the manager must let go of it
    // (and of its event handler) before either goes away.
    if (aui_.GetManagedWindow() != nullptr)
        aui_.UnInit();
}

bool panel::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_panel", static_cast<i_panel*>(this), out))
        return true;
    return object::get_interface(name, out);
}

}  // namespace kiv
