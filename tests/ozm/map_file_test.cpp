// map_file_test.cpp --
//
//     Maps made by the writer read back whole (header, directory, records
//     in their pages, names, the search index with its upper-cased keys),
//     and every load message triggered by a crafted file: each block cut
//     off or claimed larger than the file, bad counts, a broken node
//     stream, a search index that does not add up. Records are checked
//     against their page and the string pool.

#include <kiv/ozm_writer/map_writer.h>

#include "format/map_file.h"
#include "format/map_record.h"
#include "ozm_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

namespace {

using namespace ozm_test;
using namespace kiv::ozm;
namespace w = kiv::ozm_writer;

w::map_info sample_info() {
    w::map_info info;
    info.name = "Sample";
    info.tags = "base,roads";
    info.copyright = "test data";
    info.map_version = 4;
    info.priority = 2;
    info.min_level = 1;
    info.max_level = 9;
    return info;
}

// A grid of features of every kind, and a search index with two cities.
std::vector<w::feature> sample_features(int n) {
    std::vector<w::feature> out;
    for (int i = 0; i < n; ++i) {
        w::feature f;
        float lat = 50 + float(i % 17) * 0.01f, lon = 30 + float(i / 17) * 0.01f;
        f.anchor = {lat, lon};
        f.code = uint8_t(1 + i % 200);
        switch (i % 5) {
        case 0:
            f.flags = 0x01;
            f.label = "P" + std::to_string(i);
            break;
        case 1:
            f.flags = 0x01 | 0x04;
            f.label = "Label" + std::to_string(i);
            f.place = "Place" + std::to_string(i);
            break;
        case 2:
            f.flags = 0x40;
            f.record_flags = 0x08;
            f.label = "Road " + std::to_string(i);
            f.points = {{lat, lon}, {lat + 0.005f, lon}, {lat + 0.005f, lon + 0.004f}};
            break;
        case 3:
            f.flags = 0x80;
            f.place = "District " + std::to_string(i);
            f.points = {{lat, lon}, {lat + 0.003f, lon}, {lat, lon + 0.003f}};
            break;
        default:
            f.flags = 0x02;
            f.points = {{lat, lon}, {lat - 0.002f, lon - 0.002f}};
            break;
        }
        out.push_back(f);
    }
    return out;
}

std::vector<w::city> sample_cities() {
    w::city a{"Москва", {55.75f, 37.62f}, {}};
    a.streets.push_back({"улица Тверская", {55.76f, 37.6f}, {{"1", {55.761f, 37.601f}}, {"2a", {55.762f, 37.602f}}}});
    a.streets.push_back({"Arbat", {55.75f, 37.59f}, {}});
    w::city b{"Tula", {54.2f, 37.6f}, {}};
    b.streets.push_back({"Lenina", {54.19f, 37.61f}, {{"10", {54.191f, 37.611f}}}});
    return {a, b};
}

bytes build(const w::map_writer& writer) {
    bytes out;
    std::string error;
    EXPECT_TRUE(writer.build(out, error)) << error;
    return out;
}

bytes sample_file(int features = 60, uint32_t page_limit = 300, bool search = true) {
    w::map_writer writer(sample_info());
    for (const w::feature& f : sample_features(features))
        writer.add_feature(f);
    if (search)
        for (const w::city& c : sample_cities())
            writer.add_city(c);
    writer.set_page_limit(page_limit);
    return build(writer);
}

TEST(map_file, writer_output_reads_back_whole) {
    std::vector<w::feature> features = sample_features(60);
    map_file map;
    ASSERT_EQ(load_error(sample_file(), &map), "OK");
    const map_header& h = map.header();
    EXPECT_STREQ(h.name, "Sample");
    EXPECT_STREQ(h.tags, "base,roads");
    EXPECT_STREQ(h.copyright, "test data");
    EXPECT_EQ(h.map_version, 4u);
    EXPECT_EQ(h.priority, 2);
    EXPECT_EQ(h.min_level, 1);
    EXPECT_EQ(h.max_level, 9);
    EXPECT_EQ(h.feature_count, 60u);
    EXPECT_GT(h.page_count, 5u) << "small pages were asked for";
    float min_lat = 90, min_lon = 180, max_lat = -90, max_lon = -180;
    for (const w::feature& f : features) {
        std::vector<w::point> all = f.points.empty() ? std::vector<w::point>{f.anchor} : f.points;
        for (const w::point& p : all) {
            min_lat = std::min(min_lat, p.lat);
            min_lon = std::min(min_lon, p.lon);
            max_lat = std::max(max_lat, p.lat);
            max_lon = std::max(max_lon, p.lon);
        }
    }
    EXPECT_EQ(h.min_lat, min_lat);
    EXPECT_EQ(h.min_lon, min_lon);
    EXPECT_EQ(h.max_lat, max_lat);
    EXPECT_EQ(h.max_lon, max_lon);

    ASSERT_EQ(map.features().size(), features.size());
    std::vector<std::vector<uint8_t>> pages;
    for (uint32_t p = 0; p < h.page_count; ++p) {
        pages.emplace_back(map.pages()[p].size);
        ASSERT_TRUE(map.read_page(p, pages.back().data()));
    }
    EXPECT_FALSE(map.read_page(h.page_count, pages[0].data()));
    for (size_t i = 0; i < features.size(); ++i) {
        SCOPED_TRACE(i);
        const w::feature& f = features[i];
        const feature_info& info = map.features()[i];
        EXPECT_EQ(info.code, f.code);
        EXPECT_EQ(info.flags & 0x01, f.flags & 0x01);
        EXPECT_EQ(info.flags & 0xCF, f.flags & 0xCF);
        EXPECT_EQ((info.flags & 0x10) != 0, !f.label.empty());
        EXPECT_EQ((info.flags & 0x20) != 0, !f.place.empty());
        const std::vector<uint8_t>& page = pages.at(info.page);
        feature_record rec;
        ASSERT_TRUE(decode_feature_record(page.data(), uint32_t(page.size()), info.offset, info.flags,
                                          map.resources(), map.resources_size(), rec));
        EXPECT_EQ(rec.lat, f.anchor.lat);
        EXPECT_EQ(rec.lon, f.anchor.lon);
        EXPECT_EQ(rec.label != nullptr ? std::string(rec.label) : "", f.label);
        EXPECT_EQ(rec.place_name != nullptr ? std::string(rec.place_name) : "", f.place);
        EXPECT_EQ(rec.record_flags & 0x08, f.record_flags & 0x08);
        ASSERT_EQ(rec.point_count, f.points.size());
        for (uint32_t k = 0; k < rec.point_count; ++k) {
            float lat, lon;
            rec.point(k, lat, lon);
            EXPECT_EQ(lat, f.points[k].lat);
            EXPECT_EQ(lon, f.points[k].lon);
        }
        // The index holds the feature under its own box.
        const float at_min[2] = {f.points.empty() ? f.anchor.lat : f.points[0].lat,
                                 f.points.empty() ? f.anchor.lon : f.points[0].lon};
        bool found = false;
        map.index()->search_each(at_min, at_min, [&](unsigned v) {
            found = found || v == i;
            return true;
        });
        EXPECT_TRUE(found);
    }
}

TEST(map_file, search_index_keeps_file_order_and_upper_cased_keys) {
    map_file map;
    ASSERT_EQ(load_error(sample_file(), &map), "OK");
    ASSERT_EQ(map.cities().size(), 2u);
    ASSERT_EQ(map.streets().size(), 3u);
    ASSERT_EQ(map.houses().size(), 3u);
    const search_place& moscow = map.cities()[0];
    EXPECT_STREQ(map.text_at(moscow.name), "Москва");
    EXPECT_STREQ(map.text_at(moscow.key), "МОСКВА");
    EXPECT_EQ(moscow.lat, 55.75f);
    EXPECT_EQ(moscow.first_child, 0u);
    EXPECT_EQ(moscow.child_count, 2u);
    EXPECT_STREQ(map.text_at(map.streets()[0].key), "УЛИЦА ТВЕРСКАЯ");
    EXPECT_EQ(map.streets()[0].child_count, 2u);
    EXPECT_STREQ(map.text_at(map.houses()[1].key), "2A");
    EXPECT_EQ(map.streets()[1].child_count, 0u);
    EXPECT_EQ(map.streets()[1].first_child, 2u);
    const search_place& tula = map.cities()[1];
    EXPECT_EQ(tula.first_child, 2u);
    EXPECT_STREQ(map.text_at(map.streets()[2].name), "Lenina");
    EXPECT_EQ(map.streets()[2].first_child, 2u);
    EXPECT_STREQ(map.text_at(map.houses()[2].name), "10");
}

TEST(map_file, map_without_names_has_no_string_pool) {
    w::map_writer writer(sample_info());
    w::feature f;
    f.flags = 0x01;
    f.anchor = {1, 2};
    writer.add_feature(f);
    bytes file = build(writer);
    EXPECT_EQ(get_u32(file, at_resources_size), 0u);
    map_file map;
    ASSERT_EQ(load_error(file, &map), "OK");
    EXPECT_EQ(map.resources(), nullptr);
    EXPECT_EQ(map.text_at(0), nullptr);
}

TEST(map_file, no_string_pool_means_no_search_index_and_no_labels) {
    // A labelled point and a search index, with the pool declared empty:
    // the search index is skipped and the label cannot be resolved, but
    // the feature itself still decodes.
    bytes file = sample_file(5, 32768, true);
    layout at(file);
    uint32_t pool = get_u32(file, at_resources_size);
    file.erase(file.begin() + long(at.resources), file.begin() + long(at.resources + pool));
    patch_header(file, at_resources_size, 0);
    map_file map;
    ASSERT_EQ(load_error(file, &map), "OK");
    EXPECT_TRUE(map.cities().empty());
    std::vector<uint8_t> page(map.pages()[0].size);
    ASSERT_TRUE(map.read_page(0, page.data()));
    const feature_info& labelled = map.features()[0];
    ASSERT_TRUE(labelled.flags & 0x10);
    feature_record rec;
    EXPECT_TRUE(decode_feature_record(page.data(), uint32_t(page.size()), labelled.offset, labelled.flags,
                                      map.resources(), map.resources_size(), rec));
    EXPECT_EQ(rec.label, nullptr);
}

TEST(map_file, writer_refuses_what_no_reader_could_use) {
    std::string error;
    bytes out;
    EXPECT_FALSE(w::map_writer(sample_info()).build(out, error));

    w::map_writer short_line(sample_info());
    w::feature line;
    line.points = {{1, 1}};
    short_line.add_feature(line);
    EXPECT_FALSE(short_line.build(out, error));

    w::map_writer thin_area(sample_info());
    w::feature area;
    area.code = 0;
    area.points = {{1, 1}, {2, 2}};
    thin_area.add_feature(area);
    EXPECT_FALSE(thin_area.build(out, error));

    w::map_info long_name = sample_info();
    long_name.name.assign(128, 'x');
    w::map_writer named(long_name);
    w::feature p;
    p.flags = 1;
    named.add_feature(p);
    EXPECT_FALSE(named.build(out, error));
}

TEST(map_file, description_builds_the_same_map) {
    std::string text =
        "# demo\n"
        "map\tDemo\tdemo\t(c)\t1\t0\t16\t0x20\t3\n"
        "page_limit\t50\n"
        "point\t5\t0\t55.5\t37.5\tCafe\n"
        "line\t7\t0x40\t0x08\t55.1\t37.1\t55.1,37.1 55.2,37.2 55.3,37.1\tMain\tTown\n"
        "city\tTown\t55.2\t37.2\n"
        "street\tMain\t55.21\t37.21\n"
        "house\t1\t55.211\t37.211\n";
    std::string error;
    auto writer = w::read_description(text, error);
    ASSERT_TRUE(writer) << error;
    map_file map;
    ASSERT_EQ(load_error(build(*writer), &map), "OK");
    EXPECT_STREQ(map.header().name, "Demo");
    EXPECT_EQ(map.header().flags, 0x20u);
    EXPECT_EQ(map.header().map_version, 3u);
    EXPECT_EQ(map.header().page_count, 2u);
    EXPECT_EQ(map.features()[1].flags, 0x40 | 0x30);
    EXPECT_EQ(map.houses().size(), 1u);

    for (const char* bad : {"point\t5\t0\tabc\t37\n", "house\t1\t1\t1\n", "shape\t1\n", "map\tx\tx\tx\t300\n",
                            "line\t1\t0\t0\t1\t1\t1;2\n"}) {
        EXPECT_FALSE(w::read_description(bad, error)) << bad;
        EXPECT_EQ(error.compare(0, 7, "line 1:"), 0) << error;
    }
}

// The reason a load gives for `good` cut to `size` bytes inside its
// pages: the first page that ends past the cut, computed from the index.
std::string page_past_end(const bytes& good, uint64_t size) {
    const layout at(good);
    uint64_t offset = at.pages;
    for (uint32_t i = 0; i < get_u32(good, at_page_count); ++i) {
        uint32_t page = get_u32(good, size_t(at.pages_index + 4 * uint64_t(i)));
        if (offset + page > size)
            return "Invalid map format: page " + std::to_string(i) + " (" + std::to_string(page) +
                   " bytes at offset " + std::to_string(offset) + ") ends past the end of the file (" +
                   std::to_string(size) + " bytes).";
        offset += page;
    }
    return "OK";
}

// Every message of the loader, from a crafted variant of a good file.
TEST(map_file, every_load_message_comes_from_its_crafted_file) {
    const bytes good = sample_file();
    const layout at(good);
    struct crafted {
        const char* what;
        std::function<void(bytes&)> damage;
        std::string message;
    };
    const uint64_t file_size = good.size();
    std::vector<crafted> cases = {
        {"good file", [](bytes&) {}, "OK"},
        {"empty file", [](bytes& b) { b.clear(); }, "Invalid map file: 0 bytes, shorter than the 583-byte header."},
        {"zeroed header", [](bytes& b) { std::fill(b.begin(), b.begin() + 583, 0); },
         "Invalid map header or format version: 0. Should be 13."},
        {"header cut short", [](bytes& b) { b.resize(300); },
         "Invalid map file: 300 bytes, shorter than the 583-byte header."},
        {"version 14", [](bytes& b) { patch_header(b, 0, 14); },
         "Invalid map header or format version: 14. Should be 13."},
        {"flipped name byte", [](bytes& b) { b[0x20] ^= 1; }, "Invalid map header CRC."},
        {"flipped checksum", [](bytes& b) { b[0x244] ^= 0x80; }, "Invalid map header CRC."},
        {"no pages", [](bytes& b) { patch_header(b, at_page_count, 0); }, "Invalid map format: pages index"},
        {"pages index past the end", [](bytes& b) { patch_header(b, at_page_count, 0xFFFFFFFF); },
         "Invalid map format: pages index"},
        {"file ends in the pages index", [&](bytes& b) { b.resize(size_t(at.pages_index + 2)); },
         "Invalid map format: pages index"},
        {"no features", [](bytes& b) { patch_header(b, at_feature_count, 0); }, "Invalid map format: features info"},
        {"features past the end", [](bytes& b) { patch_header(b, at_feature_count, 0x40000000); },
         "Invalid map format: features info"},
        {"pool past the end", [](bytes& b) { patch_header(b, at_resources_size, 0xFFFFFFF0); },
         "Error reading resources data from file."},
        {"file ends in the pool", [&](bytes& b) { b.resize(size_t(at.resources + 3)); },
         "Error reading resources data from file."},
        {"no node stream", [](bytes& b) { patch_header(b, at_nodes_size, 0); }, "Error reading index data from file."},
        {"node stream past the end", [&](bytes& b) { patch_header(b, at_nodes_size, uint32_t(file_size)); },
         "Error reading index data from file."},
        {"bad stream magic", [&](bytes& b) { b[size_t(at.nodes)] = 'X'; }, "Error loading index data."},
        {"stream with max branches 16", [&](bytes& b) { b[size_t(at.nodes + 20)] = 16; },
         "Error loading index data."},
        {"no pool nodes", [](bytes& b) { patch_header(b, at_pool_nodes, 0); }, "Error loading index data."},
        {"one pool node too few", [](bytes& b) { patch_header(b, at_pool_nodes, get_u32(b, at_pool_nodes) - 1); },
         "Error loading index data."},
        {"leaf names a feature beyond the directory",
         [&](bytes& b) {
             uint32_t n = get_u32(b, at_feature_count);
             b.erase(b.begin() + long(at.features + 8 * (n - 1)), b.begin() + long(at.features + 8 * n));
             patch_header(b, at_feature_count, n - 1);
         },
         "Error loading index data."},
        {"search index past the end", [&](bytes& b) { patch_header(b, at_search_size, uint32_t(file_size)); },
         "Error reading search index data from file."},
        {"last city announces another street",
         [&](bytes& b) {
             // The second city (Moscow's group: 20 + 2x20 + 2x16 bytes) announces two streets.
             set_u32(b, size_t(at.search + 20 + 40 + 32 + 16), 2);
         },
         "Error parsing search index data from file."},
        {"more cities than the header counts",
         [](bytes& b) { patch_header(b, at_city_count, 1); }, "Error parsing search index data from file."},
        {"house key outside the pool",
         [&](bytes& b) { set_u32(b, size_t(at.search + 40 + 12), 0xFFFF); },
         "Error parsing search index data from file."},
        {"search index too small for its records",
         [](bytes& b) { patch_header(b, at_search_size, get_u32(b, at_search_size) - 4); },
         "Error parsing search index data from file."},
        {"page bytes after the header changed", [&](bytes& b) { b.back() ^= 0xFF; }, "OK"},
        {"last page cut short", [&](bytes& b) { b.resize(b.size() - 10); }, page_past_end(good, file_size - 10)},
    };
    for (const crafted& c : cases) {
        bytes file = good;
        c.damage(file);
        EXPECT_EQ(load_error(file), c.message) << c.what;
    }
}

TEST(map_file, missing_file_and_directory_cannot_be_opened) {
    kiv_test::temp_dir dir;
    map_file a, b;
    std::string error;
    EXPECT_FALSE(a.load(dir.file("none.ozm").c_str(), error));
    EXPECT_EQ(error, "Error opening file for reading.");
    EXPECT_FALSE(b.load(dir.path().c_str(), error));
    EXPECT_EQ(error, "Error opening file for reading.");
    EXPECT_FALSE(b.loaded());
}

TEST(map_file, trailing_search_bytes_still_load_when_counts_match) {
    bytes file = sample_file();
    layout at(file);
    // 24 zero bytes after the last house: a city record out of count.
    file.insert(file.begin() + long(at.pages), 24, 0);
    patch_header(file, at_search_size, get_u32(file, at_search_size) + 24);
    map_file map;
    ASSERT_EQ(load_error(file, &map), "OK");
    EXPECT_EQ(map.cities().size(), 2u);
    // The pages moved with the search index.
    std::vector<uint8_t> page(map.pages()[0].size);
    ASSERT_TRUE(map.read_page(0, page.data()));
    feature_record rec;
    const feature_info& f0 = map.features()[0];
    if (f0.page == 0) {
        EXPECT_TRUE(decode_feature_record(page.data(), uint32_t(page.size()), f0.offset, f0.flags,
                                          map.resources(), map.resources_size(), rec));
    }
}

TEST(map_file, every_load_checks_that_every_page_ends_inside_the_file) {
    const bytes file = sample_file();
    const layout at(file);
    EXPECT_EQ(load_error(file), "OK");
    // Cut anywhere inside the pages: refused, naming the first page that
    // does not fit; no byte of a page is needed to tell.
    ASSERT_GT(get_u32(file, at_page_count), 1u);
    const uint64_t step = std::max<uint64_t>(1, (file.size() - at.pages) / 7);
    for (uint64_t cut = at.pages; cut < file.size(); cut += step) {
        bytes b(file.begin(), file.begin() + long(cut));
        EXPECT_EQ(load_error(b), page_past_end(file, cut)) << cut;
    }
}

TEST(map_file, pool_text_without_terminator_ends_at_the_pools_end) {
    bytes file = sample_file(5, 32768, false);
    layout at(file);
    uint32_t pool = get_u32(file, at_resources_size);
    // The pool's last zero becomes a letter: the last text runs to its end.
    ASSERT_EQ(file[size_t(at.resources + pool - 1)], 0);
    file[size_t(at.resources + pool - 1)] = 'Z';
    map_file map;
    ASSERT_EQ(load_error(file, &map), "OK");
    const char* last = map.text_at(pool - 1);
    ASSERT_NE(last, nullptr);
    EXPECT_STREQ(last, "Z");
    EXPECT_EQ(map.text_at(pool), nullptr);
}

TEST(map_record, records_are_checked_against_page_and_pool) {
    // A page with one line record: flags 0x10, count 2, name 1.
    bytes page;
    page.push_back(0x10);
    page.push_back(0);
    put_f32(page, 1);
    put_f32(page, 2);
    put_u32(page, 2);
    put_u32(page, 1);
    for (float f : {1.0f, 2.0f, 3.0f, 4.0f})
        put_f32(page, f);
    const char pool[] = "\0ab";
    const uint32_t pool_size = sizeof pool;
    struct probe {
        const char* what;
        uint32_t page_size;
        uint32_t offset;
        uint8_t flags;
        uint32_t pool;
        bool ok;
        bool has_label;  // when ok: the label resolved
        bool has_place;  // when ok: the place name resolved
    } probes[] = {
        {"whole", uint32_t(page.size()), 0, 0x10, pool_size, true, true, false},
        {"last point cut", uint32_t(page.size() - 1), 0, 0x10, pool_size, false, false, false},
        {"header only", 13, 0, 0x01, pool_size, false, false, false},
        {"offset past the page", uint32_t(page.size()), 0xFFFFFFF0, 0x10, pool_size, false, false, false},
        // A name outside the pool loses the name only.
        {"name outside the pool", uint32_t(page.size()), 0, 0x10, 1, true, false, false},
        {"no pool", uint32_t(page.size()), 0, 0x10, 0, true, false, false},
        {"no label wanted", uint32_t(page.size()), 0, 0x00, 0, true, false, false},
        // The place name of a labelled place is read behind the label even
        // where the record flags put a point: its "offset" is a float.
        {"place name over the first point", uint32_t(page.size()), 0, 0x30, pool_size, true, true, false},
    };
    for (const probe& p : probes) {
        feature_record rec;
        const char* resources = p.pool != 0 ? pool : nullptr;
        ASSERT_EQ(decode_feature_record(page.data(), p.page_size, p.offset, p.flags, resources, p.pool, rec), p.ok)
            << p.what;
        if (p.ok) {
            EXPECT_EQ(rec.label != nullptr, p.has_label) << p.what;
            EXPECT_EQ(rec.place_name != nullptr, p.has_place) << p.what;
            EXPECT_EQ(rec.point_count, 2u) << p.what;
        }
    }
    // A huge point count cannot wrap the extent check.
    set_u32(page, 10, 0xFFFFFFFF);
    feature_record rec;
    EXPECT_FALSE(decode_feature_record(page.data(), uint32_t(page.size()), 0, 0, pool, pool_size, rec));
}

}  // namespace
