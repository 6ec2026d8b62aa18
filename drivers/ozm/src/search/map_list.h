// map_list.h --
//
//     The maps one search or snapping call works on: a list of loaded
//     maps, each holding one reference for as long as the list holds
//     it, so a map the driver unloads meanwhile stays readable until the
//     call ends. The driver fills it under its own lock, in ascending
//     priority; the searches pick from it what their rules allow.
//
//     One thread at a time.

#ifndef KIV_OZM_SEARCH_MAP_LIST_H
#define KIV_OZM_SEARCH_MAP_LIST_H

#include "map/ozm_map.h"

#include <cstddef>
#include <vector>

namespace kiv {
namespace ozm {

class map_list {
public:
    map_list() = default;
    map_list(const map_list&) = delete;
    map_list& operator=(const map_list&) = delete;
    map_list(map_list&& other) noexcept : maps_(std::move(other.maps_)) { other.maps_.clear(); }
    // Releases every map still held.
    ~map_list() { clear(); }

    // Appends `map` with a reference of its own; null is ignored.
    // Throws std::bad_alloc when the list cannot grow (nothing is held
    // then).
    void add(ozm_map* map) {
        if (map == nullptr)
            return;
        maps_.push_back(map);
        map->addref();
    }
    void clear() {
        for (ozm_map* map : maps_)
            map->release();
        maps_.clear();
    }
    // Hands the maps over with their references; the list is empty
    // afterwards and the caller releases each map.
    std::vector<ozm_map*> take() {
        std::vector<ozm_map*> out;
        out.swap(maps_);
        return out;
    }

    size_t size() const { return maps_.size(); }
    bool empty() const { return maps_.empty(); }
    ozm_map* operator[](size_t i) const { return maps_[i]; }
    std::vector<ozm_map*>::const_iterator begin() const { return maps_.begin(); }
    std::vector<ozm_map*>::const_iterator end() const { return maps_.end(); }

private:
    std::vector<ozm_map*> maps_;  // one reference each, in the order added
};

}  // namespace ozm
}  // namespace kiv

#endif
