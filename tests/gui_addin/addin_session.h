// addin_session.h --
//
//     A session of the map add-in as the viewer runs it, for GUI tests:
//     the GUI session (core, "svc_gui_frame", "svc_gui_event"), then
//     kiv_gis and kiv_gui_addin loaded through the core's loader (their
//     entries register "svc_gis" and fill the scale table), a top frame
//     with a status bar of four fields, and a map view filling it as the
//     frame's centre pane "map_view" on the drawing test driver, whose
//     pictures depend only on the viewport.

#ifndef KIV_TESTS_GUI_ADDIN_ADDIN_SESSION_H
#define KIV_TESTS_GUI_ADDIN_ADDIN_SESSION_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/gui_addin/addin_lib.h>
#include <kiv/gui_addin/map_view.h>
#include <kiv/gui_addin/move_map_mode.h>
#include <kiv/gui_addin/zoom_map_mode.h>

#include "../gis/drawing_driver.h"
#include "../gui/gui_session.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <wx/aui/framemanager.h>
#include <wx/frame.h>

#include <string>

namespace kiv_gui_test {

// Sets an environment variable for the scope (null unsets it), then
// puts back what was there.
class env_var {
public:
    env_var(const char* name, const char* value) : name_(name) {
        had_ = kiv_get_env(name, old_);
        kiv_set_env(name, value);
    }
    ~env_var() { kiv_set_env(name_, had_ ? old_.c_str() : nullptr); }
    env_var(const env_var&) = delete;
    env_var& operator=(const env_var&) = delete;

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

// Loads the libraries the add-in needs, through the loader, with the
// output folder on PATH.
inline void load_addin_libraries(const std::string& root, const char* driver_library = nullptr) {
    // kiv_image needs a font folder; a test that draws labels sets its own.
    if (kiv_get_env("KIV_FONT_PATH").empty()) {
        std::string fonts = root + "/fonts";
        mkdir(fonts.c_str(), 0700);
        kiv_set_env("KIV_FONT_PATH", fonts.c_str());
    }
    kiv_set_env("KIV_GIS_CACHE_PATH", "disable");
    env_var path("PATH", (std::string(KIV_BIN_DIR) + ":" + kiv_get_env("PATH")).c_str());
    EXPECT_NE(kiv_core()->load_library(KIV_BIN_DIR "/kiv_gis.so"), nullptr);
    EXPECT_NE(kiv_core()->load_library(KIV_BIN_DIR "/kiv_gui_addin.so"), nullptr);
    if (driver_library != nullptr) {
        EXPECT_NE(kiv_core()->load_library((std::string(KIV_BIN_DIR) + "/" + driver_library).c_str()), nullptr);
    }
}

class addin_session {
public:
    // `driver`: registered in "svc_gis" before the view is made (null:
    // none). `view`: make the map view. `driver_library`: a driver
    // library of the output folder loaded before the view is made.
    explicit addin_session(kiv::i_gis_driver* driver, bool view = true, const char* driver_library = nullptr) {
        load_addin_libraries(gui.core.root.path(), driver_library);
        gis_object.reset(kiv_core()->get_service("svc_gis"));
        gis = kiv_cast_i_gis_service(gis_object);
        EXPECT_NE(gis, nullptr);
        if (gis != nullptr && driver != nullptr) {
            EXPECT_TRUE(gis->add_driver(driver));
        }
        frame = gui.open_frame({"&File", "&Map"});
        frame->CreateStatusBar(4);
        if (!view)
            return;
        map = new kiv::map_view(frame);
        map->addref();
        EXPECT_TRUE(map->initialize_sdi());
        gui.frame_service->get_frame_manager()->AddPane(map->get_wnd(),
                                                        wxAuiPaneInfo().CenterPane().Name("map_view"));
        gui.frame_service->get_frame_manager()->Update();
        move = new kiv::move_map_mode;
        move->addref();
        zoom = new kiv::zoom_map_mode;
        zoom->addref();
        map->add_mode(move);
        map->add_mode(zoom);
        map->activate_mode_by_name("MAP_MODE_MOVE");
        pump();
    }
    ~addin_session() {
        if (map != nullptr) {
            map->close();
            gui.frame_service->get_frame_manager()->DetachPane(map->get_wnd());
            map->release();
        }
        if (move != nullptr)
            move->release();
        if (zoom != nullptr)
            zoom->release();
        pump();
        gis_object.reset();
        kiv_set_env("KIV_FONT_PATH", nullptr);
        kiv_set_env("KIV_GIS_CACHE_PATH", nullptr);
    }
    addin_session(const addin_session&) = delete;
    addin_session& operator=(const addin_session&) = delete;

    gui_session gui;
    auto_ptr_t<kiv::i_object> gis_object;  // "svc_gis"
    kiv::i_gis_service* gis = nullptr;      // its interface, borrowed from gis_object
    wxFrame* frame = nullptr;
    kiv::map_view* map = nullptr;           // one reference; null: no view
    kiv::move_map_mode* move = nullptr;     // one reference each
    kiv::zoom_map_mode* zoom = nullptr;
};

// A test of one map mode on the view of the drawing test driver: the
// mode is added and made active by its name at set-up; at the end the
// move mode is active again and the mode is gone from the view.
template <class Mode>
class map_mode_test : public ::testing::Test {
protected:
    // `made`: a new mode (no reference yet); `name`: its mode name.
    map_mode_test(Mode* made, const char* name)
        : driver(kiv_test::make_drawing_driver("drawing", 1)), s(driver.get()), mode(made) {
        mode->addref();
        s.map->add_mode(mode);
        s.map->activate_mode_by_name(name);
    }
    ~map_mode_test() override {
        s.map->activate_mode_by_name("MAP_MODE_MOVE");
        s.map->remove_mode(mode);
        mode->release();
    }
    // Centres the view and waits for the picture drawn for it.
    void show(double lat, double lon, unsigned scale) {
        ASSERT_TRUE(s.map->set_center(lat, lon, scale));
        int before = driver->renders.load();
        pump_until([&] { return driver->renders.load() > before; });
        pump();
    }
    wxWindow* wnd() { return s.map->get_map_wnd(); }

    auto_ptr_t<kiv_test::drawing_driver> driver;
    addin_session s;
    Mode* mode;  // one reference
};

}  // namespace kiv_gui_test

#endif
