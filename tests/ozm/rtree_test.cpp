// rtree_test.cpp --
//
//     The R-tree: the split rules, touching boxes, searches against brute
//     force on random boxes (grown by insertion and loaded from a
//     bulk-loaded stream), and the loader's defences against crafted
//     streams: parameters, branch counts, levels, the node pool, leaf
//     values and streams cut short.

#include <kiv/ozm_writer/map_writer.h>

#include "format/map_file.h"
#include "format/rtree.h"
#include "ozm_fixtures.h"
#include "render/placement_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>

namespace {

using namespace ozm_test;
using kiv::ozm::map_index;

typedef kiv::RTree<int, float, float, 8, 4> int_tree;

// Every leaf of the tree, with its depth checked to be uniform.
template <class Tree>
void collect(const typename Tree::Node* n, std::vector<const typename Tree::Node*>& leaves) {
    if (n->is_leaf()) {
        leaves.push_back(n);
        return;
    }
    for (int i = 0; i < n->count; ++i) {
        EXPECT_EQ(n->branch[i].child->level, n->level - 1);
        collect<Tree>(n->branch[i].child, leaves);
    }
}

TEST(rtree, nine_boxes_split_the_root_into_two_leaves_of_at_least_four) {
    for (auto measure : {int_tree::volume_measure::area, int_tree::volume_measure::spherical}) {
        int_tree tree(0, measure);
        for (int i = 0; i < 9; ++i) {
            const float min[2] = {float(i * 10), float(i % 3)}, max[2] = {float(i * 10 + 5), float(i % 3 + 2)};
            ASSERT_TRUE(tree.insert(min, max, i));
        }
        const int_tree::Node* root = tree.root();
        ASSERT_EQ(root->level, 1);
        ASSERT_EQ(root->count, 2);
        EXPECT_GE(root->branch[0].child->count, 4);
        EXPECT_GE(root->branch[1].child->count, 4);
        EXPECT_EQ(root->branch[0].child->count + root->branch[1].child->count, 9);
    }
}

TEST(rtree, eight_boxes_stay_in_one_leaf) {
    int_tree tree;
    for (int i = 0; i < 8; ++i) {
        const float min[2] = {float(i), 0}, max[2] = {float(i), 0};
        tree.insert(min, max, i);
    }
    EXPECT_EQ(tree.root()->level, 0);
    EXPECT_EQ(tree.root()->count, 8);
}

TEST(rtree, split_separates_two_clusters) {
    // Four boxes near the origin and five far away: the quadratic split
    // must not mix them.
    kiv::placement_tree tree;
    for (int i = 0; i < 4; ++i)
        tree.add(float(i), 0, float(i) + 1, 1);
    for (int i = 0; i < 5; ++i)
        tree.add(1000 + float(i), 1000, 1001 + float(i), 1001);
    const auto* root = tree.root();
    ASSERT_EQ(root->count, 2);
    for (int b = 0; b < 2; ++b) {
        const auto* leaf = root->branch[b].child;
        bool near = leaf->branch[0].rect.min[0] < 500;
        for (int i = 0; i < leaf->count; ++i)
            EXPECT_EQ(leaf->branch[i].rect.min[0] < 500, near);
    }
}

TEST(rtree, touching_edges_and_corners_are_found) {
    int_tree tree;
    const float min[2] = {0, 0}, max[2] = {10, 10};
    tree.insert(min, max, 7);
    struct probe {
        float x1, y1, x2, y2;
        int hits;
    } probes[] = {
        {10, 0, 20, 10, 1},    // shares the right edge
        {-5, 10, 5, 20, 1},    // shares the top edge
        {10, 10, 11, 11, 1},   // shares a corner
        {10.01f, 0, 20, 10, 0},
        {-3, -3, -0.01f, -0.01f, 0},
        {2, 2, 3, 3, 1},       // inside
        {-100, -100, 100, 100, 1},
    };
    for (const probe& p : probes) {
        const float qmin[2] = {p.x1, p.y1}, qmax[2] = {p.x2, p.y2};
        EXPECT_EQ(tree.search(qmin, qmax, nullptr, nullptr), p.hits) << p.x1 << "," << p.y1;
    }
}

TEST(rtree, callback_false_stops_the_search_after_counting_the_hit) {
    int_tree tree;
    for (int i = 0; i < 50; ++i) {
        const float min[2] = {0, 0}, max[2] = {1, 1};
        tree.insert(min, max, i);
    }
    const float qmin[2] = {0, 0}, qmax[2] = {1, 1};
    int calls = 0;
    auto stop_at_third = [](int, void* context) { return ++*static_cast<int*>(context) < 3; };
    EXPECT_EQ(tree.search(qmin, qmax, stop_at_third, &calls), 3);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(tree.search(qmin, qmax, nullptr, nullptr), 50);
}

struct box {
    float min[2], max[2];
};

std::vector<box> random_boxes(std::mt19937& rng, int n, float extent, float size) {
    std::uniform_real_distribution<float> pos(0, extent), len(0, size);
    std::vector<box> out;
    for (int i = 0; i < n; ++i) {
        box b;
        for (int d = 0; d < 2; ++d) {
            b.min[d] = pos(rng);
            b.max[d] = b.min[d] + len(rng);
        }
        out.push_back(b);
    }
    return out;
}

std::set<unsigned> brute_force(const std::vector<box>& boxes, const box& q) {
    std::set<unsigned> hits;
    for (size_t i = 0; i < boxes.size(); ++i) {
        const box& b = boxes[i];
        if (b.min[0] <= q.max[0] && q.min[0] <= b.max[0] && b.min[1] <= q.max[1] && q.min[1] <= b.max[1])
            hits.insert(unsigned(i));
    }
    return hits;
}

template <class Tree>
void expect_matches_brute_force(const Tree& tree, const std::vector<box>& boxes, std::mt19937& rng) {
    for (const box& q : random_boxes(rng, 200, 1000, 150)) {
        std::multiset<unsigned> found;
        int counted = tree.search_each(q.min, q.max, [&](auto data) {
            found.insert(unsigned(data));
            return true;
        });
        std::set<unsigned> want = brute_force(boxes, q);
        EXPECT_EQ(size_t(counted), want.size());
        EXPECT_EQ(std::set<unsigned>(found.begin(), found.end()), want);
        EXPECT_EQ(found.size(), want.size()) << "a value was reported twice";
    }
}

TEST(rtree, inserted_tree_answers_like_brute_force) {
    std::mt19937 rng(21);
    for (auto measure : {map_index::volume_measure::spherical, map_index::volume_measure::area}) {
        std::vector<box> boxes = random_boxes(rng, 3000, 1000, 20);
        map_index tree(0, measure);
        for (size_t i = 0; i < boxes.size(); ++i)
            ASSERT_TRUE(tree.insert(boxes[i].min, boxes[i].max, unsigned(i)));
        std::vector<const map_index::Node*> leaves;
        collect<map_index>(tree.root(), leaves);
        size_t total = 0;
        for (const auto* leaf : leaves) {
            EXPECT_GE(leaf->count, 4);
            EXPECT_LE(leaf->count, 8);
            total += size_t(leaf->count);
        }
        EXPECT_EQ(total, boxes.size());
        expect_matches_brute_force(tree, boxes, rng);
    }
}

std::vector<uint8_t> stream_of(const std::vector<box>& boxes, uint32_t& nodes) {
    std::vector<kiv::ozm_writer::index_box> in;
    for (size_t i = 0; i < boxes.size(); ++i)
        in.push_back({boxes[i].min[0], boxes[i].min[1], boxes[i].max[0], boxes[i].max[1], uint32_t(i)});
    return kiv::ozm_writer::build_index_stream(in, nodes);
}

TEST(rtree, bulk_loaded_stream_answers_like_brute_force_and_grows_further) {
    std::mt19937 rng(7);
    for (int n : {1, 4, 9, 65, 2000}) {
        std::vector<box> boxes = random_boxes(rng, n, 1000, 20);
        uint32_t nodes = 0;
        std::vector<uint8_t> stream = stream_of(boxes, nodes);
        map_index tree(nodes);
        ASSERT_TRUE(tree.load(stream.data(), stream.size())) << n;
        EXPECT_EQ(tree.pool_used(), nodes);
        std::vector<const map_index::Node*> leaves;
        collect<map_index>(tree.root(), leaves);
        for (const auto* leaf : leaves) {
            EXPECT_LE(leaf->count, 8);
            if (n >= 4) {
                EXPECT_GE(leaf->count, 4);
            }
        }
        expect_matches_brute_force(tree, boxes, rng);

        // The loaded tree takes more boxes (past its pool) and still answers right.
        std::vector<box> more = random_boxes(rng, 300, 1000, 20);
        for (const box& b : more) {
            ASSERT_TRUE(tree.insert(b.min, b.max, unsigned(boxes.size())));
            boxes.push_back(b);
        }
        expect_matches_brute_force(tree, boxes, rng);
    }
}

// A stream with the parameter block and the given 4-byte values after it.
std::vector<uint8_t> stream(std::initializer_list<uint32_t> nodes) {
    bytes b;
    for (uint32_t v : {0x45525452u, 4u, 2u, 4u, 4u, 8u, 4u})
        put_u32(b, v);
    for (uint32_t v : nodes)
        put_u32(b, v);
    return b;
}

constexpr uint32_t f1 = 0x3F800000;  // 1.0f
constexpr uint32_t f2 = 0x40000000;  // 2.0f

TEST(rtree, loader_refuses_crafted_streams) {
    struct crafted {
        const char* what;
        std::vector<uint8_t> data;
        unsigned pool;
        bool loads;
    } cases[] = {
        {"one leaf", stream({0, 1, f1, f1, f2, f2, 5}), 1, true},
        {"bad magic", [] { auto s = stream({0, 0}); s[0] = 'X'; return s; }(), 1, false},
        {"max branches 9", [] { auto s = stream({0, 0}); s[20] = 9; return s; }(), 1, false},
        {"min branches 3", [] { auto s = stream({0, 0}); s[24] = 3; return s; }(), 1, false},
        {"too short for the parameters", [] { auto s = stream({}); s.resize(27); return s; }(), 1, false},
        {"nine branches", stream({0, 9}), 1, false},
        {"negative count is empty", stream({0, uint32_t(-3)}), 1, true},
        {"root level 33", stream({33, 0}), 1, false},
        {"root level 32", stream({32, 0}), 1, true},
        {"child at its parent's level", stream({1, 1, f1, f1, f2, f2, 1, 0}), 2, false},
        {"child above its parent", stream({1, 1, f1, f1, f2, f2, 5, 0}), 2, false},
        {"child below its parent", stream({1, 1, f1, f1, f2, f2, 0, 1, f1, f1, f2, f2, 3}), 2, true},
        {"more nodes than the pool", stream({1, 1, f1, f1, f2, f2, 0, 1, f1, f1, f2, f2, 3}), 1, false},
        {"header only: an empty root", stream({}), 1, true},
        // Failures deep in the tree free what was loaded (heap nodes: no pool).
        {"deep child with nine branches", stream({2, 1, f1, f1, f2, f2, 1, 1, f1, f1, f2, f2, 0, 9}), 0, false},
        {"deep child at a wrong level", stream({2, 1, f1, f1, f2, f2, 1, 1, f1, f1, f2, f2, 4, 1}), 0, false},
    };
    for (const crafted& c : cases) {
        map_index tree(c.pool);
        EXPECT_EQ(tree.load(c.data.data(), c.data.size()), c.loads) << c.what;
        if (!c.loads) {
            EXPECT_EQ(tree.root(), nullptr) << c.what;
        }
    }
}

TEST(rtree, leaf_values_are_vetted_while_loading) {
    std::vector<uint8_t> s = stream({0, 2, f1, f1, f2, f2, 1, f1, f1, f2, f2, 2});
    uint32_t limit = 2;
    auto below = [](unsigned v, void* context) { return v < *static_cast<uint32_t*>(context); };
    map_index refused(1);
    EXPECT_FALSE(refused.load(s.data(), s.size(), below, &limit));
    limit = 3;
    map_index accepted(1);
    EXPECT_TRUE(accepted.load(s.data(), s.size(), below, &limit));
    EXPECT_EQ(accepted.root()->count, 2);
}

TEST(rtree, loading_twice_is_refused) {
    std::vector<uint8_t> s = stream({0, 1, f1, f1, f2, f2, 5});
    map_index tree(2);
    ASSERT_TRUE(tree.load(s.data(), s.size()));
    EXPECT_FALSE(tree.load(s.data(), s.size()));
}

TEST(rtree, stream_cut_short_loads_the_whole_branches_read) {
    std::mt19937 rng(3);
    std::vector<box> boxes = random_boxes(rng, 120, 1000, 30);
    uint32_t nodes = 0;
    std::vector<uint8_t> full = stream_of(boxes, nodes);
    const float all_min[2] = {-1, -1}, all_max[2] = {2000, 2000};
    int previous = -1;
    for (size_t cut = 28; cut <= full.size(); ++cut) {
        map_index tree(nodes);
        ASSERT_TRUE(tree.load(full.data(), cut)) << cut;
        std::set<unsigned> seen;
        int hits = tree.search_each(all_min, all_max, [&](unsigned v) {
            EXPECT_LT(v, boxes.size());
            seen.insert(v);
            return true;
        });
        // Only boxes really stored come back, and more bytes never give fewer.
        EXPECT_EQ(size_t(hits), seen.size());
        EXPECT_GE(hits, previous);
        previous = hits;
    }
    EXPECT_EQ(previous, int(boxes.size()));
}

TEST(placement_tree, many_boxes_use_several_blocks_and_stay_findable) {
    kiv::placement_tree tree;
    // A 60 x 60 grid of unit boxes with gaps of one: thousands of nodes.
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
            ASSERT_TRUE(tree.add(float(2 * x), float(2 * y), float(2 * x + 1), float(2 * y + 1)));
    EXPECT_GE(tree.block_count(), 2u);
    for (int y = 0; y < 59; ++y)
        for (int x = 0; x < 59; ++x) {
            EXPECT_TRUE(tree.is_free(2 * x + 1.25f, 2 * y + 1.25f, 2 * x + 1.75f, 2 * y + 1.75f));
            EXPECT_FALSE(tree.is_free(2 * x + 0.25f, 2 * y + 0.25f, 2 * x + 0.75f, 2 * y + 0.75f));
        }
}

}  // namespace
