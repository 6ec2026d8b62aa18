// gis_road_lock.h --
//
//     The exported road-lock object. A driver creates it, fills `points`
//     directly in polyline order, and hands it out as i_gis_road_lock;
//     everyone else reads it only through that interface. Not locked:
//     it is filled before anyone else sees it and read-only afterwards.

#ifndef KIV_GIS_GIS_ROAD_LOCK_H
#define KIV_GIS_GIS_ROAD_LOCK_H

#include <kiv/core/object.h>
#include <kiv/gis/i_gis_road_lock.h>

#include <vector>

namespace kiv {

class KIV_EXPORT gis_road_lock : public object, public i_gis_road_lock {
public:
    gis_road_lock() = default;
    // Copies the points; the copy is a new object with its own count.
    gis_road_lock(const gis_road_lock& other);
    // Replaces the points with a copy of other's; the reference count is
    // this object's own and stays.
    gis_road_lock& operator=(const gis_road_lock& other);
    ~gis_road_lock() override;

    // Answers "i_gis_road_lock" only.
    bool get_interface(const char* name, void** out) override;

    unsigned get_point_count() override;
    bool get_point(unsigned index, road_point& pt) override;
    double get_lat(unsigned index) override;
    double get_lon(unsigned index) override;
    bool is_simulated(unsigned index) override;
    road_point* get_points() override;

    std::vector<road_point> points;  // the polyline, filled by the creating driver
};

}  // namespace kiv

#endif
