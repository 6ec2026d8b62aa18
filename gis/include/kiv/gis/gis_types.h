// gis_types.h --
//
//     The plain value types of the GIS contract: a geographic point, a
//     pixel of a viewport and a point of a road-snapped polyline. They
//     are copied by value and carry no behaviour. Latitudes and
//     longitudes are degrees (latitude first); distances elsewhere in the
//     contract are metres, scales the denominator of the map scale.

#ifndef KIV_GIS_GIS_TYPES_H
#define KIV_GIS_GIS_TYPES_H

#include <kiv/core/export.h>

namespace kiv {

struct geo_point {
    double lat;  // degrees, north positive
    double lon;  // degrees, east positive
};

// A pixel of a viewport: origin at the top left, y grows downwards.
struct view_point {
    int x;
    int y;
};

struct road_point {
    double lat;
    double lon;
    // Non-zero: a road vertex the driver inserted between two snapped
    // points; zero: the point that stands for a point the caller gave
    // (snapped or not).
    unsigned char simulated;
    unsigned char reserved[7];  // carried unchanged; nobody reads it
};

}  // namespace kiv

// Returns: a view_point holding x and y. Any thread.
KIV_EXTERN_C kiv::view_point kiv_gis_create_view_point(int x, int y);
// Returns: a geo_point holding lat and lon. Any thread.
KIV_EXTERN_C kiv::geo_point kiv_gis_create_geo_point(double lat, double lon);
// Returns: a road_point with lat, lon and simulated set; `reserved` is
//     left unwritten (zero here, as the value is built fresh). Any thread.
KIV_EXTERN_C kiv::road_point kiv_gis_create_road_point(double lat, double lon, unsigned char simulated);

#endif
