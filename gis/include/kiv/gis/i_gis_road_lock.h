// i_gis_road_lock.h --
//
//     The result of snapping points to roads: a polyline of road_point,
//     in order, as a driver's lock_points_to_road builds it. The one
//     implementation is gis_road_lock (gis_road_lock.h).

#ifndef KIV_GIS_I_GIS_ROAD_LOCK_H
#define KIV_GIS_I_GIS_ROAD_LOCK_H

#include <kiv/core/i_object.h>
#include <kiv/gis/gis_types.h>

namespace kiv {

class i_gis_road_lock : public virtual i_object {
public:
    // Returns: the number of points, 0 when empty.
    virtual unsigned get_point_count() = 0;
    // Copies the whole point. Returns: false when index >= count.
    virtual bool get_point(unsigned index, road_point& pt) = 0;
    // Returns: the point's latitude, 0.0 when out of range.
    virtual double get_lat(unsigned index) = 0;
    // Returns: the point's longitude, 0.0 when out of range.
    virtual double get_lon(unsigned index) = 0;
    // Returns: true when the point is a vertex the driver inserted;
    //     false when out of range.
    virtual bool is_simulated(unsigned index) = 0;
    // Returns: the first of get_point_count() points (borrowed, valid
    //     until the object changes or dies), null when empty.
    virtual road_point* get_points() = 0;

protected:
    ~i_gis_road_lock() = default;
};

}  // namespace kiv

// Returns: the interface of obj, or null; no reference added.
KIV_EXTERN_C kiv::i_gis_road_lock* kiv_cast_i_gis_road_lock(kiv::i_object* obj);

#endif
