// map_golden_test.cpp --
//
//     A map file built here byte by byte at the format's fixed offsets,
//     without the writer, so a misreading shared by writer and reader
//     cannot hide: header fields, the checksum variant, the version
//     message, the node stream's parameters and the record layout of a
//     point and a labelled place line.

#include "format/map_file.h"
#include "format/map_record.h"
#include "ozm_fixtures.h"
#include "render/placement_tree.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace ozm_test;
using namespace kiv::ozm;

// The string pool: offset 0 "", 1 "Cafe", 6 "Main St", 14 "Town".
const char pool[] = "\0Cafe\0Main St\0Town";  // 19 bytes with the final zero

bytes golden_header() {
    bytes h(583, 0);
    set_u32(h, 0x000, 13);
    set_u32(h, 0x004, 7);  // map version
    h[0x008] = 3;          // priority
    std::memcpy(&h[0x009], "Golden", 6);
    std::memcpy(&h[0x089], "city,roads", 10);
    std::memcpy(&h[0x109], "(c) nobody", 10);
    h[0x209] = 12;  // max_level
    h[0x20A] = 3;   // min_level
    auto set_f = [&](size_t at, float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        set_u32(h, at, v);
    };
    set_f(0x20B, 55.0f);
    set_f(0x20F, 37.0f);
    set_f(0x213, 56.5f);
    set_f(0x217, 38.25f);
    set_u32(h, 0x21B, 0x21);  // covering, hidden
    return h;
}

// Two features in one page:
//   0: a labelled point "Cafe" at (55.5, 37.5);
//   1: a labelled place line, record flags 0x10|0x20, label "Main St",
//      place "Town", points (55.1, 37.1) (56.1, 38.1).
bytes golden_file(uint32_t fifth_stream_value = 4) {
    bytes page;
    // Record 0 at offset 0: point.
    page.push_back(0);  // record flags
    page.push_back(0);  // reserved
    put_f32(page, 55.5f);
    put_f32(page, 37.5f);
    put_u32(page, 1);  // name "Cafe" at record offset 10
    // Record 1 at offset 14: line.
    page.push_back(0x30);
    page.push_back(0);
    put_f32(page, 55.6f);
    put_f32(page, 37.6f);
    put_u32(page, 2);   // point count at 10
    put_u32(page, 6);   // label at 14
    put_u32(page, 14);  // place name at 18
    put_f32(page, 55.1f);  // first point at 22
    put_f32(page, 37.1f);
    put_f32(page, 56.1f);
    put_f32(page, 38.1f);

    bytes nodes;
    for (uint32_t v : {0x45525452u, 4u, 2u, 4u, fifth_stream_value, 8u, 4u})
        put_u32(nodes, v);
    put_u32(nodes, 0);  // root: level 0
    put_u32(nodes, 2);  // two branches
    for (float f : {55.5f, 37.5f, 55.5f, 37.5f})
        put_f32(nodes, f);
    put_u32(nodes, 0);
    for (float f : {55.1f, 37.1f, 56.1f, 38.1f})
        put_f32(nodes, f);
    put_u32(nodes, 1);

    bytes file = golden_header();
    set_u32(file, 0x21F, 1);                          // page_count
    set_u32(file, 0x223, 2);                          // feature_count
    set_u32(file, 0x227, sizeof pool);                // resources_size
    set_u32(file, 0x22B, 1);                          // index_pool_nodes
    set_u32(file, 0x22F, uint32_t(nodes.size()));     // nodes_index_size
    fix_crc(file);
    put_u32(file, uint32_t(page.size()));             // pages index
    // features info: offset, page, flags, code
    put_u32(file, 0);
    file.insert(file.end(), {0, 0, 0x11, 5});
    put_u32(file, 14);
    file.insert(file.end(), {0, 0, 0x30, 9});
    file.insert(file.end(), pool, pool + sizeof pool);
    file.insert(file.end(), nodes.begin(), nodes.end());
    file.insert(file.end(), page.begin(), page.end());
    return file;
}

TEST(map_golden, header_fields_are_read_at_their_offsets) {
    map_file map;
    ASSERT_EQ(load_error(golden_file(), &map), "OK");
    const map_header& h = map.header();
    EXPECT_EQ(h.map_version, 7u);
    EXPECT_EQ(h.priority, 3);
    EXPECT_STREQ(h.name, "Golden");
    EXPECT_STREQ(h.tags, "city,roads");
    EXPECT_STREQ(h.copyright, "(c) nobody");
    EXPECT_EQ(h.max_level, 12);
    EXPECT_EQ(h.min_level, 3);
    EXPECT_EQ(h.min_lat, 55.0f);
    EXPECT_EQ(h.min_lon, 37.0f);
    EXPECT_EQ(h.max_lat, 56.5f);
    EXPECT_EQ(h.max_lon, 38.25f);
    EXPECT_EQ(h.flags, 0x21u);
    EXPECT_EQ(h.page_count, 1u);
    EXPECT_EQ(h.feature_count, 2u);
    EXPECT_EQ(h.resources_size, uint32_t(sizeof pool));
    ASSERT_EQ(map.features().size(), 2u);
    EXPECT_EQ(map.features()[1].offset, 14u);
    EXPECT_EQ(map.features()[1].flags, 0x30);
    EXPECT_EQ(map.features()[1].code, 9);
    ASSERT_EQ(map.pages().size(), 1u);
    EXPECT_EQ(map.pages()[0].size, 14u + 22u + 16u);
    EXPECT_EQ(map.pages()[0].offset, map.file_size() - map.pages()[0].size);
    EXPECT_TRUE(map.cities().empty());
}

TEST(map_golden, point_name_at_ten_and_place_line_names_at_fourteen_and_eighteen) {
    map_file map;
    ASSERT_EQ(load_error(golden_file(), &map), "OK");
    std::vector<uint8_t> page(map.pages()[0].size);
    ASSERT_TRUE(map.read_page(0, page.data()));

    feature_record point;
    ASSERT_TRUE(decode_feature_record(page.data(), uint32_t(page.size()), 0, 0x11, map.resources(),
                                      map.resources_size(), point));
    EXPECT_STREQ(point.label, "Cafe");
    EXPECT_EQ(point.place_name, nullptr);
    EXPECT_EQ(point.lat, 55.5f);
    EXPECT_EQ(point.point_count, 0u);

    feature_record line;
    ASSERT_TRUE(decode_feature_record(page.data(), uint32_t(page.size()), 14, 0x30, map.resources(),
                                      map.resources_size(), line));
    EXPECT_EQ(line.record_flags, 0x30);
    EXPECT_STREQ(line.label, "Main St");
    EXPECT_STREQ(line.place_name, "Town");
    ASSERT_EQ(line.point_count, 2u);
    EXPECT_EQ(line.points, page.data() + 14 + 22);
    float lat, lon;
    line.point(1, lat, lon);
    EXPECT_EQ(lat, 56.1f);
    EXPECT_EQ(lon, 38.1f);
}

TEST(map_golden, index_finds_the_features_by_box) {
    map_file map;
    ASSERT_EQ(load_error(golden_file(), &map), "OK");
    const float min[2] = {55.4f, 37.4f}, max[2] = {55.6f, 37.6f};
    std::vector<unsigned> hits;
    map.index()->search_each(min, max, [&](unsigned f) {
        hits.push_back(f);
        return true;
    });
    EXPECT_EQ(hits, (std::vector<unsigned>{0, 1}));
    const float far_min[2] = {56.2f, 37.0f}, far_max[2] = {57.0f, 38.0f};
    EXPECT_EQ(map.index()->search(far_min, far_max, nullptr, nullptr), 0);
}

TEST(map_golden, standard_inverted_crc_is_refused) {
    bytes file = golden_file();
    // The usual CRC-32 (initial and final inversion) of the same bytes.
    set_u32(file, 0x243, ~kiv_crc32(file.data(), 0x243, 0xFFFFFFFFu));
    EXPECT_EQ(load_error(file), "Invalid map header CRC.");
}

TEST(map_golden, version_twelve_names_both_versions) {
    bytes file = golden_file();
    patch_header(file, 0, 12);
    EXPECT_EQ(load_error(file), "Invalid map header or format version: 12. Should be 13.");
}

TEST(map_golden, stream_with_volume_size_eight_fails_the_index) {
    EXPECT_EQ(load_error(golden_file(8)), "Error loading index data.");
}

TEST(map_golden, placement_tree_touching_box_is_taken) {
    kiv::placement_tree tree;
    EXPECT_TRUE(tree.is_free(0, 0, 100, 100));
    ASSERT_TRUE(tree.add(0, 0, 10, 10));
    EXPECT_FALSE(tree.is_free(10, 10, 20, 20));
    EXPECT_TRUE(tree.is_free(10.5f, 10.5f, 20, 20));
}

}  // namespace
