// demo_town_test.cpp --
//
//     The demo town as its users first see it: the driver started the way
//     the library entry starts it, registered with "svc_gis", and images
//     asked of the service at render levels 1, 3, 5, 7, 9 and 12. Each
//     image is checked by probes at known places (background, water, a
//     road's colour, a label's ink), not against golden files. The
//     service's place search finds every town the overview shows, in
//     either alphabet, and the town's streets and houses.

#include <kiv/image/i_image.h>
#include <kiv_test/ozm_hooks.h>

#include "../gis/gis_loader.h"
#include "driver_test_support.h"

using namespace kiv;
using namespace kiv_test;

namespace {

// Colours of the demo's layer files.
constexpr uint32_t background = 0xF2EFE9;
constexpr uint32_t water = 0xAAD3DF;
constexpr uint32_t motorway = 0xE892A2;
constexpr uint32_t town_ink = 0x202020;
constexpr uint32_t poi_ink = 0x7A1E1E;

bool near(const uint8_t* p, uint32_t rgb, int tolerance) {
    for (int i = 0; i < 3; ++i) {
        int d = int(p[i]) - int((rgb >> (16 - 8 * i)) & 0xFF);
        if (d > tolerance || d < -tolerance)
            return false;
    }
    return p[3] == 0xFF;
}

// Pixels within `tolerance` of `rgb` in the box of half-sides rx, ry
// around the image centre.
unsigned count_near_centre(i_image* img, uint32_t rgb, int rx, int ry, int tolerance) {
    int cx = int(img->get_width()) / 2, cy = int(img->get_height()) / 2;
    const uint8_t* data = static_cast<const uint8_t*>(img->get_data());
    unsigned n = 0;
    for (int y = cy - ry; y <= cy + ry; ++y)
        for (int x = cx - rx; x <= cx + rx; ++x)
            n += near(data + (size_t(y) * img->get_width() + size_t(x)) * 4, rgb, tolerance) ? 1 : 0;
    return n;
}

class demo_town_test : public ::testing::Test {
protected:
    void SetUp() override {
        kiv_set_env("KIV_OZM_MAPS_PATH", OZM_DEMO_DIR "/maps");
        kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", OZM_DEMO_DIR "/render");
        gis = load_gis_service("/usr/share/fonts/truetype/dejavu");
        ASSERT_TRUE(gis);
        ASSERT_TRUE(kiv_ozm_test_start());
    }
    void TearDown() override {
        if (gis) {
            auto_ptr_t<i_gis_driver> driver(gis->get_driver_by_name("ozm"));
            gis->remove_driver(driver);
        }
        kiv_core()->unregister_service("svc_gis");
        kiv_set_env("KIV_OZM_MAPS_PATH", "");
        kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", "");
    }

    // A 1024 x 768 image at `level`, centred on (lat, lon).
    auto_ptr_t<i_image> image(unsigned level, double lat, double lon) {
        auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(1024, 768));
        EXPECT_TRUE(vp && vp->set_center(lat, lon, 1500u << level));
        auto_ptr_t<i_image> img(vp ? gis->get_image("ozm", vp, "", "", false) : nullptr);
        EXPECT_TRUE(img) << "level " << level;
        if (img) {
            EXPECT_EQ(img->get_width(), 1024u);
            EXPECT_EQ(img->get_height(), 768u);
        }
        return img;
    }

    core_session session{false};
    auto_ptr_t<i_gis_service> gis;
};

TEST_F(demo_town_test, the_driver_offers_the_demo_maps_and_layers) {
    auto_ptr_t<i_gis_driver> driver(gis->get_driver_by_name("ozm"));
    ASSERT_TRUE(driver);
    EXPECT_STREQ(driver->get_layers(), "base,buildings,roads,railway,labels");
    auto_ptr_t<i_object_col> maps(driver->get_maps(""));
    ASSERT_TRUE(maps);
    EXPECT_EQ(maps->get_count(), 2u);
}

TEST_F(demo_town_test, images_at_six_levels_show_ground_water_roads_and_labels) {
    struct probe {
        const char* what;
        double lat, lon;
        uint32_t rgb;
        int radius;      // half-side of the box searched, pixels
        unsigned least;  // pixels of the colour at least
        int tolerance;   // per channel; text is anti-aliased
    };
    // The market square (an empty block), the lake, the motorway west of
    // the town, the point of interest "Café Luna", open country south-
    // west, the overview's lake, a motorway of the overview, the town's
    // name.
    const probe square = {"background in the market square", 53.8875, 27.552, background, 3, 49, 4};
    const probe lake = {"water of the lake", 53.9125, 27.512, water, 1, 9, 4};
    const probe m1 = {"motorway colour", 53.9480, 27.450, motorway, 3, 1, 10};
    const probe cafe = {"label of a point of interest", 53.8975, 27.552, poi_ink, 40, 8, 40};
    const probe country = {"background in open country", 53.65, 27.30, background, 3, 49, 4};
    const probe big_lake = {"water of the overview's lake", 54.62, 27.05, water, 1, 9, 4};
    const probe road = {"motorway colour of the overview", 53.971, 28.136, motorway, 3, 1, 10};
    const probe town = {"ink of the town's name", 53.902, 27.552, town_ink, 50, 20, 40};
    const struct {
        unsigned level;
        std::vector<probe> probes;
    } cases[] = {
        {1, {square, lake, m1, cafe}},
        {3, {square, lake, m1, cafe}},
        {5, {square, lake, m1, town}},
        {7, {country, lake, m1, town}},
        {9, {country, big_lake, road, town}},
        {12, {country, big_lake, road, town}},
    };
    for (const auto& c : cases) {
        for (const probe& p : c.probes) {
            auto_ptr_t<i_image> img = image(c.level, p.lat, p.lon);
            ASSERT_TRUE(img);
            EXPECT_GE(count_near_centre(img, p.rgb, p.radius, p.radius, p.tolerance), p.least)
                << p.what << " at level " << c.level;
        }
    }
}

// Every text of a search result, in its order.
std::vector<std::string> texts(i_gis_search_result* found) {
    std::vector<std::string> out;
    for (bool more = found != nullptr && found->first(); more; more = found->next())
        out.push_back(found->get_result_text() != nullptr ? found->get_result_text() : "");
    return out;
}

TEST_F(demo_town_test, a_first_search_finds_every_town_of_the_overview_in_either_alphabet) {
    const struct {
        const char* typed;
        std::vector<std::string> towns;
    } cases[] = {
        {"nov", {"Novy Dvor"}},
        {"нов", {"Новы Двор"}},
        {"НОВЫ ДВОР", {"Новы Двор"}},
        {"белый", {"Белый Бор"}},
        {"Kamenka", {"Kamenka"}},
        {"zar", {"Zarechye"}},
        {"лесной", {"Лесной"}},
        {"xyz", {}},
    };
    for (const auto& c : cases) {
        auto_ptr_t<i_gis_search_result> found(gis->search_cities("ozm", c.typed, ""));
        EXPECT_EQ(texts(found.get()), c.towns) << c.typed;
    }
    // The town has its streets and their houses under either name; the
    // neighbours are names only.
    for (const char* name : {"Novy Dvor", "Новы Двор"}) {
        auto_ptr_t<i_gis_search_result> town(gis->search_cities("ozm", name, ""));
        ASSERT_TRUE(town && town->first()) << name;
        EXPECT_NEAR(town->get_result_lat(), 53.902, 1e-4);
        auto_ptr_t<i_gis_search_result> streets(gis->search_streets("ozm", town->get_result_id(), ""));
        ASSERT_TRUE(streets) << name;
        EXPECT_EQ(streets->get_count(), 13u) << name;
        ASSERT_TRUE(streets->first());
        auto_ptr_t<i_gis_search_result> houses(gis->search_houses("ozm", streets->get_result_id(), ""));
        ASSERT_TRUE(houses) << name;
        EXPECT_EQ(houses->get_count(), 5u) << name;
    }
    auto_ptr_t<i_gis_search_result> neighbour(gis->search_cities("ozm", "Kamenka", ""));
    ASSERT_TRUE(neighbour && neighbour->first());
    auto_ptr_t<i_gis_search_result> none(gis->search_streets("ozm", neighbour->get_result_id(), ""));
    EXPECT_EQ(none ? none->get_count() : 0u, 0u);
}

}  // namespace
