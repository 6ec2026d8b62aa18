// geozone_mode_test.cpp --
//
//     The geozone editor on the drawing test driver: double clicks (as
//     GTK delivers them) append, insert on a segment and the closing
//     segment, remove with Ctrl; the circle refuses a second vertex; a
//     drag moves a vertex with one change event; editing off swallows the
//     mouse; incoming events set points, type and editing; the overlay's
//     colours by pixel probes.

#include "addin_session.h"

#include "../gis/gis_fakes.h"

#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/gui_addin/geozone_map_mode.h>

#include <gtest/gtest.h>

#include <wx/statusbr.h>

#include <string>
#include <vector>

using namespace kiv_gui_test;
using kiv::geo_point;

namespace {

const double lat0 = 53.9, lon0 = 27.56;

// Counts the overlay drawings and opens the protected parts to the test.
class probed_mode : public kiv::geozone_map_mode {
public:
    void draw_agg_after(kiv::i_image* image) override {
        ++draws;
        geozone_map_mode::draw_agg_after(image);
    }
    using geozone_map_mode::insert_geozone_point;
    using geozone_map_mode::update_geozone_point;
    int draws = 0;
};

// What the mode reported.
struct report {
    std::string event;
    kiv::geozone_point* point;  // borrowed: the zone or the test keeps it
    int index;
};

class listener : public wxEvtHandler {
public:
    listener() {
        kiv_install_gui_handler(0, "AVL_EVT_MAP_MODE_ADD_GEOZONE_POINT", kiv_gui_event_handler(listener::on_add), this);
        kiv_install_gui_handler(0, "AVL_EVT_MAP_MODE_INSERT_GEOZONE_POINT", kiv_gui_event_handler(listener::on_insert),
                                this);
        kiv_install_gui_handler(0, "AVL_EVT_MAP_MODE_REMOVE_GEOZONE_POINT", kiv_gui_event_handler(listener::on_remove),
                                this);
        kiv_install_gui_handler(0, "AVL_EVT_MAP_MODE_CHANGE_GEOZONE_POINT", kiv_gui_event_handler(listener::on_change),
                                this);
    }
    ~listener() override {
        kiv_uninstall_gui_handler(0, "AVL_EVT_MAP_MODE_ADD_GEOZONE_POINT", kiv_gui_event_handler(listener::on_add),
                                  this);
        kiv_uninstall_gui_handler(0, "AVL_EVT_MAP_MODE_INSERT_GEOZONE_POINT",
                                  kiv_gui_event_handler(listener::on_insert), this);
        kiv_uninstall_gui_handler(0, "AVL_EVT_MAP_MODE_REMOVE_GEOZONE_POINT",
                                  kiv_gui_event_handler(listener::on_remove), this);
        kiv_uninstall_gui_handler(0, "AVL_EVT_MAP_MODE_CHANGE_GEOZONE_POINT",
                                  kiv_gui_event_handler(listener::on_change), this);
        for (auto& r : seen)
            r.point->release();
    }
    void on_add(kiv::i_gui_event& e) { record("add", e); }
    void on_insert(kiv::i_gui_event& e) { record("insert", e); }
    void on_remove(kiv::i_gui_event& e) { record("remove", e); }
    void on_change(kiv::i_gui_event& e) { record("change", e); }
    void record(const char* name, kiv::i_gui_event& e) {
        e.Skip();
        auto_ptr_t<kiv::i_object> object(e.get_event_object());
        kiv::geozone_point* p = kiv_cast_geozone_point(object);
        ASSERT_NE(p, nullptr);
        p->addref();
        seen.push_back({name, p, p->index});
    }
    std::vector<report> seen;
};

void fire(const char* name, kiv::i_object* payload) {
    kiv::gui_event event(name, 0, payload);
    kiv_fire_gui_event(&event, true);
}

void fire_text(const char* name, const char* value) {
    auto_ptr_t<kiv::string> text(new kiv::string(value));
    text->addref();
    fire(name, text.get());
}

class geozone_mode_test : public map_mode_test<probed_mode> {
protected:
    geozone_mode_test() : map_mode_test(new probed_mode, "MAP_MODE_GEOZONE") {
        show(lat0, lon0, 100000);
        fire_text("AVL_EVT_MAP_MODE_ENABLE_EDIT_GEOZONE", "1");
    }
    void mouse(wxEventType type, wxPoint at, bool left_down = false) {
        wxMouseEvent event(type);
        event.SetEventObject(wnd());
        event.SetPosition(at);
        event.m_leftDown = left_down || type == wxEVT_LEFT_DOWN || type == wxEVT_LEFT_DCLICK;
        wnd()->GetEventHandler()->ProcessEvent(event);
    }
    // As GTK delivers a double click.
    void double_click(wxPoint at) {
        mouse(wxEVT_LEFT_DOWN, at);
        mouse(wxEVT_LEFT_UP, at);
        mouse(wxEVT_LEFT_DOWN, at);
        mouse(wxEVT_LEFT_DCLICK, at);
        mouse(wxEVT_LEFT_UP, at);
        pump();
    }
    geo_point location_at(wxPoint at) {
        auto_ptr_t<kiv::i_gis_viewport> vp(s.map->get_viewport());
        geo_point g{0, 0};
        EXPECT_TRUE(vp && vp->dp_to_lc(at.x, at.y, g));
        return g;
    }
    // The vertex's pixel.
    wxPoint pixel_of(size_t i) {
        auto_ptr_t<kiv::i_gis_viewport> vp(s.map->get_viewport());
        kiv::view_point p{0, 0};
        EXPECT_TRUE(vp && vp->lc_to_dp(mode->get_zone()[i]->latitude, mode->get_zone()[i]->longitude, p));
        return wxPoint(p.x, p.y);
    }
    std::vector<std::string> events() {
        std::vector<std::string> out;
        for (auto& r : heard.seen)
            out.push_back(r.event);
        return out;
    }

    listener heard;
};

using names = std::vector<std::string>;

TEST_F(geozone_mode_test, double_clicks_append_insert_and_remove_with_ctrl) {
    ASSERT_TRUE(mode->get_edit());
    double_click(wxPoint(100, 100));
    double_click(wxPoint(300, 100));
    double_click(wxPoint(300, 300));
    double_click(wxPoint(100, 300));
    ASSERT_EQ(mode->get_zone().size(), 4u);
    EXPECT_EQ(events(), (names{"add", "add", "add", "add"}));
    geo_point first = location_at(wxPoint(100, 100));
    EXPECT_DOUBLE_EQ(mode->get_zone()[0]->latitude, first.lat);
    EXPECT_EQ(heard.seen[0].index, -1);

    // 3 pixels off the middle of the segment 1-2: inserted at 2.
    double_click(wxPoint(200, 103));
    ASSERT_EQ(mode->get_zone().size(), 5u);
    EXPECT_EQ(heard.seen.back().event, "insert");
    EXPECT_EQ(heard.seen.back().index, 1);
    EXPECT_EQ(mode->get_zone()[1], heard.seen.back().point);
    // 5 pixels off the closing segment (from the last vertex back to the
    // first): appended after the last.
    double_click(wxPoint(105, 200));
    ASSERT_EQ(mode->get_zone().size(), 6u);
    EXPECT_EQ(heard.seen.back().event, "insert");
    EXPECT_EQ(heard.seen.back().index, 5);
    EXPECT_EQ(mode->get_zone()[5], heard.seen.back().point);

    // A double click on a vertex without Ctrl does nothing, with Ctrl it
    // removes it.
    size_t before = heard.seen.size();
    double_click(pixel_of(2));
    pump();
    EXPECT_EQ(heard.seen.size(), before);
    EXPECT_EQ(mode->get_zone().size(), 6u);
    kiv::geozone_point* third = mode->get_zone()[2];
    {
        held_ctrl ctrl;
        pump_until([] { return wxGetKeyState(WXK_CONTROL); });
        double_click(pixel_of(2));
    }
    pump_until([] { return !wxGetKeyState(WXK_CONTROL); });
    ASSERT_EQ(mode->get_zone().size(), 5u);
    EXPECT_EQ(heard.seen.back().event, "remove");
    EXPECT_EQ(heard.seen.back().point, third);
    // An index above the vertex count is refused.
    EXPECT_FALSE(mode->insert_geozone_point(6, lat0, lon0));
    EXPECT_FALSE(mode->insert_geozone_point(-1, lat0, lon0));
    EXPECT_TRUE(mode->insert_geozone_point(5, lat0, lon0));
    // An update moves the vertex to the position its new place name is for.
    EXPECT_FALSE(mode->update_geozone_point(6, lat0, lon0));
    EXPECT_TRUE(mode->update_geozone_point(5, lat0 + 0.01, lon0 - 0.01));
    pump_until([this] { return heard.seen.back().event == "change"; });
    EXPECT_DOUBLE_EQ(mode->get_zone()[5]->latitude, lat0 + 0.01);
    EXPECT_DOUBLE_EQ(mode->get_zone()[5]->longitude, lon0 - 0.01);
}

TEST_F(geozone_mode_test, a_circle_takes_one_vertex) {
    fire_text("AVL_EVT_MAP_MODE_SET_GEOZONE_TYPE", "3");
    EXPECT_EQ(mode->get_type(), 3);
    double_click(wxPoint(100, 100));
    double_click(wxPoint(300, 200));
    EXPECT_EQ(mode->get_zone().size(), 1u);
    EXPECT_EQ(events(), (names{"add"}));
}

TEST_F(geozone_mode_test, a_drag_moves_a_vertex_with_one_change_event_and_editing_off_swallows_the_mouse) {
    double_click(wxPoint(100, 100));
    double_click(wxPoint(300, 100));
    geo_point centre{0, 0};
    ASSERT_TRUE(s.map->get_center(centre));
    mouse(wxEVT_LEFT_DOWN, wxPoint(300, 100));
    mouse(wxEVT_MOTION, wxPoint(320, 150), true);
    mouse(wxEVT_MOTION, wxPoint(340, 200), true);
    mouse(wxEVT_LEFT_UP, wxPoint(340, 200));
    pump();
    EXPECT_EQ(events(), (names{"add", "add", "change"}));
    EXPECT_EQ(heard.seen.back().index, 1);
    geo_point to = location_at(wxPoint(340, 200));
    EXPECT_DOUBLE_EQ(mode->get_zone()[1]->latitude, to.lat);
    EXPECT_DOUBLE_EQ(mode->get_zone()[1]->longitude, to.lon);
    geo_point after{0, 0};
    ASSERT_TRUE(s.map->get_center(after));
    EXPECT_EQ(after.lat, centre.lat);  // moving a vertex does not pan

    // A lost capture drops a picked-up vertex without an event.
    mouse(wxEVT_LEFT_DOWN, wxPoint(340, 200));
    mouse(wxEVT_MOTION, wxPoint(360, 220), true);
    mode->on_capture_lost();
    mouse(wxEVT_LEFT_UP, wxPoint(360, 220));
    pump();
    EXPECT_EQ(heard.seen.size(), 3u);

    fire_text("AVL_EVT_MAP_MODE_ENABLE_EDIT_GEOZONE", "0");
    EXPECT_FALSE(mode->get_edit());
    EXPECT_FALSE(mode->get_enable());
    mouse(wxEVT_LEFT_DOWN, wxPoint(200, 250));
    mouse(wxEVT_MOTION, wxPoint(260, 300), true);
    mouse(wxEVT_LEFT_UP, wxPoint(260, 300));
    pump();
    ASSERT_TRUE(s.map->get_center(after));
    EXPECT_EQ(after.lat, centre.lat);
    EXPECT_EQ(after.lon, centre.lon);
    EXPECT_EQ(mode->get_zone().size(), 2u);
    EXPECT_EQ(heard.seen.size(), 3u);
}

TEST_F(geozone_mode_test, incoming_events_set_points_and_type_and_redraw_only_on_change) {
    pump();
    int draws = mode->draws;
    fire_text("AVL_EVT_MAP_MODE_SET_GEOZONE_TYPE", "1");  // the current type
    pump();
    EXPECT_EQ(mode->draws, draws);
    fire_text("AVL_EVT_MAP_MODE_SET_GEOZONE_TYPE", "2");
    pump();
    EXPECT_GT(mode->draws, draws);

    // Points far apart: the view fits them.
    auto_ptr_t<kiv::object_col> col(new kiv::object_col);
    col->addref();
    for (auto ll : {std::pair<double, double>{53.0, 27.0}, {54.0, 28.0}, {53.5, 29.0}}) {
        auto_ptr_t<kiv::geozone_point> p(new kiv::geozone_point);
        p->addref();
        p->latitude = ll.first;
        p->longitude = ll.second;
        col->add_item(p.get(), false);
    }
    unsigned scale = s.map->get_scale();
    fire("AVL_EVT_MAP_MODE_SET_GEOZONE_POINTS", col.get());
    EXPECT_EQ(mode->get_zone().size(), 3u);
    EXPECT_NE(s.map->get_scale(), scale);
    geo_point c{0, 0};
    ASSERT_TRUE(s.map->get_center(c));
    EXPECT_NEAR(c.lat, 53.5, 0.5);
    EXPECT_NEAR(c.lon, 28.0, 0.5);

    // Points without a valid place leave the view where it is.
    auto_ptr_t<kiv::object_col> bad(new kiv::object_col);
    bad->addref();
    auto_ptr_t<kiv::geozone_point> nowhere(new kiv::geozone_point);
    nowhere->addref();
    nowhere->latitude = 200;
    bad->add_item(nowhere.get(), false);
    scale = s.map->get_scale();
    fire("AVL_EVT_MAP_MODE_SET_GEOZONE_POINTS", bad.get());
    EXPECT_EQ(s.map->get_scale(), scale);
    geo_point still{0, 0};
    ASSERT_TRUE(s.map->get_center(still));
    EXPECT_EQ(still.lat, c.lat);
}

TEST_F(geozone_mode_test, the_polygon_and_its_vertices_show_in_red) {
    auto_ptr_t<kiv::i_gis_viewport> vp(s.map->get_viewport());
    auto_ptr_t<kiv::i_image> map(kiv_test::draw_view(vp));
    ASSERT_TRUE(map);
    fire_text("AVL_EVT_MAP_MODE_SET_GEOZONE_TYPE", "2");
    double_click(wxPoint(100, 100));
    double_click(wxPoint(300, 100));
    double_click(wxPoint(300, 300));
    double_click(wxPoint(100, 300));
    wnd()->Refresh();
    pump();
    wxImage shot = capture(wnd());
    const unsigned char* px = static_cast<const unsigned char*>(map->get_data());
    auto map_at = [&](int x, int y, int k) { return int(px[(size_t(y) * map->get_width() + x) * 4 + k]); };
    // Inside: red at alpha 80 over the map.
    unsigned in = pixel(shot, 200, 200);
    EXPECT_NEAR(int(in >> 16), (map_at(200, 200, 0) * 175 + 255 * 80) / 255, 3);
    EXPECT_NEAR(int((in >> 8) & 0xFF), map_at(200, 200, 1) * 175 / 255, 3);
    // On an edge and on a vertex (beside its number): opaque red.
    EXPECT_EQ(pixel(shot, 200, 100), 0xFF0000u);
    EXPECT_EQ(pixel(shot, 96, 97), 0xFF0000u);
    // Outside: the map.
    unsigned out = pixel(shot, 50, 200);
    EXPECT_EQ(out, unsigned(map_at(50, 200, 0) << 16 | map_at(50, 200, 1) << 8 | map_at(50, 200, 2)));
}

}  // namespace

namespace {

TEST_F(geozone_mode_test, a_circle_shows_its_deviation_and_an_empty_spot_still_pans) {
    fire_text("AVL_EVT_MAP_MODE_SET_GEOZONE_TYPE", "3");
    fire_text("AVL_EVT_MAP_MODE_SET_GEOZONE_DEVIATION", "1000");  // about 23 pixels at 1:100000
    EXPECT_EQ(mode->get_deviation(), 1000);
    auto_ptr_t<kiv::i_gis_viewport> vp(s.map->get_viewport());
    auto_ptr_t<kiv::i_image> map(kiv_test::draw_view(vp));
    ASSERT_TRUE(map);
    double_click(wxPoint(200, 200));
    wnd()->Refresh();
    pump();
    wxImage shot = capture(wnd());
    const unsigned char* px = static_cast<const unsigned char*>(map->get_data());
    auto map_at = [&](int x, int y, int k) { return int(px[(size_t(y) * map->get_width() + x) * 4 + k]); };
    // Inside the deviation, outside the centre disc: red at alpha 127.
    unsigned ring = pixel(shot, 200 + 12, 200);
    EXPECT_NEAR(int(ring >> 16), (map_at(212, 200, 0) * 128 + 255 * 127) / 255, 3);
    EXPECT_NEAR(int(ring & 0xFF), map_at(212, 200, 2) * 128 / 255, 3);
    // The centre: both discs, 127 then 170.
    unsigned centre = pixel(shot, 200, 200);
    double under = map_at(200, 200, 1) * 128.0 / 255;
    EXPECT_NEAR(int((centre >> 8) & 0xFF), int(under * 85 / 255), 3);
    // Beyond the deviation the map shows.
    EXPECT_EQ(pixel(shot, 200 + 40, 200),
              unsigned(map_at(240, 200, 0) << 16 | map_at(240, 200, 1) << 8 | map_at(240, 200, 2)));

    // Dragging an empty spot pans as the move mode does, with the action
    // and the cursor's place shown all along.
    geo_point before{0, 0};
    ASSERT_TRUE(s.map->get_center(before));
    wxStatusBar* bar = s.frame->GetStatusBar();
    for (int field : {0, 1, 3})
        bar->SetStatusText("", field);
    mouse(wxEVT_LEFT_DOWN, wxPoint(300, 300));
    mouse(wxEVT_MOTION, wxPoint(350, 300), true);
    EXPECT_TRUE(mode->is_dragging());
    EXPECT_EQ(bar->GetStatusText(1), "Action: add point");
    EXPECT_EQ(bar->GetStatusText(0), "Location: Unknown");
    EXPECT_FALSE(bar->GetStatusText(3).empty());
    mouse(wxEVT_LEFT_UP, wxPoint(350, 300));
    geo_point after{0, 0};
    ASSERT_TRUE(s.map->get_center(after));
    EXPECT_LT(after.lon, before.lon);
    EXPECT_EQ(mode->get_zone().size(), 1u);
}

}  // namespace
