// road_snap.cpp --
//
//     The road rule (the per-feature step of a road search), the nearest
//     road across maps, and snapping one point. A map is pre-selected
//     with the candidate box of the map object, whose longitude span
//     widens with latitude, so a road east or west of the point at high
//     latitude is not lost to a box one degree of latitude per 111 km
//     wide on both axes.

#include <kiv/gis/geodesic.h>

#include "map/ozm_map.h"
#include "search/road_snap.h"

#include <limits>
#include <new>

namespace kiv {
namespace ozm {

namespace {

// Finds, over the roads a map search visits, the one nearest to the
// point; `best` is shared by the maps of one search.
class road_visitor : public candidate_visitor {
public:
    road_visitor(double lat, double lon, double& best, road_hit& hit) : lat_(lat), lon_(lon), best_(best), hit_(hit) {}

    bool wants(uint32_t, const feature_info& info) override {
        return (info.flags & feature_flag_road) != 0 && (info.flags & (feature_flag_point | feature_flag_closed)) == 0;
    }

    void visit(uint32_t, const feature_info&, const feature_record& rec) override {
        if (rec.point_count < 2)
            return;
        double nearest = std::numeric_limits<double>::infinity();
        double foot_lat = 0, foot_lon = 0;
        uint32_t segment = 0;
        float lat1, lon1, lat2, lon2;
        rec.point(0, lat1, lon1);
        for (uint32_t s = 0; s + 1 < rec.point_count; ++s, lat1 = lat2, lon1 = lon2) {
            rec.point(s + 1, lat2, lon2);
            double flat = lat1, flon = lon1;  // a zero-length segment's foot is its vertex
            double d = kiv_geodistance_to_line(lat1, lon1, lat2, lon2, lat_, lon_, true, &flat, &flon);
            if (d < 0 || !(d < nearest))
                continue;
            nearest = d;
            foot_lat = flat;
            foot_lon = flon;
            segment = s;
        }
        if (!(nearest < best_))
            return;
        best_ = nearest;
        hit_.lat = foot_lat;
        hit_.lon = foot_lon;
        hit_.points = rec.points;
        hit_.count = rec.point_count;
        hit_.segment = segment;
        hit_.forward_only = (rec.record_flags & record_flag_forward_only) != 0;
        found_ = true;
    }

    bool found() const { return found_; }
    void reset() { found_ = false; }

private:
    double lat_, lon_;
    double& best_;
    road_hit& hit_;
    bool found_ = false;  // this map beat the roads before it
};

// Returns: whether the envelope of `map` meets the box of `range` around
//     the point (false for a range the box refuses).
bool map_near(ozm_map* map, double lat, double lon, double range) {
    float min[2], max[2];
    return candidate_box(lat, lon, range, min, max) && map->in_view(min[0], min[1], max[0], max[1], false);
}

}  // namespace

bool find_road(double lat, double lon, double range, const map_list& maps, page_set& pages, road_hit& hit) {
    if (maps.empty())
        return false;
    hit = road_hit();
    double best = range;
    bool found = false;
    road_visitor visitor(lat, lon, best, hit);
    for (ozm_map* map : maps) {
        // The box shrinks with the best distance found so far.
        if (!map_near(map, lat, lon, best))
            continue;
        visitor.reset();
        map->search_candidates(lat, lon, best, pages, visitor);
        if (!visitor.found())
            continue;
        found = true;
        if ((map->flags() & map_flag_covering) != 0 && map->in_view(lat, lon, lat, lon, true))
            break;
    }
    return found;
}

bool lock_point_to_road(const map_list& maps, double lat, double lon, double max_range, geo_point& pt) {
    if (max_range == 0.0)
        max_range = default_snap_range;
    try {
        map_list chosen;
        for (ozm_map* map : maps) {
            if ((map->flags() & map_flag_no_render) == 0 && map_near(map, lat, lon, max_range))
                chosen.add(map);
        }
        if (chosen.empty())
            return false;
        page_set pages;
        road_hit hit;
        if (!find_road(lat, lon, max_range, chosen, pages, hit))
            return false;
        pt.lat = hit.lat;
        pt.lon = hit.lon;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace ozm
}  // namespace kiv
