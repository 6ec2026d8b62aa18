// gui_lib.cpp --
//
//     The library's face: the loader protocol, whose entry registers the
//     auto translator, the interface casts of the frame and event
//     services, the titles, the GUI running flag and the message box.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_translator.h>
#include <kiv/core/library_protocol.h>
#include <kiv/gui/gui_lib.h>
#include <kiv/gui/i_gui_frame.h>

#include "auto_translator.h"

#include <wx/frame.h>
#include <wx/msgdlg.h>

#include <atomic>
#include <mutex>
#include <new>
#include <set>
#include <string>

using namespace kiv;

namespace {

std::atomic<bool> gui_running{true};  // cleared for good by kiv_gui_terminate

// Returns: a copy of `text` that lives as long as the process. Titles are
// handed out as plain pointers while the environment and the catalogs
// they come from may change; each distinct text is kept once.
const char* kept_text(const char* text) {
    static std::mutex lock;
    static std::set<std::string> texts;
    std::lock_guard<std::mutex> guard(lock);
    return texts.insert(text).first->c_str();
}

// Returns: the translation of the variable's value, or "" when unset.
const char* title_of(const char* variable) {
    std::string value;
    if (!kiv_get_env(variable, value))
        return "";
    return kept_text(kiv_translate(value.c_str(), ""));
}

}  // namespace

const char* kiv_library_name() {
    return "kiv_gui";
}

const char* kiv_library_version() {
    return "3.1.0031";
}

bool kiv_library_initialized() {
    return true;
}

void kiv_library_entry() {
    i_core* core = kiv_core();
    if (core == nullptr)
        return;
    auto_translator* translator = new (std::nothrow) auto_translator;
    if (translator == nullptr)
        return;
    // The core keeps the service; our reference goes at scope end.
    translator->addref();
    auto_ptr_t<auto_translator> holder(translator);
    core->register_service(translator, "svc_auto_translator");
}

const char* kiv_get_app_name() {
    return title_of("KIV_APP_TITLE");
}

const char* kiv_get_splash_name() {
    return title_of("APP_SPLASH_TITLE");
}

bool kiv_gui_is_running() {
    return gui_running.load();
}

void kiv_gui_terminate() {
    gui_running.store(false);
}

int message_box(const wxString& message, const wxString& caption, int style, wxWindow* parent) {
    wxString title = !caption.empty() ? caption : wxString::FromUTF8(kiv_get_app_name());
    if (parent == nullptr && kiv_core() != nullptr) {
        auto_ptr_t<i_object> frame_service(kiv_core()->get_service("svc_gui_frame"));
        if (i_gui_frame* frame = kiv_cast_i_gui_frame(frame_service))
            parent = frame->get_frame();
    }
    return wxMessageBox(message, title, style, parent);
}
