// i_gis_viewport.h --
//
//     A viewport maps a rectangle of pixels onto a rectangle of latitude
//     and longitude (an equirectangular projection whose latitude extent
//     is shrunk by the latitude coefficient of the centre, so the map
//     looks roughly true to shape there). Renderers read its size, scale
//     and extents; the map view converts mouse positions and overlay
//     points with it.
//
//     It is set either by centre and scale (the extents follow) or by
//     extents (centre and scale follow). Pixel (0, 0) is the north-west
//     corner, pixel (width, height) the south-east one.
//
//         auto_ptr_t<kiv::i_gis_viewport> vp(kiv_gis_create_viewport(800, 600));
//         vp->set_center(55.75, 37.62, 100000);
//         kiv::geo_point pt;
//         vp->dp_to_lc(400, 300, pt);   // about the centre
//
//     A viewport does not lock: one viewport belongs to one caller.

#ifndef KIV_GIS_I_GIS_VIEWPORT_H
#define KIV_GIS_I_GIS_VIEWPORT_H

#include <kiv/core/i_object.h>
#include <kiv/gis/gis_types.h>

namespace kiv {

class i_gis_viewport : public virtual i_object {
public:
    // Centres the view; the extents are derived at the next read.
    // Returns: false for scale 0 (nothing changes) or a non-finite
    //     latitude or longitude; true otherwise.
    virtual bool set_center(double lat, double lon, unsigned scale) = 0;
    // Sets the extents; centre and scale are derived at the next read.
    // With `normalize` the scale is grown until the latitude extent fits
    // the height as well, and the view is then centred on the middle of
    // the extents at that scale.
    // Returns: false (nothing changes) unless max_lat > min_lat and
    //     max_lon > min_lon, all four finite; with `normalize`, the
    //     result of the final set_center.
    virtual bool set_geo_extents(double min_lat, double min_lon, double max_lat, double max_lon,
                                 bool normalize = false) = 0;
    // Returns: false when the view cannot be computed (no scale yet, a
    //     side of 1 pixel or less, empty extents); else the centre in pt.
    virtual bool get_center(geo_point& pt) = 0;
    // Returns: the scale denominator, 0 when the view cannot be computed.
    virtual unsigned get_scale() = 0;
    // Returns: as get_center; min gets the south-west, max the
    //     north-east corner.
    virtual bool get_geo_extents(geo_point& min, geo_point& max) = 0;
    // Returns: false (nothing changes) when either side is 0.
    virtual bool set_viewport_size(unsigned width, unsigned height) = 0;
    // pt.x := width, pt.y := height. Returns: true.
    virtual bool get_viewport_size(view_point& pt) = 0;
    // Stores a direction in degrees; the transforms ignore it.
    // Returns: false for 360 or more.
    virtual bool set_direction(unsigned short val) = 0;
    virtual unsigned short get_direction() = 0;
    // Pixel to latitude and longitude. Returns: false when the view
    //     cannot be computed.
    virtual bool dp_to_lc(int x, int y, geo_point& pt) = 0;
    // Latitude and longitude to pixel (truncated toward zero, clamped to
    // the int range). Returns: false when the view cannot be computed
    //     or a coordinate is not finite.
    virtual bool lc_to_dp(double lat, double lon, view_point& pt) = 0;
    // dp_to_lc for `count` points. Returns: false for a null array or
    //     when the view cannot be computed.
    virtual bool dp_to_lc2(view_point* vpts, geo_point* gpts, unsigned count) = 0;
    // lc_to_dp for `count` points; a non-finite point becomes (0, 0).
    // Returns: false for a null array or when the view cannot be
    //     computed.
    virtual bool lc_to_dp2(geo_point* gpts, view_point* vpts, unsigned count) = 0;

protected:
    ~i_gis_viewport() = default;
};

}  // namespace kiv

// Returns: the viewport interface of obj, or null; no reference added.
KIV_EXTERN_C kiv::i_gis_viewport* kiv_cast_i_gis_viewport(kiv::i_object* obj);

// A new viewport of width × height pixels, scale 0 and centre (0, 0): it
// answers no transform until a centre with a scale or extents are set.
// Returns: the viewport with one reference for the caller; null when
//     either side is 0 or memory fails. Any thread.
KIV_EXTERN_C kiv::i_gis_viewport* kiv_gis_create_viewport(unsigned width, unsigned height);

#endif
