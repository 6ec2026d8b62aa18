// road_track.cpp --
//
//     Snapping a track: each point snapped on its own, then the road
//     between two consecutive hits filled in with the road's vertices
//     (along one road, or to the crossing of two roads and on), and a
//     way that wanders far from the direct line removed again.
//
//     The crossing of two roads is looked for in order of its distance
//     (in segments) from the two snapped segments, so the usual case, a
//     crossing near both, costs a handful of segment tests instead of
//     every pair of two long roads. The result is the pair the full
//     scan would keep: the smallest score, then the smallest segment of
//     the first road, then of the second.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/gis/geodesic.h>
#include <kiv/gis/gis_road_lock.h>

#include "map/ozm_map.h"
#include "search/road_snap.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace kiv {
namespace ozm {

namespace {

// Tracks longer than this are not reserved up front (the array grows).
constexpr unsigned max_reserved_points = 1u << 20;

road_point make_point(double lat, double lon, unsigned char simulated) {
    road_point p{};
    p.lat = lat;
    p.lon = lon;
    p.simulated = simulated;
    return p;
}

seg_point vertex(const road_hit& road, uint32_t i) {
    float lat, lon;
    road.point(i, lat, lon);
    return seg_point{lon, lat};
}

// Returns: the summed length of the inserted points from `mark` to the
//     end, joined to the snapped point before them and to (lat, lon).
double inserted_length(const std::vector<road_point>& pts, size_t mark, double lat, double lon) {
    double sum = 0;
    auto add = [&sum](double d) {
        if (d != -1)
            sum += d;
    };
    add(kiv_calc_distance(lat, lon, pts.back().lat, pts.back().lon));
    for (size_t k = pts.size() - 1; k > mark; --k)
        add(kiv_calc_distance(pts[k].lat, pts[k].lon, pts[k - 1].lat, pts[k - 1].lon));
    add(kiv_calc_distance(pts[mark].lat, pts[mark].lon, pts[mark - 1].lat, pts[mark - 1].lon));
    return sum;
}

}  // namespace

bool append_road_points(uint32_t from, uint32_t to, const road_hit& road, std::vector<road_point>& out) {
    if (from == to || road.points == nullptr)
        return false;
    // Vertices beyond the road are never read, whatever a caller asks.
    const uint32_t last = road.count > 0 ? road.count - 1 : 0;
    size_t before = out.size();
    float lat, lon;
    if (from < to) {
        for (uint32_t i = from + 1; i <= to && i <= last; ++i) {
            road.point(i, lat, lon);
            out.push_back(make_point(lat, lon, 1));
        }
    } else {
        for (uint32_t i = std::min(from, last); i > to; --i) {
            road.point(i, lat, lon);
            out.push_back(make_point(lat, lon, 1));
        }
    }
    return out.size() > before;
}

bool nearest_crossing(const road_hit& a, const road_hit& b, road_crossing& out) {
    if (a.points == nullptr || b.points == nullptr || a.count < 2 || b.count < 2)
        return false;
    const long long a_segs = a.count - 1, b_segs = b.count - 1;
    const long long a_from = a.forward_only ? std::min<long long>(a.segment, a_segs) : 0;
    const long long b_from = b.forward_only ? std::min<long long>(b.segment, b_segs) : 0;
    if (a_from >= a_segs || b_from >= b_segs)
        return false;
    // The score of (i, j) is |i - ca| + |j - cb|.
    const long long ca = (long long)a.segment - 1, cb = (long long)b.segment - 1;
    const long long max_score = std::max(std::llabs(a_from - ca), std::llabs(a_segs - 1 - ca)) +
                                std::max(std::llabs(b_from - cb), std::llabs(b_segs - 1 - cb));
    for (long long s = 0; s <= max_score; ++s) {
        const long long i_lo = std::max(a_from, ca - s), i_hi = std::min(a_segs - 1, ca + s);
        for (long long i = i_lo; i <= i_hi; ++i) {
            const long long rest = s - std::llabs(i - ca);
            const long long js[2] = {cb - rest, cb + rest};
            for (int k = 0; k < (rest == 0 ? 1 : 2); ++k) {
                const long long j = js[k];
                if (j < b_from || j >= b_segs)
                    continue;
                seg_point c;
                if (segment_intersection(vertex(a, uint32_t(i)), vertex(a, uint32_t(i + 1)), vertex(b, uint32_t(j)),
                                         vertex(b, uint32_t(j + 1)), &c)) {
                    out.a = uint32_t(i);
                    out.b = uint32_t(j);
                    out.lat = c.y;
                    out.lon = c.x;
                    return true;
                }
            }
        }
    }
    return false;
}

i_gis_road_lock* lock_points_to_road(const map_list& maps, const double* lats, const double* lons,
                                     unsigned point_count, double max_range, bool simulate) {
    if (lats == nullptr || lons == nullptr || point_count == 0)
        return nullptr;
    if (max_range == 0.0)
        max_range = default_snap_range;
    try {
        map_list chosen;
        for (ozm_map* map : maps) {
            if ((map->flags() & map_flag_no_render) == 0)
                chosen.add(map);
        }
        if (chosen.empty())
            return nullptr;
        auto_ptr_t<gis_road_lock> lock(new gis_road_lock);
        lock->addref();
        std::vector<road_point>& pts = lock->points;
        pts.reserve(std::min(point_count, max_reserved_points));
        page_set pages;  // hits point into these pages: locked until the track is done
        road_hit prev, hit;
        for (unsigned i = 0; i < point_count && kiv_is_running(); ++i) {
            const bool found = find_road(lats[i], lons[i], max_range, chosen, pages, hit);
            if (simulate && found && prev.found() && i > 0) {
                const size_t mark = pts.size();
                if (hit.points == prev.points) {
                    if (prev.segment < hit.segment || !hit.forward_only)
                        append_road_points(prev.segment, hit.segment, prev, pts);
                } else {
                    road_crossing c;
                    if (nearest_crossing(prev, hit, c)) {
                        append_road_points(prev.segment, c.a, prev, pts);
                        pts.push_back(make_point(c.lat, c.lon, 1));
                        append_road_points(c.b, hit.segment, hit, pts);
                    }
                }
                if (pts.size() > mark && mark > 0) {
                    const double direct = kiv_calc_distance(lats[i], lons[i], lats[i - 1], lons[i - 1]);
                    if (direct != -1 && direct * 3.0 + max_range < inserted_length(pts, mark, hit.lat, hit.lon))
                        pts.resize(mark);
                }
            }
            if (found) {
                pts.push_back(make_point(hit.lat, hit.lon, 0));
                prev = hit;
            } else {
                pts.push_back(simulate ? make_point(lats[i], lons[i], 0) : make_point(0.0, 0.0, 0));
                prev = road_hit();
            }
        }
        return lock.detach();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace ozm
}  // namespace kiv
