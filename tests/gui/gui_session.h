// gui_session.h --
//
//     A framework session for GUI tests, set up as an application does it:
//     the core started in a private root with its own library entry run
//     through the loader (so "svc_event", "svc_translator" and the core
//     threads exist), then the frame service registered as
//     "svc_gui_frame" for the test application, then the GUI event
//     service as "svc_gui_event", and a top frame attached to the docking
//     manager. It ends as the application's OnExit does: the frame is
//     detached and destroyed, the GUI services released while the toolkit
//     still stands, then the core is terminated.

#ifndef KIV_TESTS_GUI_GUI_SESSION_H
#define KIV_TESTS_GUI_GUI_SESSION_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/gui/gui_event_proc.h>
#include <kiv/gui/gui_frame.h>

#include "../core/core_session.h"
#include "gui_harness.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/menu.h>

#include <string>

namespace kiv_gui_test {

class gui_session {
public:
    // `services`: register the frame and GUI event services (without
    // them only the core runs).
    explicit gui_session(bool services = true) : core(false) {
        EXPECT_TRUE(core.started);
        EXPECT_NE(kiv_core()->load_library(KIV_BIN_DIR "/kiv_core.so"), nullptr);
        if (services) {
            register_frame_service();
            register_event_service();
        }
    }
    ~gui_session() {
        close_frame();
        drop_event_service();
        drop_frame_service();
    }
    gui_session(const gui_session&) = delete;
    gui_session& operator=(const gui_session&) = delete;

    void register_frame_service() {
        frame_service = new kiv::gui_frame(wxTheApp);
        kiv_core()->register_service(frame_service, "svc_gui_frame");
    }
    void register_event_service() {
        event_service = new kiv::gui_event_proc;
        kiv_core()->register_service(event_service, "svc_gui_event");
    }
    // Unregistering drops the only reference: the service is destroyed.
    void drop_event_service() {
        if (event_service != nullptr)
            kiv_core()->unregister_service("svc_gui_event");
        event_service = nullptr;
    }
    void drop_frame_service() {
        if (frame_service != nullptr)
            kiv_core()->unregister_service("svc_gui_frame");
        frame_service = nullptr;
    }

    // Makes the application's top frame, with a menu bar of the given
    // menu titles (none: no menu bar), attached to the docking manager
    // when the frame service exists, and shows it.
    wxFrame* open_frame(const std::vector<std::string>& menus = {"&File", "&View"}) {
        frame = new wxFrame(nullptr, wxID_ANY, "kiv gui test", wxPoint(0, 0), wxSize(640, 480));
        if (!menus.empty()) {
            wxMenuBar* bar = new wxMenuBar;
            for (const std::string& title : menus) {
                wxMenu* menu = new wxMenu;
                menu->Append(wxID_ANY, "placeholder");
                bar->Append(menu, wxString::FromUTF8(title));
            }
            frame->SetMenuBar(bar);
        }
        wxTheApp->SetTopWindow(frame);
        if (frame_service != nullptr)
            frame_service->get_frame_manager()->SetManagedWindow(frame);
        show_and_wait(frame);
        return frame;
    }
    // The menu of the frame's menu bar titled `title`.
    wxMenu* menu(const char* title) {
        int index = frame->GetMenuBar()->FindMenu(wxString::FromUTF8(title));
        return index != wxNOT_FOUND ? frame->GetMenuBar()->GetMenu(index) : nullptr;
    }
    void close_frame() {
        if (frame == nullptr)
            return;
        if (frame_service != nullptr)
            frame_service->get_frame_manager()->UnInit();
        frame->Destroy();
        frame = nullptr;
        pump();
    }

    kiv_test::core_session core;
    kiv::gui_frame* frame_service = nullptr;     // held by the core's registry; null: none
    kiv::gui_event_proc* event_service = nullptr;  // held by the core's registry; null: none
    wxFrame* frame = nullptr;                    // the top frame; null: none open
};

}  // namespace kiv_gui_test

#endif
