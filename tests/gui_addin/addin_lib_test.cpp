// addin_lib_test.cpp --
//
//     The add-in's library entry (scale table, render-layer names) and
//     its helpers: coordinate and number texts, the nearest point of a
//     segment, the RGBA to RGB conversion with its size check, registry
//     lists, pictures between the toolkit and i_image, the drawn markers
//     and the docking-pane helpers.

#include "addin_session.h"

#include <kiv/core/files.h>
#include <kiv/core/i_binary.h>
#include <kiv/image/image_lib.h>

#include <gtest/gtest.h>

#include <wx/config.h>
#include <wx/fileconf.h>
#include <wx/image.h>

#include <cstdlib>
#include <fstream>

using namespace kiv_gui_test;

namespace {

TEST(addin_lib, the_entry_fills_the_scale_table_and_reads_the_layer_names) {
    gui_session gui;
    std::string config = gui.core.root.file("render");
    std::string layers = config + "/layers";
    ASSERT_EQ(std::system(("mkdir -p '" + layers + "/sub.xml'").c_str()), 0);
    std::ofstream(layers + "/10_water.xml") << "<layer name=\"water\"><style/></layer>";
    std::ofstream(layers + "/20_roads.xml") << "<layer name=\"roads\"/>";
    std::ofstream(layers + "/30_broken.xml") << "<layer name=\"broken\"";
    std::ofstream(layers + "/40_unnamed.xml") << "<layer/>";
    std::ofstream(layers + "/notes.txt") << "<layer name=\"notes\"/>";
    env_var path("KIV_OZM_RENDER_CONFIG_PATH", config.c_str());
    load_addin_libraries(gui.core.root.path());

    wxArrayLong* scales = get_scale_values();
    const long expected[] = {50000000, 25000000, 15000000, 10000000, 5000000, 2000000, 1000000, 500000, 200000,
                             100000,   50000,    25000,    15000,    10000,   5000,    2000,    1000};
    ASSERT_EQ(scales->GetCount(), 17u);
    for (size_t i = 0; i < 17; ++i)
        EXPECT_EQ((*scales)[i], expected[i]);
    wxArrayString names;
    ASSERT_TRUE(get_ozm_map_layers_info(names));
    ASSERT_EQ(names.GetCount(), 3u);
    EXPECT_EQ(names[0], "water");
    EXPECT_EQ(names[1], "roads");
    EXPECT_EQ(names[2], "");
    EXPECT_NE(get_map_layer_menu(), nullptr);
    EXPECT_EQ(get_map_layer_menu(), get_map_layer_menu());
    kiv_set_env("KIV_FONT_PATH", nullptr);
    kiv_set_env("KIV_GIS_CACHE_PATH", nullptr);
}

TEST(addin_lib, coordinates_are_degrees_and_minutes_with_the_hemisphere_letter) {
    struct coord {
        double lat, lon;
        const char* text;
    } coords[] = {
        {53.9005, 27.5, "N 53' 54.0300, E 027' 30.0000"},
        {-53.5, -27.25, "S 53' 30.0000, W 027' 15.0000"},
        {0, 0, "N 00' 0.0000, E 000' 0.0000"},
        {-0.5, 179.75, "S 00' 30.0000, E 179' 45.0000"},
        {90, -180, "N 90' 0.0000, W 180' 0.0000"},
        {91, 0, ""},
        {0, -180.01, ""},
    };
    for (const coord& c : coords)
        EXPECT_EQ(get_fmt_coord(c.lat, c.lon).utf8_string(), c.text) << c.lat << " " << c.lon;
}

TEST(addin_lib, scales_numbers_and_intervals_read_as_the_user_expects) {
    EXPECT_EQ(get_fmt_scale(100000), "1.0 km");
    EXPECT_EQ(get_fmt_scale(50000), "500 m");
    EXPECT_EQ(get_fmt_scale(1000), "10 m");
    EXPECT_EQ(get_fmt_scale(50000000), "500.0 km");
    EXPECT_EQ(get_fmt_float(3.14159, 2), "3,14");
    EXPECT_EQ(get_fmt_float(-2.5, 0), "-2");
    EXPECT_EQ(get_fmt_float(1.0, 3), "1,000");
    EXPECT_EQ(get_fmt_interval(3725), "01:02:05");
    EXPECT_EQ(get_fmt_interval(2 * 86400 + 61), "2 day, 00:01:01");
    time_t t = 1700000000;
    struct tm local;
    localtime_r(&t, &local);
    char expected[64];
    strftime(expected, sizeof expected, "%d.%m.%y %H:%M:%S", &local);
    EXPECT_EQ(get_fmt_time(t), expected);
}

TEST(addin_lib, the_nearest_point_of_a_segment_is_the_foot_or_the_nearer_end) {
    struct near {
        double lat1, lon1, lat2, lon2, lat, lon;
        double distance, n_lat, n_lon;
    } cases[] = {
        {0, 0, 0, 10, 3, 5, 3, 0, 5},            // along a parallel: the foot
        {0, 0, 10, 0, 5, 4, 4, 5, 0},            // along a meridian
        {0, 0, 10, 10, 0, 10, std::sqrt(50.0), 5, 5},  // diagonal
        {0, 0, 0, 10, 3, 12, std::sqrt(13.0), 0, 10},  // beyond the second end
        {0, 0, 0, 10, -4, -3, 5, 0, 0},          // beyond the first end
        {2, 2, 2, 2, 5, 6, 5, 2, 2},             // a point segment
    };
    for (const near& c : cases) {
        kiv::geo_point nearest{-1, -1};
        double d = kiv_distance_to_line2(c.lat1, c.lon1, c.lat2, c.lon2, c.lat, c.lon, &nearest);
        EXPECT_NEAR(d, c.distance, 1e-12) << c.lat << " " << c.lon;
        EXPECT_NEAR(nearest.lat, c.n_lat, 1e-12);
        EXPECT_NEAR(nearest.lon, c.n_lon, 1e-12);
    }
    EXPECT_NEAR(kiv_distance_to_line2(0, 0, 0, 10, 3, 5, nullptr), 3, 1e-12);
    EXPECT_TRUE(is_valid_coords(-90, 180));
    EXPECT_FALSE(is_valid_coords(-90.0001, 0));
    EXPECT_EQ(pt_in_rect(10, 0, 0, 10, 5, 5), 1);
    EXPECT_EQ(pt_in_rect(10, 0, 0, 10, 10, 10), 1);
    EXPECT_EQ(pt_in_rect(10, 0, 0, 10, 11, 5), 0);
    EXPECT_EQ(pt_in_rect(0, 0, 10, 10, 5, 5), 0);  // corners swapped: empty
}

TEST(addin_lib, rgba2rgb_drops_alpha_and_refuses_sizes_beyond_the_picture) {
    const unsigned char rgba[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    unsigned char* rgb = rgba2rgb(2, 2, rgba, sizeof rgba);
    ASSERT_NE(rgb, nullptr);
    const unsigned char expected[] = {1, 2, 3, 5, 6, 7, 9, 10, 11, 13, 14, 15};
    EXPECT_EQ(std::memcmp(rgb, expected, sizeof expected), 0);
    std::free(rgb);
    // A short buffer fills what it has; the rest stays black.
    rgb = rgba2rgb(2, 2, rgba, 6);
    ASSERT_NE(rgb, nullptr);
    const unsigned char partial[] = {1, 2, 3, 5, 6, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(rgb, partial, sizeof partial), 0);
    std::free(rgb);
    EXPECT_EQ(rgba2rgb(2, 2, rgba, 17), nullptr);
    EXPECT_EQ(rgba2rgb(1, 1, rgba, 16), nullptr);
    EXPECT_EQ(rgba2rgb(0, 2, rgba, 16), nullptr);
    EXPECT_EQ(rgba2rgb(2, 0, rgba, 16), nullptr);
    EXPECT_EQ(rgba2rgb(2, 2, nullptr, 16), nullptr);
    EXPECT_EQ(rgba2rgb(2, 2, rgba, 0), nullptr);
}

TEST(addin_lib, registry_lists_split_at_semicolons_and_line_ends) {
    kiv_test::temp_dir dir;
    std::string file = dir.file("settings.ini");
    wxFileConfig* config = new wxFileConfig("kiv", "", wxString::FromUTF8(file.c_str()), "", wxCONFIG_USE_LOCAL_FILE);
    wxConfigBase* old = wxConfigBase::Set(config);
    config->Write("numbers", "10;x;20");
    config->Write("names", "a;;b\nc\r");
    wxArrayLong numbers;
    EXPECT_TRUE(get_reg_long_values("numbers", numbers));
    ASSERT_EQ(numbers.GetCount(), 2u);
    EXPECT_EQ(numbers[0], 10);
    EXPECT_EQ(numbers[1], 20);
    wxArrayString names;
    EXPECT_TRUE(get_reg_str_values("names", names));
    ASSERT_EQ(names.GetCount(), 3u);
    EXPECT_EQ(names[2], "c");
    EXPECT_FALSE(get_reg_str_values("missing", names));
    EXPECT_TRUE(names.IsEmpty());
    config->Write("letters", "x;y");
    EXPECT_FALSE(get_reg_long_values("letters", numbers));
    delete wxConfigBase::Set(old);
}

unsigned pixel_of(kiv::i_image* image, unsigned x, unsigned y) {
    const unsigned char* p = static_cast<const unsigned char*>(image->get_data()) + (y * image->get_width() + x) * 4;
    return unsigned(p[0]) | unsigned(p[1]) << 8 | unsigned(p[2]) << 16 | unsigned(p[3]) << 24;
}

TEST(addin_lib, markers_are_drawn_on_transparent_squares) {
    gui_session gui;
    load_addin_libraries(gui.core.root.path());
    EXPECT_EQ(draw_circle(0, 0xFF), nullptr);
    EXPECT_EQ(draw_arrow(0, 0xFF), nullptr);
    auto_ptr_t<kiv::i_image> disc(draw_circle(10, 0x0000FF));  // red, opaque
    ASSERT_TRUE(disc);
    EXPECT_EQ(disc->get_width(), 20u);
    EXPECT_EQ(pixel_of(disc, 10, 10), 0xFF0000FFu);
    EXPECT_EQ(pixel_of(disc, 0, 0), 0u);
    EXPECT_EQ(pixel_of(disc, 19, 19), 0u);
    auto_ptr_t<kiv::i_image> see_through(draw_circle_with_gradient(4, 0x8000FF00));
    ASSERT_TRUE(see_through);
    EXPECT_EQ(pixel_of(see_through, 4, 4) >> 24, 0x80u);
    auto_ptr_t<kiv::i_image> arrow(draw_arrow(40, 0xFF0000));  // blue
    ASSERT_TRUE(arrow);
    EXPECT_EQ(pixel_of(arrow, 20, 15), 0xFFFF0000u);  // inside the head
    EXPECT_EQ(pixel_of(arrow, 14, 22), 0xFFFF0000u);  // its left wing
    EXPECT_EQ(pixel_of(arrow, 20, 28), 0u);           // the notch between the wings
    EXPECT_EQ(pixel_of(arrow, 20, 38), 0u);
    EXPECT_EQ(pixel_of(arrow, 2, 2), 0u);

    // Through the toolkit and back, pixel for pixel.
    wxImage* wx = get_wx_image(disc);
    ASSERT_NE(wx, nullptr);
    EXPECT_EQ(wx->GetWidth(), 20);
    EXPECT_EQ(wx->GetRed(10, 10), 255);
    auto_ptr_t<kiv::i_image> back(get_image_from_wx(wx));
    delete wx;
    ASSERT_TRUE(back);
    EXPECT_EQ(std::memcmp(back->get_data(), disc->get_data(), disc->get_data_size()), 0);
    EXPECT_EQ(get_wx_image(nullptr), nullptr);
    EXPECT_EQ(get_image_from_wx(nullptr), nullptr);
    EXPECT_EQ(get_image_from_xpm(nullptr), nullptr);
    static const char* const dot[] = {"2 1 2 1", ". c #FF0000", "# c #0000FF", ".#"};
    auto_ptr_t<kiv::i_image> from_xpm(get_image_from_xpm(dot));
    ASSERT_TRUE(from_xpm);
    EXPECT_EQ(pixel_of(from_xpm, 0, 0) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(pixel_of(from_xpm, 1, 0) & 0xFFFFFF, 0xFF0000u);
    kiv_set_env("KIV_FONT_PATH", nullptr);
    kiv_set_env("KIV_GIS_CACHE_PATH", nullptr);
}

// A marker's pixel is the colour itself (bytes from the lowest: red,
// green, blue, alpha), inside the shape at the colour's alpha and on its
// anti-aliased rim at less, never darkened by its own alpha; laid over
// an opaque picture it mixes with it by that alpha.
TEST(addin_lib, marker_pixels_hold_the_colour_itself_and_mix_over_an_opaque_picture) {
    gui_session gui;
    load_addin_libraries(gui.core.root.path());
    struct probe {
        const char* what;
        kiv::i_image* (*draw)(unsigned, unsigned);
        unsigned size, colour;
        unsigned x, y;
        int alpha;  // -1: on the rim, between 1 and 254
    } probes[] = {
        {"opaque disc", draw_circle, 10, 0x0000FF, 10, 10, 255},
        {"opaque disc's rim", draw_circle, 10, 0x0000FF, 10, 0, -1},
        {"translucent disc", draw_circle, 10, 0x80FF0000, 10, 10, 128},
        {"translucent disc's rim", draw_circle, 10, 0x80FF0000, 0, 10, -1},
        {"translucent gradient disc", draw_circle_with_gradient, 4, 0x8000FF00, 4, 4, 128},
        {"translucent arrow", draw_arrow, 40, 0x40336699, 20, 15, 64},
        {"opaque arrow", draw_arrow, 40, 0xFFFF0000, 14, 22, 255},
    };
    const unsigned char under[3] = {40, 200, 120};  // the opaque picture's colour
    for (const probe& p : probes) {
        SCOPED_TRACE(p.what);
        auto_ptr_t<kiv::i_image> marker(p.draw(p.size, p.colour));
        ASSERT_TRUE(marker);
        unsigned px = pixel_of(marker, p.x, p.y);
        EXPECT_EQ(px & 0xFFFFFF, p.colour & 0xFFFFFF);
        int alpha = int(px >> 24);
        if (p.alpha < 0) {
            EXPECT_GT(alpha, 0);
            EXPECT_LT(alpha, 255);
        } else {
            EXPECT_EQ(alpha, p.alpha);
        }
        auto_ptr_t<kiv::i_image> picture(kiv_image_create(p.size * 2, p.size * 2, 0xFF000000u | under[2] << 16 |
                                                                                      under[1] << 8 | under[0]));
        ASSERT_TRUE(picture);
        ASSERT_TRUE(picture->blend_image(marker, 0, 0, 255));
        unsigned mixed = pixel_of(picture, p.x, p.y);
        EXPECT_EQ(mixed >> 24, 255u);
        for (int c = 0; c < 3; ++c) {
            int colour = int(p.colour >> (8 * c) & 0xFF), was = under[c];
            EXPECT_NEAR(int(mixed >> (8 * c) & 0xFF), was + (colour - was) * alpha / 255, 2) << "channel " << c;
        }
    }
    kiv_set_env("KIV_FONT_PATH", nullptr);
    kiv_set_env("KIV_GIS_CACHE_PATH", nullptr);
}

TEST(addin_lib, panes_are_shown_and_hidden_by_name) {
    addin_session s(nullptr, false);
    wxWindow* side = new wxWindow(s.frame, wxID_ANY);
    wxAuiManager* manager = s.gui.frame_service->get_frame_manager();
    manager->AddPane(side, wxAuiPaneInfo().Name("side").Left());
    manager->Update();
    EXPECT_TRUE(is_shown_panel("side"));
    show_panel("side", false, true);
    EXPECT_FALSE(is_shown_panel("side"));
    EXPECT_FALSE(manager->GetPane("side").IsShown());
    show_panel("side", true, false);
    EXPECT_TRUE(is_shown_panel("side"));
    ASSERT_NE(get_panel("side"), nullptr);
    EXPECT_TRUE(get_panel("side")->IsOk());
    EXPECT_FALSE(get_panel("nothing")->IsOk());
    EXPECT_FALSE(is_shown_panel("nothing"));
    show_panel("nothing", true, true);  // nothing happens
    EXPECT_EQ(get_panel(nullptr), nullptr);
    manager->DetachPane(side);
    side->Destroy();
}

}  // namespace
