// app.cpp --
//
//     The viewer program: starts the core from "config/config.xml" under
//     its root folder (the program's own folder unless KIV_ROOT_PATH
//     names another), opens the settings, registers the frame service and
//     the GUI event service, and opens the main window where the settings
//     left it. A start that fails (no private temp folder, a configuration
//     that cannot be read, a library that does not start) ends the program
//     with one line on stderr naming the cause and a non-zero status,
//     before any window exists.

#include "main_frame.h"
#include "settings.h"

#include <kiv/core/config.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/log.h>
#include <kiv/gui/gui_event_proc.h>
#include <kiv/gui/gui_frame.h>

#include <wx/app.h>
#include <wx/config.h>
#include <wx/image.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace kiv_viewer {

namespace {

// A desktop program starts wherever it is launched from (a terminal in the
// home folder, a desktop launcher, a link in a folder on PATH), so the
// viewer's root, where its configuration, libraries and data are, is the
// folder of its own program when KIV_ROOT_PATH does not name one. The
// core's own rule, the current folder, stays for other hosts.
// The program's file is the one the system names for the running process,
// links resolved, in the file system's own bytes (UTF-8). wxStandardPaths
// reads the same name but converts it through the C library's locale,
// which wxGTK leaves as "C": a folder named in anything but ASCII would
// come back garbled, or as the command line's first word.
// Changes: KIV_ROOT_PATH, when unset or empty and the program's file is
//     known. Call before kiv_initialize.
void choose_root_folder() {
    if (!kiv_get_env("KIV_ROOT_PATH").empty())
        return;
    std::error_code failed;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failed);
    if (failed || !program.is_absolute())
        return;
    kiv_set_env("KIV_ROOT_PATH", program.parent_path().c_str());
}

}  // namespace

class app : public wxApp {
public:
    bool OnInit() override {
        choose_root_folder();
        if (!kiv_initialize()) {
            std::fputs("ozm_view: the core could not start\n", stderr);
            return false;
        }
        core_started_ = true;
        // Without its own temp folder no library that keeps files starts:
        // the folder's problem is the cause, said before anything else.
        if (*kiv_temp_path() == '\0') {
            std::fprintf(stderr, "ozm_view: cannot start: %s\n",
                         *kiv_temp_path_error() != '\0' ? kiv_temp_path_error() : "no temp folder");
            return false;
        }
        if (!kiv_load_config("config/config.xml")) {
            const char* why = kiv_last_log_error();
            if (*why != '\0')
                std::fprintf(stderr, "ozm_view: cannot start: %s\n", why);
            else
                std::fputs("ozm_view: cannot load the configuration config/config.xml\n", stderr);
            return false;
        }
        wxInitAllImageHandlers();
        wxConfigBase::Set(open_settings());
        wxRect rect = saved_window_rect(wxConfigBase::Get());

        frame_service_ = new kiv::gui_frame(this);
        kiv_core()->register_service(frame_service_, "svc_gui_frame");
        kiv_core()->register_service(new kiv::gui_event_proc, "svc_gui_event");
        services_ = true;

        main_frame* frame = new main_frame(frame_service_, rect.GetTopLeft(), rect.GetSize());
        SetTopWindow(frame);
        frame->Show();
        return true;
    }

    // Services holding wxWidgets objects go while the toolkit still stands.
    int OnExit() override {
        if (services_) {
            kiv_core()->unregister_service("SVC_MAP_SEARCH_PANEL");
            kiv_core()->unregister_service("SVC_MAP");
            kiv_core()->unregister_service("svc_gui_event");
            kiv_core()->unregister_service("svc_gui_frame");
            services_ = false;
        }
        return wxApp::OnExit();
    }

    ~app() override {
        delete wxConfigBase::Set(nullptr);
        if (core_started_)
            kiv_terminate();
    }

private:
    bool core_started_ = false;
    bool services_ = false;
    kiv::gui_frame* frame_service_ = nullptr;  // held by the core's registry
};

}  // namespace kiv_viewer

wxIMPLEMENT_APP(kiv_viewer::app);
