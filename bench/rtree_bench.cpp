// rtree_bench.cpp --
//
//     Window queries of map-view size (about 0.2 x 0.15 degrees, a
//     1024 x 768 view near 1:50,000) on one million feature boxes: the
//     map index as the driver has it (bulk-loaded by the writer, loaded
//     from its node stream) against Boost.Geometry's
//     rtree<quadratic<8, 4>> built by its own packing over the same
//     boxes. Both collect the ids of every hit; afterwards each query's
//     sorted result sets are compared and the program fails when any
//     differ.

#include <kiv/ozm_writer/map_writer.h>

#include "format/map_file.h"
#include "ratio_main.h"

#include <benchmark/benchmark.h>
#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <utility>
#include <vector>

namespace {

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;

typedef bg::model::point<float, 2, bg::cs::cartesian> bpoint;
typedef bg::model::box<bpoint> bbox;
typedef std::pair<bbox, unsigned> bvalue;
typedef bgi::rtree<bvalue, bgi::quadratic<8, 4>> boost_tree;

constexpr unsigned box_count = 1000000;
constexpr unsigned query_count = 2000;

struct fixture {
    std::vector<kiv::ozm_writer::index_box> boxes;
    std::vector<kiv::ozm_writer::index_box> queries;
    std::unique_ptr<kiv::ozm::map_index> ours;
    std::unique_ptr<boost_tree> reference;

    fixture() {
        std::mt19937 rng(2026);
        // Features over a region of 10 x 20 degrees, most of them small
        // (buildings, road pieces), a few long (roads, rivers).
        std::uniform_real_distribution<float> lat(50, 60), lon(30, 50), small(0, 0.002f), large(0, 0.05f);
        std::uniform_int_distribution<int> kind(0, 99);
        for (unsigned i = 0; i < box_count; ++i) {
            float a = lat(rng), o = lon(rng);
            bool long_one = kind(rng) < 3;
            float h = long_one ? large(rng) : small(rng), w = long_one ? large(rng) : small(rng);
            boxes.push_back({a, o, a + h, o + w, i});
        }
        for (unsigned i = 0; i < query_count; ++i) {
            float a = lat(rng), o = lon(rng);
            queries.push_back({a, o, a + 0.15f, o + 0.2f, i});
        }
        uint32_t nodes = 0;
        std::vector<uint8_t> stream = kiv::ozm_writer::build_index_stream(boxes, nodes);
        ours.reset(new kiv::ozm::map_index(nodes));
        if (!ours->load(stream.data(), stream.size())) {
            std::fprintf(stderr, "the node stream did not load\n");
            std::exit(1);
        }
        std::vector<bvalue> values;
        values.reserve(boxes.size());
        for (const auto& b : boxes)
            values.emplace_back(bbox(bpoint(b.min_lat, b.min_lon), bpoint(b.max_lat, b.max_lon)), b.data);
        reference.reset(new boost_tree(values.begin(), values.end()));
    }

    void ours_query(const kiv::ozm_writer::index_box& q, std::vector<unsigned>& out) const {
        const float min[2] = {q.min_lat, q.min_lon}, max[2] = {q.max_lat, q.max_lon};
        ours->search_each(min, max, [&](unsigned v) {
            out.push_back(v);
            return true;
        });
    }

    void reference_query(const kiv::ozm_writer::index_box& q, std::vector<unsigned>& out) const {
        bbox window(bpoint(q.min_lat, q.min_lon), bpoint(q.max_lat, q.max_lon));
        for (auto it = reference->qbegin(bgi::intersects(window)); it != reference->qend(); ++it)
            out.push_back(it->second);
    }
};

const fixture& data() {
    static const fixture f;
    return f;
}

void bm_ours(benchmark::State& state) {
    const fixture& f = data();
    std::vector<unsigned> hits;
    size_t i = 0;
    for (auto _ : state) {
        hits.clear();
        f.ours_query(f.queries[i++ % f.queries.size()], hits);
        benchmark::DoNotOptimize(hits.data());
    }
}

void bm_boost(benchmark::State& state) {
    const fixture& f = data();
    std::vector<unsigned> hits;
    size_t i = 0;
    for (auto _ : state) {
        hits.clear();
        f.reference_query(f.queries[i++ % f.queries.size()], hits);
        benchmark::DoNotOptimize(hits.data());
    }
}

BENCHMARK(bm_ours);
BENCHMARK(bm_boost);

}  // namespace

int main(int argc, char** argv) {
    data();  // built before timing starts
    bool same = true;
    kiv_bench::run_with_ratios(argc, argv, {{"map index vs boost rtree<quadratic<8,4>>", "bm_ours", "bm_boost"}},
                               [&] {
                                   const fixture& f = data();
                                   size_t total = 0;
                                   std::vector<unsigned> a, b;
                                   for (const auto& q : f.queries) {
                                       a.clear();
                                       b.clear();
                                       f.ours_query(q, a);
                                       f.reference_query(q, b);
                                       std::sort(a.begin(), a.end());
                                       std::sort(b.begin(), b.end());
                                       same = same && a == b;
                                       total += a.size();
                                   }
                                   std::printf("same results: %s (%zu hits over %u queries)\n", same ? "yes" : "NO",
                                               total, query_count);
                               });
    return same ? 0 : 1;
}
