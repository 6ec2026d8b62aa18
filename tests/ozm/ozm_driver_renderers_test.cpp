// ozm_driver_renderers_test.cpp --
//
//     Which maps and layers take part in an image: render level and
//     detail class from the scale, level bands with their fallbacks,
//     covering maps, excluded and out-of-view maps, the layer names the
//     caller asks for, and the failures that give no renderer.

#include "driver_test_support.h"

using namespace kiv;
using namespace kiv_test;

namespace {

TEST(level_from_scale, follows_the_doubling_table_inclusively) {
    const struct {
        unsigned scale;
        unsigned level;
    } cases[] = {{0, 0},        {1500, 0},       {1501, 1},         {3000, 1},          {3001, 2},
                 {48000, 5},    {48001, 6},      {6144000, 12},     {98304000, 16},     {98304001, 16},
                 {200000000, 16}, {4294967295u, 16}};
    for (const auto& c : cases)
        EXPECT_EQ(unsigned(level_from_scale(c.scale)), c.level) << c.scale;
}

TEST(detail_class_from_scale, has_three_classes_and_stays_at_two) {
    const struct {
        unsigned scale;
        unsigned cls;
    } cases[] = {{1, 0}, {50000, 0}, {50001, 1}, {2000000, 1}, {2000001, 2}, {30000000, 2}, {30000001, 2},
                 {4294967295u, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(unsigned(detail_class_from_scale(c.scale)), c.cls) << c.scale;
}

class selection_test : public ::testing::Test {
protected:
    // Writes the maps (file names a.ozm, b.ozm, ... in list order, so
    // they load in that order), one layer, starts a driver and asks for
    // a renderer at `level`.
    std::vector<std::string> select(const std::vector<test_map>& maps, unsigned level) {
        driver_folder folder;
        char file[] = "a.ozm";
        for (const test_map& m : maps) {
            folder.add_map(file, m);
            ++file[0];
        }
        folder.add_layer("all.xml", layer_text("all", 0));
        auto_ptr_t<ozm_driver> driver = start_driver(folder);
        EXPECT_TRUE(driver);
        if (!driver)
            return {"no driver"};
        auto_ptr_t<i_gis_viewport> vp = home_view(1500u << level);
        auto_ptr_t<ozm_renderer> r = as_ozm(driver->create_renderer(vp, "", ""));
        EXPECT_TRUE(r);
        if (!r)
            return {"no renderer"};
        EXPECT_EQ(unsigned(r->level()), level);
        return map_names(*r);
    }

    core_session session{false};
};

test_map band(const char* name, uint8_t priority, uint8_t min_level, uint8_t max_level) {
    test_map m;
    m.name = name;
    m.priority = priority;
    m.min_level = min_level;
    m.max_level = max_level;
    m.half_side = 3.0;
    return m;
}

test_map covering(const char* name, uint8_t priority) {
    test_map m = band(name, priority, 0, 16);
    m.flags = 0x01;
    m.coverage = true;
    return m;
}

typedef std::vector<std::string> names;

TEST_F(selection_test, chooses_maps_by_band_fallback_cover_and_flags) {
    test_map excluded = band("excluded", 9, 0, 16);
    excluded.flags = 0x08;
    test_map away = band("away", 9, 0, 16);
    away.away = true;
    test_map uncovered = covering("uncovered", 2);
    uncovered.half_side = 0.01;  // the view is not inside it
    const struct {
        const char* what;
        std::vector<test_map> maps;
        unsigned level;
        names expected;
    } cases[] = {
        {"the in-band map only", {band("fine", 1, 0, 5), band("coarse", 1, 6, 16)}, 8, {"coarse"}},
        {"the nearest band below wins", {band("three", 5, 0, 3), band("five", 1, 0, 5)}, 9, {"five"}},
        {"whatever the priority order", {band("five", 5, 0, 5), band("three", 1, 0, 3)}, 9, {"five"}},
        {"equal bands below join", {band("x", 5, 0, 5), band("y", 1, 0, 5)}, 9, {"x", "y"}},
        {"only finer maps: all of them", {band("ten", 1, 10, 16), band("twelve", 3, 12, 16)}, 8, {"twelve", "ten"}},
        {"finer maps give way to coarser ones", {band("ten", 1, 10, 16), band("two", 3, 0, 2)}, 8, {"two"}},
        {"a covering map hides those above",
         {band("seven", 7, 0, 16), band("five", 5, 0, 16), covering("cover", 2), band("one", 1, 0, 16)},
         8,
         {"cover", "one"}},
        {"covering maps of equal priority stay together",
         {band("seven", 7, 0, 16), covering("c1", 2), covering("c2", 2), band("one", 1, 0, 16)},
         8,
         {"c2", "c1", "one"}},  // equal priorities: the later load first
        {"a cover that does not hold the view hides nothing",
         {band("seven", 7, 0, 16), uncovered, band("one", 1, 0, 16)},
         8,
         {"seven", "uncovered", "one"}},
        {"a band ending at level 0 does not join in-band maps",
         {band("zero", 9, 0, 0), band("in", 1, 0, 16)},
         5,
         {"in"}},
        {"nor does it block them when it comes later",
         {band("in", 9, 0, 16), band("zero", 1, 0, 0)},
         5,
         {"in"}},
        {"excluded and distant maps never take part", {excluded, away, band("in", 1, 0, 16)}, 8, {"in"}},
        {"no map in view: an empty list", {away}, 8, {}},
        {"equal priorities in load order", {band("p", 4, 0, 16), band("q", 4, 0, 16), band("r", 6, 0, 16)}, 3,
         {"r", "q", "p"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(select(c.maps, c.level), c.expected) << c.what;
}

class layer_choice_test : public ::testing::Test {
protected:
    void SetUp() override {
        folder.add_map("a.ozm", band("map", 1, 0, 16));
        folder.add_layer("1.xml", layer_text("roads", 5));
        folder.add_layer("2.xml", layer_text("water", 1));
        folder.add_layer("3.xml", layer_text("labels", 3, "0-4"));
        driver = start_driver(folder);
        ASSERT_TRUE(driver);
    }
    // The names of the chosen layers, in drawing order; "null" when no
    // renderer came back.
    std::string chosen(const char* layers, unsigned level = 2) {
        auto_ptr_t<i_gis_viewport> vp = home_view(1500u << level);
        auto_ptr_t<ozm_renderer> r = as_ozm(driver->create_renderer(vp, layers, ""));
        if (!r)
            return "null";
        std::string out;
        for (renderer_layer* layer : r->layers())
            out += (out.empty() ? "" : ",") + layer->get_name();
        return out;
    }

    core_session session{false};
    driver_folder folder;
    auto_ptr_t<ozm_driver> driver;
};

TEST_F(layer_choice_test, names_choose_layers_exactly_and_drawing_goes_by_priority) {
    EXPECT_STREQ(driver->get_layers(), "roads,water,labels");  // load order
    EXPECT_EQ(chosen(""), "water,labels,roads");                // priority order
    EXPECT_EQ(chosen("", 6), "water,roads");                    // labels end at level 4
    EXPECT_EQ(chosen(",,roads,,"), "roads");
    EXPECT_EQ(chosen("roads,water"), "water,roads");
    EXPECT_EQ(chosen("Roads"), "null");
    EXPECT_EQ(chosen(" roads"), "null");
    EXPECT_EQ(chosen("labels", 6), "null");
    EXPECT_EQ(chosen((std::string(255, 'x') + ",roads").c_str()), "null");  // an over-long token ends the list
    EXPECT_EQ(chosen((std::string(254, 'x') + ",roads").c_str()), "roads");
}

TEST_F(layer_choice_test, bad_arguments_give_no_renderer) {
    auto_ptr_t<i_gis_viewport> vp = home_view(3000);
    EXPECT_EQ(driver->create_renderer(nullptr, "", ""), nullptr);
    EXPECT_EQ(driver->create_renderer(vp, nullptr, ""), nullptr);
    EXPECT_EQ(driver->create_renderer(vp, "", nullptr), nullptr);
    auto_ptr_t<i_gis_viewport> unset(kiv_gis_create_viewport(800, 600));  // no centre yet
    EXPECT_EQ(driver->create_renderer(unset, "", ""), nullptr);
}

TEST_F(layer_choice_test, renderer_keeps_the_view_box_with_its_margin) {
    auto_ptr_t<i_gis_viewport> vp = home_view(3000);
    auto_ptr_t<ozm_renderer> r = as_ozm(driver->create_renderer(vp, "", ""));
    ASSERT_TRUE(r);
    geo_point corner{0, 0};
    ASSERT_TRUE(vp->dp_to_lc(-64, 600 + 64, corner));
    EXPECT_DOUBLE_EQ(r->box_min().lat, corner.lat);
    EXPECT_DOUBLE_EQ(r->box_min().lon, corner.lon);
    ASSERT_TRUE(vp->dp_to_lc(800 + 64, -64, corner));
    EXPECT_DOUBLE_EQ(r->box_max().lat, corner.lat);
    EXPECT_DOUBLE_EQ(r->box_max().lon, corner.lon);
    EXPECT_EQ(unsigned(r->detail_class()), 0u);
}

}  // namespace
