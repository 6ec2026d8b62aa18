// viewer_desktop_test.cpp --
//
//     The viewer as a program on a desktop: the built ozm_view started as a
//     user starts it (its own folder, an empty temporary home), with the
//     openbox window manager where the behaviour needs one, and ended
//     with Ctrl+Q or its menu:
//     - with the map holding the keyboard focus, Alt+F opens Find (File
//       has no mnemonic), F10 opens File and the arrows walk on to Help's
//       about box, and File's Exit ends the program (the other cases end
//       it with Ctrl+Q from the map);
//     - under a window manager the window opens at its saved position and
//       size, a window saved maximised un-maximises to that rectangle, a
//       restored floating pane comes over the window, and start-up prints
//       no GTK assertion;
//     - a saved pane layout that hides or lacks the map pane, is cut short
//       or holds a field the docking manager does not know still shows the
//       map, with no dialog;
//     - in a 640 x 480 window with the search pane docked, the panes give
//       way and the map keeps the larger part of the width;
//     - Find opens the search pane with the City field taking the keys.

#include "viewer_harness.h"

#include "gui_harness.h"

#include <gtest/gtest.h>

#include <wx/aui/framemanager.h>
#include <wx/fileconf.h>

#include <X11/Xlib.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace kiv_test;

// The viewer started in its folder with `home` as the account's home.
std::unique_ptr<viewer_process> start_viewer(const std::string& home) {
    return std::make_unique<viewer_process>(KIV_BIN_DIR, std::map<std::string, const char*>{
                                                             {"HOME", home.c_str()}, {"XDG_CONFIG_HOME", nullptr}});
}

// Returns: the settings file of the account whose home is `home`.
std::string settings_file(const std::string& home) {
    return home + "/.config/ozm_viewer/ozm_viewer.conf";
}

// Writes the settings file of `home` from "key=value" lines of [frame].
void write_settings(const std::string& home, const std::vector<std::string>& lines) {
    ASSERT_EQ(system(("mkdir -p '" + home + "/.config/ozm_viewer'").c_str()), 0);
    std::ofstream out(settings_file(home));
    out << "[frame]\n";
    for (const std::string& line : lines)
        out << line << "\n";
}

// Writes the settings file of `home` for a window of `cx` x `cy` at 50,50
// with the saved pane layout `layout`.
void write_layout(const std::string& home, int cx, int cy, const wxString& layout) {
    write_settings(home, {"x=50", "y=50", "cx=" + std::to_string(cx), "cy=" + std::to_string(cy),
                          std::string("perspective=") + layout.utf8_str().data()});
}

// Clicks into the window near its left edge (on the map, or on a pane
// docked there), then ends the viewer with Ctrl+Q. Returns: true when it
// ended by itself.
bool quit_with_ctrl_q(x_view& x, child_process& viewer, Window frame) {
    wxRect r = x.rect(frame);
    click_at(wxPoint(r.x + 30, r.y + r.height / 2));
    press('q', wxMOD_CONTROL);
    return viewer.wait_end();
}

// Returns: the lines of `err` naming a GTK assertion or a toolkit warning.
std::string toolkit_complaints(const std::string& err) {
    std::string found;
    for (const std::string& line : lines_of(err))
        if (line.find("Gtk-CRITICAL") != std::string::npos || line.find("Bad Perspective") != std::string::npos)
            found += line + "\n";
    return found;
}

// The test's display, and an empty home for the viewer; the openbox
// window manager on the display for the tests whose behaviour needs one.
class viewer_desktop : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(x.ok()); }
    // Starts openbox (unless the display has a manager already); it stops
    // with the test. Fails the test when no manager comes up.
    void manage_windows() {
        wm = std::make_unique<window_manager>(x);
        ASSERT_TRUE(wm->ready()) << "openbox did not start";
    }

    x_view x;
    std::unique_ptr<window_manager> wm;  // from manage_windows; goes before the display
    kiv_test::temp_dir home;
};

// Waits for the menu `menu` to close. Returns: true when it did.
bool wait_menu_closed(x_view& x, child_process& viewer, Window menu) {
    return wait_for(viewer, [&] { return x.popups().count(menu) == 0; });
}

TEST_F(viewer_desktop, from_the_map_alt_f_opens_find_and_f10_walks_the_menu_bar_from_file) {
    ASSERT_NO_FATAL_FAILURE(manage_windows());
    auto viewer = start_viewer(home.path());
    Window frame = wait_frame(x, *viewer);
    ASSERT_NE(frame, 0u) << viewer->err();
    wxRect r = x.rect(frame);
    // The middle of the window: on the map also with the search pane docked.
    const wxPoint on_map(r.x + r.width / 2, r.y + r.height / 3);

    // Alt+F has one meaning: Find opens with "Search on map" chosen, and
    // Enter shows the search pane (where Alt+F came to File first, Enter
    // would choose Exit).
    click_at(on_map);
    std::set<Window> before = x.popups();
    press('f', wxMOD_ALT);
    Window menu = wait_popup(x, *viewer, before);
    ASSERT_NE(menu, 0u) << "Alt+F opened no menu";
    press(WXK_RETURN);
    ASSERT_TRUE(wait_menu_closed(x, *viewer, menu));

    // F10 opens File, the first menu; Left goes round to Help, whose
    // About... shows the about box, and Escape closes it.
    click_at(on_map);
    before = x.popups();
    press(WXK_F10);
    menu = wait_popup(x, *viewer, before);
    ASSERT_NE(menu, 0u) << "F10 opened no menu";
    before = x.popups();
    press(WXK_LEFT);
    Window help = wait_popup(x, *viewer, before);
    ASSERT_NE(help, 0u) << "Left opened no menu";
    press(WXK_DOWN);
    press(WXK_RETURN);
    Window about = 0;
    ASSERT_TRUE(wait_for(*viewer, [&] {
        std::vector<Window> found = x.windows(viewer->pid(), "About...");
        about = found.empty() ? 0 : found[0];
        return about != 0;
    })) << "no about box";
    press(WXK_ESCAPE);
    ASSERT_TRUE(wait_for(*viewer, [&] { return x.windows(viewer->pid(), "About...").empty(); }));

    // F10 and Down reach File's Exit, which ends the program.
    click_at(on_map);
    before = x.popups();
    press(WXK_F10);
    menu = wait_popup(x, *viewer, before);
    ASSERT_NE(menu, 0u) << "F10 opened no menu";
    press(WXK_DOWN);
    press(WXK_RETURN);
    ASSERT_TRUE(viewer->wait_end()) << "Exit did not end it: " << viewer->err();
    EXPECT_EQ(viewer->status(), 0) << viewer->err();
    auto saved = read_settings(settings_file(home.path()));
    EXPECT_EQ(saved->ReadLong("frame/cx", -1), 1024);
    long search = layout_value(saved->Read("frame/perspective"), "MAP_SEARCH_PANEL", "state");
    ASSERT_NE(search, -1);
    EXPECT_EQ(search & wxAuiPaneInfo::optionHidden, 0) << "Alt+F and Enter did not show the search pane";
    EXPECT_EQ(toolkit_complaints(viewer->err()), "");
}

TEST_F(viewer_desktop, under_a_window_manager_the_window_comes_back_where_it_was_also_after_a_maximised_exit) {
    ASSERT_NO_FATAL_FAILURE(manage_windows());
    const wxRect saved(200, 150, 640, 480);
    write_settings(home.path(), {"x=200", "y=150", "cx=640", "cy=480", "maximize=0"});
    {
        auto viewer = start_viewer(home.path());
        Window frame = wait_frame(x, *viewer);
        ASSERT_NE(frame, 0u) << viewer->err();
        // Once the decorations are known the whole window is the saved one.
        EXPECT_TRUE(wait_for(*viewer, [&] { return x.outer_rect(frame) == saved; }))
            << x.outer_rect(frame).x << "," << x.outer_rect(frame).y << " " << x.outer_rect(frame).width << "x"
            << x.outer_rect(frame).height;
        ASSERT_TRUE(quit_with_ctrl_q(x, *viewer, frame)) << viewer->err();
        EXPECT_EQ(viewer->status(), 0);
        EXPECT_EQ(toolkit_complaints(viewer->err()), "");
    }
    {
        auto saved_now = read_settings(settings_file(home.path()));
        EXPECT_EQ(wxRect(saved_now->ReadLong("frame/x", -1), saved_now->ReadLong("frame/y", -1),
                         saved_now->ReadLong("frame/cx", -1), saved_now->ReadLong("frame/cy", -1)),
                  saved);
    }
    // Saved maximised: it opens maximised, and un-maximising returns to the
    // saved rectangle, not to the menu bar.
    write_settings(home.path(), {"x=200", "y=150", "cx=640", "cy=480", "maximize=1"});
    {
        auto viewer = start_viewer(home.path());
        Window frame = wait_frame(x, *viewer);
        ASSERT_NE(frame, 0u) << viewer->err();
        ASSERT_TRUE(wait_for(*viewer, [&] { return x.maximized(frame); }));
        x.unmaximize(frame);
        EXPECT_TRUE(wait_for(*viewer, [&] { return !x.maximized(frame) && x.outer_rect(frame) == saved; }))
            << x.outer_rect(frame).x << "," << x.outer_rect(frame).y << " " << x.outer_rect(frame).width << "x"
            << x.outer_rect(frame).height;
        ASSERT_TRUE(quit_with_ctrl_q(x, *viewer, frame)) << viewer->err();
        EXPECT_EQ(toolkit_complaints(viewer->err()), "");
    }
    auto last = read_settings(settings_file(home.path()));
    EXPECT_FALSE(last->ReadBool("frame/maximize", true));
    EXPECT_EQ(last->ReadLong("frame/x", -1), saved.x);
    EXPECT_EQ(last->ReadLong("frame/y", -1), saved.y);
    EXPECT_EQ(last->ReadLong("frame/cx", -1), saved.width);
    EXPECT_EQ(last->ReadLong("frame/cy", -1), saved.height);
}

// The layout the viewer saves when it is left as built, read from a first
// run's settings.
wxString built_layout(x_view& x, const std::string& home) {
    auto viewer = start_viewer(home);
    Window frame = wait_frame(x, *viewer);
    EXPECT_NE(frame, 0u) << viewer->err();
    if (frame == 0 || !quit_with_ctrl_q(x, *viewer, frame))
        return wxString();
    return read_settings(settings_file(home))->Read("frame/perspective");
}

TEST_F(viewer_desktop, a_saved_layout_without_a_shown_map_or_out_of_form_still_shows_the_map) {
    const wxString built = built_layout(x, home.path());
    ASSERT_NE(layout_value(built, "Map", "state"), -1) << built;
    const long map_state = layout_value(built, "Map", "state");
    wxString map_hidden = built;
    map_hidden.Replace(wxString::Format("name=Map;caption=;state=%ld;", map_state),
                       wxString::Format("name=Map;caption=;state=%ld;", map_state | wxAuiPaneInfo::optionHidden));
    wxString cut = built.Left(built.Find("|name=ID_VIEW_LAYERS"));
    wxString unknown_field = built;
    unknown_field.Replace("name=Map;", "name=Map;bogus=1;");
    struct row {
        const char* name;
        wxString layout;
    } rows[] = {
        {"version line only", "layout2|"},
        {"map pane hidden", map_hidden},
        {"cut short", cut},
        {"a field unknown", unknown_field},
    };
    for (const row& r : rows) {
        kiv_test::temp_dir own_home;  // each row starts afresh
        write_layout(own_home.path(), 1024, 768, r.layout);
        auto viewer = start_viewer(own_home.path());
        Window frame = wait_frame(x, *viewer);
        ASSERT_NE(frame, 0u) << r.name << ": " << viewer->err();
        // The map is drawn in the middle of the window (a grey window has
        // one colour there), and no dialog came up beside it.
        wxRect f = x.rect(frame);
        wxRect middle(f.x + f.width / 4, f.y + f.height / 4, f.width / 4, f.height / 4);
        EXPECT_TRUE(wait_for(*viewer, [&] { return x.colours(middle) > 3; })) << r.name << ": no map";
        EXPECT_EQ(x.windows(viewer->pid()).size(), 1u) << r.name;
        ASSERT_TRUE(quit_with_ctrl_q(x, *viewer, frame)) << r.name << ": " << viewer->err();
        EXPECT_EQ(viewer->status(), 0) << r.name;
        EXPECT_EQ(toolkit_complaints(viewer->err()), "") << r.name;
        wxString saved = read_settings(settings_file(own_home.path()))->Read("frame/perspective");
        long state = layout_value(saved, "Map", "state");
        ASSERT_NE(state, -1) << r.name << ": " << saved;
        EXPECT_EQ(state & wxAuiPaneInfo::optionHidden, 0) << r.name << ": " << saved;
    }
}

TEST_F(viewer_desktop, a_restored_floating_pane_comes_over_the_window) {
    ASSERT_NO_FATAL_FAILURE(manage_windows());
    const wxString built = built_layout(x, home.path());
    long state = layout_value(built, "MAP_SEARCH_PANEL", "state");
    ASSERT_NE(state, -1) << built;
    wxString floating = built;
    floating.Replace(wxString::Format("name=MAP_SEARCH_PANEL;caption=Map search;state=%ld", state),
                     wxString::Format("name=MAP_SEARCH_PANEL;caption=Map search;state=%ld",
                                      (state & ~long(wxAuiPaneInfo::optionHidden)) | wxAuiPaneInfo::optionFloating));
    floating.Replace("floatx=-1;floaty=-1;floatw=400", "floatx=300;floaty=250;floatw=400");
    write_layout(home.path(), 1024, 768, floating);
    auto viewer = start_viewer(home.path());
    Window frame = wait_frame(x, *viewer);
    ASSERT_NE(frame, 0u) << viewer->err();
    Window pane = 0;
    ASSERT_TRUE(wait_for(*viewer, [&] {
        std::vector<Window> found = x.windows(viewer->pid(), "Map search");
        pane = found.empty() ? 0 : found[0];
        return pane != 0;
    }));
    EXPECT_TRUE(wait_for(*viewer, [&] { return x.stacking_place(pane) > x.stacking_place(frame); }))
        << "the floating pane is behind the window";
    ASSERT_TRUE(quit_with_ctrl_q(x, *viewer, frame)) << viewer->err();
}

// Copies the text of the field holding the keyboard focus as a user
// does, Ctrl+A and Ctrl+C, and reads the clipboard until it holds
// `awaited`; End then leaves the text unselected for what is typed next.
// Returns: what the clipboard held last.
std::string copied_field_text(x_view& x, child_process& viewer, const std::string& awaited) {
    press('a', wxMOD_CONTROL);
    press('c', wxMOD_CONTROL);
    press(WXK_END);
    std::string seen;
    wait_for(viewer, [&] { return (seen = x.selection_text("CLIPBOARD")) == awaited; });
    return seen;
}

// Find's "Search on map" opens the search pane with the City field taking
// the keys: the town is typed at once, and Enter on it moves on to the
// Street field, emptied for the street's name. (Typed into the Street
// field instead, the town would stay in front of the street's name.)
TEST_F(viewer_desktop, find_opens_the_search_pane_with_the_city_field_taking_the_keys) {
    ASSERT_NO_FATAL_FAILURE(manage_windows());
    auto viewer = start_viewer(home.path());
    Window frame = wait_frame(x, *viewer);
    ASSERT_NE(frame, 0u) << viewer->err();
    wxRect r = x.rect(frame);
    click_at(wxPoint(r.x + r.width / 2, r.y + r.height / 3));  // on the map
    std::set<Window> before = x.popups();
    press('f', wxMOD_ALT);
    Window menu = wait_popup(x, *viewer, before);
    ASSERT_NE(menu, 0u) << "Alt+F opened no menu";
    press(WXK_RETURN);
    ASSERT_TRUE(wait_menu_closed(x, *viewer, menu));
    for (char c : std::string("nov"))
        press(c);
    ASSERT_EQ(copied_field_text(x, *viewer, "nov"), "nov") << "the keys did not reach a text field";
    press(WXK_RETURN);
    for (char c : std::string("bir"))
        press(c);
    EXPECT_EQ(copied_field_text(x, *viewer, "bir"), "bir") << "the town was not typed into the City field";
    ASSERT_TRUE(quit_with_ctrl_q(x, *viewer, frame)) << viewer->err();
    EXPECT_EQ(viewer->status(), 0) << viewer->err();
    EXPECT_EQ(toolkit_complaints(viewer->err()), "");
}

TEST_F(viewer_desktop, in_a_640_by_480_window_the_panes_give_way_before_the_map) {
    const wxString built = built_layout(x, home.path());
    long state = layout_value(built, "MAP_SEARCH_PANEL", "state");
    ASSERT_NE(state, -1) << built;
    // The search pane shown, docked on the left as Find leaves it.
    wxString searching = built;
    searching.Replace(wxString::Format("state=%ld", state),
                      wxString::Format("state=%ld", state & ~long(wxAuiPaneInfo::optionHidden)));
    searching += "dock_size(4,0,0)=402|";
    write_layout(home.path(), 640, 480, searching);
    auto viewer = start_viewer(home.path());
    Window frame = wait_frame(x, *viewer);
    ASSERT_NE(frame, 0u) << viewer->err();
    ASSERT_TRUE(quit_with_ctrl_q(x, *viewer, frame)) << viewer->err();
    wxString saved = read_settings(settings_file(home.path()))->Read("frame/perspective");
    long left = layout_value(saved, "", "dock_size(4,0,0)");
    long right = layout_value(saved, "", "dock_size(2,0,0)");
    ASSERT_GT(left, 0) << saved;
    ASSERT_GT(right, 0) << saved;
    // The map is what the side docks leave of the width: more than a third.
    EXPECT_GT(640 - left - right, 640 / 3) << saved;
    EXPECT_EQ(toolkit_complaints(viewer->err()), "");
}

}  // namespace
