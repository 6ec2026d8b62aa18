// viewer_frame_test.cpp --
//
//     The viewer's main window on the GUI harness: where the first start
//     opens it, the settings written on close and restored by the next
//     window (position, size, pane layout), the one-time perspective
//     reset, a maximised close keeping the last normal rectangle, the
//     View menu checks following the panes, and saved positions off every
//     display moved onto one, tags applied on Enter only, and the
//     program's own configuration showing the GWX demo chart when the
//     user picks that driver. The settings live in a temporary file.

#include "main_frame.h"
#include "settings.h"

#include <kiv/gis/i_gis_driver.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/gui/splash_screen.h>
#include <kiv/gui_addin/i_map_view.h>
#include <kiv/gui_addin/i_panel.h>
#include <kiv/core/auto_ptr.h>

#include "gui_session.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <wx/aui/framemanager.h>
#include <wx/display.h>
#include <wx/fileconf.h>
#include <kiv/core/config.h>
#include <kiv/core/env.h>

#include <cstring>
#include <fstream>
#include <wx/checkbox.h>
#include <wx/hyperlink.h>
#include <wx/listctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kiv_gui_test;
using kiv_viewer::main_frame;

namespace {

struct viewer_frame : ::testing::Test {
    viewer_frame() {
        config = new wxFileConfig("ozm_viewer_test", wxString(), wxString::FromUTF8(dir.path() + "/settings.ini"),
                                  wxString(), wxCONFIG_USE_LOCAL_FILE);
        wxConfigBase::Set(config);
    }
    ~viewer_frame() override {
        close();
        delete wxConfigBase::Set(nullptr);
    }
    main_frame* open(const wxRect& rect = wxRect(50, 50, 1024, 768)) {
        frame = new main_frame(session.frame_service, rect.GetTopLeft(), rect.GetSize());
        wxTheApp->SetTopWindow(frame);
        show_and_wait(frame);
        return frame;
    }
    void close() {
        if (frame == nullptr)
            return;
        frame->Close(false);
        frame = nullptr;
        pump();
        kiv_core()->unregister_service("SVC_MAP_SEARCH_PANEL");
        kiv_core()->unregister_service("SVC_MAP");
        // A docking manager serves one window for its life (wxAuiManager
        // keeps its hint window after UnInit), as in the program: the
        // next window gets a new frame service.
        session.drop_frame_service();
        session.register_frame_service();
    }
    int command(const char* name) { return session.event_service->get_cmd_id(name); }
    wxAuiPaneInfo& pane(const char* name) { return session.frame_service->get_frame_manager()->GetPane(name); }

    kiv_test::temp_dir dir;
    gui_session session;
    wxFileConfig* config = nullptr;  // the global configuration while the case runs
    main_frame* frame = nullptr;     // open window; null: none
};

TEST_F(viewer_frame, a_first_start_opens_at_50_50_with_1024_by_768_and_both_panes) {
    wxRect rect = kiv_viewer::saved_window_rect(config);
    EXPECT_EQ(rect, wxRect(50, 50, 1024, 768));
    open(rect);
    EXPECT_FALSE(frame->IsMaximized());
    EXPECT_EQ(frame->GetTitle(), "Viewer OZM");
    EXPECT_TRUE(pane("ID_VIEW_MAPS").IsShown());
    EXPECT_TRUE(pane("ID_VIEW_LAYERS").IsShown());
    EXPECT_TRUE(menu_item_state(frame, command("ID_VIEW_MAPS")).checked);
    EXPECT_TRUE(menu_item_state(frame, command("ID_VIEW_LAYERS")).checked);
    EXPECT_EQ(frame->GetStatusBar()->GetFieldsCount(), 4);
    EXPECT_EQ(frame->GetStatusBar()->GetStatusText(0), "Ready");
    // Without "svc_gis" the maps list stays empty and the window opens.
    EXPECT_EQ(frame->maps_list()->GetItemCount(), 0);
}

TEST_F(viewer_frame, close_writes_the_settings_and_the_next_window_restores_them) {
    open(wxRect(60, 70, 800, 600));
    wxRect shown(frame->GetPosition(), frame->GetSize());
    ASSERT_TRUE(choose_menu_item(frame, command("ID_VIEW_MAPS")));
    pump();
    EXPECT_FALSE(pane("ID_VIEW_MAPS").IsShown());
    EXPECT_FALSE(menu_item_state(frame, command("ID_VIEW_MAPS")).checked);
    close();

    EXPECT_EQ(config->ReadLong(kiv_viewer::key_x, -1), shown.x);
    EXPECT_EQ(config->ReadLong(kiv_viewer::key_y, -1), shown.y);
    EXPECT_EQ(config->ReadLong(kiv_viewer::key_cx, -1), shown.width);
    EXPECT_EQ(config->ReadLong(kiv_viewer::key_cy, -1), shown.height);
    EXPECT_FALSE(config->ReadBool(kiv_viewer::key_maximize, true));
    EXPECT_FALSE(config->Read(kiv_viewer::key_perspective, wxString()).empty());
    EXPECT_EQ(kiv_viewer::saved_window_rect(config), shown);

    open(kiv_viewer::saved_window_rect(config));
    EXPECT_FALSE(pane("ID_VIEW_MAPS").IsShown());
    EXPECT_TRUE(pane("ID_VIEW_LAYERS").IsShown());
    EXPECT_FALSE(menu_item_state(frame, command("ID_VIEW_MAPS")).checked);
    EXPECT_TRUE(menu_item_state(frame, command("ID_VIEW_LAYERS")).checked);
}

TEST_F(viewer_frame, a_perspective_reset_ignores_the_saved_layout_once) {
    open();
    ASSERT_TRUE(choose_menu_item(frame, command("ID_VIEW_LAYERS")));
    close();
    config->Write(kiv_viewer::key_perspective_reset, true);
    open();
    EXPECT_TRUE(pane("ID_VIEW_LAYERS").IsShown());
    EXPECT_FALSE(config->ReadBool(kiv_viewer::key_perspective_reset, true));
    // The reset layout is what the next close saves.
    close();
    open();
    EXPECT_TRUE(pane("ID_VIEW_LAYERS").IsShown());
}

TEST_F(viewer_frame, closing_a_maximised_window_keeps_the_last_rectangle) {
    config->Write(kiv_viewer::key_x, 11L);
    config->Write(kiv_viewer::key_y, 12L);
    config->Write(kiv_viewer::key_cx, 700L);
    config->Write(kiv_viewer::key_cy, 500L);
    config->Write(kiv_viewer::key_maximize, true);
    open(kiv_viewer::saved_window_rect(config));
    EXPECT_TRUE(frame->IsMaximized());
    close();
    EXPECT_TRUE(config->ReadBool(kiv_viewer::key_maximize, false));
    EXPECT_EQ(kiv_viewer::saved_window_rect(config), wxRect(11, 12, 700, 500));
}

TEST_F(viewer_frame, the_view_checks_follow_panes_closed_elsewhere) {
    open();
    wxAuiManager* manager = session.frame_service->get_frame_manager();
    manager->ClosePane(pane("ID_VIEW_MAPS"));
    frame->UpdateWindowUI();
    EXPECT_FALSE(menu_item_state(frame, command("ID_VIEW_MAPS")).checked);
    EXPECT_TRUE(menu_item_state(frame, command("ID_VIEW_LAYERS")).checked);
    ASSERT_TRUE(choose_menu_item(frame, command("ID_VIEW_MAPS")));
    EXPECT_TRUE(pane("ID_VIEW_MAPS").IsShown());
    EXPECT_TRUE(menu_item_state(frame, command("ID_VIEW_MAPS")).checked);
}

TEST_F(viewer_frame, find_shows_the_hidden_search_panel_registered_as_a_service) {
    open();
    auto_ptr_t<kiv::i_object> search_object(kiv_core()->get_service("SVC_MAP_SEARCH_PANEL"));
    kiv::i_panel* search = kiv_cast_i_panel(search_object.get());
    ASSERT_NE(search, nullptr);
    ASSERT_NE(search->get_wnd(), nullptr);
    EXPECT_EQ(search->get_wnd(), frame->search_window());
    wxAuiPaneInfo& info = pane("MAP_SEARCH_PANEL");
    ASSERT_TRUE(info.IsOk());
    EXPECT_EQ(info.window, search->get_wnd());
    EXPECT_EQ(info.caption, "Map search");
    EXPECT_FALSE(info.IsShown());
    EXPECT_FALSE(info.IsTopDockable());
    EXPECT_FALSE(info.IsBottomDockable());
    ASSERT_TRUE(choose_menu_item(frame, command("ID_SEARCH_MAP")));
    EXPECT_TRUE(pane("MAP_SEARCH_PANEL").IsShown());
    // Chosen again on a shown panel: it stays shown.
    ASSERT_TRUE(choose_menu_item(frame, command("ID_SEARCH_MAP")));
    EXPECT_TRUE(pane("MAP_SEARCH_PANEL").IsShown());
}

TEST_F(viewer_frame, help_about_shows_the_about_box_with_its_title_picture_version_and_contacts) {
    open();
    wxString version;
    wxSize picture_size;
    std::set<wxString> links, labels;
    answer_next_dialog(wxID_OK, [&](wxDialog& dialog) {
        for (wxWindow* child : dialog.GetChildren()) {
            if (wxStaticText* text = dynamic_cast<wxStaticText*>(child)) {
                labels.insert(text->GetLabel());
                if (text->GetLabel().StartsWith("Version "))
                    version = text->GetLabel();
            }
            if (wxHyperlinkCtrl* link = dynamic_cast<wxHyperlinkCtrl*>(child))
                links.insert(link->GetURL());
            if (dynamic_cast<kiv::splash_screen_wnd*>(child) != nullptr)
                picture_size = child->GetSize();
        }
    });
    ASSERT_TRUE(choose_menu_item(frame, command("ID_FILE_HELP")));
    ASSERT_EQ(dialogs_seen().size(), 1u);
    EXPECT_EQ(dialogs_seen()[0].title, "About...");
    EXPECT_EQ(labels.count("OMZ viewer"), 1u);
    EXPECT_EQ(version, "Version 1.0.0");
    EXPECT_EQ(picture_size, wxSize(347, 120));
    // The program's contact lines: each one given is a line of its own, an
    // empty one is not shown at all.
    struct contact {
        const char* value;
        wxString label;  // the plain text before it ("": none)
        wxString shown;  // the link's address, or the plain text itself
    } contacts[] = {{KIV_VIEWER_WEBSITE, wxString::FromUTF8("Сайт:"), KIV_VIEWER_WEBSITE},
                    {KIV_VIEWER_EMAIL, "", wxString("mailto:") + KIV_VIEWER_EMAIL},
                    {KIV_VIEWER_TEL, wxString::FromUTF8("Телефон:"), wxString::FromUTF8(KIV_VIEWER_TEL)}};
    for (const contact& c : contacts) {
        const bool given = *c.value != '\0';
        EXPECT_EQ(links.count(c.shown) != 0 || labels.count(c.shown) != 0, given) << c.shown;
        if (!c.label.empty()) {
            EXPECT_EQ(labels.count(c.label) != 0, given) << c.label;
        }
    }
}

TEST(viewer_layers, names_are_toggled_whole_in_the_comma_separated_list) {
    struct row {
        const char* list;
        const char* name;
        bool on;
        const char* expected;
    } rows[] = {
        {"roads,road", "road", false, "roads"},
        {"roads,road", "roads", false, "road"},
        {"road", "road", false, ""},
        {"", "road", true, "road"},
        {"a,b", "b", true, "a,b"},
        {"a,,b", "c", true, "a,b,c"},
        {"a,b", "c", false, "a,b"},
        {"Улицы,дома", "дома", false, "Улицы"},
    };
    for (const row& r : rows)
        EXPECT_EQ(kiv_viewer::toggle_layer(r.list, r.name, r.on), r.expected) << r.list << " " << r.name;
}

TEST_F(viewer_frame, saved_rectangles_off_every_display_or_out_of_range_are_mended) {
    struct row {
        long x, y, cx, cy;
        bool moved;      // the position is moved onto the first display
        bool sized;      // the size falls back to 1024 x 768
    } rows[] = {
        {20, 30, 640, 480, false, false},
        {-20000, -20000, 640, 480, true, false},
        {40000, 100, 640, 480, true, false},
        {20, 30, 10, 480, false, true},
        {20, 30, 640, 5000000000L, false, true},
    };
    for (const row& r : rows) {
        config->Write(kiv_viewer::key_x, r.x);
        config->Write(kiv_viewer::key_y, r.y);
        config->Write(kiv_viewer::key_cx, r.cx);
        config->Write(kiv_viewer::key_cy, r.cy);
        wxRect rect = kiv_viewer::saved_window_rect(config);
        if (r.moved) {
            EXPECT_NE(wxDisplay::GetFromPoint(rect.GetTopLeft()), wxNOT_FOUND) << r.x;
        } else {
            EXPECT_EQ(rect.GetTopLeft(), wxPoint(static_cast<int>(r.x), static_cast<int>(r.y))) << r.x;
        }
        if (r.sized)
            EXPECT_EQ(rect.GetSize(), wxSize(1024, 768)) << r.cx << " x " << r.cy;
        else
            EXPECT_EQ(rect.GetSize(), wxSize(static_cast<int>(r.cx), static_cast<int>(r.cy)));
    }
}

// The demo town through the configuration a user runs: the maps list
// shows the demo maps with their tags. The window is kept as a picture
// beside the tests (viewer_main_window.png) for a person to look at.
TEST_F(viewer_frame, the_maps_list_shows_the_demo_maps_with_their_tags) {
    std::string config_path = session.core.root.path() + "/demo_config.xml";
    std::ofstream(config_path) << "<config><variables>"
                                  "<variable name=\"KIV_FONT_PATH\" value=\"/usr/share/fonts/truetype/dejavu\"/>"
                                  "<variable name=\"KIV_OZM_MAPS_PATH\" value=\"" KIV_BIN_DIR "/demo/ozm/maps\"/>"
                                  "<variable name=\"KIV_OZM_RENDER_CONFIG_PATH\" value=\"" KIV_BIN_DIR "/demo/ozm/render\"/>"
                                  "<variable name=\"KIV_GIS_DEFAULT_DRIVER\" value=\"ozm\"/>"
                                  "</variables><libraries>"
                                  "<library path=\"" KIV_BIN_DIR "/kiv_image\" priority=\"90\"/>"
                                  "<library path=\"" KIV_BIN_DIR "/kiv_gis\" priority=\"80\"/>"
                                  "<library path=\"" KIV_BIN_DIR "/gis_ozm_driver\" priority=\"70\"/>"
                                  "<library path=\"" KIV_BIN_DIR "/kiv_gui_addin\" priority=\"60\"/>"
                                  "</libraries></config>";
    // Libraries load others by name, found along PATH as in the program.
    std::string path = kiv_get_env("PATH");
    kiv_set_env("PATH", (std::string(KIV_BIN_DIR ":") + path).c_str());
    bool loaded = kiv_load_config(config_path.c_str());
    kiv_set_env("PATH", path.c_str());
    ASSERT_TRUE(loaded);
    open();
    wxListCtrl* list = frame->maps_list();
    ASSERT_EQ(list->GetItemCount(), 2);
    // Sorted by name: "Novy Dvor" before "Region overview".
    EXPECT_EQ(list->GetItemText(0, 0), "Novy Dvor");
    EXPECT_EQ(list->GetItemText(0, 1), "town,demo");
    EXPECT_EQ(list->GetItemText(1, 0), "Region overview");
    EXPECT_EQ(list->GetItemText(1, 1), "region,demo");
    auto_ptr_t<kiv::i_object> view_object(kiv_core()->get_service("SVC_MAP"));
    kiv::i_map_view* view = kiv_cast_i_map_view(view_object.get());
    ASSERT_NE(view, nullptr);
    EXPECT_STREQ(view->get_renderer(), "base,buildings,roads,railway,labels");
    ASSERT_EQ(frame->layer_boxes().size(), 5u);
    wxWindow* map_window = session.frame_service->get_frame_manager()->GetPane("Map").window;
    ASSERT_NE(map_window, nullptr);
    pump();
    EXPECT_TRUE(capture(frame).SaveFile(KIV_BIN_DIR "/../viewer_main_window.png", wxBITMAP_TYPE_PNG));

    // A layer box turned off and on again changes the picture and back.
    wxImage before = capture(map_window);
    wxCheckBox* roads = frame->layer_boxes()[2];
    ASSERT_EQ(roads->GetLabel(), "roads");
    auto toggle = [&](bool on) {
        roads->SetValue(on);
        wxCommandEvent changed(wxEVT_CHECKBOX, roads->GetId());
        changed.SetEventObject(roads);
        changed.SetInt(on ? 1 : 0);
        roads->GetEventHandler()->ProcessEvent(changed);
        map_window->Refresh();
        pump();
    };
    toggle(false);
    EXPECT_STREQ(view->get_renderer(), "base,buildings,railway,labels");
    pump_until([&] { return capture(map_window).GetData() != nullptr &&
                                        memcmp(capture(map_window).GetData(), before.GetData(),
                                               size_t(before.GetWidth()) * before.GetHeight() * 3) != 0; });
    toggle(true);
    EXPECT_STREQ(view->get_renderer(), "base,buildings,railway,labels,roads");

    // Selecting a map shows its whole envelope.
    unsigned scale_before = view->get_scale();
    list->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    pump();
    EXPECT_GT(view->get_scale(), scale_before) << "the region is larger than the town";
    close();
    kiv_core()->unregister_service("svc_gis");
}

// The tags typed into "Tags & layers" reach the map view only on Enter.
TEST_F(viewer_frame, tags_are_applied_on_enter) {
    open();
    auto_ptr_t<kiv::i_object> view_object(kiv_core()->get_service("SVC_MAP"));
    kiv::i_map_view* view = kiv_cast_i_map_view(view_object.get());
    ASSERT_NE(view, nullptr);
    std::string before = view->get_tags();
    wxTextCtrl* field = frame->tags_field();
    field->ChangeValue(wxString());
    ASSERT_TRUE(type_text(field, "town,demo"));
    pump_until([&] { return field->GetValue() == "town,demo"; });
    EXPECT_EQ(view->get_tags(), before) << "typing alone applies nothing";
    wxUIActionSimulator().Char(WXK_RETURN);
    pump_until([&] { return std::strcmp(view->get_tags(), "town,demo") == 0; });
    EXPECT_EQ(field->GetValue(), "town,demo");
}

// The configuration the program ships (config/config.xml beside it), run
// with the programs' folder as the root, as scripts/run does.
struct shipped_config : viewer_frame {
    bool load(const char* user_driver) {
        std::string had_driver;
        if (user_driver != nullptr)
            kiv_set_env("KIV_GIS_DEFAULT_DRIVER", user_driver);
        else
            ::unsetenv("KIV_GIS_DEFAULT_DRIVER");
        std::string root = kiv_get_env("KIV_ROOT_PATH");
        std::string path = kiv_get_env("PATH");
        kiv_set_env("KIV_ROOT_PATH", KIV_BIN_DIR);
        kiv_set_env("PATH", (std::string(KIV_BIN_DIR ":") + path).c_str());
        bool loaded = kiv_load_config(KIV_BIN_DIR "/config/config.xml");
        kiv_set_env("PATH", path.c_str());
        kiv_set_env("KIV_ROOT_PATH", root.c_str());
        return loaded;
    }
    kiv::i_gis_service* gis() {
        gis_object.reset(kiv_core()->get_service("svc_gis"));
        return kiv_cast_i_gis_service(gis_object.get());
    }
    ~shipped_config() override {
        close();
        gis_object.reset(nullptr);
        kiv_core()->unregister_service("svc_gis");
        ::unsetenv("KIV_GIS_DEFAULT_DRIVER");
    }
    auto_ptr_t<kiv::i_object> gis_object;
};

// Distinct colours of a picture: a blank map has one.
size_t colours(const wxImage& image) {
    std::set<unsigned> seen;
    const unsigned char* rgb = image.GetData();
    for (size_t i = 0; rgb != nullptr && i < size_t(image.GetWidth()) * image.GetHeight(); ++i)
        seen.insert(unsigned(rgb[3 * i]) << 16 | unsigned(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2]);
    return seen.size();
}

TEST_F(shipped_config, the_user_choosing_gwx_sees_the_demo_chart) {
    ASSERT_TRUE(load("gwx"));
    EXPECT_EQ(kiv_get_env("KIV_GIS_DEFAULT_DRIVER"), "gwx") << "the configuration keeps the user's choice";
    kiv::i_gis_service* service = gis();
    ASSERT_NE(service, nullptr);
    EXPECT_STREQ(service->get_default_driver(), "gwx");
    auto_ptr_t<kiv::i_object_col> charts(service->get_maps("gwx", ""));
    ASSERT_TRUE(charts);
    auto_ptr_t<kiv::i_object> chart(charts->get_item_by_name("ashford"));
    EXPECT_NE(kiv_cast_i_gis_map(chart.get()), nullptr) << "the demo chart is known to the driver";

    open();
    wxWindow* map_window = session.frame_service->get_frame_manager()->GetPane("Map").window;
    ASSERT_NE(map_window, nullptr);
    map_window->Refresh();
    pump_until([&] { return colours(capture(map_window)) > 2; });
    EXPECT_TRUE(capture(frame).SaveFile(KIV_BIN_DIR "/../viewer_gwx_window.png", wxBITMAP_TYPE_PNG));
}

TEST_F(shipped_config, without_a_user_choice_the_demo_town_driver_is_the_default) {
    ASSERT_TRUE(load(nullptr));
    kiv::i_gis_service* service = gis();
    ASSERT_NE(service, nullptr);
    EXPECT_STREQ(service->get_default_driver(), "ozm");
    auto_ptr_t<kiv::i_object_col> charts(service->get_maps("gwx", ""));
    EXPECT_TRUE(charts && charts->get_count() == 1) << "the chart is still loaded for a later choice";
}

TEST_F(viewer_frame, the_window_carries_the_program_icon_drawn_in_four_sizes) {
    open();
    const wxIconBundle& icons = frame->GetIcons();
    EXPECT_EQ(icons.GetIconCount(), 4u);
    for (int side : {16, 32, 48, 64}) {
        wxIcon icon = icons.GetIcon(wxSize(side, side), wxIconBundle::FALLBACK_NONE);
        ASSERT_TRUE(icon.IsOk()) << side;
        EXPECT_EQ(icon.GetWidth(), side);
        wxBitmap bitmap;
        bitmap.CopyFromIcon(icon);
        EXPECT_GT(colours(bitmap.ConvertToImage()), 3u) << side << " px: not drawn";
    }
}

// --- the settings file ------------------------------------------------------

// Sets environment variables for its life and puts the old values back.
class env_override {
public:
    env_override(std::initializer_list<std::pair<const char*, const char*>> values) {
        for (const auto& [name, value] : values) {
            std::string old;
            bool had = kiv_get_env(name, old);
            saved_.push_back({name, had, old});
            kiv_set_env(name, value);
        }
    }
    ~env_override() {
        for (const auto& s : saved_)
            kiv_set_env(s.name, s.had ? s.value.c_str() : nullptr);
    }

private:
    struct saved {
        const char* name;
        bool had;
        std::string value;
    };
    std::vector<saved> saved_;
};

// Runs `work` with stderr going to a file. Returns: what was written.
std::string stderr_of(const std::function<void()>& work) {
    kiv_test::temp_dir dir;
    std::fflush(stderr);
    int saved = dup(2);
    int fd = open(dir.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    close(fd);
    work();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    return kiv_test::read_all(dir.file("err"));
}

mode_t mode_of(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

ino_t inode_of(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST(viewer_settings, the_file_is_found_in_the_xdg_layout) {
    struct row {
        const char* xdg;
        const char* home;
        const char* expected;
    } rows[] = {
        {"/x/conf", "/home/u", "/x/conf/ozm_viewer/ozm_viewer.conf"},
        {"/x/conf/", "/home/u", "/x/conf/ozm_viewer/ozm_viewer.conf"},
        {"relative/conf", "/home/u", "/home/u/.config/ozm_viewer/ozm_viewer.conf"},  // not absolute: ignored
        {nullptr, "/home/u/", "/home/u/.config/ozm_viewer/ozm_viewer.conf"},
        {nullptr, "/", "/.config/ozm_viewer/ozm_viewer.conf"},
    };
    for (const row& r : rows) {
        env_override env{{"XDG_CONFIG_HOME", r.xdg}, {"HOME", r.home}};
        EXPECT_EQ(kiv_viewer::settings_path(), r.expected) << (r.xdg ? r.xdg : "(unset)") << " " << r.home;
    }
}

TEST(viewer_settings, every_text_comes_back_whole_and_unchanged_settings_are_not_rewritten) {
    kiv_test::temp_dir dir;
    const std::string file = dir.path() + "/made/for it/ozm_viewer.conf";
    // Long enough to cross any read buffer, with two-byte letters at every
    // offset.
    wxString layout;
    for (int i = 0; i < 3000; ++i)
        layout += wxString::FromUTF8(i % 3 == 0 ? "Карта|" : "a;");
    {
        kiv_viewer::settings_file settings(file);
        settings.Write(kiv_viewer::key_perspective, layout);
        settings.Write(kiv_viewer::key_x, 120L);
        EXPECT_TRUE(settings.Flush());
    }
    EXPECT_EQ(mode_of(dir.path() + "/made"), 0700u);
    EXPECT_EQ(mode_of(dir.path() + "/made/for it"), 0700u);
    const ino_t written = inode_of(file);
    {
        kiv_viewer::settings_file settings(file);
        EXPECT_EQ(settings.Read(kiv_viewer::key_perspective, wxString()), layout);
        EXPECT_EQ(settings.ReadLong(kiv_viewer::key_x, 0), 120);
        EXPECT_TRUE(settings.Flush());  // nothing changed: the file stays
    }
    EXPECT_EQ(inode_of(file), written);
}

TEST(viewer_settings, a_file_it_cannot_use_gives_the_defaults) {
    struct row {
        const char* name;
        std::function<void(const std::string&)> make;
    } rows[] = {
        {"over 1 MiB", [](const std::string& f) {
             std::ofstream(f) << "[frame]\nx=7\n" << std::string(1 << 20, '#');
         }},
        {"a folder", [](const std::string& f) { mkdir(f.c_str(), 0700); }},
        {"binary", [](const std::string& f) { std::ofstream(f, std::ios::binary) << std::string("\0\xff[\0=\n", 7); }},
        {"missing", [](const std::string&) {}},
    };
    for (const row& r : rows) {
        kiv_test::temp_dir dir;
        const std::string file = dir.file("ozm_viewer.conf");
        r.make(file);
        kiv_viewer::settings_file settings(file);
        EXPECT_EQ(kiv_viewer::saved_window_rect(&settings), wxRect(50, 50, 1024, 768)) << r.name;
    }
}

TEST(viewer_settings, a_failed_save_says_so_once_and_leaves_what_was_there) {
    struct row {
        const char* name;
        const char* blocker;  // a file or a folder in the way
        bool folder;
    } rows[] = {
        {"its folder is a file", "conf", false},                // .../conf/ozm_viewer.conf cannot be made
        {"a folder stands in its place", "conf/ozm_viewer.conf", true},  // the rename fails
    };
    for (const row& r : rows) {
        kiv_test::temp_dir dir;
        const std::string file = dir.path() + "/conf/ozm_viewer.conf";
        const std::string blocker = dir.file(r.blocker);
        if (r.folder) {
            mkdir(dir.file("conf").c_str(), 0700);
            mkdir(blocker.c_str(), 0700);
            std::ofstream(blocker + "/kept") << "kept";
        } else {
            std::ofstream(blocker) << "kept";
        }
        // A folder in the file's place is also named once when it is read;
        // what counts here is what the saves say.
        auto settings = std::make_unique<kiv_viewer::settings_file>(file);
        std::string err = stderr_of([&] {
            settings->Write(kiv_viewer::key_x, 9L);
            EXPECT_FALSE(settings->Flush()) << r.name;
            EXPECT_FALSE(settings->Flush()) << r.name;  // the same text again: no second line
            settings.reset();                           // ... nor from the destructor
        });
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << r.name << ": " << err;
        EXPECT_EQ(err.rfind("ozm_view: cannot save the settings to " + file + ": ", 0), 0u) << err;
        EXPECT_EQ(kiv_test::read_all(r.folder ? blocker + "/kept" : blocker), "kept") << r.name;
        if (r.folder) {  // no temporary file left beside it
            EXPECT_EQ(system(("test \"$(ls -A '" + dir.file("conf") + "')\" = ozm_viewer.conf").c_str()), 0);
        }
    }
}


// Group nesting is counted as wxFileConfig splits and reads the lines: a
// lone "\r" ends a line, a backslash escapes a "]", and a key's name
// makes no groups whatever "/" it holds. A header naming more than 8
// levels is refused with one line on stderr; 8 are taken.
TEST(viewer_settings, groups_are_counted_as_the_file_is_read_and_over_8_levels_refused) {
    struct row {
        const char* name;
        std::string text;
        bool refused;
    } rows[] = {
        {"8 levels with a key", "[a/b/c/d/e/f/g/h]\nk=1\n[frame]\nx=70\n", false},
        {"9 levels", "[frame]\nx=70\n[a/b/c/d/e/f/g/h/i]\n", true},
        {"9 levels after lines ended by a lone CR", "[frame]\rx=70\r[a/b/c/d/e/f/g/h/i]\rk=1\r", true},
        {"9 levels after CR LF and LF CR", "[frame]\r\nx=70\n\r[a/b/c/d/e/f/g/h/i]\r\n", true},
        {"9 levels past an escaped ]", "[frame]\nx=70\n[a\\]/b/c/d/e/f/g/h/i]\n", true},
        {"9 levels split by escaped /", "[frame]\nx=70\n[a\\/b\\/c\\/d\\/e\\/f\\/g\\/h\\/i]\n", true},
        {"9 levels after a form feed", "[frame]\nx=70\n\f\v [a/b/c/d/e/f/g/h/i]\n", true},
        {"empty names and a key full of /", "[frame]\nx=70\n[a//b///c/d/e/f/g/h/]\nk/l/m/n/o/p/q/r/s=1\n", false},
    };
    for (const row& r : rows) {
        kiv_test::temp_dir dir;
        const std::string file = dir.file("ozm_viewer.conf");
        std::ofstream(file, std::ios::binary) << r.text;
        std::unique_ptr<kiv_viewer::settings_file> settings;
        std::string err = stderr_of([&] { settings = std::make_unique<kiv_viewer::settings_file>(file); });
        EXPECT_EQ(settings->ReadLong(kiv_viewer::key_x, 50), r.refused ? 50 : 70) << r.name;
        EXPECT_EQ(err.find("its groups nest deeper than 8 levels") != std::string::npos, r.refused)
            << r.name << ": " << err;
    }
}

// A settings file that is a symbolic link (to a file kept with the user's
// other settings) stays a link: the save replaces the file it points to.
// A dangling link gets its file made; a link loop or a link into a
// missing folder is said on stderr, and nothing is written.
TEST(viewer_settings, a_save_writes_through_a_symbolic_link_and_keeps_it) {
    struct row {
        const char* name;
        const char* link;         // what conf/ozm_viewer.conf points to
        const char* second_link;  // null, or "dotfiles/hop" pointing there
        const char* target;       // the file written, under the folder; null: none
        const char* says;         // what stderr says; null: nothing
        long x;                   // "frame/x" as read through the link
    } rows[] = {
        {"relative", "../dotfiles/ozm.conf", nullptr, "dotfiles/ozm.conf", nullptr, 70},
        {"absolute, through a second link", "@/dotfiles/hop", "ozm.conf", "dotfiles/ozm.conf", nullptr, 70},
        {"dangling", "../dotfiles/new.conf", nullptr, "dotfiles/new.conf", nullptr, 50},
        {"into a missing folder", "../gone/ozm.conf", nullptr, nullptr, "(a link to ", 50},
        {"a loop", "../dotfiles/hop", "../conf/ozm_viewer.conf", nullptr, "Too many levels of symbolic links", 50},
    };
    for (const row& r : rows) {
        kiv_test::temp_dir dir;
        ASSERT_EQ(mkdir(dir.file("conf").c_str(), 0700), 0);
        ASSERT_EQ(mkdir(dir.file("dotfiles").c_str(), 0700), 0);
        std::ofstream(dir.file("dotfiles/ozm.conf")) << "[frame]\nx=70\n";
        const std::string file = dir.file("conf/ozm_viewer.conf");
        std::string link = r.link[0] == '@' ? dir.path() + (r.link + 1) : r.link;
        ASSERT_EQ(symlink(link.c_str(), file.c_str()), 0);
        if (r.second_link != nullptr) {
            ASSERT_EQ(symlink(r.second_link, dir.file("dotfiles/hop").c_str()), 0);
        }
        std::string err = stderr_of([&] {
            kiv_viewer::settings_file settings(file);
            EXPECT_EQ(settings.ReadLong(kiv_viewer::key_x, 50), r.x) << r.name;
            settings.Write(kiv_viewer::key_y, 90L);
            EXPECT_EQ(settings.Flush(), r.target != nullptr) << r.name;
        });
        struct stat st;
        ASSERT_EQ(lstat(file.c_str(), &st), 0) << r.name;
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << r.name << ": the link was replaced";
        if (r.target != nullptr) {
            kiv_viewer::settings_file saved(dir.file(r.target));
            EXPECT_EQ(saved.ReadLong(kiv_viewer::key_y, 0), 90) << r.name;
            EXPECT_EQ(err, "") << r.name;
        } else {
            EXPECT_NE(err.find("ozm_view: cannot save the settings to " + file), std::string::npos) << err;
            EXPECT_NE(err.find(r.says), std::string::npos) << r.name << ": " << err;
        }
        // No temporary file is left beside the link or its file.
        EXPECT_EQ(system(("test \"$(ls -A '" + dir.file("conf") + "')\" = ozm_viewer.conf").c_str()), 0) << r.name;
        EXPECT_EQ(system(("test \"$(ls -A '" + dir.file("dotfiles") + "' | grep -c tmp)\" = 0").c_str()), 0)
            << r.name;
    }
}

}  // namespace
