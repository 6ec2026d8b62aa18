// ozm_search_result.h --
//
//     What a city, street or house search of the ozm driver found: the
//     items in their final order with the cursor of gis_search_list
//     over them. Item texts
//     point into the string pools of the maps they came from, so the
//     result holds a reference to each of those maps for as long as it
//     lives (an unloaded map stays in memory until its last result goes).
//
//     Built whole by a search, then read by one caller at a time; it
//     does not lock.

#ifndef KIV_OZM_SEARCH_OZM_SEARCH_RESULT_H
#define KIV_OZM_SEARCH_OZM_SEARCH_RESULT_H

#include <kiv/gis/gis_search_list.h>

#include "search/map_list.h"

#include <vector>

namespace kiv {

class ozm_map;

namespace ozm {

// One found city, street or house.
struct search_item {
    long long id;      // the map's load number in the high 32 bits, the record's index in the low
    const char* text;  // the record's name, borrowed from the map's string pool; never null
    float lat, lon;
};

// Returns: the id of record `index` of the map with `load_number`.
inline long long make_search_id(uint32_t load_number, uint32_t index) {
    return static_cast<long long>((uint64_t(load_number) << 32) | index);
}

}  // namespace ozm

class ozm_search_result : public gis_search_list<ozm::search_item> {
public:
    // Empty, the cursor on the end position.
    ozm_search_result() = default;
    // Releases the maps.
    ~ozm_search_result() override;

    // Keeps `map` alive with a reference of the result's own.
    // Throws std::bad_alloc (nothing taken then).
    void add_map(ozm_map* map);
    // Takes over the maps of `maps` with the references they hold;
    // `maps` is empty afterwards. Throws std::bad_alloc (the list keeps
    // its maps then).
    void adopt_maps(ozm::map_list& maps);
    // Appends `items` in order and puts the cursor on the first item
    // (the end position when there is none). Throws std::bad_alloc.
    void add_items(const std::vector<ozm::search_item>& items);

private:
    std::vector<ozm_map*> maps_;  // one reference each; keep the item texts valid
};

}  // namespace kiv

#endif
