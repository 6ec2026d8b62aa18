// settings.cpp --
//
//     Opens the viewer's settings file in the XDG layout. wxFileConfig
//     writes through a temporary file renamed into place, so a failed
//     write never leaves a half-written settings file.

#include "settings.h"

#include "main_frame.h"

#include <wx/fileconf.h>
#include <wx/stdpaths.h>

namespace kiv_viewer {

const char* const settings_app_name = "ozm_viewer";

wxConfigBase* open_settings() {
    wxStandardPaths::Get().SetFileLayout(wxStandardPaths::FileLayout_XDG);
    return new wxFileConfig(settings_app_name, wxString(), wxString(), wxString(),
                            wxCONFIG_USE_LOCAL_FILE | wxCONFIG_USE_SUBDIR);
}

wxRect saved_window_rect(wxConfigBase* config) {
    wxRect rect(50, 50, 1024, 768);
    if (config != nullptr) {
        rect.x = static_cast<int>(config->ReadLong(key_x, 50));
        rect.y = static_cast<int>(config->ReadLong(key_y, 50));
        rect.width = static_cast<int>(config->ReadLong(key_cx, 1024));
        rect.height = static_cast<int>(config->ReadLong(key_cy, 768));
    }
    if (rect.width < 100 || rect.height < 100 || rect.width > 32767 || rect.height > 32767)
        rect.SetSize(wxSize(1024, 768));
    return onto_a_display(rect);
}

}  // namespace kiv_viewer
