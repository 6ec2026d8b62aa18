// viewport.cpp --
//
//     Pixels to degrees and back. One pixel is scale × k1 / k2 degrees of
//     longitude; the map view's best-view fitting uses the same two
//     constants, so both agree on what a scale means.
//
//     Everything that comes in is a double from a caller or a script, so
//     non-finite values are refused, scales made from extents are clamped
//     to the unsigned range, and pixels to the int range.

#include "viewport.h"

#include <kiv/core/i_core.h>
#include <kiv/gis/geodesic.h>

#include <climits>
#include <cmath>
#include <new>

namespace kiv {

namespace {

constexpr double k1 = 2.8257;
constexpr double k2 = 7.4385e8;
constexpr double max_scale = 4294967295.0;
// Fitting grows the scale by 10 % to 100 % a pass, so a few hundred
// passes span every scale from 1 to max_scale; the cap only guards
// against a scale that cannot grow (0, or one already at the clamp).
constexpr unsigned max_fit_passes = 10000;

bool finite(double a, double b) {
    return std::isfinite(a) && std::isfinite(b);
}

// The integer part of a non-negative scale, clamped to the unsigned range.
unsigned to_scale(double scale) {
    if (!(scale > 0))
        return 0;
    if (scale >= max_scale)
        return UINT_MAX;
    return static_cast<unsigned>(scale);
}

// A pixel coordinate truncated toward zero, clamped to the int range
// (NaN gives 0).
int to_pixel(double v) {
    if (!(v == v))
        return 0;
    if (v >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (v <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(v);
}

}  // namespace

viewport::viewport(unsigned width, unsigned height) : width_(width), height_(height) {}

bool viewport::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_gis_viewport", static_cast<i_gis_viewport*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool viewport::set_center(double lat, double lon, unsigned scale) {
    if (scale == 0 || !finite(lat, lon))
        return false;
    center_lat_ = lat;
    center_lon_ = lon;
    scale_ = scale;
    center_mode_ = true;
    valid_ = false;
    return true;
}

bool viewport::set_geo_extents(double min_lat, double min_lon, double max_lat, double max_lon, bool normalize) {
    if (!finite(min_lat, min_lon) || !finite(max_lat, max_lon))
        return false;
    if (!(max_lat > min_lat) || !(max_lon > min_lon))
        return false;
    min_lat_ = min_lat;
    min_lon_ = min_lon;
    max_lat_ = max_lat;
    max_lon_ = max_lon;
    center_mode_ = false;
    valid_ = false;
    if (!normalize)
        return true;

    // Find the scale at which a view centred on the extents shows their
    // whole width and, with the latitude coefficient applied, their
    // whole height. The view is symmetric about the centre, so the
    // southern edge alone is tested.
    const double c_lat = (min_lat + max_lat) * 0.5;
    const double c_lon = (min_lon + max_lon) * 0.5;
    const double coef = kiv_gis_calc_lat_coef(c_lat);
    double fit = (max_lon - c_lon) * 2 * k2 / k1 / width_;
    for (unsigned pass = 0; pass < max_fit_passes && kiv_is_running(); ++pass) {
        const double bottom = c_lat - (height_ * 0.5 * fit / k2 * k1) / coef;
        if (bottom <= min_lat || fit >= max_scale)
            break;
        // The relative miss of the southern edge; near the equator it
        // explodes (a tiny min_lat divides), so one pass at most doubles
        // the scale, and at min_lat 0 it takes the smallest step.
        double step = min_lat != 0 ? (bottom - min_lat) / min_lat : 0.1;
        if (step < 0.1)
            step = 0.1;
        if (step > 1.0)
            step = 1.0;
        fit *= 1 + step;
    }
    return set_center(c_lat, c_lon, to_scale(fit));
}

bool viewport::update() {
    if (valid_)
        return true;
    if (width_ <= 1 || height_ <= 1)
        return false;
    if (center_mode_) {
        const double hw = width_ * 0.5 * scale_ / k2 * k1;
        const double hh = height_ * 0.5 * scale_ / k2 * k1 / kiv_gis_calc_lat_coef(center_lat_);
        min_lon_ = center_lon_ - hw;
        max_lon_ = center_lon_ + hw;
        min_lat_ = center_lat_ - hh;
        max_lat_ = center_lat_ + hh;
    } else {
        center_lat_ = (min_lat_ + max_lat_) * 0.5;
        center_lon_ = (max_lon_ + min_lon_) * 0.5;
        scale_ = to_scale((max_lon_ - center_lon_) * 2 * k2 / k1 / width_);
    }
    // A scale of 0 (never set) or far coordinates where the half extent
    // vanishes leave the view without area.
    if (min_lon_ == max_lon_ || min_lat_ == max_lat_)
        return false;
    kx_ = width_ / (max_lon_ - min_lon_);
    ax_ = (min_lon_ * width_) / (min_lon_ - max_lon_);
    ky_ = height_ / (min_lat_ - max_lat_);
    ay_ = (max_lat_ * height_) / (max_lat_ - min_lat_);
    cx_ = (max_lon_ - min_lon_) / width_;
    bx_ = min_lon_;
    cy_ = (min_lat_ - max_lat_) / height_;
    by_ = max_lat_;
    valid_ = true;
    return true;
}

bool viewport::get_center(geo_point& pt) {
    if (!update())
        return false;
    pt.lat = center_lat_;
    pt.lon = center_lon_;
    return true;
}

unsigned viewport::get_scale() {
    return update() ? scale_ : 0;
}

bool viewport::get_geo_extents(geo_point& min, geo_point& max) {
    if (!update())
        return false;
    min.lat = min_lat_;
    min.lon = min_lon_;
    max.lat = max_lat_;
    max.lon = max_lon_;
    return true;
}

bool viewport::set_viewport_size(unsigned width, unsigned height) {
    if (width == 0 || height == 0)
        return false;
    width_ = width;
    height_ = height;
    valid_ = false;
    return true;
}

bool viewport::get_viewport_size(view_point& pt) {
    pt.x = static_cast<int>(width_ > INT_MAX ? INT_MAX : width_);
    pt.y = static_cast<int>(height_ > INT_MAX ? INT_MAX : height_);
    return true;
}

bool viewport::set_direction(unsigned short val) {
    if (val >= 360)
        return false;
    direction_ = val;
    valid_ = false;
    return true;
}

unsigned short viewport::get_direction() {
    return direction_;
}

bool viewport::dp_to_lc(int x, int y, geo_point& pt) {
    view_point vp{x, y};
    return dp_to_lc2(&vp, &pt, 1);
}

bool viewport::lc_to_dp(double lat, double lon, view_point& pt) {
    if (!finite(lat, lon))
        return false;
    geo_point gp{lat, lon};
    return lc_to_dp2(&gp, &pt, 1);
}

bool viewport::dp_to_lc2(view_point* vpts, geo_point* gpts, unsigned count) {
    if (!update() || vpts == nullptr || gpts == nullptr)
        return false;
    for (unsigned i = 0; i < count; ++i) {
        gpts[i].lat = vpts[i].y * cy_ + by_;
        gpts[i].lon = vpts[i].x * cx_ + bx_;
    }
    return true;
}

bool viewport::lc_to_dp2(geo_point* gpts, view_point* vpts, unsigned count) {
    if (!update() || gpts == nullptr || vpts == nullptr)
        return false;
    for (unsigned i = 0; i < count; ++i) {
        if (!finite(gpts[i].lat, gpts[i].lon)) {
            vpts[i].x = 0;
            vpts[i].y = 0;
            continue;
        }
        vpts[i].x = to_pixel(ax_ + kx_ * gpts[i].lon);
        vpts[i].y = to_pixel(ky_ * gpts[i].lat + ay_);
    }
    return true;
}

}  // namespace kiv

KIV_EXTERN_C kiv::i_gis_viewport* kiv_gis_create_viewport(unsigned width, unsigned height) {
    if (width == 0 || height == 0)
        return nullptr;
    kiv::viewport* vp = new (std::nothrow) kiv::viewport(width, height);
    if (vp == nullptr)
        return nullptr;
    vp->addref();
    return vp;
}
