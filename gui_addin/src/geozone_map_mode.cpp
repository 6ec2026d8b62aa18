// geozone_map_mode.cpp --
//
//     The geozone editor (see geozone_map_mode.h): hit test, vertex
//     operations with their outgoing events, the incoming events, the
//     mouse, and the overlay drawn into the view's copy of the picture.

#include "agg_draw.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_translator.h>
#include <kiv/gis/geodesic.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/gui_addin/addin_lib.h>
#include <kiv/gui_addin/geozone_map_mode.h>
#include <kiv/image/i_image.h>
#include <kiv/image/image_lib.h>

#include <wx/gdicmn.h>
#include <wx/kbdstate.h>
#include <wx/utils.h>
#include <wx/window.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kiv {

namespace {

const char* const incoming[] = {"AVL_EVT_MAP_MODE_SET_GEOZONE_POINTS", "AVL_EVT_MAP_MODE_CENTER_GEOZONE_POINT",
                                "AVL_EVT_MAP_MODE_SET_GEOZONE_TYPE", "AVL_EVT_MAP_MODE_SET_GEOZONE_DEVIATION",
                                "AVL_EVT_MAP_MODE_ENABLE_EDIT_GEOZONE"};

// Returns: the decimal value of an i_string payload, 0 for anything else.
int string_value(i_gui_event& event) {
    auto_ptr_t<i_object> object(event.get_event_object());
    i_string* text = kiv_cast_i_string(object);
    return text != nullptr ? std::atoi(text->get_value()) : 0;
}

void fire(const char* name, geozone_point* point) {
    gui_event event(name, 0, point);
    kiv_fire_gui_event(&event, false);
}

wxString translated(const char* text) {
    const char* t = kiv_translate(text, "");
    return wxString::FromUTF8(t != nullptr ? t : text);
}

// Returns: a new vertex at (lat, lon) named after the place there, with
//     one reference, which the caller owns.
geozone_point* new_point(double lat, double lon) {
    auto* p = new geozone_point;
    p->addref();
    p->latitude = lat;
    p->longitude = lon;
    p->set_location(get_location(lat, lon).utf8_str());
    return p;
}

// Returns: 1 for every degree of latitude (or longitude) at p, metres.
double metres_per_degree(double lat, double lon, bool along_meridian) {
    return along_meridian ? kiv_calc_distance(lat, lon, lat + 1, lon) : kiv_calc_distance(lat, lon, lat, lon + 1);
}

}  // namespace

bool geozone_point::get_interface(const char* name, void** out) {
    if (answer_interface(name, "geozone_point", this, out))
        return true;
    return object::get_interface(name, out);
}

geozone_map_mode::geozone_map_mode() {
    set_name("MAP_MODE_GEOZONE");
    std::string value;
    if (kiv_get_env("KIV_ENABLE_COORDS", value)) {
        char* end = nullptr;
        long number = std::strtol(value.c_str(), &end, 10);
        coords_ = end == value.c_str() || number > 0;
    }
    move_vertex_cursor_ = wxCursor(wxCURSOR_SIZING);
    delete_cursor_ = wxCursor(wxCURSOR_NO_ENTRY);
    insert_cursor_ = wxCursor(wxCURSOR_CROSS);
}

geozone_map_mode::~geozone_map_mode() {
    clear_zone();
}

bool geozone_map_mode::get_interface(const char* name, void** out) {
    if (answer_interface(name, "geozone_map_mode", this, out))
        return true;
    if (answer_interface(name, "move_map_mode", static_cast<move_map_mode*>(this), out))
        return true;
    return move_map_mode::get_interface(name, out);
}

void geozone_map_mode::clear_zone() {
    for (geozone_point* p : zone_)
        p->release();
    zone_.clear();
    if (moved_ != nullptr)
        moved_->release();
    moved_ = nullptr;
    moved_index_ = -1;
}

void geozone_map_mode::on_begin_mode(i_map_view* view) {
    edit_ = false;
    move_map_mode::on_begin_mode(view);
}

void geozone_map_mode::on_end_mode() {
    clear_zone();
    edit_ = false;
    move_map_mode::on_end_mode();  // handlers, drag, capture, field 3
    if (map_wnd() != nullptr) {
        view_->set_status_text(wxString(), 0);
        view_->set_status_text(wxString(), 1);
    }
}

void geozone_map_mode::install_handlers() {
    uninstall_handlers();  // never twice
    kiv_install_gui_handler(0, incoming[0], kiv_gui_event_handler(geozone_map_mode::on_set_points), this);
    kiv_install_gui_handler(0, incoming[1], kiv_gui_event_handler(geozone_map_mode::on_center_point), this);
    kiv_install_gui_handler(0, incoming[2], kiv_gui_event_handler(geozone_map_mode::on_set_type), this);
    kiv_install_gui_handler(0, incoming[3], kiv_gui_event_handler(geozone_map_mode::on_set_deviation), this);
    kiv_install_gui_handler(0, incoming[4], kiv_gui_event_handler(geozone_map_mode::on_enable_edit), this);
}

void geozone_map_mode::uninstall_handlers() {
    kiv_uninstall_gui_handler(0, incoming[0], kiv_gui_event_handler(geozone_map_mode::on_set_points), this);
    kiv_uninstall_gui_handler(0, incoming[1], kiv_gui_event_handler(geozone_map_mode::on_center_point), this);
    kiv_uninstall_gui_handler(0, incoming[2], kiv_gui_event_handler(geozone_map_mode::on_set_type), this);
    kiv_uninstall_gui_handler(0, incoming[3], kiv_gui_event_handler(geozone_map_mode::on_set_deviation), this);
    kiv_uninstall_gui_handler(0, incoming[4], kiv_gui_event_handler(geozone_map_mode::on_enable_edit), this);
}

// --- vertex operations --------------------------------------------------------

bool geozone_map_mode::add_geozone_point(double lat, double lon) {
    if (!edit_ || !is_valid_coords(lat, lon) || (type_ == 3 && !zone_.empty()))
        return false;
    geozone_point* p = new_point(lat, lon);
    zone_.push_back(p);
    fire("AVL_EVT_MAP_MODE_ADD_GEOZONE_POINT", p);
    return true;
}

bool geozone_map_mode::insert_geozone_point(int index, double lat, double lon) {
    if (!edit_ || !is_valid_coords(lat, lon) || index < 0 || size_t(index) > zone_.size() ||
        (type_ == 3 && !zone_.empty()))
        return false;
    geozone_point* p = new_point(lat, lon);
    p->index = index;
    zone_.insert(zone_.begin() + index, p);
    fire("AVL_EVT_MAP_MODE_INSERT_GEOZONE_POINT", p);
    return true;
}

bool geozone_map_mode::remove_geozone_point(int index) {
    if (!edit_ || index < 0 || size_t(index) >= zone_.size())
        return false;
    geozone_point* p = zone_[index];
    zone_.erase(zone_.begin() + index);
    fire("AVL_EVT_MAP_MODE_REMOVE_GEOZONE_POINT", p);
    p->release();
    return true;
}

bool geozone_map_mode::update_geozone_point(int index, double lat, double lon) {
    if (!edit_ || !is_valid_coords(lat, lon) || index < 0 || size_t(index) >= zone_.size())
        return false;
    geozone_point* p = zone_[index];
    // A drag has moved the vertex here already; a call from elsewhere
    // moves it, so the place name never describes another position.
    p->latitude = lat;
    p->longitude = lon;
    p->set_location(get_location(lat, lon).utf8_str());
    p->index = index;
    fire("AVL_EVT_MAP_MODE_CHANGE_GEOZONE_POINT", p);
    return true;
}

// --- hit test -----------------------------------------------------------------

int geozone_map_mode::hit_test_geozone(int x, int y, geozone_flags& kind) {
    kind = hit_none;
    if (!edit_ || view_ == nullptr)
        return -1;
    auto_ptr_t<i_gis_viewport> vp(viewport());
    geo_point c;
    if (!vp || !vp->dp_to_lc(x, y, c))
        return -1;
    wxPoint at(x, y);
    // Returns: whether the nearest point of the segment a-b to C lies
    // within the square of side 2 * half around its pixel.
    auto near_segment = [&](const geozone_point* a, const geozone_point* b, int half) {
        geo_point f;
        kiv_distance_to_line2(a->latitude, a->longitude, b->latitude, b->longitude, c.lat, c.lon, &f);
        view_point fp;
        return vp->lc_to_dp(f.lat, f.lon, fp) && wxRect(fp.x - half, fp.y - half, 2 * half, 2 * half).Contains(at);
    };
    for (size_t i = 0; i < zone_.size(); ++i) {
        view_point p;
        if (vp->lc_to_dp(zone_[i]->latitude, zone_[i]->longitude, p) && wxRect(p.x - 6, p.y - 6, 12, 12).Contains(at)) {
            kind = hit_vertex;
            return int(i);
        }
        if (i >= 1 && near_segment(zone_[i - 1], zone_[i], 4)) {
            kind = hit_segment;
            return int(i);
        }
    }
    if (zone_.size() > 1 && near_segment(zone_.front(), zone_.back(), 6)) {
        kind = hit_segment;
        return int(zone_.size());
    }
    kind = hit_free;
    return -1;
}

// --- mouse --------------------------------------------------------------------

bool geozone_map_mode::db_click_proc(const wxPoint& pt) {
    if (!edit_ || map_wnd() == nullptr)
        return false;
    auto_ptr_t<i_gis_viewport> vp(viewport());
    geo_point at;
    if (!vp || !vp->dp_to_lc(pt.x, pt.y, at))
        return false;
    geozone_flags kind;
    int hit = hit_test_geozone(pt.x, pt.y, kind);
    bool changed = false;
    if (kind == hit_free)
        changed = add_geozone_point(at.lat, at.lon);
    else if (kind == hit_segment)
        changed = insert_geozone_point(hit, at.lat, at.lon);
    else if (kind == hit_vertex && wxGetKeyState(WXK_CONTROL))
        changed = remove_geozone_point(hit);
    if (changed)
        view_->redraw();
    return true;
}

bool geozone_map_mode::click_down_proc(const wxPoint& pt) {
    wxWindow* wnd = map_wnd();
    if (!edit_ || wnd == nullptr)
        return false;
    geozone_flags kind;
    int hit = hit_test_geozone(pt.x, pt.y, kind);
    if (kind == hit_vertex && !wxGetKeyState(WXK_CONTROL)) {
        if (!wnd->HasCapture())
            wnd->CaptureMouse();
        if (moved_ != nullptr)
            moved_->release();
        moved_index_ = hit;
        moved_ = zone_[hit];
        moved_->addref();
        vertex_moved_ = false;
        wnd->SetCursor(move_vertex_cursor_);
        return true;
    }
    return move_map_mode::click_down_proc(pt);
}

bool geozone_map_mode::motion_proc(const wxPoint& pt) {
    wxWindow* wnd = map_wnd();
    if (!edit_ || wnd == nullptr)
        return false;
    mouse_ = pt;
    last_ = pt;
    auto_ptr_t<i_gis_viewport> vp(viewport());
    geo_point at;
    bool located = vp && vp->dp_to_lc(pt.x, pt.y, at);
    if (moved_ != nullptr) {
        if (located) {
            moved_->latitude = at.lat;
            moved_->longitude = at.lon;
            vertex_moved_ = true;
            view_->redraw();
        }
    } else if (dragging_) {
        // Unlike the move mode, the view goes on to the tooltip during a
        // pan too.
        pan_to(pt);
    } else {
        geozone_flags kind;
        hit_test_geozone(pt.x, pt.y, kind);
        if (kind == hit_segment)
            wnd->SetCursor(insert_cursor_);
        else if (kind == hit_vertex)
            wnd->SetCursor(wxGetKeyState(WXK_CONTROL) ? delete_cursor_ : move_vertex_cursor_);
        else if (kind == hit_free)
            wnd->SetCursor(idle_cursor_);
    }
    if (coords_ && located)
        view_->set_status_text(get_fmt_coord(at.lat, at.lon), 3);
    return true;
}

bool geozone_map_mode::click_up_proc(const wxPoint& pt) {
    wxWindow* wnd = map_wnd();
    if (!edit_ || wnd == nullptr)
        return false;
    if (moved_ == nullptr)
        return move_map_mode::click_up_proc(pt);  // finishes a pan
    if (wnd->HasCapture()) {
        wnd->ReleaseMouse();
        wnd->SetCursor(idle_cursor_);
    }
    auto_ptr_t<i_gis_viewport> vp(viewport());
    bool result = false;
    if (vp) {
        geo_point at;
        // A click on a vertex (as the first half of a double click) is
        // no move and reports no change.
        if (vertex_moved_ && vp->dp_to_lc(pt.x, pt.y, at)) {
            moved_->latitude = at.lat;
            moved_->longitude = at.lon;
            update_geozone_point(moved_index_, at.lat, at.lon);
            view_->redraw();
        }
        result = true;
    }
    moved_->release();
    moved_ = nullptr;
    moved_index_ = -1;
    return result;
}

void geozone_map_mode::on_capture_lost() {
    // A vertex picked up is dropped where it is, without a change event.
    if (moved_ != nullptr) {
        moved_->release();
        moved_ = nullptr;
        moved_index_ = -1;
        if (map_wnd() != nullptr)
            view_->redraw();
    }
    move_map_mode::on_capture_lost();
}

void geozone_map_mode::tooltip_proc(const wxPoint& pt, tooltip_wnd* tooltip) {
    if (!edit_ || tooltip == nullptr || map_wnd() == nullptr)
        return;
    wxString action = translated("Action:") + " ";
    if (zone_.empty()) {
        view_->set_status_text(action + translated("add point"), 1);
        return;
    }
    geozone_flags kind;
    int hit = hit_test_geozone(pt.x, pt.y, kind);
    wxString place;
    if (kind == hit_segment) {
        action += translated("insert point");
    } else if (kind == hit_vertex) {
        const geozone_point* v = zone_[hit];
        if (is_valid_coords(v->latitude, v->longitude)) {
            action += translated(wxGetKeyState(WXK_CONTROL) ? "delete point" : "move point");
            place = get_location(v->latitude, v->longitude);
        }
    } else if (kind == hit_free) {
        action += translated("add point");
    }
    view_->set_status_text(translated("Location:") + " " + (place.empty() ? translated("Unknown") : place), 0);
    view_->set_status_text(action, 1);
}

// --- incoming events ------------------------------------------------------------

void geozone_map_mode::on_set_points(i_gui_event& event) {
    event.Skip();
    if (!edit_ || view_ == nullptr)
        return;
    clear_zone();
    auto_ptr_t<i_object> object(event.get_event_object());
    i_object_col* col = kiv_cast_i_object_col(object);
    if (col == nullptr)
        return;
    // Only vertices join the zone: everything else in it could not be
    // drawn, hit or reported.
    for (unsigned i = 0, n = col->get_count(); i < n; ++i) {
        auto_ptr_t<i_object> item(col->get_item_by_pos(i));
        geozone_point* p = kiv_cast_geozone_point(item);
        if (p != nullptr) {
            p->addref();
            zone_.push_back(p);
        }
    }
    geo_point min{999999999.9, 999999999.9}, max{-999999999.9, -999999999.9};
    bool boxed = false;
    if (type_ == 1 || type_ == 2 || type_ == 4) {
        for (const geozone_point* p : zone_) {
            if (!is_valid_coords(p->latitude, p->longitude))
                continue;
            min.lat = std::min(min.lat, p->latitude);
            min.lon = std::min(min.lon, p->longitude);
            max.lat = std::max(max.lat, p->latitude);
            max.lon = std::max(max.lon, p->longitude);
            boxed = true;
        }
    } else if (type_ == 3 && !zone_.empty() && is_valid_coords(zone_[0]->latitude, zone_[0]->longitude)) {
        const geozone_point* p = zone_[0];
        double m_lat = metres_per_degree(p->latitude, p->longitude, true);
        double m_lon = metres_per_degree(p->latitude, p->longitude, false);
        double d_lat = m_lat != 0 ? deviation_ / m_lat : 0, d_lon = m_lon != 0 ? deviation_ / m_lon : 0;
        min = {p->latitude - d_lat, p->longitude - d_lon};
        max = {p->latitude + d_lat, p->longitude + d_lon};
        boxed = true;
    }
    // Without a valid place to show (or a type that has no box) the map
    // stays where it is rather than jumping to the box's start values.
    if (boxed)
        view_->set_best_view(min, max);
    else
        view_->redraw();
}

void geozone_map_mode::on_center_point(i_gui_event& event) {
    event.Skip();
    if (!edit_ || view_ == nullptr)
        return;
    auto_ptr_t<i_object> object(event.get_event_object());
    geozone_point* p = kiv_cast_geozone_point(object);
    if (p != nullptr && is_valid_coords(p->latitude, p->longitude))
        view_->set_center(p->latitude, p->longitude, view_->get_scale());
}

void geozone_map_mode::set_from_event(i_gui_event& event, int& field) {
    event.Skip();
    if (!edit_ || view_ == nullptr)
        return;
    int value = string_value(event);
    if (value != field) {
        field = value;
        view_->redraw();
    }
}

void geozone_map_mode::on_set_type(i_gui_event& event) {
    set_from_event(event, type_);
}

void geozone_map_mode::on_set_deviation(i_gui_event& event) {
    set_from_event(event, deviation_);
}

void geozone_map_mode::on_enable_edit(i_gui_event& event) {
    event.Skip();
    set_enable(string_value(event) > 0);
}

// --- drawing ----------------------------------------------------------------------

int geozone_map_mode::deviation_pixels(i_gis_viewport* vp) {
    if (deviation_ == 0 || zone_.empty())
        return 0;
    const geozone_point* p = zone_[0];
    view_point pp, q;
    if (!vp->lc_to_dp(p->latitude, p->longitude, pp))
        return 0;
    double m = metres_per_degree(p->latitude, p->longitude, true);
    double d_lat = m != 0 ? deviation_ / m : 0;
    if (!vp->lc_to_dp(p->latitude + d_lat, p->longitude, q))
        return 0;
    return std::abs(q.y - pp.y);
}

void geozone_map_mode::draw_agg_after(i_image* image) {
    if (!edit_ || image == nullptr || view_ == nullptr || zone_.empty())
        return;
    auto_ptr_t<i_gis_viewport> vp(viewport());
    if (!vp)
        return;
    int r = deviation_pixels(vp.get());
    if (type_ == 3) {
        view_point p;
        if (!vp->lc_to_dp(zone_[0]->latitude, zone_[0]->longitude, p))
            return;
        if (r != 0)
            kiv_addin::fill_ellipse(image, p.x, p.y, r, 0x7F0000FFu);
        kiv_addin::fill_ellipse(image, p.x, p.y, 6, 0xAA0000FFu);
        return;
    }
    unsigned w = image->get_width(), h = image->get_height();
    if (w == 0 || h == 0)
        return;
    std::vector<double> xy;
    std::vector<view_point> px;
    for (const geozone_point* v : zone_) {
        view_point p;
        if (!vp->lc_to_dp(v->latitude, v->longitude, p))
            continue;
        xy.push_back(p.x);
        xy.push_back(p.y);
        px.push_back(p);
    }
    unsigned n = unsigned(px.size());
    if (type_ == 1 || type_ == 4) {
        kiv_addin::stroke_polyline(image, xy.data(), n, std::max(2.0 * r, 4.0), 0x7F0000FFu);
    } else if (type_ == 2) {
        kiv_addin::fill_polygon(image, xy.data(), n, 0x500000FFu);
        kiv_addin::stroke_polygon(image, xy.data(), n, 4, 0xFF0000FFu);
    }
    for (unsigned i = 0; i < n; ++i)
        kiv_addin::fill_ellipse(image, xy[2 * i], xy[2 * i + 1], 6, 0xFF0000FFu);
    auto_ptr_t<i_image> labels(kiv_image_create(w, h, 0x00FFFFFFu));
    kiv_addin::label_font font(8, 0xFFFFFFFFu);
    if (!labels || !font.ok())
        return;
    for (size_t i = 0; i < zone_.size(); ++i) {
        view_point p;
        if (!vp->lc_to_dp(zone_[i]->latitude, zone_[i]->longitude, p))
            continue;
        char text[32];
        std::snprintf(text, sizeof text, "%ld", long(i + 1));
        unsigned tw = 0, th = 0;
        if (font.set_text(text, tw, th))
            font.render(labels.get(), p.x - int(tw) / 2, p.y + int(th) / 2);
    }
    image->blend_image(labels.get(), 0, 0, 255);
}

}  // namespace kiv

kiv::geozone_point* kiv_cast_geozone_point(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::geozone_point>(obj, "geozone_point");
}

kiv::geozone_map_mode* kiv_cast_geozone_map_mode(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::geozone_map_mode>(obj, "geozone_map_mode");
}
