// dimension_map_mode.cpp --
//
//     The measuring mode (see dimension_map_mode.h) and the area of a
//     measured outline. The measured line, the segment labels and the
//     area label are drawn into the view's overlay copy; the rubber line
//     to the cursor is painted on the window.
//
//     Its numbers follow the rule of every number the map view shows (the
//     scale bar's, the coordinates'): a "." before the decimals whatever
//     the process locale, so a host that switches LC_NUMERIC to a decimal
//     comma after start does not make one readout differ from the others.

#include "agg_draw.h"
#include "map_pictures.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/c_locale.h>
#include <kiv/core/i_translator.h>
#include <kiv/gis/geodesic.h>
#include <kiv/gui_addin/dimension_map_mode.h>
#include <kiv/image/i_image.h>
#include <kiv/image/image_lib.h>

#include <wx/dc.h>
#include <wx/pen.h>
#include <wx/window.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

static const char* const dimension_xpm[] = {
    "32 32 3 1",
    "  c None",
    ". c #000000",
    "X c #FFFFFF",
    "       X.X                      ",
    "       X.X                      ",
    "       X.X                      ",
    "       X.X                      ",
    "       X.X                      ",
    "       X.X                      ",
    "       X.X                      ",
    "XXXXXXX . XXXXXXXX              ",
    "........ .........              ",
    "XXXXXXX . XXXXXXXX              ",
    "       X.X                      ",
    "       X.X                      ",
    "       X.X                      ",
    "       X.X                      ",
    "       X.X                      ",
    "       X.X                      ",
    "       X.X                      ",
    "       X.X                      ",
    "            ................... ",
    "            .XX.XX.XX.XX.XX.XX. ",
    "            .XX.XX.XX.XX.XX.XX. ",
    "            .XXXXXXXXXXXXXXXXX. ",
    "            .XXXXXXXXXXXXXXXXX. ",
    "            ................... ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
};

// The conversions of a printf pattern in order ("%.3f%.0f").
std::string conversions(const char* pattern) {
    std::string out;
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (*p != '%')
            continue;
        const char* start = p++;
        while (*p != '\0' && std::strchr("0123456789.-+ #lh", *p) != nullptr)
            ++p;
        if (*p == '\0')
            return out + "!";  // cut short: never matches a sound pattern
        out.append(start, p + 1);
    }
    return out;
}

// Returns: the translation of `pattern` when it has the same conversions
//     in the same order, else `pattern` itself: a translation never
//     brings in a conversion the arguments do not match.
const char* safe_pattern(const char* pattern) {
    const char* translated = kiv_translate(pattern, "");
    if (translated == nullptr || conversions(translated) != conversions(pattern))
        return pattern;
    return translated;
}

}  // namespace

namespace {

struct plane_point {
    double x, y;  // metres south and east of the outline's north-west corner
};

// Twice the signed area of the triangle a, b, c: its sign tells on which
// side of the line a -> b the point c lies.
double cross(const plane_point& a, const plane_point& b, const plane_point& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

bool opposite_signs(double a, double b) {
    return (a > 0 && b < 0) || (a < 0 && b > 0);
}

// Whether the closed outline has two edges that cross each other (a
// touch at one point or edges along one line do not count).
bool crosses_itself(const std::vector<plane_point>& p) {
    const size_t n = p.size();
    for (size_t i = 0; i < n; ++i) {
        const plane_point &a = p[i], &b = p[(i + 1) % n];
        // Edges that share a vertex with edge i cannot cross it.
        for (size_t j = i + 2; j < n; ++j) {
            if (i == 0 && j == n - 1)
                continue;
            const plane_point &c = p[j], &d = p[(j + 1) % n];
            if (opposite_signs(cross(c, d, a), cross(c, d, b)) && opposite_signs(cross(a, b, c), cross(a, b, d)))
                return true;
        }
    }
    return false;
}

// The convex hull of the points in order around it (Andrew's monotone
// chain); collinear points on its edges are left out.
std::vector<plane_point> convex_hull(std::vector<plane_point> p) {
    std::sort(p.begin(), p.end(),
              [](const plane_point& a, const plane_point& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    if (p.size() < 3)
        return p;
    std::vector<plane_point> hull(2 * p.size());
    size_t k = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        while (k >= 2 && cross(hull[k - 2], hull[k - 1], p[i]) <= 0)
            --k;
        hull[k++] = p[i];
    }
    for (size_t i = p.size() - 1, lower = k + 1; i > 0; --i) {
        while (k >= lower && cross(hull[k - 2], hull[k - 1], p[i - 1]) <= 0)
            --k;
        hull[k++] = p[i - 1];
    }
    hull.resize(k - 1);  // the last point is the first again
    return hull;
}

// The shoelace sum over the closed outline, in m² times two.
double shoelace(const std::vector<plane_point>& p) {
    double s = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        const plane_point& q = p[(i + 1) % p.size()];
        s += (p[i].x - q.x) * (p[i].y + q.y);
    }
    return s;
}

}  // namespace

double get_polygon_area(const wxArrayRealPoint& points) {
    size_t n = points.GetCount();
    if (n < 3)
        return 0;
    if (n == 3) {
        const wxRealPoint &p0 = points[0], &p1 = points[1], &p2 = points[2];
        double h = kiv_geodistance_to_line(p0.x, p0.y, p1.x, p1.y, p2.x, p2.y, false);
        return std::fabs(kiv_calc_distance(p0.x, p0.y, p1.x, p1.y) * h * 5e-7);
    }
    // A local plane in metres from the north-west corner of the points'
    // box: south along the meridian, east along each point's own parallel
    // (the corner's parallel would stretch the east offsets of the points
    // farther south).
    double north = -1e300, west = 1e300;
    for (size_t i = 0; i < n; ++i) {
        north = std::max(north, points[i].x);
        west = std::min(west, points[i].y);
    }
    std::vector<plane_point> plane(n);
    for (size_t i = 0; i < n; ++i) {
        plane[i].x = kiv_calc_distance(north, west, points[i].x, west);
        plane[i].y = kiv_calc_distance(points[i].x, west, points[i].x, points[i].y);
    }
    // An outline that does not cross itself measures its own area, a
    // concave one too. One clicked crosswise encloses no area of its own
    // (its loops cancel out): it measures the area of its convex hull,
    // which is what the user meant by the corners clicked.
    if (crosses_itself(plane))
        plane = convex_hull(plane);
    return std::fabs(shoelace(plane) * 5e-7);
}

namespace kiv {

dimension_map_mode::dimension_map_mode() : map_mode_base("MAP_MODE_DIMENSION") {
    cursor_ = kiv_addin::make_cursor(dimension_xpm, 8, 8);
}

void dimension_map_mode::on_begin_mode(i_map_view* view) {
    total_ = current_ = 0;
    points_.Clear();
    mouse_ = wxPoint(0, 0);
    rubber_ = false;
    begin_on_view(view, cursor_);
}

void dimension_map_mode::on_end_mode() {
    points_.Clear();
    rubber_ = false;
    end_on_view();
}

bool dimension_map_mode::click_down_proc(const wxPoint& pt) {
    wxWindow* wnd = map_wnd();
    if (wnd == nullptr)
        return false;
    if (!wnd->HasCapture())
        wnd->CaptureMouse();
    mouse_ = pt;
    auto_ptr_t<i_gis_viewport> vp(viewport());
    if (!vp)
        return false;
    geo_point at;
    if (vp->dp_to_lc(pt.x, pt.y, at)) {
        points_.Add(wxRealPoint(at.lat, at.lon));
        size_t n = points_.GetCount();
        if (n >= 2)
            total_ += kiv_calc_distance(points_[n - 2].x, points_[n - 2].y, at.lat, at.lon) / 1000;
        view_->redraw();
    }
    return true;
}

bool dimension_map_mode::click_up_proc(const wxPoint&) {
    if (map_wnd() == nullptr)
        return false;
    release_capture();
    mouse_ = wxPoint(0, 0);
    // The rubber line waits for the next motion rather than pointing to
    // the window's corner.
    rubber_ = false;
    return true;
}

bool dimension_map_mode::motion_proc(const wxPoint& pt) {
    wxWindow* wnd = map_wnd();
    if (wnd == nullptr)
        return false;
    mouse_ = pt;
    rubber_ = true;
    if (points_.IsEmpty())
        return true;
    auto_ptr_t<i_gis_viewport> vp(viewport());
    geo_point at;
    if (vp && vp->dp_to_lc(pt.x, pt.y, at)) {
        const wxRealPoint& last = points_.Last();
        current_ = kiv_calc_distance(last.x, last.y, at.lat, at.lon) / 1000;
        char text[256];
        c_snprintf(text, sizeof text, safe_pattern("Distance: %.03f+%.03f=%.03f km"), total_, current_,
                   total_ + current_);
        view_->set_status_text(wxString::FromUTF8(text), 3);
        wnd->Refresh(false);
    }
    return true;
}

bool dimension_map_mode::context_menu_proc(const wxPoint&) {
    points_.Clear();
    total_ = current_ = 0;
    if (map_wnd() != nullptr) {
        view_->redraw();
        view_->set_status_text(wxString(), 3);
    }
    return false;  // the view does not re-centre
}

bool dimension_map_mode::db_click_proc(const wxPoint&) {
    return map_wnd() != nullptr;
}

bool dimension_map_mode::on_draw(wxDC* dc, wxDC* map_dc) {
    if (!blit_map(dc, map_dc, wxPoint(0, 0)))
        return false;
    auto_ptr_t<i_gis_viewport> vp(viewport());
    if (vp && rubber_ && !points_.IsEmpty()) {
        view_point p;
        const wxRealPoint& last = points_.Last();
        if (vp->lc_to_dp(last.x, last.y, p)) {
            dc->SetPen(wxPen(*wxRED, 2, wxPENSTYLE_DOT));
            dc->DrawLine(int(p.x), int(p.y), mouse_.x, mouse_.y);
        }
    }
    return true;
}

wxString dimension_map_mode::format_length(double metres) {
    char text[128];
    if (metres < 1000)
        c_snprintf(text, sizeof text, safe_pattern("%.0f m"), metres);
    else
        c_snprintf(text, sizeof text, safe_pattern("%.3f km"), metres / 1000);
    return wxString::FromUTF8(text);
}

wxString dimension_map_mode::format_area(double km2) {
    char text[128];
    c_snprintf(text, sizeof text, safe_pattern("%.3f sq. km"), km2);
    return wxString::FromUTF8(text);
}

namespace {

// Draws `text` onto `labels` in a rounded box of `fill`, the text's box
// centred at (cx, cy) (integer halves, as the labels are placed).
void boxed_label(kiv_addin::label_font& font, i_image* labels, const char* text, int cx, int cy,
                 unsigned fill) {
    unsigned tw = 0, th = 0;
    if (!font.set_text(text, tw, th))
        return;
    int x = cx - int(tw) / 2, y = cy - int(th) / 2;
    kiv_addin::fill_rounded_rect(labels, x - 2, y - 2, x + int(tw) + 2, y + int(th) + 2, 4, fill);
    font.render(labels, x, y + int(th));
}

}  // namespace

void dimension_map_mode::draw_agg_after(i_image* image) {
    if (image == nullptr || view_ == nullptr || points_.IsEmpty())
        return;
    auto_ptr_t<i_gis_viewport> vp(viewport());
    if (!vp)
        return;
    size_t n = points_.GetCount();
    std::vector<double> xy;
    std::vector<view_point> px(n);
    std::vector<bool> shown(n);
    xy.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        shown[i] = vp->lc_to_dp(points_[i].x, points_[i].y, px[i]);
        if (shown[i]) {
            xy.push_back(px[i].x);
            xy.push_back(px[i].y);
        }
    }
    if (!xy.empty())
        kiv_addin::draw_track(image, xy.data(), unsigned(xy.size() / 2), 4, 5, 0xAAFF0000u);

    unsigned w = image->get_width(), h = image->get_height();
    if (w == 0 || h == 0)
        return;
    auto_ptr_t<i_image> labels(kiv_image_create(w, h, 0x00FFFFFFu));
    kiv_addin::label_font font(8, 0xFF000000u);
    if (!labels || !font.ok())
        return;
    int min_x = 999999999, min_y = 999999999, max_x = -999999999, max_y = -999999999;
    for (size_t i = 0; i + 1 < n; ++i) {
        if (!shown[i] || !shown[i + 1])
            continue;
        int x0 = int(px[i].x), y0 = int(px[i].y), x1 = int(px[i + 1].x), y1 = int(px[i + 1].y);
        double d = kiv_calc_distance(points_[i].x, points_[i].y, points_[i + 1].x, points_[i + 1].y);
        boxed_label(font, labels.get(), format_length(d).utf8_str(), (x1 - x0) / 2 + x0, (y1 - y0) / 2 + y0,
                    0xCCFFFFFFu);  // white, alpha 204
        min_x = std::min(min_x, x0);
        min_y = std::min(min_y, y0);
        max_x = std::max(max_x, x1);
        max_y = std::max(max_y, y1);
    }
    if (n > 2 && font.set_pixel_size(12)) {
        boxed_label(font, labels.get(), format_area(get_polygon_area(points_)).utf8_str(), (min_x + max_x) / 2,
                    (min_y + max_y) / 2, 0xCC559ACBu);  // ochre, alpha 204
    }
    image->blend_image(labels.get(), 0, 0, 255);
}

}  // namespace kiv
