// map_view_test.cpp --
//
//     The map view on the drawing test driver, whose pictures depend only
//     on the viewport: the picture is fetched on paint and shown pixel for
//     pixel; the wheel steps through the scale table keeping the place
//     under the cursor; the move mode drags and pans with the keypad; the
//     zoom mode zooms by rubber band both ways; the marker and the scale
//     bar show; best view picks the table scale; modes switch with their
//     events and menu commands; map tags are gathered from the maps.

#include "addin_session.h"

#include "../gis/gis_fakes.h"

#include <kiv/core/string_impl.h>
#include <kiv/gis/geodesic.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/gui_addin/i_search_item.h>

#include <gtest/gtest.h>

#include <wx/menu.h>
#include <wx/statusbr.h>

#include <cmath>
#include <vector>

using namespace kiv_gui_test;
using kiv::geo_point;
using kiv::view_point;

namespace {

const double lat0 = 53.9, lon0 = 27.56;

class map_view_test : public ::testing::Test {
protected:
    map_view_test() : driver(kiv_test::make_drawing_driver("drawing", 1)), s(driver.get()) {}

    // Centres the view and waits for the picture of that view.
    void show(double lat, double lon, unsigned scale) {
        ASSERT_TRUE(s.map->set_center(lat, lon, scale));
        paint();
    }
    // Waits until the next picture has been rendered and painted.
    void paint() {
        int before = driver->renders.load();
        pump_until([&] { return driver->renders.load() > before; });
        pump();
    }
    wxWindow* wnd() { return s.map->get_map_wnd(); }
    wxSize size() { return wnd()->GetClientSize(); }
    void mouse(wxEventType type, int x, int y) {
        wxMouseEvent event(type);
        event.SetEventObject(wnd());
        event.SetPosition(wxPoint(x, y));
        event.m_leftDown = type == wxEVT_LEFT_DOWN || (type == wxEVT_MOTION && dragging);
        if (type == wxEVT_LEFT_DOWN)
            dragging = true;
        if (type == wxEVT_LEFT_UP)
            dragging = false;
        wnd()->GetEventHandler()->ProcessEvent(event);
    }
    void drag(wxPoint from, wxPoint to) {
        mouse(wxEVT_LEFT_DOWN, from.x, from.y);
        mouse(wxEVT_MOTION, to.x, to.y);
        mouse(wxEVT_LEFT_UP, to.x, to.y);
    }
    geo_point centre() {
        geo_point c{0, 0};
        EXPECT_TRUE(s.map->get_center(c));
        return c;
    }
    geo_point location_at(int x, int y) {
        auto_ptr_t<kiv::i_gis_viewport> vp(s.map->get_viewport());
        geo_point at{0, 0};
        EXPECT_TRUE(vp && vp->dp_to_lc(x, y, at));
        return at;
    }

    auto_ptr_t<kiv_test::drawing_driver> driver;
    addin_session s;
    bool dragging = false;
};

TEST_F(map_view_test, the_picture_is_fetched_on_paint_and_shown_pixel_for_pixel) {
    show(lat0, lon0, 100000);
    auto_ptr_t<kiv::i_gis_viewport> vp(s.map->get_viewport());
    ASSERT_TRUE(vp);
    view_point vs;
    ASSERT_TRUE(vp->get_viewport_size(vs));
    EXPECT_EQ(vs.x, size().x);
    EXPECT_EQ(vs.y, size().y);
    EXPECT_EQ(vp->get_scale(), 100000u);
    auto_ptr_t<kiv::i_image> expected(kiv_test::draw_view(vp));
    ASSERT_TRUE(expected);
    wxImage shot = capture(wnd());
    const unsigned char* px = static_cast<const unsigned char*>(expected->get_data());
    // Away from the scale bar at the bottom left.
    for (wxPoint at : {wxPoint(5, 5), wxPoint(size().x / 2, size().y / 3), wxPoint(size().x - 3, 10)}) {
        size_t i = (size_t(at.y) * expected->get_width() + at.x) * 4;
        unsigned rgb = (unsigned(px[i]) << 16) | (unsigned(px[i + 1]) << 8) | px[i + 2];
        EXPECT_EQ(pixel(shot, at.x, at.y), rgb) << at.x << "," << at.y;
    }
    // A repaint without a change renders nothing.
    int renders = driver->renders.load();
    wnd()->Refresh();
    pump();
    EXPECT_EQ(driver->renders.load(), renders);
}

TEST_F(map_view_test, the_wheel_keeps_the_place_under_the_cursor) {
    env_var mode("KIV_MAP_MOUSE_MODE", nullptr);
    show(lat0, lon0, 100000);
    mouse(wxEVT_MOTION, 300, 200);
    geo_point under = location_at(300, 200);
    send_wheel(wnd(), wxPoint(10, 10), 120);  // the last motion counts, not the event's place
    EXPECT_EQ(s.map->get_scale(), 50000u);
    EXPECT_EQ(s.map->get_scale_index(), 10);
    paint();
    auto_ptr_t<kiv::i_gis_viewport> vp(s.map->get_viewport());
    geo_point now{0, 0};
    ASSERT_TRUE(vp->dp_to_lc(300, 200, now));
    // Less than one pixel of the new scale in either direction.
    double px = 50000 * 2.8257 / 7.4385e8;
    EXPECT_LT(std::fabs(now.lon - under.lon), px);
    EXPECT_LT(std::fabs(now.lat - under.lat), px);

    // Two notches before a paint still zoom around the same place (each
    // step may lose up to a pixel of its own scale to truncation).
    send_wheel(wnd(), wxPoint(0, 0), 120);
    send_wheel(wnd(), wxPoint(0, 0), 120);
    EXPECT_EQ(s.map->get_scale(), 15000u);
    paint();
    vp.reset(s.map->get_viewport());
    ASSERT_TRUE(vp->dp_to_lc(300, 200, now));
    px = 15000 * 2.8257 / 7.4385e8;
    EXPECT_LT(std::fabs(now.lon - under.lon), 4 * px);
    EXPECT_LT(std::fabs(now.lat - under.lat), 4 * px);
}

TEST_F(map_view_test, the_mouse_mode_variable_centres_on_the_cursor_or_keeps_the_centre) {
    show(lat0, lon0, 100000);
    mouse(wxEVT_MOTION, 300, 200);
    geo_point under = location_at(300, 200);
    {
        env_var mode("KIV_MAP_MOUSE_MODE", "2");
        send_wheel(wnd(), wxPoint(300, 200), 120);
        EXPECT_EQ(s.map->get_scale(), 50000u);
        EXPECT_DOUBLE_EQ(centre().lat, under.lat);
        EXPECT_DOUBLE_EQ(centre().lon, under.lon);
    }
    {
        env_var mode("KIV_MAP_MOUSE_MODE", "1");
        geo_point before = centre();
        send_wheel(wnd(), wxPoint(300, 200), -120);
        EXPECT_EQ(s.map->get_scale(), 100000u);
        EXPECT_DOUBLE_EQ(centre().lat, before.lat);
        EXPECT_DOUBLE_EQ(centre().lon, before.lon);
    }
    {
        env_var mode("KIV_MAP_MOUSE_MODE", "7");  // no such mode: nothing at all
        send_wheel(wnd(), wxPoint(300, 200), -120);
        EXPECT_EQ(s.map->get_scale(), 100000u);
        EXPECT_EQ(s.map->get_scale_index(), 9);
    }
}

TEST_F(map_view_test, the_wheel_stops_at_both_ends_of_the_table_and_enters_it_from_outside) {
    struct step {
        unsigned from;
        int rotation;
        unsigned to;
        int index;
    } steps[] = {
        {1000, 120, 1000, 16},           // the last entry: no closer
        {50000000, -120, 50000000, 0},   // the first entry: no farther
        {12345, 120, 50000000, 0},       // outside the table: forward enters at the first
        {12345, -120, 12345, -1},        // backward does nothing
        {2000, 120, 1000, 16},
        {25000000, -120, 50000000, 0},
    };
    for (const step& st : steps) {
        show(lat0, lon0 + st.from * 1e-9, st.from);
        send_wheel(wnd(), wxPoint(100, 100), st.rotation);
        EXPECT_EQ(s.map->get_scale(), st.to) << st.from << " " << st.rotation;
        EXPECT_EQ(s.map->get_scale_index(), st.index) << st.from << " " << st.rotation;
    }
}

TEST_F(map_view_test, a_drag_moves_the_centre_by_the_dragged_pixels) {
    show(lat0, lon0, 100000);
    geo_point before = centre();
    drag(wxPoint(200, 200), wxPoint(300, 200));
    EXPECT_NEAR(centre().lon, before.lon - 0.0379875, 1e-6);
    EXPECT_NEAR(centre().lat, before.lat, 1e-12);
    EXPECT_FALSE(wnd()->HasCapture());
    paint();

    // A click without movement changes nothing.
    before = centre();
    drag(wxPoint(150, 150), wxPoint(150, 150));
    EXPECT_EQ(centre().lon, before.lon);
    EXPECT_EQ(centre().lat, before.lat);
}

TEST_F(map_view_test, a_drag_shifts_the_picture_without_the_scale_bar_and_a_lost_capture_drops_it) {
    show(lat0, lon0, 100000);
    int h = size().y;
    wxImage still = capture(wnd());
    EXPECT_EQ(pixel(still, 20, h - 25), 0xFF0000u);  // the scale bar
    mouse(wxEVT_LEFT_DOWN, 200, 200);
    mouse(wxEVT_MOTION, 240, 230);
    EXPECT_TRUE(s.move->is_dragging());
    wxImage shifted = capture(wnd());
    EXPECT_EQ(pixel(shifted, 140, 130), pixel(still, 100, 100));
    EXPECT_NE(pixel(shifted, 20, h - 25), 0xFF0000u);

    geo_point before = centre();
    wxMouseCaptureLostEvent lost(wnd()->GetId());
    lost.SetEventObject(wnd());
    wnd()->GetEventHandler()->ProcessEvent(lost);
    EXPECT_FALSE(s.move->is_dragging());
    mouse(wxEVT_LEFT_UP, 240, 230);
    EXPECT_EQ(centre().lon, before.lon);
    EXPECT_EQ(centre().lat, before.lat);
}

TEST_F(map_view_test, ending_a_mode_during_a_drag_drops_it_and_releases_the_mouse) {
    show(lat0, lon0, 100000);
    geo_point before = centre();
    mouse(wxEVT_LEFT_DOWN, 200, 200);
    mouse(wxEVT_MOTION, 260, 200);
    EXPECT_TRUE(wnd()->HasCapture());
    s.map->activate_mode_by_name("MAP_MODE_ZOOM");
    EXPECT_FALSE(wnd()->HasCapture());
    EXPECT_FALSE(s.move->is_dragging());
    mouse(wxEVT_LEFT_UP, 260, 200);  // now the zoom mode's: a click, nothing
    EXPECT_EQ(centre().lon, before.lon);
    EXPECT_EQ(s.map->get_scale(), 100000u);
}

TEST_F(map_view_test, the_keypad_pans_with_and_without_numlock_and_other_keys_do_nothing) {
    show(lat0, lon0, 100000);
    wxSize sz = size();
    int hw = sz.x / 2, hh = sz.y / 2;
    double px = 100000 * 2.8257 / 7.4385e8;
    struct key {
        int code;
        int dx, dy;  // quarter-window steps of the target pixel
    } keys[] = {
        {WXK_NUMPAD2, 0, 1},    {WXK_NUMPAD_DOWN, 0, 1}, {WXK_NUMPAD5, 0, 1}, {WXK_NUMPAD_BEGIN, 0, 1},
        {WXK_NUMPAD8, 0, -1},   {WXK_NUMPAD_UP, 0, -1},  {WXK_NUMPAD4, -1, 0}, {WXK_NUMPAD_LEFT, -1, 0},
        {WXK_NUMPAD6, 1, 0},    {WXK_NUMPAD_RIGHT, 1, 0}, {WXK_NUMPAD7, 0, 0}, {WXK_NUMPAD9, 0, 0},
        {WXK_NUMPAD1, 0, 0},    {WXK_NUMPAD3, 0, 0},     {WXK_LEFT, 0, 0},    {WXK_DOWN, 0, 0},
    };
    for (const key& k : keys) {
        geo_point before = centre();
        geo_point target = location_at(hw + k.dx * (hw / 2), hh + k.dy * (hh / 2));
        send_key(wnd(), k.code);
        geo_point after = centre();
        if (k.dx == 0 && k.dy == 0) {
            EXPECT_EQ(after.lat, before.lat) << k.code;
            EXPECT_EQ(after.lon, before.lon) << k.code;
            continue;
        }
        EXPECT_DOUBLE_EQ(after.lat, target.lat) << k.code;
        EXPECT_DOUBLE_EQ(after.lon, target.lon) << k.code;
        if (k.dy > 0) {
            EXPECT_LT(after.lat, before.lat) << k.code;  // south
        }
        if (k.dx > 0) {
            EXPECT_NEAR(after.lon - before.lon, (hw / 2) * px, px) << k.code;
        }
        paint();
    }
}

TEST_F(map_view_test, the_rubber_band_zooms_in_downwards_and_out_upwards) {
    show(lat0, lon0, 1000000);
    s.map->activate_mode_by_name("MAP_MODE_ZOOM");
    pump();
    // While dragged, the band is drawn translucent blue on the picture.
    mouse(wxEVT_LEFT_DOWN, 100, 100);
    mouse(wxEVT_MOTION, 160, 140);
    pump();
    wxImage banded = capture(wnd());
    auto_ptr_t<kiv::i_gis_viewport> vp(s.map->get_viewport());
    auto_ptr_t<kiv::i_image> plain(kiv_test::draw_view(vp));
    const unsigned char* p = static_cast<const unsigned char*>(plain->get_data());
    size_t i = (size_t(120) * plain->get_width() + 130) * 4;
    unsigned inside = pixel(banded, 130, 120);
    // Blue at alpha 48 over the picture: red and green drop, blue rises.
    EXPECT_NEAR(int(inside >> 16), p[i] * 207 / 255, 2);
    EXPECT_NEAR(int((inside >> 8) & 0xFF), p[i + 1] * 207 / 255, 2);
    geo_point a = location_at(100, 100), b = location_at(160, 140);
    mouse(wxEVT_LEFT_UP, 160, 140);
    EXPECT_LT(s.map->get_scale(), 1000000u);
    EXPECT_NEAR(centre().lat, (a.lat + b.lat) / 2, 1e-9);
    EXPECT_NEAR(centre().lon, (a.lon + b.lon) / 2, 1e-9);
    paint();

    unsigned in_scale = s.map->get_scale();
    drag(wxPoint(100, 250), wxPoint(300, 100));  // upwards: out
    EXPECT_GT(s.map->get_scale(), in_scale);
    paint();
    unsigned out_scale = s.map->get_scale();
    drag(wxPoint(200, 200), wxPoint(200, 200));  // a click: nothing
    EXPECT_EQ(s.map->get_scale(), out_scale);
}

class found_item : public kiv::object,
                   public kiv::i_typed_object_impl,
                   public kiv::i_named_object_impl,
                   public virtual kiv::i_search_item {
public:
    found_item(double lat, double lon, int type) : lat_(lat), lon_(lon), type_(type) { set_name("found"); }
    bool get_interface(const char* name, void** out) override {
        if (kiv::answer_interface(name, "i_search_item", static_cast<kiv::i_search_item*>(this), out))
            return true;
        return object::get_interface(name, out);
    }
    int get_type() override { return type_; }
    double get_lat() override { return lat_; }
    double get_lon() override { return lon_; }

private:
    double lat_, lon_;
    int type_;
};

void fire_found(kiv::i_object* item) {
    kiv::gui_event event("AVL_EVT_FEATURE_FOUND", 0, item);
    kiv_fire_gui_event(&event, false);
}

TEST_F(map_view_test, a_found_place_is_centred_at_its_kind_of_scale_and_marked) {
    struct found {
        int type;
        unsigned from, to;
    } cases[] = {{0, 100000, 50000}, {0, 25000, 25000}, {1, 100000, 15000}, {1, 10000, 10000},
                 {2, 50000, 10000},  {2, 5000, 5000}};
    double shift = 0.001;
    for (const found& f : cases) {
        show(lat0, lon0, f.from);
        auto_ptr_t<found_item> item(new found_item(lat0 + shift, lon0 - shift, f.type));
        item->addref();
        fire_found(item.get());
        pump_until([&] { return s.map->get_found_location().lat == lat0 + shift; });
        EXPECT_EQ(s.map->get_scale(), f.to) << f.type << " " << f.from;
        EXPECT_EQ(centre().lat, lat0 + shift);
        shift += 0.001;
    }
    paint();
    // The marker: a red ring of radius 20 to 26 around the place, which
    // is now the centre.
    wxImage shot = capture(wnd());
    view_point at;
    auto_ptr_t<kiv::i_gis_viewport> vp(s.map->get_viewport());
    geo_point f = s.map->get_found_location();
    ASSERT_TRUE(vp->lc_to_dp(f.lat, f.lon, at));
    EXPECT_EQ(pixel(shot, at.x + 23, at.y), 0xE01010u);
    EXPECT_EQ(pixel(shot, at.x, at.y - 23), 0xE01010u);

    // An event without an item takes the marker away.
    fire_found(nullptr);
    pump_until([&] { return s.map->get_found_location().lat == -99999; });
    pump();
    shot = capture(wnd());
    EXPECT_NE(pixel(shot, at.x + 23, at.y), 0xE01010u);
}

TEST_F(map_view_test, best_view_takes_the_table_scale_of_the_box) {
    show(lat0, lon0, 100000);
    double w = size().x;
    struct fit {
        double metric;
        unsigned scale;
    } fits[] = {{300000, 1000000},  {60000, 100000},  {2e7, 50000000}, {100000, 100000}, {500000, 1000000},
                {50000000, 50000000}, {6e7, 50000000}, {500, 1000},     {1000, 1000},     {15000, 15000}};
    for (const fit& f : fits) {
        // A flat box whose longitude extent decides: half of it fills half
        // the window at the metric.
        double half = f.metric * (w * 0.5 * 2.8257) / 743850000.0;
        s.map->set_best_view(geo_point{50.0, 30.0 - half}, geo_point{50.0 + 1e-9, 30.0 + half});
        EXPECT_EQ(s.map->get_scale(), f.scale) << f.metric;
        EXPECT_EQ(s.map->get_scale_index(), static_cast<int>(get_scale_values()->Index(f.scale))) << f.metric;
        EXPECT_NEAR(centre().lon, 30.0, 1e-9);
    }
    // A box whose centre is off the globe changes nothing.
    s.map->set_best_view(geo_point{95, 0}, geo_point{97, 1});
    EXPECT_NEAR(centre().lat, 50.0, 1e-6);
    EXPECT_EQ(s.map->get_scale(), 15000u);
}

TEST_F(map_view_test, set_center_refuses_places_off_the_globe_and_renders_only_on_change) {
    show(lat0, lon0, 100000);
    EXPECT_FALSE(s.map->set_center(91, 0, 5000));
    EXPECT_FALSE(s.map->set_center(0, 180.5, 5000));
    EXPECT_EQ(s.map->get_scale(), 100000u);
    EXPECT_EQ(centre().lat, lat0);
    int renders = driver->renders.load();
    EXPECT_TRUE(s.map->set_center(lat0, lon0, 100000));
    pump();
    EXPECT_EQ(driver->renders.load(), renders);
}

// Records the map-mode events with the mode they carried.
class mode_events : public wxEvtHandler {
public:
    mode_events() {
        kiv_install_gui_handler(0, "AVL_EVT_MAP_MODE_ENABLED", kiv_gui_event_handler(mode_events::on_enabled), this);
        kiv_install_gui_handler(0, "AVL_EVT_MAP_MODE_DISABLED", kiv_gui_event_handler(mode_events::on_disabled), this);
    }
    ~mode_events() override {
        kiv_uninstall_gui_handler(0, "AVL_EVT_MAP_MODE_ENABLED", kiv_gui_event_handler(mode_events::on_enabled), this);
        kiv_uninstall_gui_handler(0, "AVL_EVT_MAP_MODE_DISABLED", kiv_gui_event_handler(mode_events::on_disabled),
                                  this);
    }
    std::vector<std::string> seen;

private:
    void note(const char* what, kiv::i_gui_event& event) {
        auto_ptr_t<kiv::i_object> obj(event.get_event_object());
        kiv::i_map_mode* mode = kiv_cast_i_map_mode(obj);
        seen.push_back(std::string(what) + " " + (mode != nullptr ? mode->get_name() : "?"));
        event.Skip();
    }
    void on_enabled(kiv::i_gui_event& event) { note("enabled", event); }
    void on_disabled(kiv::i_gui_event& event) { note("disabled", event); }
};

TEST_F(map_view_test, modes_switch_with_their_events_and_an_unknown_name_leaves_none) {
    mode_events events;
    s.map->activate_mode_by_name("MAP_MODE_ZOOM");
    EXPECT_EQ(events.seen, (std::vector<std::string>{"disabled MAP_MODE_MOVE", "enabled MAP_MODE_ZOOM"}));
    events.seen.clear();
    s.map->activate_mode_by_name("MAP_MODE_ZOOM");  // the active one: nothing
    s.map->activate_mode_by_name("");
    EXPECT_TRUE(events.seen.empty());
    s.map->activate_mode_by_name("MAP_MODE_NONE");
    EXPECT_EQ(events.seen, (std::vector<std::string>{"disabled MAP_MODE_ZOOM"}));
    auto_ptr_t<kiv::i_map_mode> active(s.map->get_active_mode());
    EXPECT_FALSE(active);
    // A second mode of a known name is not added.
    auto_ptr_t<kiv::move_map_mode> twin(new kiv::move_map_mode);
    twin->addref();
    s.map->add_mode(twin.get());
    s.map->activate_mode_by_name("MAP_MODE_MOVE");
    active.reset(s.map->get_active_mode());
    EXPECT_EQ(static_cast<kiv::i_map_mode*>(active.get()), static_cast<kiv::i_map_mode*>(s.move));
    // Without a mode a key does nothing and the paint shows no map, only
    // the scale bar.
    s.map->activate_mode_by_name("MAP_MODE_NONE");
    show(lat0, lon0, 200000);
    geo_point before = centre();
    send_key(wnd(), WXK_NUMPAD6);
    EXPECT_EQ(centre().lon, before.lon);
    wxImage shot = capture(wnd());
    EXPECT_EQ(pixel(shot, size().x / 2, size().y / 2), 0xFFFFFFu);
    EXPECT_EQ(pixel(shot, 20, size().y - 25), 0xFF0000u);
}

TEST_F(map_view_test, modes_are_menu_commands_checked_while_active) {
    auto_ptr_t<kiv::i_object> proc_object(kiv_core()->get_service("svc_gui_event"));
    kiv::i_gui_event_proc* proc = kiv_cast_i_gui_event_proc(proc_object);
    ASSERT_NE(proc, nullptr);
    int move_id = proc->get_cmd_id("MAP_MODE_MOVE"), zoom_id = proc->get_cmd_id("MAP_MODE_ZOOM");
    wxMenu* menu = s.gui.menu("&Map");
    ASSERT_NE(menu, nullptr);
    menu->AppendCheckItem(move_id, "Move");
    menu->AppendCheckItem(zoom_id, "Zoom");
    EXPECT_FALSE(menu_item_state(s.frame, zoom_id).enabled);  // not bound yet
    s.map->install_handlers();
    s.map->install_handlers();  // again: bound once
    EXPECT_TRUE(menu_item_state(s.frame, move_id).checked);
    EXPECT_TRUE(menu_item_state(s.frame, zoom_id).enabled);
    EXPECT_FALSE(menu_item_state(s.frame, zoom_id).checked);
    EXPECT_TRUE(choose_menu_item(s.frame, zoom_id));
    auto_ptr_t<kiv::i_map_mode> active(s.map->get_active_mode());
    ASSERT_TRUE(active);
    EXPECT_STREQ(active->get_name(), "MAP_MODE_ZOOM");
    EXPECT_TRUE(menu_item_state(s.frame, zoom_id).checked);
    EXPECT_FALSE(menu_item_state(s.frame, move_id).checked);
    s.map->uninstall_handlers();
    EXPECT_FALSE(menu_item_state(s.frame, move_id).enabled);
}

TEST_F(map_view_test, the_move_mode_shows_the_cursor_coordinates_unless_disabled) {
    show(lat0, lon0, 100000);
    wxStatusBar* bar = s.frame->GetStatusBar();
    {
        env_var coords("KIV_ENABLE_COORDS", nullptr);
        mouse(wxEVT_MOTION, 120, 80);
        geo_point at = location_at(120, 80);
        EXPECT_EQ(bar->GetStatusText(3), get_fmt_coord(at.lat, at.lon));
    }
    bar->SetStatusText("kept", 3);
    {
        env_var coords("KIV_ENABLE_COORDS", "0");
        mouse(wxEVT_MOTION, 130, 90);
        EXPECT_EQ(bar->GetStatusText(3), "kept");
    }
    // A field the bar does not have is left alone without complaint.
    s.map->set_status_text("x", 7);
    s.map->activate_mode_by_name("MAP_MODE_ZOOM");  // ending the move mode clears field 3
    EXPECT_EQ(bar->GetStatusText(3), "");
}

// A driver whose maps carry tags.
class tagged_driver : public kiv_test::drawing_driver {
public:
    tagged_driver() : drawing_driver("tagged", 1) {}
    kiv::i_object_col* get_maps(const char*) override {
        kiv::object_col* maps = new kiv::object_col;
        maps->addref();
        for (const char* tags : {"a;b", "b,c", ""}) {
            auto_ptr_t<kiv_test::fake_map> map(new kiv_test::fake_map("m", tags, "", 1, false));
            map->addref();
            maps->add_item(map.get(), false);
        }
        return maps;
    }
};

TEST_F(map_view_test, a_driver_gives_the_view_the_tags_of_its_maps) {
    auto_ptr_t<tagged_driver> tagged(new tagged_driver);
    tagged->addref();
    ASSERT_TRUE(s.gis->add_driver(tagged.get()));
    EXPECT_STREQ(s.map->get_tags(), "");  // the drawing driver's maps: none
    EXPECT_STREQ(s.map->get_renderer(), "roads");
    s.map->set_driver("tagged");
    EXPECT_STREQ(s.gis->get_default_driver(), "tagged");
    EXPECT_STREQ(s.map->get_tags(), "a,b,c,");
    s.map->set_tags("x,");
    EXPECT_STREQ(s.map->get_tags(), "x,");
    s.gis->set_default_driver("drawing");
    s.gis->remove_driver(tagged.get());
}

TEST_F(map_view_test, the_view_answers_its_own_names) {
    kiv::i_object* obj = static_cast<kiv::i_map_view*>(s.map);
    EXPECT_EQ(kiv_cast_map_view(obj), s.map);
    EXPECT_EQ(kiv_cast_i_map_view(obj), static_cast<kiv::i_map_view*>(s.map));
    EXPECT_EQ(kiv_cast_i_panel(obj), static_cast<kiv::i_panel*>(s.map));
    EXPECT_EQ(kiv_cast_i_map_mode(obj), nullptr);
    EXPECT_EQ(kiv_cast_i_map_mode(static_cast<kiv::i_map_mode*>(s.zoom)), static_cast<kiv::i_map_mode*>(s.zoom));
    EXPECT_EQ(kiv_cast_i_search_item(obj), nullptr);
    EXPECT_EQ(kiv_cast_i_panel(nullptr), nullptr);
}

TEST(map_view_without_gis, initialisation_fails_without_the_gis_service_and_close_undoes_it) {
    gui_session gui;
    wxFrame* frame = gui.open_frame();
    auto_ptr_t<kiv::map_view> view(new kiv::map_view(frame));
    view->addref();
    EXPECT_FALSE(view->initialize_sdi());
    EXPECT_NE(view->get_map_wnd(), nullptr);  // the window stays
    EXPECT_TRUE(view->close());
    EXPECT_EQ(view->get_map_wnd(), nullptr);
    EXPECT_TRUE(view->close());
    auto_ptr_t<kiv::map_view> bare(new kiv::map_view(nullptr));
    bare->addref();
    EXPECT_FALSE(bare->initialize_sdi());
}

}  // namespace

namespace {

TEST(map_view_without_gis, a_view_outliving_its_window_lets_go_of_it) {
    gui_session gui;
    wxFrame* other = new wxFrame(nullptr, wxID_ANY, "other", wxPoint(0, 0), wxSize(200, 150));
    auto_ptr_t<kiv::map_view> view(new kiv::map_view(other));
    view->addref();
    view->initialize_sdi();
    ASSERT_NE(view->get_map_wnd(), nullptr);
    other->Destroy();
    pump();
    EXPECT_EQ(view->get_map_wnd(), nullptr);
    EXPECT_EQ(view->get_wnd(), nullptr);
    EXPECT_TRUE(view->close());
    view->render();  // no window: nothing to refresh
}

}  // namespace
