// ozm_driver_search.cpp --
//
//     The driver's place searches, location texts and road snapping. The
//     maps are taken under the driver's lock, each with a reference of
//     its own, in ascending priority (equal priorities in load order),
//     and handed to the search functions, which work without the lock: a
//     map unloaded meanwhile stays readable until the call (or the
//     search result that shows its names) lets it go.

#include <kiv/core/auto_ptr.h>

#include "driver/ozm_driver.h"
#include "search/location_text.h"
#include "search/place_search.h"
#include "search/road_snap.h"

#include <new>

namespace kiv {

namespace {

// Returns: the load number an id of a search result carries.
uint32_t load_number_of(long long id) {
    return uint32_t(uint64_t(id) >> 32);
}

}  // namespace

bool ozm_driver::take_maps(ozm::map_list& out) {
    try {
        mutex_locker lock(&guard_);
        for (const auto& entry : maps_)
            out.add(entry.second);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

char* ozm_driver::get_location_text(double lat, double lon, double max_range, double* range) {
    ozm::map_list maps;
    return take_maps(maps) ? ozm::location_text(maps, lat, lon, max_range, range) : nullptr;
}

i_object_col* ozm_driver::get_locations_text(double* lats, double* lons, unsigned point_count, double max_range) {
    ozm::map_list maps;
    return take_maps(maps) ? ozm::locations_text(maps, lats, lons, point_count, max_range) : nullptr;
}

i_gis_road_lock* ozm_driver::lock_points_to_road(double* lats, double* lons, unsigned point_count, double max_range,
                                                 bool simulate) {
    ozm::map_list maps;
    return take_maps(maps) ? ozm::lock_points_to_road(maps, lats, lons, point_count, max_range, simulate) : nullptr;
}

bool ozm_driver::lock_point_to_road(double lat, double lon, double max_range, geo_point& pt) {
    ozm::map_list maps;
    return take_maps(maps) && ozm::lock_point_to_road(maps, lat, lon, max_range, pt);
}

i_gis_search_result* ozm_driver::search_cities(const char* name, const char* map_tags) {
    ozm::map_list maps;
    return take_maps(maps) ? ozm::search_cities(maps, name, map_tags) : nullptr;
}

i_gis_search_result* ozm_driver::search_streets(long long city_id, const char* name) {
    auto_ptr_t<ozm_map> map(map_by_load_number(load_number_of(city_id)));
    return ozm::search_streets(map.get(), city_id, name);
}

i_gis_search_result* ozm_driver::search_houses(long long street_id, const char* name) {
    auto_ptr_t<ozm_map> map(map_by_load_number(load_number_of(street_id)));
    return ozm::search_houses(map.get(), street_id, name);
}

}  // namespace kiv
