// viewport.h --
//
//     The one implementation of i_gis_viewport: an equirectangular map of
//     pixels onto degrees, set by centre and scale or by extents, with
//     the latitude extent of a centred view shrunk by the latitude
//     coefficient of its centre. Created only by kiv_gis_create_viewport.
//     Not locked: one viewport belongs to one caller.

#ifndef KIV_GIS_SRC_VIEWPORT_H
#define KIV_GIS_SRC_VIEWPORT_H

#include <kiv/core/object.h>
#include <kiv/gis/i_gis_viewport.h>

namespace kiv {

class viewport : public object, public i_gis_viewport {
public:
    // Both sides must be non-zero (kiv_gis_create_viewport checks).
    viewport(unsigned width, unsigned height);

    bool get_interface(const char* name, void** out) override;

    bool set_center(double lat, double lon, unsigned scale) override;
    bool set_geo_extents(double min_lat, double min_lon, double max_lat, double max_lon,
                         bool normalize = false) override;
    bool get_center(geo_point& pt) override;
    unsigned get_scale() override;
    bool get_geo_extents(geo_point& min, geo_point& max) override;
    bool set_viewport_size(unsigned width, unsigned height) override;
    bool get_viewport_size(view_point& pt) override;
    bool set_direction(unsigned short val) override;
    unsigned short get_direction() override;
    bool dp_to_lc(int x, int y, geo_point& pt) override;
    bool lc_to_dp(double lat, double lon, view_point& pt) override;
    bool dp_to_lc2(view_point* vpts, geo_point* gpts, unsigned count) override;
    bool lc_to_dp2(geo_point* gpts, view_point* vpts, unsigned count) override;

private:
    // Brings the derived members and coefficients up to date.
    // Returns: false when the view has no area (see valid_).
    bool update();

    unsigned width_;
    unsigned height_;
    unsigned scale_ = 0;             // denominator; 0 until set or derived
    unsigned short direction_ = 0;   // 0..359, stored only
    double min_lat_ = 0, min_lon_ = 0, max_lat_ = 0, max_lon_ = 0;
    double center_lat_ = 0, center_lon_ = 0;
    // Degrees to pixels: x = ax_ + kx_ × lon, y = ay_ + ky_ × lat.
    double kx_ = 0, ax_ = 0, ky_ = 0, ay_ = 0;
    // Pixels to degrees: lon = bx_ + cx_ × x, lat = by_ + cy_ × y.
    double cx_ = 0, bx_ = 0, cy_ = 0, by_ = 0;
    bool valid_ = false;       // coefficients and derived members are current
    bool center_mode_ = true;  // true: centre and scale given; false: extents given
};

}  // namespace kiv

#endif
