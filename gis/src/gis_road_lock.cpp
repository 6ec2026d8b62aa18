// gis_road_lock.cpp --
//
//     The road-lock object drivers fill and hand out: a plain array of
//     road points read through i_gis_road_lock.

#include <kiv/gis/gis_road_lock.h>

namespace kiv {

gis_road_lock::gis_road_lock(const gis_road_lock& other) : object(), i_gis_road_lock(), points(other.points) {}

gis_road_lock& gis_road_lock::operator=(const gis_road_lock& other) {
    if (this != &other)
        points = other.points;
    return *this;
}

gis_road_lock::~gis_road_lock() = default;

bool gis_road_lock::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_gis_road_lock", static_cast<i_gis_road_lock*>(this), out))
        return true;
    if (out != nullptr)
        *out = nullptr;
    return false;
}

unsigned gis_road_lock::get_point_count() {
    return static_cast<unsigned>(points.size());
}

bool gis_road_lock::get_point(unsigned index, road_point& pt) {
    if (index >= points.size())
        return false;
    pt = points[index];
    return true;
}

double gis_road_lock::get_lat(unsigned index) {
    return index < points.size() ? points[index].lat : 0.0;
}

double gis_road_lock::get_lon(unsigned index) {
    return index < points.size() ? points[index].lon : 0.0;
}

bool gis_road_lock::is_simulated(unsigned index) {
    return index < points.size() && points[index].simulated != 0;
}

road_point* gis_road_lock::get_points() {
    return points.empty() ? nullptr : points.data();
}

}  // namespace kiv
