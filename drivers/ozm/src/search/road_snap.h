// road_snap.h --
//
//     Snapping points and tracks to the roads of the ozm maps. A road is
//     a line feature flagged as road (not a point, not a ring); a point
//     snaps to the foot of the perpendicular on the nearest segment of
//     the nearest road within range, the foot taken in the plane whose
//     longitudes are scaled by the cosine of the point's latitude (a
//     zero-length segment's foot is its vertex). Maps are searched in
//     priority order, each having to beat the roads found before it; a
//     covering map that holds the point and found a road ends the scan.
//
//     A track follows the roads between its snapped points: the road's
//     vertices between two hits on one road (never backwards along a
//     forward-only road), or the way to the crossing of two roads and on,
//     the inserted vertices flagged simulated. A way longer than three
//     times the direct distance plus the range is dropped again.
//
//         ozm::map_list maps;   // the driver's maps by priority
//         auto_ptr_t<i_gis_road_lock> track(ozm::lock_points_to_road(maps, lats, lons, n, 30.0, true));
//
//     Callable from any thread. Pages holding roads stay locked until
//     the call ends, as hits point into them.

#ifndef KIV_OZM_SEARCH_ROAD_SNAP_H
#define KIV_OZM_SEARCH_ROAD_SNAP_H

#include <kiv/gis/gis_types.h>
#include <kiv/gis/i_gis_road_lock.h>
#include <kiv/core/le_bytes.h>

#include "search/map_list.h"

#include <cstdint>
#include <vector>

namespace kiv {
namespace ozm {

// The range used when a caller gives 0.
constexpr double default_snap_range = 50.0;

// The nearest road found for a point.
struct road_hit {
    double lat = 0, lon = 0;          // the foot on the chosen segment
    const uint8_t* points = nullptr;  // the road's (lat, lon) f32 pairs in a locked page; null: no road
    uint32_t count = 0;               // the road's points
    uint32_t segment = 0;             // segment s runs from point s to point s + 1
    bool forward_only = false;        // the road is driven in point order only

    bool found() const { return points != nullptr; }
    // Reads point i (< count).
    void point(uint32_t i, float& lat_out, float& lon_out) const {
        lat_out = le_f32(points + 8 * uint64_t(i));
        lon_out = le_f32(points + 8 * uint64_t(i) + 4);
    }
};

// Where two roads cross.
struct road_crossing {
    uint32_t a = 0, b = 0;  // the crossing segments of the first and the second road
    float lat = 0, lon = 0;
};

// The nearest road within `range` metres of (lat, lon) over `maps`, in
// list order (the caller has chosen them). Pages of the roads examined
// are locked through `pages`.
// Returns: whether a road was found (then `hit` holds it). With no maps
//     `hit` is left as it was; otherwise it is cleared first.
bool find_road(double lat, double lon, double range, const map_list& maps, page_set& pages, road_hit& hit);

// Snaps one point: the maps of `maps` (the driver's, by priority) that
// snap roads and whose envelope meets the range are searched.
// `max_range` 0 means 50 m.
// Returns: true with `pt` set to the snapped point, false when no road
//     is within range.
bool lock_point_to_road(const map_list& maps, double lat, double lon, double max_range, geo_point& pt);

// Snaps a track of `point_count` points (see the file comment); the
// maps of `maps` that snap roads are used. A point without a road stays
// as given with `simulate`, else becomes (0, 0).
// Returns: a new gis_road_lock with one reference for the caller, one
//     point per input point plus the inserted ones (fewer only when the
//     core stops meanwhile); null for null arrays, no points, no map or
//     when memory runs out.
i_gis_road_lock* lock_points_to_road(const map_list& maps, const double* lats, const double* lons,
                                    unsigned point_count, double max_range, bool simulate);

// Appends the road's vertices from `from` + 1 up to `to` (from < to) or
// from `from` down to `to` + 1 (from > to), simulated.
// Returns: whether anything was appended.
bool append_road_points(uint32_t from, uint32_t to, const road_hit& road, std::vector<road_point>& out);

// The crossing of road `a` and road `b` nearest to their snapped
// segments: the pair (i, j) of crossing segments with the smallest
// |i + 1 - a.segment| + |j + 1 - b.segment|, ties going to the smaller
// i, then the smaller j. A forward-only road is tried from its snapped
// segment on, another from its first segment.
// Returns: false when the roads do not cross.
bool nearest_crossing(const road_hit& a, const road_hit& b, road_crossing& out);

}  // namespace ozm
}  // namespace kiv

#endif
