// search_test.cpp --
//
//     City, street and house search on maps made by the writer, with
//     Latin and Cyrillic names: prefixes in either case, the empty
//     prefix, cities named alike in two maps, the ids that lead from a
//     city to its streets and from a street to its houses, ids of maps
//     no longer loaded, a search index shorter than its header claims,
//     the result's cursor and its JSON text.

#include <kiv/core/auto_ptr.h>
#include <kiv/gis/gis_lib.h>

#include "../core/core_session.h"
#include "ozm_fixtures.h"
#include "search/ozm_search_result.h"
#include "search/place_search.h"
#include "search_fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

using namespace ozm_search_test;
using kiv::i_gis_search_result;

// The texts of a result in its order, "<null>" for no result; the
// result is released.
std::vector<std::string> texts(i_gis_search_result* r) {
    auto_ptr_t<i_gis_search_result> held(r);
    if (r == nullptr)
        return {"<null>"};
    std::vector<std::string> out;
    for (bool on = r->first(); on; on = r->next())
        out.push_back(r->get_result_text());
    return out;
}

// The id of the first item whose text is `text` (0 when none).
long long id_of(i_gis_search_result* r, const std::string& text) {
    for (bool on = r->first(); on; on = r->next())
        if (text == r->get_result_text())
            return r->get_result_id();
    return 0;
}

w::city city(const char* name, float lat, float lon, std::vector<w::street> streets = {}) {
    return w::city{name, {lat, lon}, std::move(streets)};
}
w::street street(const char* name, std::vector<const char*> houses = {}) {
    w::street s{name, {55.7f, 37.6f}, {}};
    for (const char* h : houses)
        s.houses.push_back(w::house{h, {55.7f, 37.6f}});
    return s;
}

class place_search : public ::testing::Test {
protected:
    void SetUp() override {
        // Map 1 (priority 1, load number 3): the cities are stored out of
        // name order so that record index and key order differ.
        w::map_writer first = writer_named("First", 1, 0, "ru");
        first.add_feature(place_point(55, 37, "dot"));
        first.add_city(city("Berlin", 52.52f, 13.405f));
        first.add_city(city("Moscow", 55.75f, 37.62f));
        first.add_city(city("Москва", 55.75f, 37.62f,
                            {street("Лесная", {"7"}), street("Ленина", {"2", "10", "1"}), street("Арбат")}));
        first.add_city(city("Минск", 53.9f, 27.56f));
        maps.add(first, "first.ozm", 3);
        // Map 2 (priority 5, load number 4): another Москва, a city of its own.
        w::map_writer second = writer_named("Second", 5, 0, "by");
        second.add_feature(place_point(55, 37, "dot"));
        second.add_city(city("Москва", 10, 10, {street("Другая")}));
        second.add_city(city("Гомель", 52.4f, 31.0f));
        maps.add(second, "second.ozm", 4);
    }

    kiv_test::core_session session{false};
    loaded_maps maps;
};

TEST_F(place_search, cities_by_prefix_are_ordered_by_name_and_unique_across_maps) {
    struct {
        const char* pattern;
        const char* tags;
        std::vector<std::string> expected;
    } cases[] = {
        {"", "", {"Berlin", "Moscow", "Гомель", "Минск", "Москва"}},
        {"мос", "", {"Москва"}},
        {"МОС", "", {"Москва"}},
        {"mOs", "", {"Moscow"}},
        {"м", "", {"Минск", "Москва"}},
        {"x", "", {}},
        {"мосх", "", {}},
        {"", "-ru", {"Гомель", "Москва"}},
        {"", "ru", {"Berlin", "Moscow", "Минск", "Москва"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(texts(kiv::ozm::search_cities(maps.list, c.pattern, c.tags)), c.expected)
            << "pattern '" << c.pattern << "' tags '" << c.tags << "'";
    EXPECT_EQ(texts(kiv::ozm::search_cities(maps.list, nullptr, "")), std::vector<std::string>{"<null>"});
    EXPECT_EQ(texts(kiv::ozm::search_cities(maps.list, "", nullptr)), std::vector<std::string>{"<null>"});
}

TEST_F(place_search, the_lower_case_cyrillic_prefix_finds_the_upper_case_key) {
    EXPECT_EQ(kiv::ozm::search_pattern("мос"), "МОС");
    auto_ptr_t<i_gis_search_result> r(kiv::ozm::search_cities(maps.list, "мос", ""));
    ASSERT_TRUE(r);
    ASSERT_EQ(r->get_count(), 1u);
    // The map of lower priority wins; its Москва is city record 2.
    EXPECT_EQ(r->get_result_id(), 0x0000000300000002LL);
    EXPECT_FLOAT_EQ(float(r->get_result_lat()), 55.75f);
    EXPECT_FLOAT_EQ(float(r->get_result_lon()), 37.62f);
}

TEST_F(place_search, a_city_id_lists_its_streets_and_a_street_id_its_houses) {
    auto_ptr_t<i_gis_search_result> cities(kiv::ozm::search_cities(maps.list, "москва", ""));
    long long moscow = id_of(cities.get(), "Москва");
    kiv::ozm_map* first = maps.list[0];
    EXPECT_EQ(texts(kiv::ozm::search_streets(first, moscow, "")),
              (std::vector<std::string>{"Арбат", "Ленина", "Лесная"}));
    EXPECT_EQ(texts(kiv::ozm::search_streets(first, moscow, "ле")), (std::vector<std::string>{"Ленина", "Лесная"}));
    EXPECT_EQ(texts(kiv::ozm::search_streets(first, moscow, "лен")), std::vector<std::string>{"Ленина"});
    EXPECT_EQ(texts(kiv::ozm::search_streets(first, moscow, "q")), std::vector<std::string>{});

    auto_ptr_t<i_gis_search_result> streets(kiv::ozm::search_streets(first, moscow, "ЛЕНИНА"));
    ASSERT_TRUE(streets);
    long long lenina = id_of(streets.get(), "Ленина");
    // Streets are stored in file order: Лесная 0, Ленина 1, Арбат 2.
    EXPECT_EQ(lenina, 0x0000000300000001LL);
    // House keys in byte order: "1" < "10" < "2".
    EXPECT_EQ(texts(kiv::ozm::search_houses(first, lenina, "")), (std::vector<std::string>{"1", "10", "2"}));
    EXPECT_EQ(texts(kiv::ozm::search_houses(first, lenina, "1")), (std::vector<std::string>{"1", "10"}));
    auto_ptr_t<i_gis_search_result> houses(kiv::ozm::search_houses(first, lenina, "2"));
    ASSERT_EQ(houses->get_count(), 1u);
    EXPECT_EQ(houses->get_result_id(), 0x0000000300000001LL);  // houses in file order: 7, 2, 10, 1
    EXPECT_EQ(texts(kiv::ozm::search_houses(first, lenina, nullptr)), std::vector<std::string>{"<null>"});
}

TEST_F(place_search, ids_of_other_or_unloaded_maps_and_indexes_beyond_the_records_find_nothing) {
    kiv::ozm_map* first = maps.list[0];
    // The map with the id's load number is gone (null) or another one.
    EXPECT_EQ(texts(kiv::ozm::search_streets(nullptr, 0x0000000300000002LL, "")), std::vector<std::string>{"<null>"});
    EXPECT_EQ(texts(kiv::ozm::search_streets(first, 0x0000000900000002LL, "")), std::vector<std::string>{"<null>"});
    EXPECT_EQ(texts(kiv::ozm::search_houses(first, 0x0000000400000000LL, "")), std::vector<std::string>{"<null>"});
    // A record index beyond the arrays: an empty result.
    EXPECT_EQ(texts(kiv::ozm::search_streets(first, 0x0000000300000004LL, "")), std::vector<std::string>{});
    EXPECT_EQ(texts(kiv::ozm::search_houses(first, 0x00000003FFFFFFFFLL, "")), std::vector<std::string>{});
}

TEST(place_search_index, a_search_index_ending_with_fewer_cities_than_its_header_counts_lists_nothing_between) {
    kiv_test::core_session session{false};
    w::map_writer writer = writer_named("Short");
    writer.add_feature(place_point(1, 1, "dot"));
    writer.add_city(city("Alpha", 1, 1, {street("One")}));
    writer.add_city(city("Beta", 2, 2, {street("Two")}));
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(writer.build(bytes, error)) << error;
    // The header claims five cities; the index ends on its byte count
    // after two, which the reader accepts.
    ozm_test::patch_header(bytes, ozm_test::at_city_count, 5);
    kiv_test::temp_dir dir;
    std::string path = dir.file("short.ozm");
    ozm_test::write_bytes(path, bytes);
    auto_ptr_t<kiv::ozm_map> map(new kiv::ozm_map);
    map->addref();
    kiv::string error_text;
    ASSERT_TRUE(map->load(path.c_str(), &error_text, 7, false)) << error_text.get_value();
    ASSERT_EQ(map->file().cities().size(), 2u);
    EXPECT_EQ(texts(kiv::ozm::search_streets(map.get(), 0x0000000700000001LL, "")), std::vector<std::string>{"Two"});
    for (long long index : {2, 3, 4})
        EXPECT_EQ(texts(kiv::ozm::search_streets(map.get(), (7LL << 32) | index, "")), std::vector<std::string>{})
            << index;
}

TEST_F(place_search, the_cursor_stops_at_the_end_and_the_getters_answer_nothing_there) {
    auto_ptr_t<i_gis_search_result> r(kiv::ozm::search_cities(maps.list, "", "ru"));
    ASSERT_EQ(r->get_count(), 4u);  // Berlin, Moscow, Минск, Москва
    EXPECT_TRUE(r->is_valid());
    EXPECT_STREQ(r->get_result_text(), "Berlin");
    EXPECT_TRUE(r->at(3));
    EXPECT_FALSE(r->at(4));
    EXPECT_STREQ(r->get_result_text(), "Москва");  // unchanged by the refused move
    EXPECT_FALSE(r->next());                       // from the last item to the end
    EXPECT_FALSE(r->is_valid());
    EXPECT_FALSE(r->next());
    EXPECT_EQ(r->get_result_text(), nullptr);
    kiv::geo_point pt{1, 2};
    EXPECT_FALSE(r->get_result_point(pt));
    EXPECT_EQ(pt.lat, 1);
    EXPECT_EQ(r->get_result_lat(), 0.0);
    EXPECT_EQ(r->get_result_id(), 0);
    EXPECT_TRUE(r->first());
    EXPECT_TRUE(r->get_result_point(pt));
    EXPECT_FLOAT_EQ(float(pt.lat), 52.52f);

    void* out = &pt;
    EXPECT_FALSE(r->get_interface("i_object", &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_TRUE(r->get_interface("i_gis_search_result", &out));

    auto_ptr_t<i_gis_search_result> none(kiv::ozm::search_cities(maps.list, "zzz", ""));
    ASSERT_TRUE(none);
    EXPECT_EQ(none->get_count(), 0u);
    EXPECT_FALSE(none->first());
    EXPECT_FALSE(none->at(0));
    EXPECT_FALSE(none->next());
}

TEST_F(place_search, a_result_keeps_its_maps_alive_after_the_list_lets_them_go) {
    auto_ptr_t<i_gis_search_result> r(kiv::ozm::search_cities(maps.list, "", ""));
    maps.list.clear();  // as when the driver unloads the maps
    std::vector<std::string> seen;
    for (bool on = r->first(); on; on = r->next())
        seen.push_back(r->get_result_text());
    EXPECT_EQ(seen.size(), 5u);
}

TEST_F(place_search, the_result_json_lists_ids_texts_and_points) {
    auto_ptr_t<i_gis_search_result> r(kiv::ozm::search_cities(maps.list, "b", ""));
    char* json = kiv_gis_get_search_result_json(r.get());
    ASSERT_NE(json, nullptr);
    EXPECT_STREQ(json, "[{id:12884901888,text:\"Berlin\",lat:52.520000,lon:13.405000}]");
    std::free(json);
    auto_ptr_t<i_gis_search_result> none(kiv::ozm::search_cities(maps.list, "zzz", ""));
    json = kiv_gis_get_search_result_json(none.get());
    ASSERT_NE(json, nullptr);
    EXPECT_STREQ(json, "[]");
    std::free(json);
}

}  // namespace
