// ozm_search_bench.cpp --
//
//     The ozm driver's searches against the plain way of doing the same
//     work, each pair in one run:
//     - prefix search of streets and houses in a map of 100,000 streets
//       and 1,000,000 houses: the search's key lookup against a scan of
//       every record that upper-cases and compares its key, then sorts;
//     - snapping a 1,000-point track (each point on its own): the map's
//       R-tree candidates against a scan of every road segment of the
//       map under the same rule;
//     - a track of 1,000 points that changes road at every point, on
//       roads of 5,000 vertices: the crossing search ordered by distance
//       from the snapped segments against the scan of every pair of
//       segments.
//     Each side's results are compared afterwards (every item, point or
//     crossing the reference produced against ours); any difference
//     makes the program exit with 1.

#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/string_impl.h>
#include <kiv/gis/geodesic.h>
#include <kiv/ozm_writer/map_writer.h>

#include "map/ozm_map.h"
#include "ratio_main.h"
#include "search/ozm_search_result.h"
#include "search/place_search.h"
#include "search/road_snap.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

namespace w = kiv::ozm_writer;
using kiv::ozm_map;

constexpr unsigned street_count = 100000;
constexpr unsigned houses_per_street = 10;
constexpr unsigned track_points = 1000;
constexpr unsigned road_vertices = 5000;

bool mismatch = false;
void fail(const char* what) {
    if (!mismatch)
        std::printf("mismatch: %s\n", what);
    mismatch = true;
}

ozm_map* load_map(const w::map_writer& writer, const std::string& path, uint32_t load_number) {
    std::string error;
    if (!writer.write(path, error)) {
        std::printf("%s\n", error.c_str());
        return nullptr;
    }
    ozm_map* map = new ozm_map;
    map->addref();
    kiv::string error_text;
    if (!map->load(path.c_str(), &error_text, load_number, false)) {
        std::printf("%s\n", error_text.get_value());
        map->release();
        return nullptr;
    }
    return map;
}

// ---- prefix search ---------------------------------------------------

ozm_map* search_map = nullptr;
std::vector<std::string> prefixes;  // lower case, as users type them

std::string street_name(unsigned i) {
    static const char* words[] = {"лесная", "ленина", "садовая", "mira", "oak", "baker", "школьная", "nova"};
    return std::string(words[i % 8]) + " " + std::to_string(i);
}

// The items of a listing as "name|id" lines.
std::vector<std::string> result_lines(kiv::i_gis_search_result* r) {
    std::vector<std::string> out;
    if (r == nullptr)
        return out;
    for (bool on = r->first(); on; on = r->next())
        out.push_back(std::string(r->get_result_text()) + "|" + std::to_string(r->get_result_id()));
    r->release();
    return out;
}

// The plain way: every street of the city, key upper-cased and compared,
// then sorted by key.
std::vector<std::string> scan_streets(const std::string& prefix) {
    const kiv::ozm::map_file& f = search_map->file();
    const kiv::ozm::search_place& city = f.cities()[0];
    std::string pattern = kiv::ozm::search_pattern(prefix.c_str());
    std::vector<std::pair<std::string, std::string>> found;
    for (uint32_t s = city.first_child; s < city.first_child + city.child_count; ++s) {
        std::string key = kiv::ozm::search_pattern(f.text_at(f.streets()[s].name));
        if (key.compare(0, pattern.size(), pattern) == 0)
            found.emplace_back(key, std::string(f.text_at(f.streets()[s].name)) + "|" +
                                        std::to_string(kiv::ozm::make_search_id(search_map->load_number(), s)));
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (auto& e : found)
        out.push_back(std::move(e.second));
    return out;
}

void bm_prefix_ours(benchmark::State& state) {
    size_t k = 0;
    for (auto _ : state) {
        auto lines = result_lines(kiv::ozm::search_streets(search_map, kiv::ozm::make_search_id(1, 0),
                                                           prefixes[k++ % prefixes.size()].c_str()));
        benchmark::DoNotOptimize(lines.data());
    }
}

void bm_prefix_scan(benchmark::State& state) {
    size_t k = 0;
    for (auto _ : state) {
        const std::string& prefix = prefixes[k++ % prefixes.size()];
        auto lines = scan_streets(prefix);
        benchmark::DoNotOptimize(lines.data());
        state.PauseTiming();
        if (lines != result_lines(kiv::ozm::search_streets(search_map, kiv::ozm::make_search_id(1, 0), prefix.c_str())))
            fail("street search");
        state.ResumeTiming();
    }
}

// ---- snapping ------------------------------------------------------

ozm_map* road_map = nullptr;
std::vector<double> track_lats, track_lons;
constexpr double snap_range = 60;

// The nearest road by the driver's rule, over every road of the map.
bool scan_snap(double lat, double lon, double range, double& out_lat, double& out_lon) {
    const kiv::ozm::map_file& f = road_map->file();
    double best = range;
    bool found = false;
    for (const kiv::ozm::feature_info& info : f.features()) {
        if (!(info.flags & 0x40) || (info.flags & 0x81))
            continue;
        kiv::ozm::feature_record rec;
        if (!road_map->decode_record(info.page, info.offset, info.flags, rec) || rec.point_count < 2)
            continue;
        double nearest = std::numeric_limits<double>::infinity(), flat = 0, flon = 0;
        for (uint32_t s = 0; s + 1 < rec.point_count; ++s) {
            float a1, o1, a2, o2;
            rec.point(s, a1, o1);
            rec.point(s + 1, a2, o2);
            double ulat = a1, ulon = o1;
            double d = kiv_geodistance_to_line(a1, o1, a2, o2, lat, lon, true, &ulat, &ulon);
            if (d >= 0 && d < nearest) {
                nearest = d;
                flat = ulat;
                flon = ulon;
            }
        }
        if (nearest < best) {
            best = nearest;
            out_lat = flat;
            out_lon = flon;
            found = true;
        }
    }
    return found;
}

std::vector<kiv::road_point> snap_ours() {
    std::vector<kiv::road_point> out;
    kiv::ozm::map_list maps;
    maps.add(road_map);
    kiv::i_gis_road_lock* lock =
        kiv::ozm::lock_points_to_road(maps, track_lats.data(), track_lons.data(), track_points, snap_range, false);
    if (lock != nullptr) {
        kiv::road_point* p = lock->get_points();
        out.assign(p, p + lock->get_point_count());
        lock->release();
    }
    return out;
}

void bm_snap_ours(benchmark::State& state) {
    for (auto _ : state) {
        auto points = snap_ours();
        benchmark::DoNotOptimize(points.data());
    }
}

void bm_snap_scan(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<kiv::road_point> points;
        for (unsigned i = 0; i < track_points; ++i) {
            double lat = 0, lon = 0;
            scan_snap(track_lats[i], track_lons[i], snap_range, lat, lon);
            points.push_back(kiv_gis_create_road_point(lat, lon, 0));
        }
        benchmark::DoNotOptimize(points.data());
        state.PauseTiming();
        std::vector<kiv::road_point> ours = snap_ours();
        if (ours.size() != points.size())
            fail("snapped track length");
        for (size_t i = 0; i < ours.size() && i < points.size(); ++i)
            if (ours[i].lat != points[i].lat || ours[i].lon != points[i].lon)
                fail("snapped point");
        state.ResumeTiming();
    }
}

// ---- crossings -----------------------------------------------------

// Horizontal roads along lat 50 + 0.05 h, vertical ones along lon 10 +
// 0.05 v + 0.000025, each of 5,000 vertices 0.0001° apart.
std::vector<std::vector<float>> horizontal, vertical;
struct change {
    kiv::ozm::road_hit from, to;
    kiv::ozm::road_crossing want;  // ours, computed first
};
std::vector<change> changes;

kiv::ozm::road_hit hit_on(const std::vector<float>& road, uint32_t segment) {
    kiv::ozm::road_hit h;
    h.points = reinterpret_cast<const uint8_t*>(road.data());
    h.count = uint32_t(road.size() / 2);
    h.segment = segment;
    return h;
}

// Every pair of segments, the first of the smallest score kept.
bool scan_crossing(const kiv::ozm::road_hit& a, const kiv::ozm::road_hit& b, kiv::ozm::road_crossing& out) {
    bool found = false;
    long long best = 0;
    for (uint32_t i = 0; i + 1 < a.count; ++i) {
        float la1, lo1, la2, lo2;
        a.point(i, la1, lo1);
        a.point(i + 1, la2, lo2);
        for (uint32_t j = 0; j + 1 < b.count; ++j) {
            float lb1, ob1, lb2, ob2;
            b.point(j, lb1, ob1);
            b.point(j + 1, lb2, ob2);
            kiv::ozm::seg_point c;
            if (!kiv::ozm::segment_intersection({lo1, la1}, {lo2, la2}, {ob1, lb1}, {ob2, lb2}, &c))
                continue;
            long long score = std::llabs((long long)i + 1 - a.segment) + std::llabs((long long)j + 1 - b.segment);
            if (!found || score < best) {
                found = true;
                best = score;
                out.a = i;
                out.b = j;
                out.lat = c.y;
                out.lon = c.x;
            }
        }
    }
    return found;
}

void bm_crossing_ours(benchmark::State& state) {
    size_t k = 0;
    for (auto _ : state) {
        const change& c = changes[k++ % changes.size()];
        kiv::ozm::road_crossing x;
        benchmark::DoNotOptimize(kiv::ozm::nearest_crossing(c.from, c.to, x));
    }
}

void bm_crossing_scan(benchmark::State& state) {
    size_t k = 0;
    for (auto _ : state) {
        const change& c = changes[k++ % changes.size()];
        kiv::ozm::road_crossing x;
        bool found = scan_crossing(c.from, c.to, x);
        if (!found || x.a != c.want.a || x.b != c.want.b || x.lat != c.want.lat || x.lon != c.want.lon)
            fail("road crossing");
    }
}

bool build_fixtures(const std::string& root) {
    // Prefix search: one city, 100,000 streets of 10 houses each.
    {
        w::map_writer writer(w::map_info{"Search", "", "", 1, 0, 16, 0, 0, false, {0, 0}, {0, 0}});
        w::feature f;
        f.flags = 0x01;
        f.anchor = {50, 10};
        writer.add_feature(f);
        w::city city{"Город", {50, 10}, {}};
        for (unsigned s = 0; s < street_count; ++s) {
            w::street street{street_name(s), {50, 10}, {}};
            for (unsigned h = 0; h < houses_per_street; ++h)
                street.houses.push_back(w::house{std::to_string(h + 1), {50, 10}});
            city.streets.push_back(std::move(street));
        }
        writer.add_city(city);
        search_map = load_map(writer, root + "/search.ozm", 1);
        if (search_map == nullptr)
            return false;
        for (const char* p : {"лес", "ленина 1", "с", "mira 9", "oak 12", "школьная 33", "nova 4", "b"})
            prefixes.push_back(p);
    }
    // Snapping: a grid of 40 x 40 roads of 250 vertices over 1 x 1 degree.
    {
        w::map_writer writer(w::map_info{"Roads", "", "", 1, 0, 16, 0, 0, false, {0, 0}, {0, 0}});
        for (int r = 0; r < 40; ++r) {
            w::feature east, north;
            east.code = north.code = 10;
            east.flags = north.flags = 0x40;
            for (int v = 0; v < 250; ++v) {
                east.points.push_back({50.0f + 0.025f * r, 10.0f + 0.004f * v});
                north.points.push_back({50.0f + 0.004f * v, 10.0125f + 0.025f * r});
            }
            east.anchor = east.points[0];
            north.anchor = north.points[0];
            writer.add_feature(east);
            writer.add_feature(north);
        }
        road_map = load_map(writer, root + "/roads.ozm", 2);
        if (road_map == nullptr)
            return false;
        std::mt19937 rng(25);
        std::uniform_real_distribution<double> lat(50.0, 50.99), lon(10.0, 10.99), off(-0.0004, 0.0004);
        std::uniform_int_distribution<int> which(0, 39);
        for (unsigned i = 0; i < track_points; ++i) {
            // Alternately near an east-west and a north-south road.
            if (i % 2 == 0) {
                track_lats.push_back(50.0 + 0.025 * which(rng) + off(rng));
                track_lons.push_back(lon(rng));
            } else {
                track_lats.push_back(lat(rng));
                track_lons.push_back(10.0125 + 0.025 * which(rng) + off(rng));
            }
        }
        // Page locks of the reference scan: every page, held to the end.
        for (uint32_t p = 0; p < road_map->file().header().page_count; ++p)
            if (!road_map->lock_page(p))
                return false;
    }
    // Crossings: 10 horizontal and 10 vertical roads of 5,000 vertices.
    for (int r = 0; r < 10; ++r) {
        std::vector<float> h, v;
        for (unsigned k = 0; k < road_vertices; ++k) {
            h.push_back(50.0f + 0.05f * r);
            h.push_back(10.0f + 0.0001f * k);
            v.push_back(50.0f + 0.0001f * k);
            v.push_back(10.000025f + 0.05f * r);
        }
        horizontal.push_back(h);
        vertical.push_back(v);
    }
    std::mt19937 rng(5000);
    std::uniform_int_distribution<int> road(0, 9), near(-30, 30);
    // Segment `crossing` give or take 30, as a snapped point near it.
    auto around = [&](int crossing) { return uint32_t(std::max(0, crossing + near(rng))); };
    int h = road(rng), v = road(rng);
    for (unsigned i = 0; i + 1 < track_points; ++i) {
        // Point i on one road near its crossing with the road of point
        // i + 1, which runs the other way. H_h meets V_v at H's segment
        // 500 v and V's segment 500 h.
        change c;
        if (i % 2 == 0) {
            int next = road(rng);
            c.from = hit_on(horizontal[h], around(500 * next));
            c.to = hit_on(vertical[next], around(500 * h));
            v = next;
        } else {
            int next = road(rng);
            c.from = hit_on(vertical[v], around(500 * next));
            c.to = hit_on(horizontal[next], around(500 * v));
            h = next;
        }
        if (!kiv::ozm::nearest_crossing(c.from, c.to, c.want))
            return false;
        changes.push_back(c);
    }
    return true;
}

}  // namespace

// One unit for all: the ratios divide the times as reported.
BENCHMARK(bm_prefix_ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(bm_prefix_scan)->Unit(benchmark::kMicrosecond);
BENCHMARK(bm_snap_ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(bm_snap_scan)->Unit(benchmark::kMicrosecond);
BENCHMARK(bm_crossing_ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(bm_crossing_scan)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    const std::string root = kiv_test::make_temp_folder("kiv_ozm_search_bench_");
    if (root.empty() || !kiv_set_env("KIV_ROOT_PATH", root.c_str()) || !kiv_initialize())
        return 1;
    int rc = 1;
    if (build_fixtures(root)) {
        kiv_bench::run_with_ratios(argc, argv,
                                   {{"street prefix search (100,000 streets, 1,000,000 houses) vs scan",
                                     "bm_prefix_ours", "bm_prefix_scan"},
                                    {"snapping a 1,000-point track vs scan of every segment", "bm_snap_ours",
                                     "bm_snap_scan"},
                                    {"road change crossing (roads of 5,000 vertices) vs every pair",
                                     "bm_crossing_ours", "bm_crossing_scan"}});
        rc = mismatch ? 1 : 0;
    } else {
        std::printf("could not build the fixtures\n");
    }
    if (road_map != nullptr) {
        for (uint32_t p = 0; p < road_map->file().header().page_count; ++p)
            road_map->unlock_page(p);
        road_map->release();
    }
    if (search_map != nullptr)
        search_map->release();
    kiv_terminate();
    std::filesystem::remove_all(root);
    return rc;
}
