// ozm_map_search.cpp --
//
//     Finding features of one map: the features in a box for the
//     renderer, the candidates around a point for place search and road
//     snapping (the box widened in longitude so that it holds the whole
//     range at any latitude), and the street and house listings of the
//     search index.

#include "map/ozm_map.h"

#include <cmath>
#include <cstring>

namespace kiv {

namespace ozm {

namespace {

constexpr double metres_per_degree = 110000.0;
constexpr double pi = 3.14159265358979323846;

}  // namespace

bool candidate_box(double lat, double lon, double range_m, float min[2], float max[2]) {
    if (!std::isfinite(lat) || !std::isfinite(lon) || !std::isfinite(range_m) || range_m < 0)
        return false;
    double dlat = range_m / metres_per_degree;
    // A degree of longitude shrinks with cos(latitude); near a pole the
    // box spans every longitude.
    double c = std::cos(lat * pi / 180.0);
    double dlon = c > 0 ? dlat / c : 180.0;
    if (!(dlon < 180.0))
        dlon = 180.0;
    if (dlat > 180.0)
        dlat = 180.0;
    min[0] = float(lat - dlat);
    min[1] = float(lon - dlon);
    max[0] = float(lat + dlat);
    max[1] = float(lon + dlon);
    return true;
}

}  // namespace ozm

bool ozm_map::query(const float min[2], const float max[2], unsigned detail_class, ozm::feature_table& features,
                    const ozm::code_set* codes) {
    if (file_.index() == nullptr)
        return false;
    bool found = false;
    auto take = [&](unsigned number) {
        const ozm::feature_info& f = file_.features()[number];
        unsigned feature_class = (f.flags & ozm::feature_class_mask) >> 1;
        if ((detail_class == 0 || feature_class >= detail_class) && (codes == nullptr || codes->test(f.code))) {
            features.emplace(f.code, ozm::feature_entry{nullptr, file_.resources(), f.flags, f.page, f.offset, this});
            found = true;
        }
        return true;
    };
    // A box holding the whole index visits every leaf in order: the
    // features of the class, listed at load in that order, are the same
    // answer without walking every leaf of a large town.
    if (detail_class >= 1 && detail_class <= 3 && min[0] <= reach_lo_[0] && min[1] <= reach_lo_[1] &&
        max[0] >= reach_hi_[0] && max[1] >= reach_hi_[1]) {
        for (uint32_t number : class_order_[detail_class - 1])
            take(number);
        return found;
    }
    // A small class is scanned with the same overlap test the search
    // makes at the leaves.
    if (detail_class >= 1 && detail_class <= 3 && !class_boxes_[detail_class - 1].empty()) {
        const auto& order = class_order_[detail_class - 1];
        const auto& boxes = class_boxes_[detail_class - 1];
        for (size_t i = 0; i < boxes.size(); ++i) {
            const auto& b = boxes[i];
            if (!(min[0] > b[2] || b[0] > max[0] || min[1] > b[3] || b[1] > max[1]))
                take(order[i]);
        }
        return found;
    }
    file_.index()->search_each(min, max, take);
    return found;
}

bool ozm_map::search_candidates(double lat, double lon, double range_m, ozm::page_set& pages,
                                ozm::candidate_visitor& visitor) {
    float min[2], max[2];
    if (file_.index() == nullptr || !ozm::candidate_box(lat, lon, range_m, min, max))
        return false;
    file_.index()->search_each(min, max, [&](unsigned number) {
        const ozm::feature_info& f = file_.features()[number];
        if (!visitor.wants(number, f) || !pages.lock(this, f.page))
            return true;
        ozm::feature_record rec;
        if (decode_record(f.page, f.offset, f.flags, rec))
            visitor.visit(number, f, rec);
        return true;
    });
    return true;
}

void ozm_map::list_children(const ozm::key_index& keys, const char* prefix, bool streets,
                            std::vector<ozm::listing_entry>& results) const {
    size_t length = std::strlen(prefix);
    for (auto it = keys.lower_bound(prefix); it != keys.end() && std::strncmp(it->first, prefix, length) == 0; ++it) {
        uint32_t index = it->second;
        if (streets) {
            const ozm::search_place& s = file_.streets()[index];
            results.push_back({index, load_number_, file_.text_at(s.name), s.lat, s.lon});
        } else {
            const ozm::search_house& h = file_.houses()[index];
            results.push_back({index, load_number_, file_.text_at(h.name), h.lat, h.lon});
        }
    }
}

void ozm_map::list_streets(uint32_t city_index, const char* prefix, std::vector<ozm::listing_entry>& results) const {
    if (prefix == nullptr || city_index >= street_keys_.size())
        return;
    list_children(street_keys_[city_index], prefix, true, results);
}

void ozm_map::list_houses(uint32_t street_index, const char* prefix, std::vector<ozm::listing_entry>& results) const {
    if (prefix == nullptr || street_index >= house_keys_.size())
        return;
    list_children(house_keys_[street_index], prefix, false, results);
}

}  // namespace kiv
