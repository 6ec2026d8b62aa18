// auto_translator.cpp --
//
//     Adds the catalog and the help book of every library loaded after
//     kiv_gui. The load event runs on the loading thread; the help
//     controller is a GUI object, so a load on another thread hands the
//     book to the GUI thread.

#include "auto_translator.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/files.h>
#include <kiv/core/absolute_path.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/i_kiv_library.h>
#include <kiv/core/i_translator.h>
#include <kiv/core/log.h>
#include <kiv/gui/i_gui_frame.h>

#include <wx/app.h>
#include <wx/html/helpctrl.h>
#include <wx/log.h>
#include <wx/thread.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace kiv {

namespace {

// Library names longer than this are not the system's; such a library
// gets no catalog and no help book.
const size_t max_library_name = 255;

kiv_event_function load_callback() {
    return static_cast<kiv_event_function>(&auto_translator::on_load_library);
}

// Adds the help book at `path` (absolute, UTF-8) to the frame service's
// help controller, when both exist. GUI thread.
void add_help_book(const std::string& path) {
    auto_ptr_t<i_object> frame_service(find_service("svc_gui_frame"));
    i_gui_frame* frame = kiv_cast_i_gui_frame(frame_service);
    wxHtmlHelpController* help = frame != nullptr ? frame->get_help() : nullptr;
    if (help == nullptr)
        return;
    // A missing book is normal (not every library has one) and a damaged
    // one is reported here: neither may open wxWidgets' error box.
    if (!kiv_file_exists(path.c_str()))
        return;
    bool added;
    {
        wxLogNull quiet;
        added = help->AddBook(wxString::FromUTF8(path), false);
    }
    if (!added)
        kiv_log(1, "auto_translator: cannot read the help book %s", path.c_str());
}

}  // namespace

auto_translator::auto_translator() {
    kiv_install_handler("KIV_CORE_EVT_LOAD_LIBRARY", 0, this, load_callback());
}

auto_translator::~auto_translator() {
    kiv_uninstall_handler("KIV_CORE_EVT_LOAD_LIBRARY", 0, this, load_callback());
}

bool auto_translator::on_load_library(i_event* event) {
    auto_ptr_t<i_object> payload(event->get_event_object());
    i_kiv_library* library = kiv_cast_i_kiv_library(payload);
    if (library == nullptr)
        return true;
    // The loader has read the library's own kiv_library_name already.
    const char* name = library->get_name();
    size_t length = strnlen(name, max_library_name + 1);
    if (length == 0)
        return true;
    if (length > max_library_name) {
        kiv_log(1, "auto_translator: a library name of more than %u bytes is ignored",
                static_cast<unsigned>(max_library_name));
        return true;
    }

    auto_ptr_t<i_object> translator_service(find_service("svc_translator"));
    if (i_translator* translator = kiv_cast_i_translator(translator_service))
        translator->add_catalog(name);

    std::string relative = "help/" + std::string(name) + "_doc.zip";
    std::string path = kiv::absolute_path(relative);
    if (path.empty())
        return true;
    if (wxThread::IsMain())
        add_help_book(path);
    else if (wxTheApp != nullptr)
        wxTheApp->CallAfter([path] { add_help_book(path); });
    return true;
}

}  // namespace kiv
