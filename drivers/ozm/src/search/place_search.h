// place_search.h --
//
//     City, street and house search by name prefix, the three search
//     levels of the ozm driver. The caller's text is upper-cased with
//     Tcl_UtfToUpper and compared byte by byte with the stored keys
//     (which the map files hold upper-cased the same way), so "мос"
//     finds "МОСКВА". Cities come from every map that passes the tag
//     filter, one item per distinct name (the first map in priority
//     order wins); streets and houses from the one map and record a
//     previous result's id names: load number in the high 32 bits,
//     record index in the low.
//
//         ozm::map_list maps;              // the driver's maps by priority
//         auto_ptr_t<i_gis_search_result> cities(ozm::search_cities(maps, "мос", ""));
//         auto_ptr_t<ozm_map> map(driver->map_by_load_number(uint32_t(id >> 32)));
//         auto_ptr_t<i_gis_search_result> streets(ozm::search_streets(map.get(), id, "ЛЕН"));
//
//     Callable from any thread; the search indexes do not change after a
//     map has loaded.

#ifndef KIV_OZM_SEARCH_PLACE_SEARCH_H
#define KIV_OZM_SEARCH_PLACE_SEARCH_H

#include <kiv/gis/i_gis_driver.h>

#include "search/map_list.h"

#include <string>

namespace kiv {
namespace ozm {

// Returns: `name` upper-cased as the searches compare it (Tcl_UtfToUpper
//     of a copy); "" for null.
std::string search_pattern(const char* name);

// Cities whose keys start with the pattern of `name`, from the maps of
// `maps` (taken in list order) that pass the tag filter `map_tags` ("" =
// no filter), ordered by name, each name once.
// Returns: a new result with one reference for the caller, possibly
//     empty; null for a null `name` or `map_tags`, or when memory runs
//     out. The result keeps the maps it took items from.
i_gis_search_result* search_cities(const map_list& maps, const char* name, const char* map_tags);

// Streets of the city `city_id` (houses of the street `street_id`) whose
// keys start with the pattern of `name`, in key order. `map` is the
// loaded map with the id's load number (null when none has it).
// Returns: a new result with one reference, empty when the record index
//     lies beyond the records the map really holds; null for a null
//     `name`, a null map, a map whose load number is not the id's, or
//     when memory runs out.
i_gis_search_result* search_streets(ozm_map* map, long long city_id, const char* name);
i_gis_search_result* search_houses(ozm_map* map, long long street_id, const char* name);

}  // namespace ozm
}  // namespace kiv

#endif
