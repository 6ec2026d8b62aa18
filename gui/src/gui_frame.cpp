// gui_frame.cpp --
//
//     "svc_gui_frame": the application object, its top frame, the help
//     controller (books read from zip archives through wxWidgets' zip file
//     system) with the process-wide help provider over it, and the docking
//     manager with its View-menu items.

#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/log.h>
#include <kiv/gui/gui_frame.h>
#include <kiv/gui/gui_lib.h>

#include <wx/app.h>
#include <wx/cshelp.h>
#include <wx/filesys.h>
#include <wx/frame.h>
#include <wx/fs_zip.h>
#include <wx/html/helpctrl.h>

#include <cstdlib>

namespace kiv {

namespace {

// Help books are zip archives; wxWidgets reads into them through its zip
// file system handler, added once for the process (wxWidgets deletes its
// handlers at clean-up).
void add_zip_handler() {
    static bool added = false;
    if (!added) {
        wxFileSystem::AddHandler(new wxZipFSHandler);
        added = true;
    }
}

}  // namespace

gui_frame::gui_frame(wxApp* app)
    : app_(app), manager_(nullptr, manager_flags), view_menu_(&manager_) {
    kiv_trace("gui_frame::gui_frame(%p)", static_cast<void*>(app));
    set_name("gui_frame");
    add_zip_handler();
    help_ = new wxHtmlHelpController(wxHF_DEFAULT_STYLE | wxHF_FLAT_TOOLBAR, nullptr);
    // The controller caches parsed books in its temporary folder and
    // fails an assertion when it cannot write there: a folder that does
    // not exist is not given to it. The root's "tmp" comes first, also
    // when it was made after the core chose its temporary folder (the
    // core then falls back to the system's, which must not win).
    bool root_tmp = false;
    if (char* tmp = kiv_get_absolute_path("tmp")) {
        root_tmp = kiv_dir_exists(tmp);
        if (root_tmp)
            help_->SetTempDir(wxString::FromUTF8(tmp));
        std::free(tmp);
    }
    const char* temp = kiv_temp_path();
    if (!root_tmp && temp != nullptr && *temp != '\0' && kiv_dir_exists(temp))
        help_->SetTempDir(wxString::FromUTF8(temp));
    help_provider_ = new wxHelpControllerHelpProvider(help_);
    // The previous provider is handed to us by Set; nobody else refers to it.
    delete wxHelpProvider::Set(help_provider_);
}

gui_frame::~gui_frame() {
    kiv_trace("gui_frame::~gui_frame()");
    // The provider refers to the controller: it must not outlive it.
    if (help_provider_ != nullptr && wxHelpProvider::Get() == help_provider_) {
        wxHelpProvider::Set(nullptr);
        delete help_provider_;
    }
    help_provider_ = nullptr;
    delete help_;
    help_ = nullptr;
}

bool gui_frame::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_gui_frame", static_cast<i_gui_frame*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

wxApp* gui_frame::get_app() {
    return app_;
}

wxFrame* gui_frame::get_frame() {
    // dynamic_cast: wxDynamicCast casts down before it checks the class.
    return app_ != nullptr ? dynamic_cast<wxFrame*>(app_->GetTopWindow()) : nullptr;
}

wxHtmlHelpController* gui_frame::get_help() {
    return help_;
}

wxAuiManager* gui_frame::get_frame_manager() {
    return &manager_;
}

void gui_frame::add_view_menu_cmd(const char* pane_name) {
    if (!kiv_gui_is_running() || pane_name == nullptr)
        return;
    view_menu_.add_menu_command(wxString::FromUTF8(pane_name));
}

}  // namespace kiv

kiv::i_gui_frame* kiv_cast_i_gui_frame(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_gui_frame>(obj, "i_gui_frame");
}
