// ozm_map_test.cpp --
//
//     The map object on maps made by the writer: header accessors, load
//     failures, the page store (locks, the idle release under a clock the
//     test drives, KIV_OZM_MEM_LOCK_TIME), the tag filter, views against
//     envelopes and coverage areas, features in a box against brute force,
//     the candidate search with its page bookkeeping, segment
//     intersection and the street and house listings.

#include <kiv/core/env.h>
#include <kiv/core/string_impl.h>
#include <kiv/ozm_writer/map_writer.h>

#include "../core/core_session.h"
#include "map/ozm_map.h"
#include "ozm_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>
#include <set>

namespace {

using namespace kiv::ozm;
namespace w = kiv::ozm_writer;

std::atomic<uint32_t> test_now{1000000};
uint32_t test_clock() {
    return test_now.load();
}

// A map object with one reference, released at scope end.
struct map_ref {
    kiv::ozm_map* map = new kiv::ozm_map;
    map_ref() { map->addref(); }
    ~map_ref() { map->release(); }
    kiv::ozm_map* operator->() const { return map; }
};

class ozm_map : public ::testing::Test {
protected:
    void SetUp() override { kiv_set_env("KIV_OZM_MEM_LOCK_TIME", ""); }
    void TearDown() override { kiv_set_env("KIV_OZM_MEM_LOCK_TIME", ""); }

    // Writes the map and loads it into `m`.
    void load(const w::map_writer& writer, map_ref& m, const char* name = "map.ozm") {
        std::string error;
        std::string path = dir.file(name);
        ASSERT_TRUE(writer.write(path, error)) << error;
        kiv::string error_text;
        ASSERT_TRUE(m->load(path.c_str(), &error_text, 42, false)) << error_text.get_value();
        m->set_clock(test_clock);
    }

    kiv_test::core_session session{false};
    kiv_test::temp_dir dir;
};

w::feature point_at(float lat, float lon, uint8_t code = 1, uint8_t flags = 0x01) {
    w::feature f;
    f.flags = flags | 0x01;
    f.code = code;
    f.anchor = {lat, lon};
    return f;
}

w::map_writer tagged(const char* tags, uint32_t flags) {
    w::map_info info;
    info.name = "Tagged";
    info.tags = tags;
    info.flags = flags;
    w::map_writer writer(info);
    writer.add_feature(point_at(1, 1));
    return writer;
}

TEST_F(ozm_map, loaded_map_answers_its_header) {
    w::map_info info;
    info.name = "Header";
    info.tags = "a,b";
    info.copyright = "(c) test";
    info.map_version = 9;
    info.priority = 4;
    info.min_level = 2;
    info.max_level = 11;
    info.flags = 0x11;
    w::map_writer writer(info);
    writer.add_feature(point_at(10, 20));
    writer.add_feature(point_at(11.5f, 21.5f));
    map_ref m;
    load(writer, m);
    EXPECT_STREQ(m->get_name(), "Header");
    EXPECT_FALSE(m->set_name("Other"));
    EXPECT_STREQ(m->get_name(), "Header");
    EXPECT_STREQ(m->get_tags(), "a,b");
    EXPECT_STREQ(m->get_copyright(), "(c) test");
    EXPECT_EQ(m->get_version(), 9u);
    EXPECT_EQ(m->priority(), 4);
    EXPECT_EQ(m->min_level(), 2);
    EXPECT_EQ(m->max_level(), 11);
    EXPECT_EQ(m->flags(), 0x11u);
    EXPECT_EQ(m->load_number(), 42u);
    EXPECT_EQ(std::string(m->path()), dir.file("map.ozm"));
    double a, b, c, d;
    m->get_envelope(a, b, c, d);
    EXPECT_EQ(a, 10.0);
    EXPECT_EQ(b, 20.0);
    EXPECT_EQ(c, 11.5);
    EXPECT_EQ(d, 21.5);
    EXPECT_EQ(kiv_cast_i_named_object(m.map), static_cast<kiv::i_named_object*>(m.map));
    void* out = &a;
    EXPECT_FALSE(m->get_interface("i_string", &out));
    EXPECT_TRUE(m->is_unchanged());
    // Another map written over the file changes its header.
    std::string error;
    ASSERT_TRUE(tagged("x", 0).write(dir.file("map.ozm"), error));
    EXPECT_FALSE(m->is_unchanged());
}

TEST_F(ozm_map, failed_load_reports_through_the_error_text) {
    map_ref missing;
    kiv::string error_text;
    EXPECT_FALSE(missing->load(dir.file("none.ozm").c_str(), &error_text, 1, false));
    EXPECT_STREQ(error_text.get_value(), "Error opening file for reading.");
    EXPECT_STREQ(missing->path(), "");

    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(tagged("a", 0).build(bytes, error));
    ozm_test::patch_header(bytes, 0, 12);
    ozm_test::write_bytes(dir.file("old.ozm"), bytes);
    map_ref old;
    EXPECT_FALSE(old->load(dir.file("old.ozm").c_str(), &error_text, 1, false));
    EXPECT_STREQ(error_text.get_value(), "Invalid map header or format version: 12. Should be 13.");
    EXPECT_STREQ(old->get_name(), "");
}

// A map with several pages: 40 points, small pages.
w::map_writer paged_map() {
    w::map_info info;
    info.name = "Paged";
    w::map_writer writer(info);
    for (int i = 0; i < 40; ++i)
        writer.add_feature(point_at(float(i), float(i)));
    writer.set_page_limit(60);
    return writer;
}

TEST_F(ozm_map, pages_load_on_lock_and_unlock_never_below_zero) {
    map_ref m;
    load(paged_map(), m);
    uint32_t pages = m->file().header().page_count;
    ASSERT_GT(pages, 3u);
    EXPECT_FALSE(m->page_loaded(1));
    EXPECT_EQ(m->page_data(1, 0), nullptr);
    ASSERT_TRUE(m->lock_page(1));
    EXPECT_TRUE(m->page_loaded(1));
    ASSERT_NE(m->page_data(1, 0), nullptr);
    EXPECT_EQ(m->page_data(1, m->file().pages()[1].size), nullptr);
    EXPECT_EQ(m->page_lock_count(1), 1u);
    EXPECT_TRUE(m->unlock_page(1));
    EXPECT_TRUE(m->unlock_page(1));
    EXPECT_EQ(m->page_lock_count(1), 0u);
    EXPECT_FALSE(m->lock_page(pages));
    EXPECT_FALSE(m->unlock_page(pages));

    // A feature's record decodes from its locked page.
    const feature_info& f = m->file().features()[7];
    ASSERT_TRUE(m->lock_page(f.page));
    feature_record rec;
    ASSERT_TRUE(m->decode_record(f.page, f.offset, f.flags, rec));
    EXPECT_EQ(rec.lat, 7.0f);
    m->unlock_page(f.page);
}

TEST_F(ozm_map, idle_release_follows_the_lock_time) {
    struct setting {
        const char* value;
        uint32_t seconds;  // idle time after which a page goes
    } settings[] = {{"", 3600}, {"abc", 3600}, {"0", 3600}, {"-5", 3600}, {"1", 60}, {"2", 120}};
    map_ref m;
    load(paged_map(), m);
    for (const setting& s : settings) {
        SCOPED_TRACE(s.value);
        kiv_set_env("KIV_OZM_MEM_LOCK_TIME", s.value);
        test_now = 5000000;
        ASSERT_TRUE(m->lock_page(2));
        test_now += 100;
        ASSERT_TRUE(m->unlock_page(2));  // last use: the unlock
        test_now += s.seconds;
        EXPECT_EQ(m->release_idle_pages(), 0u);
        EXPECT_TRUE(m->page_loaded(2));
        test_now += 1;
        EXPECT_EQ(m->release_idle_pages(), 1u);
        EXPECT_FALSE(m->page_loaded(2));
    }
}

TEST_F(ozm_map, page_locked_twice_and_unlocked_once_stays) {
    map_ref m;
    load(paged_map(), m);
    kiv_set_env("KIV_OZM_MEM_LOCK_TIME", "1");
    test_now = 7000000;
    ASSERT_TRUE(m->lock_page(0));
    ASSERT_TRUE(m->lock_page(0));
    ASSERT_TRUE(m->unlock_page(0));
    test_now += 1000000;
    EXPECT_EQ(m->release_idle_pages(), 0u);
    EXPECT_TRUE(m->page_loaded(0));
    ASSERT_TRUE(m->unlock_page(0));
    test_now += 61;
    EXPECT_EQ(m->release_idle_pages(), 1u);
}

TEST(ozm_map_without_core, pages_do_not_lock_without_a_running_core) {
    kiv_test::temp_dir dir;
    std::string error;
    ASSERT_TRUE(paged_map().write(dir.file("m.ozm"), error));
    map_ref m;
    ASSERT_TRUE(m->load(dir.file("m.ozm").c_str(), nullptr, 1, false));
    EXPECT_FALSE(m->lock_page(0));
}

TEST_F(ozm_map, tag_filter_table) {
    static const std::string overlong = std::string(300, 'x') + ",-a";
    struct row {
        const char* tags;
        uint32_t flags;
        const char* filter;
        bool passes;
    } rows[] = {
        {"b,a", 0, "-a,+b", false},  // the first token naming a tag decides
        {"b,a", 0, "+b,-a", true},
        {"b", 0x20, "+b", true},  // hidden maps pass a token naming them
        {"b", 0x20, "", false},
        {"b", 0x20, nullptr, false},
        {"b", 0, "", true},
        {"b", 0, "-c", true},
        {"b", 0, "c", false},  // a plain tag shows only maps with a plain or plus tag
        {"b", 0, "c,+b", true},
        {"b", 0, " b", true},
        {"b", 0x20, "c", false},
        {"base,roads", 0, ",,,roads,,", true},
        {"base,roads", 0, "-roads", false},
        {"base,roads", 0, "road", false},
        {"a", 0, overlong.c_str(), true},  // an overlong token ends the list
    };
    int i = 0;
    for (const row& r : rows) {
        map_ref m;
        load(tagged(r.tags, r.flags), m, ("tags" + std::to_string(i++) + ".ozm").c_str());
        EXPECT_EQ(m->matches_tags(r.filter), r.passes)
            << "tags '" << r.tags << "' flags " << r.flags << " filter '" << (r.filter ? r.filter : "(null)") << "'";
    }
}

// A map whose envelope is (54, 36)-(57, 39) and whose coverage is the
// square (55, 37)-(56, 38) and a triangle far away.
w::map_writer covered_map(bool with_coverage) {
    w::map_info info;
    info.name = "Covered";
    info.envelope_given = true;
    info.envelope_min = {54, 36};
    info.envelope_max = {57, 39};
    w::map_writer writer(info);
    writer.add_feature(point_at(55.5f, 37.5f));
    if (with_coverage) {
        w::feature square;
        square.code = 0;
        square.points = {{55, 37}, {56, 37}, {56, 38}, {55, 38}};
        writer.add_feature(square);
        w::feature triangle;
        triangle.code = 0;
        triangle.points = {{54.1f, 36.1f}, {54.3f, 36.1f}, {54.1f, 36.3f}};
        writer.add_feature(triangle);
    }
    return writer;
}

TEST_F(ozm_map, view_against_envelope_and_coverage_corners) {
    map_ref covered, plain;
    load(covered_map(true), covered, "covered.ozm");
    load(covered_map(false), plain, "plain.ozm");
    EXPECT_EQ(covered->coverage_count(), 2u);
    EXPECT_EQ(plain->coverage_count(), 0u);
    struct probe {
        double min_lat, min_lon, max_lat, max_lon;
        bool meets, covered, plain_covered;
    } probes[] = {
        {55.2, 37.2, 55.8, 37.8, true, true, true},      // inside the square
        {54.5, 37.2, 55.8, 37.8, true, false, true},     // two corners outside the square
        {55.0, 37.0, 55.0, 37.0, true, false, true},     // on the square's corner (outside by the rule)
        {54.15, 36.12, 54.18, 36.15, true, true, true},  // inside the triangle
        {53.0, 35.0, 54.0, 36.0, true, false, false},    // touches the envelope's corner
        {57.0, 39.0, 58.0, 40.0, true, false, false},
        {57.01, 37.0, 58.0, 38.0, false, false, false},
        {54.0, 36.0, 57.0, 39.0, true, false, true},     // the envelope itself
    };
    for (const probe& p : probes) {
        SCOPED_TRACE(testing::Message() << p.min_lat << "," << p.min_lon << " " << p.max_lat << "," << p.max_lon);
        EXPECT_EQ(covered->in_view(p.min_lat, p.min_lon, p.max_lat, p.max_lon, false), p.meets);
        EXPECT_EQ(covered->in_view(p.min_lat, p.min_lon, p.max_lat, p.max_lon, true), p.covered);
        EXPECT_EQ(plain->in_view(p.min_lat, p.min_lon, p.max_lat, p.max_lon, true), p.plain_covered);
    }
    // The coverage pages stay locked while the map lives, once per area.
    const feature_info& square = covered->file().features()[1];
    const feature_info& triangle = covered->file().features()[2];
    ASSERT_EQ(square.page, triangle.page);
    EXPECT_EQ(covered->page_lock_count(square.page), 2u);
}

TEST_F(ozm_map, point_in_ring_even_odd) {
    // A U shape: the notch is outside.
    std::vector<uint8_t> ring;
    for (float v : {0.f, 0.f, 3.f, 0.f, 3.f, 3.f, 2.f, 3.f, 2.f, 1.f, 1.f, 1.f, 1.f, 3.f, 0.f, 3.f})
        ozm_test::put_f32(ring, v);
    // Points are (lat, lon); x is the longitude.
    EXPECT_TRUE(point_in_ring(0.5, 0.5, ring.data(), 8));
    EXPECT_TRUE(point_in_ring(2.5, 0.5, ring.data(), 8));
    EXPECT_FALSE(point_in_ring(1.5, 2.0, ring.data(), 8));
    EXPECT_FALSE(point_in_ring(-1, 1, ring.data(), 8));
    EXPECT_FALSE(point_in_ring(0.5, 0.5, ring.data(), 2));
}

TEST_F(ozm_map, query_matches_brute_force_with_detail_classes) {
    std::mt19937 rng(22);
    std::uniform_real_distribution<float> pos(0, 10), len(0, 0.5f);
    std::uniform_int_distribution<int> cls(0, 3), code(1, 4);
    w::map_info info;
    info.name = "Query";
    w::map_writer writer(info);
    std::vector<w::feature> features;
    for (int i = 0; i < 500; ++i) {
        w::feature f;
        f.code = uint8_t(code(rng));
        f.flags = uint8_t(cls(rng) << 1);
        float lat = pos(rng), lon = pos(rng);
        f.anchor = {lat, lon};
        f.points = {{lat, lon}, {lat + len(rng), lon + len(rng)}};
        features.push_back(f);
        writer.add_feature(f);
    }
    map_ref m;
    load(writer, m);
    for (int q = 0; q < 100; ++q) {
        float lat = pos(rng), lon = pos(rng);
        const float min[2] = {lat, lon}, max[2] = {lat + 1.5f, lon + 1.5f};
        unsigned detail = unsigned(q % 4);
        feature_table table;
        bool found = m->query(min, max, detail, table);
        std::multiset<std::pair<uint8_t, uint32_t>> got, want;
        uint8_t last_code = 0;
        for (const auto& entry : table) {
            EXPECT_GE(entry.first, last_code);
            last_code = entry.first;
            EXPECT_EQ(entry.second.map, m.map);
            EXPECT_EQ(entry.second.geometry, nullptr);
            got.insert({entry.first, entry.second.offset | uint32_t(entry.second.page) << 20});
        }
        for (size_t i = 0; i < features.size(); ++i) {
            const w::feature& f = features[i];
            float a0 = f.points[0].lat, o0 = f.points[0].lon, a1 = f.points[1].lat, o1 = f.points[1].lon;
            bool meets = a0 <= max[0] && min[0] <= a1 && o0 <= max[1] && min[1] <= o1;
            unsigned c = (f.flags >> 1) & 3;
            if (meets && (detail == 0 || c >= detail)) {
                const feature_info& info = m->file().features()[i];
                want.insert({f.code, info.offset | uint32_t(info.page) << 20});
            }
        }
        EXPECT_EQ(got, want);
        EXPECT_EQ(found, !want.empty());
    }
}

TEST_F(ozm_map, query_of_a_few_detailed_features_keeps_the_index_order) {
    // One feature in 16 of class 1 or more: queries by class take them from
    // lists made at load, and must give what the index search gives, in its
    // order (equal codes keep it in the table).
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pos(0, 10), len(0, 0.5f);
    std::uniform_int_distribution<int> cls(1, 3), code(1, 2);
    w::map_info info;
    info.name = "Classes";
    w::map_writer writer(info);
    for (int i = 0; i < 1600; ++i) {
        w::feature f;
        f.code = uint8_t(code(rng));
        f.flags = uint8_t(i % 16 == 0 ? cls(rng) << 1 : 0);
        float lat = pos(rng), lon = pos(rng);
        f.anchor = {lat, lon};
        f.points = {{lat, lon}, {lat + len(rng), lon + len(rng)}};
        writer.add_feature(f);
    }
    map_ref m;
    load(writer, m);
    struct box {
        float min[2], max[2];
    } boxes[] = {{{-1, -1}, {11, 11}}, {{2, 3}, {4, 5}}, {{0, 0}, {10.6f, 10.6f}}, {{5, 5}, {5, 5}}};
    for (const box& b : boxes) {
        for (unsigned detail = 1; detail <= 3; ++detail) {
            feature_table table;
            m->query(b.min, b.max, detail, table);
            std::vector<std::pair<uint8_t, uint32_t>> got, want;
            for (const auto& entry : table)
                got.push_back({entry.first, entry.second.offset | uint32_t(entry.second.page) << 20});
            m->file().index()->search_each(b.min, b.max, [&](unsigned n) {
                const feature_info& f = m->file().features()[n];
                if (((f.flags >> 1) & 3) >= detail)
                    want.push_back({f.code, f.offset | uint32_t(f.page) << 20});
                return true;
            });
            std::stable_sort(want.begin(), want.end(),
                             [](const auto& a, const auto& c) { return a.first < c.first; });
            EXPECT_EQ(got, want) << "box " << b.min[0] << "," << b.min[1] << " class " << detail;
        }
    }
}

TEST_F(ozm_map, candidate_box_widens_longitude_with_latitude) {
    float min[2], max[2];
    ASSERT_TRUE(candidate_box(0, 10, 11000, min, max));
    EXPECT_FLOAT_EQ(min[0], -0.1f);
    EXPECT_FLOAT_EQ(max[1], 10.1f);
    ASSERT_TRUE(candidate_box(60, 10, 11000, min, max));
    EXPECT_FLOAT_EQ(max[0], 60.1f);
    EXPECT_NEAR(max[1] - 10, 0.2, 1e-5);
    ASSERT_TRUE(candidate_box(89.9999, 0, 11000, min, max));
    EXPECT_FLOAT_EQ(min[1], -180);
    EXPECT_FLOAT_EQ(max[1], 180);
    ASSERT_TRUE(candidate_box(-90, 0, 10, min, max));
    EXPECT_FLOAT_EQ(max[1], 180);
    ASSERT_TRUE(candidate_box(45, 5, 0, min, max));
    EXPECT_FLOAT_EQ(min[1], 5);
    EXPECT_FLOAT_EQ(max[1], 5);
    EXPECT_FALSE(candidate_box(0, 0, -1, min, max));
    EXPECT_FALSE(candidate_box(0, 0, NAN, min, max));
    EXPECT_FALSE(candidate_box(INFINITY, 0, 10, min, max));
}

// Collects the place features it is shown; checks their pages are held.
struct place_collector : candidate_visitor {
    kiv::ozm_map* map;
    std::set<uint32_t> seen;
    unsigned asked = 0;
    bool wants(uint32_t, const feature_info& info) override {
        ++asked;
        return (info.flags & feature_flag_place) != 0;
    }
    void visit(uint32_t feature, const feature_info& info, const feature_record& rec) override {
        EXPECT_GE(map->page_lock_count(info.page), 1u);
        EXPECT_NE(rec.place_name, nullptr);
        seen.insert(feature);
    }
};

TEST_F(ozm_map, candidate_search_locks_the_pages_of_wanted_features_only) {
    w::map_info info;
    info.name = "Places";
    w::map_writer writer(info);
    // A row of features along latitude 60, 0.01 degrees of longitude
    // apart (about 550 m there); every other one a place.
    for (int i = 0; i < 60; ++i) {
        w::feature f = point_at(60, 30 + 0.01f * float(i));
        if (i % 2 == 0)
            f.place = "Place " + std::to_string(i);
        writer.add_feature(f);
    }
    writer.set_page_limit(100);
    map_ref m;
    load(writer, m);
    place_collector visitor;
    visitor.map = m.map;
    page_set pages;
    // 2000 m: 0.0182 degrees of latitude, 0.0364 of longitude at 60
    // degrees, so features 17 to 23.
    ASSERT_TRUE(m->search_candidates(60, 30.2, 2000, pages, visitor));
    EXPECT_EQ(visitor.seen, (std::set<uint32_t>{18, 20, 22}));
    EXPECT_EQ(visitor.asked, 7u);
    EXPECT_GT(pages.size(), 0u);
    pages.unlock_all();
    for (uint32_t p = 0; p < m->file().header().page_count; ++p)
        EXPECT_EQ(m->page_lock_count(p), 0u);

    place_collector nothing_wanted;
    nothing_wanted.map = m.map;
    EXPECT_FALSE(m->search_candidates(60, 30.2, -5, pages, nothing_wanted));
    EXPECT_EQ(nothing_wanted.asked, 0u);
}

TEST_F(ozm_map, page_set_locks_each_page_once_and_skips_failed_ones) {
    map_ref m;
    load(paged_map(), m);
    {
        page_set pages;
        EXPECT_TRUE(pages.lock(m.map, 0));
        EXPECT_TRUE(pages.lock(m.map, 0));
        EXPECT_TRUE(pages.lock(m.map, 1));
        EXPECT_FALSE(pages.lock(m.map, 9999));
        EXPECT_FALSE(pages.lock(m.map, 9999));
        EXPECT_FALSE(pages.lock(nullptr, 0));
        EXPECT_TRUE(pages.lock(m.map, 0));
        EXPECT_EQ(pages.size(), 2u);
        EXPECT_EQ(m->page_lock_count(0), 1u);
        // A page asked for again after unlock_all is locked anew.
        pages.unlock_all();
        EXPECT_EQ(m->page_lock_count(0), 0u);
        EXPECT_TRUE(pages.lock(m.map, 0));
        EXPECT_EQ(m->page_lock_count(0), 1u);
    }
    EXPECT_EQ(m->page_lock_count(0), 0u);
    EXPECT_EQ(m->page_lock_count(1), 0u);
}

TEST_F(ozm_map, segment_intersection_table) {
    struct row {
        seg_point a1, a2, b1, b2;
        bool meets;
        seg_point at;
    } rows[] = {
        {{0, 0}, {2, 2}, {0, 2}, {2, 0}, true, {1, 1}},
        {{0, 0}, {2, 0}, {2, 0}, {5, 0}, true, {2, 0}},   // collinear, b1 is a2
        {{0, 0}, {2, 0}, {-3, 0}, {0, 0}, true, {0, 0}},  // collinear, b2 is a1
        {{0, 0}, {2, 0}, {1, 0}, {3, 0}, false, {0, 0}},  // collinear overlap, no shared end
        {{0, 0}, {1, 0}, {0, 1}, {1, 1}, false, {0, 0}},  // parallel
        {{0, 0}, {1, 1}, {2, 0}, {3, -5}, false, {0, 0}},
        {{0, 0}, {4, 0}, {1, -1}, {1, 0}, true, {1, 0}},  // b ends on a
    };
    for (const row& r : rows) {
        seg_point out{-99, -99};
        EXPECT_EQ(segment_intersection(r.a1, r.a2, r.b1, r.b2, &out), r.meets);
        if (r.meets) {
            EXPECT_FLOAT_EQ(out.x, r.at.x);
            EXPECT_FLOAT_EQ(out.y, r.at.y);
        }
    }
    EXPECT_FALSE(segment_intersection({0, 0}, {2, 2}, {0, 2}, {2, 0}, nullptr));
}

TEST_F(ozm_map, streets_and_houses_list_by_key_prefix) {
    w::map_info info;
    info.name = "Streets";
    w::map_writer writer(info);
    writer.add_feature(point_at(1, 1));
    w::city town{"Town", {1, 1}, {}};
    for (const char* name : {"beta", "Alpha", "alpha2", "Beta", "Gamma", "ёлкина"})
        town.streets.push_back({name, {1, 1}, {}});
    town.streets[1].houses = {{"12", {1, 1}}, {"1", {1, 1}}, {"10b", {1, 1}}, {"2", {1, 1}}};
    writer.add_city(town);
    writer.add_city({"Empty", {2, 2}, {}});
    map_ref m;
    load(writer, m);
    auto names = [](const std::vector<listing_entry>& list) {
        std::vector<std::string> out;
        for (const listing_entry& e : list)
            out.push_back(e.name);
        return out;
    };
    std::vector<listing_entry> all;
    m->list_streets(0, "", all);
    // "beta" and "Beta" share the key "BETA": the first one alone is listed.
    EXPECT_EQ(names(all), (std::vector<std::string>{"Alpha", "alpha2", "beta", "Gamma", "ёлкина"}));
    EXPECT_EQ(all[0].index, 1u);
    EXPECT_EQ(all[0].load_number, 42u);
    std::vector<listing_entry> some;
    m->list_streets(0, "AL", some);
    EXPECT_EQ(names(some), (std::vector<std::string>{"Alpha", "alpha2"}));
    some.clear();
    m->list_streets(0, "Ё", some);
    EXPECT_EQ(names(some), (std::vector<std::string>{"ёлкина"}));
    some.clear();
    m->list_streets(1, "", some);
    m->list_streets(2, "", some);
    m->list_streets(0, nullptr, some);
    EXPECT_TRUE(some.empty());

    std::vector<listing_entry> houses;
    m->list_houses(1, "1", houses);
    EXPECT_EQ(names(houses), (std::vector<std::string>{"1", "10b", "12"}));
    houses.clear();
    m->list_houses(99, "", houses);
    EXPECT_TRUE(houses.empty());
    EXPECT_EQ(m->city_keys().count("TOWN"), 1u);
}

}  // namespace
