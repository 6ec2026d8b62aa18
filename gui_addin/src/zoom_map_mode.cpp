// zoom_map_mode.cpp --
//
//     The rubber-band zoom mode (see zoom_map_mode.h). The band is drawn
//     into the view's overlay copy (redraw, no rendering) while it is
//     dragged; releasing the button hands the box to the view's best view.

#include "agg_draw.h"
#include "map_pictures.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/gui_addin/zoom_map_mode.h>

#include <wx/dc.h>
#include <wx/window.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kiv {

zoom_map_mode::zoom_map_mode() : map_mode_base("MAP_MODE_ZOOM") {
    cursor_ = kiv_addin::make_arrow_cursor(kiv_addin::arrow_badge::zoom);
}

void zoom_map_mode::on_begin_mode(i_map_view* view) {
    begin_on_view(view, cursor_);
}

void zoom_map_mode::on_end_mode() {
    end_on_view();
}

bool zoom_map_mode::click_down_proc(const wxPoint& pt) {
    return start_drag(pt, nullptr);
}

bool zoom_map_mode::motion_proc(const wxPoint& pt) {
    if (map_wnd() == nullptr)
        return false;
    if (!dragging_)
        return true;
    end_ = pt;
    if (end_ != start_)
        view_->redraw();
    return true;
}

bool zoom_map_mode::click_up_proc(const wxPoint&) {
    if (map_wnd() == nullptr)
        return false;
    dragging_ = false;
    release_capture();
    auto_ptr_t<i_gis_viewport> vp(viewport());
    geo_point s, e;
    if (end_ != start_ && vp && vp->dp_to_lc(start_.x, start_.y, s) && vp->dp_to_lc(end_.x, end_.y, e)) {
        geo_point min{std::min(s.lat, e.lat), std::min(s.lon, e.lon)};
        geo_point max{std::max(s.lat, e.lat), std::max(s.lon, e.lon)};
        if (end_.y < start_.y) {
            // Dragged upwards: widen the box beyond the window's extent,
            // the more the smaller the band, so the map zooms out.
            wxSize size = map_wnd()->GetClientSize();
            double w = size.x, h = size.y;
            double dx = std::abs(end_.x - start_.x), dy = std::abs(end_.y - start_.y);
            double k = std::sqrt((w - dx) * (w - dx) + (h - dy) * (h - dy)) / std::sqrt(w * w + h * h);
            geo_point p0, p1;
            if (vp->dp_to_lc(0, 0, p0) && vp->dp_to_lc(size.x, size.y, p1)) {
                double e_lon = (std::fabs(p1.lon - p0.lon) - (max.lon - min.lon)) * k * 3;
                double e_lat = (std::fabs(p1.lat - p0.lat) - (max.lat - min.lat)) * k * 3;
                min.lon -= e_lon;
                max.lon += e_lon;
                min.lat -= e_lat;
                max.lat += e_lat;
            }
        }
        start_ = end_ = wxPoint(0, 0);
        view_->set_best_view(min, max);
        return true;
    }
    bool drawn = end_ != start_;
    start_ = end_ = wxPoint(0, 0);
    if (drawn)
        view_->redraw();  // take the band off the picture
    return true;
}

bool zoom_map_mode::on_draw(wxDC* dc, wxDC* map_dc) {
    return blit_map(dc, map_dc, wxPoint(0, 0));
}

void zoom_map_mode::draw_agg_after(i_image* image) {
    if (image == nullptr || start_ == end_)
        return;
    auto_ptr_t<i_gis_viewport> vp(viewport());
    if (!vp)
        return;
    const double band[] = {double(start_.x), double(start_.y), double(end_.x), double(start_.y),
                           double(end_.x),   double(end_.y),   double(start_.x), double(end_.y)};
    kiv_addin::fill_polygon(image, band, 4, 0x30FF0000u);       // blue, alpha 48
    kiv_addin::stroke_polygon(image, band, 4, 2, 0xAAFF0000u);  // blue, alpha 170
}

void zoom_map_mode::on_capture_lost() {
    bool drawn = drag_moved();
    clear_drag();
    if (drawn && view_ != nullptr)
        view_->redraw();
}

}  // namespace kiv
