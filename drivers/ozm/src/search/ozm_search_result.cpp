// ozm_search_result.cpp --
//
//     The result list of a place search: the maps it keeps alive, its
//     items and the cursor over them.

#include <kiv/ozm/ozm_map.h>
#include <kiv/ozm/search/ozm_search_result.h>

namespace kiv {

ozm_search_result::~ozm_search_result() {
    for (ozm_map* map : maps_)
        map->release();
}

bool ozm_search_result::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_gis_search_result", static_cast<i_gis_search_result*>(this), out))
        return true;
    if (out != nullptr)
        *out = nullptr;
    return false;
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

unsigned ozm_search_result::get_count() {
    return static_cast<unsigned>(items_.size());
}

bool ozm_search_result::next() {
    if (pos_ >= items_.size())
        return false;
    ++pos_;
    return pos_ < items_.size();
}

bool ozm_search_result::is_valid() {
    return pos_ < items_.size();
}

bool ozm_search_result::first() {
    pos_ = 0;
    return !items_.empty();
}

bool ozm_search_result::at(unsigned index) {
    if (index >= items_.size())
        return false;
    pos_ = index;
    return true;
}

const char* ozm_search_result::get_result_text() {
    const ozm::search_item* it = current();
    return it != nullptr ? it->text : nullptr;
}

bool ozm_search_result::get_result_point(geo_point& pt) {
    const ozm::search_item* it = current();
    if (it == nullptr)
        return false;
    pt.lat = it->lat;
    pt.lon = it->lon;
    return true;
}

double ozm_search_result::get_result_lat() {
    const ozm::search_item* it = current();
    return it != nullptr ? it->lat : 0.0;
}

double ozm_search_result::get_result_lon() {
    const ozm::search_item* it = current();
    return it != nullptr ? it->lon : 0.0;
}

long long ozm_search_result::get_result_id() {
    const ozm::search_item* it = current();
    return it != nullptr ? it->id : 0;
}

}  // namespace kiv
