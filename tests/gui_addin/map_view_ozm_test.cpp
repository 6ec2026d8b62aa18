// map_view_ozm_test.cpp --
//
//     The map view on the real vector driver: the ozm driver library
//     loaded through the core's loader on the demo town (generated into
//     the output folder at build time), the view made as the viewer makes
//     it (driver "ozm" with its layer list), and the picture on screen
//     probed for the lake's water and a motorway's colour.

#include "addin_session.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace kiv_gui_test;

namespace {

// Pixels within `tolerance` of `rgb` in the box of half-side `r`
// around the window's centre.
unsigned count_near_centre(const wxImage& shot, unsigned rgb, int r, int tolerance) {
    int cx = shot.GetWidth() / 2, cy = shot.GetHeight() / 2;
    unsigned n = 0;
    for (int y = cy - r; y <= cy + r; ++y) {
        for (int x = cx - r; x <= cx + r; ++x) {
            unsigned p = pixel(shot, x, y);
            bool near = true;
            for (int shift : {16, 8, 0})
                near = near && std::abs(int((p >> shift) & 0xFF) - int((rgb >> shift) & 0xFF)) <= tolerance;
            n += near ? 1 : 0;
        }
    }
    return n;
}

TEST(map_view_ozm, the_view_shows_the_demo_town) {
    env_var fonts("KIV_FONT_PATH", "/usr/share/fonts/truetype/dejavu");
    env_var maps("KIV_OZM_MAPS_PATH", KIV_BIN_DIR "/demo/ozm/maps");
    env_var render("KIV_OZM_RENDER_CONFIG_PATH", KIV_BIN_DIR "/demo/ozm/render");
    addin_session s(nullptr, true, "gis_ozm_driver.so");
    ASSERT_NE(s.map, nullptr);
    // The layer list of the driver, and the names the add-in read from
    // the same render configuration.
    EXPECT_NE(std::string(s.map->get_renderer()).find("roads"), std::string::npos) << s.map->get_renderer();
    wxArrayString layers;
    EXPECT_TRUE(get_ozm_map_layers_info(layers));
    EXPECT_EQ(layers.GetCount(), 5u);

    struct probe {
        const char* what;
        double lat, lon;
        unsigned rgb;
        int radius, tolerance;
        unsigned least;
    } probes[] = {
        {"water of the lake", 53.9125, 27.512, 0xAAD3DF, 1, 4, 5},
        {"motorway west of the town", 53.9480, 27.450, 0xE892A2, 3, 10, 1},
    };
    for (const probe& p : probes) {
        ASSERT_TRUE(s.map->set_center(p.lat, p.lon, 10000));
        pump_until([&] {
            auto_ptr_t<kiv::i_gis_viewport> vp(s.map->get_viewport());
            kiv::geo_point c{0, 0};
            return vp && vp->get_center(c) && c.lat == p.lat && c.lon == p.lon;
        });
        pump();
        wxImage shot = capture(s.map->get_map_wnd());
        EXPECT_GE(count_near_centre(shot, p.rgb, p.radius, p.tolerance), p.least) << p.what;
    }
}

}  // namespace
