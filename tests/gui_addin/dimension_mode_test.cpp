// dimension_mode_test.cpp --
//
//     The measuring mode on the drawing test driver: the status readout
//     of the length so far plus the segment to the cursor, the right
//     button's reset, the rubber line after a release, the overlay's
//     colour by pixel probes, and the labels and areas it shows (a
//     concave outline measures its own area, not its hull's; one clicked
//     crosswise measures its hull), and all of them with a "." under a
//     decimal comma locale.

#include "addin_session.h"

#include "../gis/gis_fakes.h"

#include <kiv/gis/geodesic.h>
#include <kiv/gui_addin/addin_lib.h>
#include <kiv/gui_addin/dimension_map_mode.h>
#include <kiv_test/made_locale.h>

#include <gtest/gtest.h>

#include <wx/statusbr.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace kiv_gui_test;
using kiv::geo_point;

namespace {

const double lat0 = 53.9, lon0 = 27.56;

// The latitude `metres` south of `lat` along the meridian at `lon`.
double south_of(double lat, double lon, double metres) {
    double d = metres / kiv_calc_distance(lat, lon, lat + 1, lon);
    for (int i = 0; i < 3 && metres > 0; ++i)
        d *= metres / kiv_calc_distance(lat, lon, lat - d, lon);
    return lat - d;
}

// The longitude `metres` east of `lon` at latitude `lat`.
double east_of(double lat, double lon, double metres) {
    double d = metres / kiv_calc_distance(lat, lon, lat, lon + 1);
    for (int i = 0; i < 3 && metres > 0; ++i)
        d *= metres / kiv_calc_distance(lat, lon, lat, lon + d);
    return lon + d;
}

// An outline given in km south and east of the corner (lat0, lon0).
wxArrayRealPoint outline(std::initializer_list<std::pair<double, double>> km) {
    wxArrayRealPoint points;
    for (auto& p : km) {
        double lat = south_of(lat0, lon0, p.first * 1000);
        points.Add(wxRealPoint(lat, east_of(lat, lon0, p.second * 1000)));
    }
    return points;
}

TEST(dimension_area, outlines_measure_their_own_area) {
    struct area_case {
        const char* name;
        wxArrayRealPoint points;
        double km2;
    } cases[] = {
        {"no point", outline({}), 0},
        {"two points", outline({{0, 0}, {1, 0}}), 0},
        {"triangle", outline({{0, 0}, {1, 0}, {1, 1}}), 0.5},
        {"square", outline({{0, 0}, {1, 0}, {1, 1}, {0, 1}}), 1},
        {"square the other way round", outline({{0, 0}, {0, 1}, {1, 1}, {1, 0}}), 1},
        // Its hull would be 3.5.
        {"concave L", outline({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}}), 3},
        {"large rectangle", outline({{0, 0}, {100, 0}, {100, 100}, {0, 100}}), 10000},
        // Crosswise outlines enclose nothing of their own: their hull.
        {"square clicked crosswise", outline({{0, 0}, {1, 1}, {1, 0}, {0, 1}}), 1},
        {"crosswise with a point inside", outline({{0, 0}, {2, 2}, {2, 0}, {0, 2}, {1, 1}}), 4},
    };
    for (const area_case& c : cases)
        EXPECT_NEAR(get_polygon_area(c.points), c.km2, c.km2 * 1e-5 + 1e-6) << c.name;
    EXPECT_EQ(kiv::dimension_map_mode::format_area(get_polygon_area(cases[3].points)), "1.000 sq. km");
}

TEST(dimension_area, segment_labels_switch_to_kilometres_at_one_kilometre) {
    EXPECT_EQ(kiv::dimension_map_mode::format_length(999), "999 m");
    EXPECT_EQ(kiv::dimension_map_mode::format_length(1000), "1.000 km");
    EXPECT_EQ(kiv::dimension_map_mode::format_length(12345.6), "12.346 km");
    // A label of a real segment 999 m long.
    wxArrayRealPoint p = outline({{0, 0}, {0.999, 0}});
    EXPECT_EQ(kiv::dimension_map_mode::format_length(kiv_calc_distance(p[0].x, p[0].y, p[1].x, p[1].y)), "999 m");
}

class dimension_mode_test : public map_mode_test<kiv::dimension_map_mode> {
protected:
    dimension_mode_test() : map_mode_test(new kiv::dimension_map_mode, "MAP_MODE_DIMENSION") {}
    void mouse(wxEventType type, int x, int y) {
        wxMouseEvent event(type);
        event.SetEventObject(wnd());
        event.SetPosition(wxPoint(x, y));
        event.m_leftDown = type == wxEVT_LEFT_DOWN;
        wnd()->GetEventHandler()->ProcessEvent(event);
    }
    void click_at(int x, int y) {
        mouse(wxEVT_LEFT_DOWN, x, y);
        mouse(wxEVT_LEFT_UP, x, y);
    }
    geo_point location_at(int x, int y) {
        auto_ptr_t<kiv::i_gis_viewport> vp(s.map->get_viewport());
        geo_point at{0, 0};
        EXPECT_TRUE(vp && vp->dp_to_lc(x, y, at));
        return at;
    }
    wxString status() { return s.frame->GetStatusBar()->GetStatusText(3); }
    // Returns: a window place `metres` away from the place at `from`, to
    //     the half metre the readout rounds to; (-1, -1) when none is near.
    wxPoint at_distance(wxPoint from, double metres) {
        geo_point start = location_at(from.x, from.y);
        for (int dy = -150; dy <= 150; ++dy)
            for (int dx = 0; dx <= 300; ++dx) {
                geo_point p = location_at(from.x + dx, from.y + dy);
                if (std::fabs(kiv_calc_distance(start.lat, start.lon, p.lat, p.lon) - metres) < 0.4)
                    return wxPoint(from.x + dx, from.y + dy);
            }
        return wxPoint(-1, -1);
    }
};

TEST_F(dimension_mode_test, one_point_reads_the_distance_to_the_cursor_and_the_right_button_clears) {
    show(lat0, lon0, 10000);
    click_at(100, 150);
    ASSERT_EQ(mode->get_points().GetCount(), 1u);
    EXPECT_EQ(mode->get_total(), 0);
    wxPoint at = at_distance(wxPoint(100, 150), 500);
    ASSERT_GE(at.x, 0) << "the window is too small for 500 m at 1:10000";
    mouse(wxEVT_MOTION, at.x, at.y);
    EXPECT_EQ(status(), "Distance: 0.000+0.500=0.500 km");

    geo_point centre{0, 0};
    ASSERT_TRUE(s.map->get_center(centre));
    mouse(wxEVT_RIGHT_DOWN, 300, 100);
    EXPECT_EQ(mode->get_points().GetCount(), 0u);
    EXPECT_EQ(mode->get_total(), 0);
    EXPECT_EQ(status(), "");
    geo_point after{0, 0};
    ASSERT_TRUE(s.map->get_center(after));
    EXPECT_EQ(after.lat, centre.lat);
    EXPECT_EQ(after.lon, centre.lon);
    // Without points a motion leaves the field alone.
    mouse(wxEVT_MOTION, at.x + 5, at.y);
    EXPECT_EQ(status(), "");
}

TEST_F(dimension_mode_test, readouts_and_labels_keep_their_point_under_a_decimal_comma_locale) {
    // A host's GUI toolkit may switch LC_NUMERIC after start; the map view
    // shows every number with a ".", as its scale bar does.
    kiv_test::scoped_locale german(LC_NUMERIC, "de_DE.UTF-8");
    ASSERT_EQ(german.why(), "");
    ASSERT_EQ(kiv_test::decimal_text(1.5), "1,5") << "the made locale writes a decimal comma";
    show(lat0, lon0, 10000);
    click_at(100, 150);
    wxPoint at = at_distance(wxPoint(100, 150), 500);
    ASSERT_GE(at.x, 0) << "the window is too small for 500 m at 1:10000";
    mouse(wxEVT_MOTION, at.x, at.y);
    struct shown {
        const char* what;
        wxString text;
        const char* expected;
    };
    const shown texts[] = {
        {"status readout", status(), "Distance: 0.000+0.500=0.500 km"},
        {"segment label", kiv::dimension_map_mode::format_length(12345.6), "12.346 km"},
        {"area label", kiv::dimension_map_mode::format_area(2.5), "2.500 sq. km"},
        {"scale bar", get_fmt_scale(100000), "1.0 km"},
    };
    for (const shown& t : texts)
        EXPECT_EQ(t.text, t.expected) << t.what;
}

TEST_F(dimension_mode_test, clicks_add_up_the_segments) {
    show(lat0, lon0, 100000);
    click_at(100, 100);
    click_at(200, 100);
    click_at(200, 200);
    ASSERT_EQ(mode->get_points().GetCount(), 3u);
    geo_point a = location_at(100, 100), b = location_at(200, 100), c = location_at(200, 200);
    double km = (kiv_calc_distance(a.lat, a.lon, b.lat, b.lon) + kiv_calc_distance(b.lat, b.lon, c.lat, c.lon)) / 1000;
    EXPECT_NEAR(mode->get_total(), km, 1e-9);
    EXPECT_NEAR(mode->get_points()[2].x, c.lat, 1e-12);
    EXPECT_NEAR(mode->get_points()[2].y, c.lon, 1e-12);
    // Ending the mode clears the points and the readout.
    s.map->activate_mode_by_name("MAP_MODE_MOVE");
    EXPECT_EQ(mode->get_points().GetCount(), 0u);
    EXPECT_EQ(status(), "");
}

TEST_F(dimension_mode_test, four_corners_clicked_crosswise_measure_the_square_they_span) {
    show(lat0, lon0, 100000);
    const wxPoint a(100, 100), b(300, 100), c(300, 300), d(100, 300);
    for (wxPoint at : {a, c, b, d})
        click_at(at.x, at.y);
    ASSERT_EQ(mode->get_points().GetCount(), 4u);
    wxArrayRealPoint in_order;
    for (wxPoint at : {a, b, c, d}) {
        geo_point g = location_at(at.x, at.y);
        in_order.Add(wxRealPoint(g.lat, g.lon));
    }
    double square = get_polygon_area(in_order);
    EXPECT_GT(square, 10);  // 200 pixels at 1:100000: several km a side
    EXPECT_NEAR(get_polygon_area(mode->get_points()), square, square * 1e-9);
}

// Whether a pure-red pixel lies on the segment between two places.
bool red_between(const wxImage& shot, wxPoint from, wxPoint to) {
    for (int i = 1; i < 40; ++i) {
        int x = from.x + (to.x - from.x) * i / 40, y = from.y + (to.y - from.y) * i / 40;
        for (int d = -1; d <= 1; ++d)
            if (pixel(shot, x, y + d) == 0xFF0000u || pixel(shot, x + d, y) == 0xFF0000u)
                return true;
    }
    return false;
}

TEST_F(dimension_mode_test, the_rubber_line_waits_for_a_motion_after_a_release_and_the_track_is_translucent_blue) {
    show(lat0, lon0, 100000);
    auto_ptr_t<kiv::i_gis_viewport> vp(s.map->get_viewport());
    auto_ptr_t<kiv::i_image> map(kiv_test::draw_view(vp));
    ASSERT_TRUE(map);
    click_at(200, 150);
    wnd()->Refresh();
    pump();
    wxImage shot = capture(wnd());
    EXPECT_FALSE(red_between(shot, wxPoint(200, 150), wxPoint(0, 0)));
    // The point's disc: blue at alpha 170 over the map, laid on once.
    const unsigned char* px = static_cast<const unsigned char*>(map->get_data());
    size_t i = (size_t(150) * map->get_width() + 200) * 4;
    unsigned got = pixel(shot, 200, 150);
    int expect[3] = {px[i] * 85 / 255, px[i + 1] * 85 / 255, px[i + 2] * 85 / 255 + 170};
    int have[3] = {int(got >> 16), int((got >> 8) & 0xFF), int(got & 0xFF)};
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(have[k], expect[k], 3) << k;
    // Outside the disc the map shows unchanged.
    size_t j = (size_t(150) * map->get_width() + 230) * 4;
    EXPECT_EQ(pixel(shot, 230, 150), (unsigned(px[j]) << 16) | (unsigned(px[j + 1]) << 8) | px[j + 2]);

    mouse(wxEVT_MOTION, 320, 150);
    pump();
    shot = capture(wnd());
    EXPECT_TRUE(red_between(shot, wxPoint(205, 150), wxPoint(320, 150)));
}

TEST_F(dimension_mode_test, segments_carry_label_boxes_and_three_points_an_area_box) {
    env_var fonts("KIV_FONT_PATH", "/usr/share/fonts/truetype/dejavu");
    show(lat0, lon0, 100000);
    click_at(100, 100);
    click_at(300, 100);
    pump();
    wxImage shot = capture(wnd());
    // The label box in the middle of the segment is whitish at alpha 204,
    // with black text in it.
    bool dark = false, light = false;
    for (int x = 185; x <= 215; ++x)
        for (int y = 96; y <= 104; ++y) {
            unsigned p = pixel(shot, x, y);
            dark = dark || ((p >> 16) < 60 && ((p >> 8) & 0xFF) < 60 && (p & 0xFF) < 60);
            light = light || ((p >> 16) > 200 && ((p >> 8) & 0xFF) > 200);
        }
    EXPECT_TRUE(dark);
    EXPECT_TRUE(light);
    click_at(300, 300);
    pump();
    shot = capture(wnd());
    // The area box centred on the bounds (200, 200): ochre at alpha 204
    // around the text.
    int ochre = 0;
    for (int x = 170; x <= 230; ++x) {
        unsigned p = pixel(shot, x, 200);
        ochre += int(p >> 16) > int(p & 0xFF) + 60 && int(p >> 16) > 150;
    }
    EXPECT_GT(ochre, 5);
    unsigned outside = pixel(shot, 200, 260);
    EXPECT_FALSE(int(outside >> 16) > int(outside & 0xFF) + 60 && int(outside >> 16) > 150) << std::hex << outside;
}

}  // namespace
