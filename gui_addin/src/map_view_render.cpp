// map_view_render.cpp --
//
//     How the map view turns centre and scale into pixels: the picture is
//     rendered through kiv_gis_get_image only on paint and only when
//     marked out of date, one paint per change (the redraw inside that
//     paint asks for no second one); redraw copies it, lets the active
//     mode draw its overlay on the copy (anti-aliased RGBA), turns it into
//     a bitmap and draws the found-feature marker; paint lets the mode put the bitmap
//     on screen and adds the scale bar. Best view picks the table scale
//     that fits a box.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/log.h>
#include <kiv/gis/geodesic.h>
#include <kiv/gis/gis_lib.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/gui_addin/addin_lib.h>
#include <kiv/gui_addin/i_search_item.h>
#include <kiv/gui_addin/map_view.h>

#include <wx/dcbuffer.h>
#include <wx/image.h>
#include <wx/utils.h>

#include <chrono>
#include <cmath>

namespace kiv {

namespace {

long long now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void trace_time(const char* what, long long ms) {
    kiv_trace("\n================================================\n map_view::prepare_image() %s: %lld ms.\n"
              "================================================\n",
              what, ms);
}

}  // namespace

void map_view::render() {
    dirty_ = true;
    if (map_wnd_ != nullptr)
        map_wnd_->Refresh(true);
}

void map_view::on_paint(wxPaintEvent&) {
    if (map_wnd_ == nullptr)
        return;
    if (dirty_) {
        // This paint shows the new picture: the redraw inside need not
        // ask for a second one.
        painting_ = true;
        prepare_image();
        painting_ = false;
        dirty_ = false;
    }
    wxBufferedPaintDC dc(map_wnd_);
    wxSize size = map_wnd_->GetClientSize();
    dc.SetClippingRegion(wxRect(size));
    dc.SetPen(*wxWHITE_PEN);
    dc.SetBrush(*wxWHITE_BRUSH);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.DrawRectangle(0, 0, size.x, size.y);
    // Without a mode the view shows white with the scale bar; a mode
    // that shifts the picture asks for no scale bar.
    auto_ptr_t<i_map_mode> mode(get_active_mode());
    if (!mode || mode->on_draw(&dc, map_dc_.get()))
        draw_end(&dc);
}

void map_view::on_erase_background(wxEraseEvent& event) {
    if (wxDC* dc = event.GetDC())
        dc->SetBrush(*wxTRANSPARENT_BRUSH);
}

void map_view::prepare_image() {
    if (map_wnd_ == nullptr)
        return;
    wxBusyCursor busy;
    wxSize size = map_wnd_->GetClientSize();
    if (!center_set_ || size.x <= 0 || size.y <= 0)
        return;
    if (!viewport_)
        viewport_.reset(kiv_gis_create_viewport(size.x, size.y));
    if (!viewport_)
        return;
    view_point current;
    if (viewport_->get_viewport_size(current) && (current.x != size.x || current.y != size.y))
        viewport_->set_viewport_size(size.x, size.y);
    if (!viewport_->set_center(center_lat_, center_lon_, scale_))
        return;
    // An empty list asks a driver for every layer; once the user has
    // unticked each layer of a driver that has some, the map shows none.
    if (renderer_.empty() && driver_has_layers()) {
        image_.reset();
        redraw();
        return;
    }
    long long start = now_ms();
    image_.reset(kiv_gis_get_image(viewport_, renderer_.c_str(), tags_.c_str(), false));
    trace_time("render map", now_ms() - start);
    start = now_ms();
    redraw();
    trace_time("redraw data", now_ms() - start);
}

void map_view::redraw() {
    map_dc_.reset();
    map_bitmap_ = wxNullBitmap;
    overlay_.reset(image_ ? image_->copy() : nullptr);
    if (overlay_) {
        auto_ptr_t<i_map_mode> mode(get_active_mode());
        if (mode)
            mode->draw_agg_before(overlay_);
        draw_agg(overlay_);
        if (mode)
            mode->draw_agg_after(overlay_);
        unsigned w = overlay_->get_width(), h = overlay_->get_height();
        unsigned char* rgb = rgba2rgb(w, h, static_cast<const unsigned char*>(overlay_->get_data()),
                                      overlay_->get_data_size());
        if (rgb != nullptr) {
            wxImage picture(static_cast<int>(w), static_cast<int>(h), rgb, false);  // takes the buffer
            if (picture.IsOk()) {
                map_bitmap_ = wxBitmap(picture);
                map_dc_.reset(new wxMemoryDC(map_bitmap_));
            }
        }
    }
    if (map_dc_)
        draw_gdi(map_dc_.get());
    if (map_wnd_ != nullptr && !painting_)
        map_wnd_->Refresh(false);
}

void map_view::draw_agg(i_image*) {}

void map_view::draw_gdi(wxDC* dc) {
    view_point at;
    if (dc == nullptr || !viewport_ || !is_valid_coords(found_.lat, found_.lon) ||
        !viewport_->lc_to_dp(found_.lat, found_.lon, at))
        return;
    dc->DrawBitmap(marker_, at.x - 32, at.y - 32, true);
}

void map_view::draw_end(wxDC* dc) {
    if (dc == nullptr || map_wnd_ == nullptr)
        return;
    wxString text = get_fmt_scale(scale_);
    if (text.empty())
        return;
    wxSize size = map_wnd_->GetClientSize();
    int h = size.y;
    dc->SetFont(scale_font_);
    dc->SetPen(*wxRED_PEN);
    dc->SetTextForeground(*wxRED);
    // The bar is as long as the map draws the distance its text names
    // (what one screen centimetre shows at the scale, as the text says).
    int length = scale_bar_pixels(scale_ / 100.0, h - 25);
    if (length > 0 && 10 + length < size.x) {
        dc->DrawLine(10, h - 25, 10 + length, h - 25);
        dc->DrawLine(10, h - 27, 10, h - 22);
        dc->DrawLine(10 + length, h - 27, 10 + length, h - 22);
    }
    dc->DrawText(text, 10, h - 20);
}

int map_view::scale_bar_pixels(double metres, int row) {
    // Measured along the bar's own row over a span of 100 pixels.
    const int span = 100;
    geo_point a, b;
    if (!sync_viewport() || !viewport_->dp_to_lc(10, row, a) || !viewport_->dp_to_lc(10 + span, row, b))
        return 0;
    double across = kiv_calc_distance(a.lat, a.lon, b.lat, b.lon);
    if (!(across > 0))
        return 0;
    double pixels = std::round(metres * span / across);
    return pixels >= 1 && pixels <= 100000 ? static_cast<int>(pixels) : 0;
}

bool map_view::driver_has_layers() {
    auto_ptr_t<i_object> gis_object(find_service("svc_gis"));
    i_gis_service* gis = kiv_cast_i_gis_service(gis_object);
    const char* layers = gis != nullptr ? gis->get_layers(driver_.c_str()) : nullptr;
    return layers != nullptr && *layers != '\0';
}

void map_view::on_redraw_event(i_gui_event& event) {
    redraw();
    event.Skip();
}

void map_view::on_feature_found(i_gui_event& event) {
    event.Skip();
    auto_ptr_t<i_object> object(event.get_event_object());
    i_search_item* item = kiv_cast_i_search_item(object);
    if (item == nullptr) {
        found_ = {-99999, -99999};
        redraw();
        return;
    }
    double lat = item->get_lat(), lon = item->get_lon();
    found_ = {lat, lon};
    unsigned s = scale_;
    // Zoom in to the kind of place, never out of a closer view.
    int type = item->get_type();
    if (type == i_search_item::type_city && s >= 50001)
        set_center(lat, lon, 50000);
    else if (type == i_search_item::type_house && s > 10000)
        set_center(lat, lon, 10000);
    else if (type == i_search_item::type_street && s > 15000)
        set_center(lat, lon, 15000);
    else
        set_center(lat, lon, s);
}

void map_view::set_best_view(geo_point p1, geo_point p2) {
    if (map_wnd_ == nullptr)
        return;
    wxSize size = map_wnd_->GetClientSize();
    double w = size.x, h = size.y;
    wxArrayLong* table = get_scale_values();
    int count = static_cast<int>(table->GetCount());
    if (w <= 0 || h <= 0 || count == 0)
        return;
    geo_point c{(p1.lat + p2.lat) / 2, (p1.lon + p2.lon) / 2};
    if (!is_valid_coords(c.lat, c.lon))
        return;
    double k = kiv_gis_calc_lat_coef(c.lat);
    double m;
    if ((p2.lat - p1.lat) > (p2.lon - p1.lon) * h / w)
        m = (c.lat - p1.lat) / ((2.8257 / k) * (h * 0.5));
    else
        m = (c.lon - p1.lon) / ((w * 0.5) * 2.8257);
    m *= 743850000.0;  // the scale at which half the box fills half the window
    // A metric equal to an entry belongs to that entry; the box's
    // corners come as doubles, so "equal" allows for their rounding.
    for (int j = 0; j < count; ++j)
        if (std::fabs(m - (*table)[j]) <= (*table)[j] * 1e-9)
            m = (*table)[j];
    int i = count - 1;
    if (!(m >= 0) || m > (*table)[0]) {
        i = 0;
    } else {
        for (int j = 0; j + 1 < count; ++j) {
            if ((*table)[j + 1] < m && m <= (*table)[j]) {
                i = j;
                break;
            }
        }
    }
    // Between 1:25000000 and 1:200000 the next coarser scale keeps a
    // margin around the box.
    if (i >= 1 && i <= 8)
        i -= 1;
    scale_index_ = i;
    scale_ = static_cast<unsigned>((*table)[i]);
    center_lat_ = c.lat;
    center_lon_ = c.lon;
    render();
}

}  // namespace kiv
