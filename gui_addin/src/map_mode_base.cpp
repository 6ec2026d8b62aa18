// map_mode_base.cpp --
//
//     What the map modes share (see map_mode_base.h).

#include <kiv/gui_addin/map_mode_base.h>

#include <wx/window.h>

namespace kiv {

bool map_mode_base::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_map_mode", static_cast<i_map_mode*>(this), out))
        return true;
    if (answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

wxWindow* map_mode_base::map_wnd() const {
    return view_ != nullptr ? view_->get_map_wnd() : nullptr;
}

i_gis_viewport* map_mode_base::viewport() const {
    return view_ != nullptr ? view_->get_viewport() : nullptr;
}

void map_mode_base::release_capture() const {
    wxWindow* wnd = map_wnd();
    if (wnd != nullptr && wnd->HasCapture())
        wnd->ReleaseMouse();
}

}  // namespace kiv
