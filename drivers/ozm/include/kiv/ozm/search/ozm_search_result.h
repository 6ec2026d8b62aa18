// ozm_search_result.h --
//
//     What a city, street or house search of the ozm driver found: the
//     items in their final order with a cursor over them. Item texts
//     point into the string pools of the maps they came from, so the
//     result holds a reference to each of those maps for as long as it
//     lives (an unloaded map stays in memory until its last result goes).
//
//     Built whole by a search, then read by one caller at a time; it
//     does not lock.

#ifndef KIV_OZM_SEARCH_OZM_SEARCH_RESULT_H
#define KIV_OZM_SEARCH_OZM_SEARCH_RESULT_H

#include <kiv/core/object.h>
#include <kiv/gis/i_gis_driver.h>
#include <kiv/ozm/search/map_list.h>

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

class KIV_EXPORT ozm_search_result : public object, public virtual i_gis_search_result {
public:
    // Empty, the cursor on the end position.
    ozm_search_result() = default;
    // Releases the maps.
    ~ozm_search_result() override;

    // Answers "i_gis_search_result" only ("i_object" included gives false).
    bool get_interface(const char* name, void** out) override;

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

    unsigned get_count() override;
    // Returns: false at the end position (no move); else moves one item
    //     on and tells whether the cursor stands on an item.
    bool next() override;
    bool is_valid() override;
    bool first() override;
    // Returns: false (cursor unchanged) for an index not below the count.
    bool at(unsigned index) override;
    // Returns: the item's name (borrowed, valid while the result lives),
    //     null at the end position.
    const char* get_result_text() override;
    // Returns: false (pt unchanged) at the end position.
    bool get_result_point(geo_point& pt) override;
    // Returns: 0.0 at the end position.
    double get_result_lat() override;
    double get_result_lon() override;
    // Returns: 0 at the end position.
    long long get_result_id() override;

private:
    const ozm::search_item* current() const { return pos_ < items_.size() ? &items_[pos_] : nullptr; }

    std::vector<ozm_map*> maps_;             // one reference each; keep the item texts valid
    std::vector<ozm::search_item> items_;    // in result order
    size_t pos_ = 0;                         // the cursor; items_.size() is the end position
};

}  // namespace kiv

#endif
