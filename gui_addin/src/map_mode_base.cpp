// map_mode_base.cpp --
//
//     What the map modes share (see map_mode_base.h).

#include <kiv/gui_addin/map_mode_base.h>

#include <wx/dc.h>
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

void map_mode_base::begin_on_view(i_map_view* view, const wxCursor& cursor) {
    view_ = view;
    wxWindow* wnd = map_wnd();
    if (wnd == nullptr)
        return;
    clear_drag();
    wnd->SetCursor(cursor);
    install_handlers();
    view_->redraw();
}

void map_mode_base::end_on_view() {
    uninstall_handlers();
    clear_drag();
    release_capture();
    if (map_wnd() != nullptr)
        view_->set_status_text(wxString(), 3);
}

bool map_mode_base::start_drag(const wxPoint& pt, const wxCursor* cursor) {
    wxWindow* wnd = map_wnd();
    if (wnd == nullptr)
        return false;
    dragging_ = true;
    if (cursor != nullptr)
        wnd->SetCursor(*cursor);
    if (!wnd->HasCapture())
        wnd->CaptureMouse();
    start_ = end_ = pt;
    return true;
}

bool map_mode_base::blit_map(wxDC* dc, wxDC* map_dc, const wxPoint& offset) const {
    wxWindow* wnd = map_wnd();
    if (wnd == nullptr || dc == nullptr || map_dc == nullptr)
        return false;
    wxSize size = wnd->GetClientSize();
    if (map_dc->IsOk() && size.x != 0 && size.y != 0)
        dc->Blit(offset.x, offset.y, size.x, size.y, map_dc, 0, 0, wxCOPY);
    return true;
}

}  // namespace kiv
