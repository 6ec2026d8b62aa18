// move_map_mode.cpp --
//
//     The pan mode (see move_map_mode.h). A drag only shifts the shown
//     bitmap while the button is down; the view is re-centred, and the
//     map rendered, once when the button comes up.

#include "map_pictures.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/gui_addin/addin_lib.h>
#include <kiv/gui_addin/move_map_mode.h>

#include <wx/dc.h>
#include <wx/window.h>

#include <cstdlib>
#include <string>

namespace kiv {

namespace {

// Returns: false when KIV_ENABLE_COORDS is set to a number <= 0.
bool coords_enabled() {
    std::string value;
    if (!kiv_get_env("KIV_ENABLE_COORDS", value))
        return true;
    char* end = nullptr;
    long number = std::strtol(value.c_str(), &end, 10);
    if (end == value.c_str())
        return true;  // not a number
    return number > 0;
}

}  // namespace

move_map_mode::move_map_mode() : map_mode_base("MAP_MODE_MOVE") {
    idle_cursor_ = kiv_addin::make_arrow_cursor(kiv_addin::arrow_badge::move_idle);
    grab_cursor_ = kiv_addin::make_arrow_cursor(kiv_addin::arrow_badge::move_grab);
}

void move_map_mode::on_begin_mode(i_map_view* view) {
    begin_on_view(view, idle_cursor_);
}

void move_map_mode::on_end_mode() {
    end_on_view();
}

bool move_map_mode::click_down_proc(const wxPoint& pt) {
    return start_drag(pt, &grab_cursor_);
}

bool move_map_mode::motion_proc(const wxPoint& pt) {
    wxWindow* wnd = map_wnd();
    if (wnd == nullptr)
        return false;
    last_ = pt;
    pan_to(pt);
    if (coords_enabled()) {
        auto_ptr_t<i_gis_viewport> vp(viewport());
        geo_point at;
        if (vp && vp->dp_to_lc(pt.x, pt.y, at))
            view_->set_status_text(get_fmt_coord(at.lat, at.lon), 3);
    }
    return end_ == start_;
}

void move_map_mode::pan_to(const wxPoint& pt) {
    wxWindow* wnd = map_wnd();
    if (!dragging_ || wnd == nullptr)
        return;
    end_ = pt;
    if (end_ != start_)
        wnd->Refresh(false);
}

bool move_map_mode::click_up_proc(const wxPoint&) {
    wxWindow* wnd = map_wnd();
    if (wnd == nullptr)
        return false;
    dragging_ = false;
    if (wnd->HasCapture()) {
        wnd->ReleaseMouse();
        wnd->SetCursor(idle_cursor_);
    }
    geo_point centre;
    if (end_ != start_ && view_->get_center(centre)) {
        auto_ptr_t<i_gis_viewport> vp(viewport());
        geo_point s, e;
        if (vp && vp->dp_to_lc(start_.x, start_.y, s) && vp->dp_to_lc(end_.x, end_.y, e))
            view_->set_center(centre.lat + s.lat - e.lat, centre.lon + s.lon - e.lon, view_->get_scale());
    }
    clear_drag();
    return true;
}

bool move_map_mode::on_draw(wxDC* dc, wxDC* map_dc) {
    wxPoint offset = dragging_ ? end_ - start_ : wxPoint(0, 0);
    if (!blit_map(dc, map_dc, offset))
        return false;
    return offset == wxPoint(0, 0);
}

bool move_map_mode::key_down_proc(int key_code) {
    wxWindow* wnd = map_wnd();
    if (wnd == nullptr)
        return false;
    auto_ptr_t<i_gis_viewport> vp(viewport());
    if (!vp)
        return false;
    wxSize size = wnd->GetClientSize();
    int hw = size.x / 2, hh = size.y / 2, qw = hw / 2, qh = hh / 2;
    wxPoint target;
    switch (key_code) {
    // With NumLock the keypad gives digits, without it the keys' other
    // meanings; both mean the same here. The main arrow keys do not.
    case WXK_NUMPAD2:
    case WXK_NUMPAD5:
    case WXK_NUMPAD_DOWN:
    case WXK_NUMPAD_BEGIN:
        target = wxPoint(hw, hh + qh);
        break;
    case WXK_NUMPAD4:
    case WXK_NUMPAD_LEFT:
        target = wxPoint(hw - qw, hh);
        break;
    case WXK_NUMPAD6:
    case WXK_NUMPAD_RIGHT:
        target = wxPoint(hw + qw, hh);
        break;
    case WXK_NUMPAD8:
    case WXK_NUMPAD_UP:
        target = wxPoint(hw, hh - qh);
        break;
    default:
        return false;
    }
    if ((hw == 0 && hh == 0) || target == wxPoint(0, 0))
        return false;
    geo_point at;
    if (vp->dp_to_lc(target.x, target.y, at))
        view_->set_center(at.lat, at.lon, view_->get_scale());
    return true;
}

void move_map_mode::on_capture_lost() {
    bool shifted = drag_moved();
    clear_drag();
    if (wxWindow* wnd = map_wnd()) {
        wnd->SetCursor(idle_cursor_);
        if (shifted)
            wnd->Refresh(false);
    }
}

}  // namespace kiv
