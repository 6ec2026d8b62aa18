// ozm_search_result.cpp --
//
//     The result list of a place search: the maps it keeps alive and the
//     items it adds to its cursor.

#include "map/ozm_map.h"
#include "search/ozm_search_result.h"

namespace kiv {

ozm_search_result::~ozm_search_result() {
    for (ozm_map* map : maps_)
        map->release();
}

void ozm_search_result::add_map(ozm_map* map) {
    if (map == nullptr)
        return;
    maps_.push_back(map);
    map->addref();
}

void ozm_search_result::adopt_maps(ozm::map_list& maps) {
    maps_.reserve(maps_.size() + maps.size());
    std::vector<ozm_map*> taken = maps.take();
    maps_.insert(maps_.end(), taken.begin(), taken.end());
}

void ozm_search_result::add_items(const std::vector<ozm::search_item>& items) {
    size_t start = items_.size();
    items_.insert(items_.end(), items.begin(), items.end());
    pos_ = start;
}

}  // namespace kiv
