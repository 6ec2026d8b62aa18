// plain_viewport.h --
//
//     A viewport whose pixels are plain multiples of the coordinates
//     (x = lon × 1024, y = lat × 1024, so test points are exact in float),
//     for the drawing tests and the render benchmark.

#ifndef KIV_TESTS_OZM_PLAIN_VIEWPORT_H
#define KIV_TESTS_OZM_PLAIN_VIEWPORT_H

#include <kiv/core/object.h>
#include <kiv/gis/i_gis_viewport.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kiv_test {

constexpr double px_per_degree = 1024.0;

class plain_viewport : public kiv::object, public virtual kiv::i_gis_viewport {
public:
    plain_viewport(unsigned width, unsigned height) : width_(width), height_(height) {}
    bool get_interface(const char* name, void** out) override {
        if (std::strcmp(name, "i_gis_viewport") == 0) {
            *out = static_cast<kiv::i_gis_viewport*>(this);
            return true;
        }
        return kiv::object::get_interface(name, out);
    }
    bool set_center(double, double, unsigned) override { return false; }
    bool set_geo_extents(double, double, double, double, bool) override { return false; }
    bool get_center(kiv::geo_point&) override { return false; }
    unsigned get_scale() override { return 0; }
    bool get_geo_extents(kiv::geo_point&, kiv::geo_point&) override { return false; }
    bool set_viewport_size(unsigned, unsigned) override { return false; }
    bool get_viewport_size(kiv::view_point& pt) override {
        pt.x = int(width_);
        pt.y = int(height_);
        return true;
    }
    bool set_direction(unsigned short) override { return false; }
    unsigned short get_direction() override { return 0; }
    bool dp_to_lc(int, int, kiv::geo_point&) override { return false; }
    bool lc_to_dp(double lat, double lon, kiv::view_point& pt) override {
        double x = std::trunc(lon * px_per_degree), y = std::trunc(lat * px_per_degree);
        if (!std::isfinite(x) || !std::isfinite(y))
            return false;
        pt.x = int(std::max(-2e9, std::min(2e9, x)));
        pt.y = int(std::max(-2e9, std::min(2e9, y)));
        return true;
    }
    bool dp_to_lc2(kiv::view_point*, kiv::geo_point*, unsigned) override { return false; }
    bool lc_to_dp2(kiv::geo_point*, kiv::view_point*, unsigned) override { return false; }

private:
    unsigned width_, height_;
};

// Returns: a plain viewport with one reference for the caller.
inline kiv::i_gis_viewport* new_plain_viewport(unsigned width, unsigned height) {
    kiv::i_gis_viewport* vp = new plain_viewport(width, height);
    vp->addref();
    return vp;
}

}  // namespace kiv_test

#endif
