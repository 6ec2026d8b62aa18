// gis_lib.cpp --
//
//     The library's flat face: the value-type constructors, the casts of
//     the GIS interfaces and the creation of viewports.

#include <kiv/core/object.h>
#include <kiv/gis/gis_types.h>
#include <kiv/gis/i_gis_driver.h>
#include <kiv/gis/i_gis_road_lock.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/gis/i_gis_viewport.h>

using namespace kiv;

view_point kiv_gis_create_view_point(int x, int y) {
    view_point pt;
    pt.x = x;
    pt.y = y;
    return pt;
}

geo_point kiv_gis_create_geo_point(double lat, double lon) {
    geo_point pt;
    pt.lat = lat;
    pt.lon = lon;
    return pt;
}

road_point kiv_gis_create_road_point(double lat, double lon, unsigned char simulated) {
    road_point pt{};
    pt.lat = lat;
    pt.lon = lon;
    pt.simulated = simulated;
    return pt;
}

i_gis_service* kiv_cast_i_gis_service(i_object* obj) {
    return cast_interface<i_gis_service>(obj, "i_gis_service");
}

i_gis_map* kiv_cast_i_gis_map(i_object* obj) {
    return cast_interface<i_gis_map>(obj, "i_gis_map");
}

i_gis_driver* kiv_cast_i_gis_driver(i_object* obj) {
    return cast_interface<i_gis_driver>(obj, "i_gis_driver");
}

i_gis_viewport* kiv_cast_i_gis_viewport(i_object* obj) {
    return cast_interface<i_gis_viewport>(obj, "i_gis_viewport");
}

i_gis_renderer* kiv_cast_i_gis_renderer(i_object* obj) {
    return cast_interface<i_gis_renderer>(obj, "i_gis_renderer");
}

i_gis_search_result* kiv_cast_i_gis_search_result(i_object* obj) {
    return cast_interface<i_gis_search_result>(obj, "i_gis_search_result");
}

i_gis_road_lock* kiv_cast_i_gis_road_lock(i_object* obj) {
    return cast_interface<i_gis_road_lock>(obj, "i_gis_road_lock");
}
