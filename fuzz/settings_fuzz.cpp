// settings_fuzz.cpp --
//
//     Reads any bytes as the viewer's settings file and takes the window
//     settings from it as the viewer does at start-up, then writes the
//     settings back to memory (a settings object without a path writes no
//     file).

#include "settings.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kiv_viewer::settings_file settings(std::string(), std::string(reinterpret_cast<const char*>(data), size));
    wxRect rect = kiv_viewer::stored_window_rect(&settings);
    if (rect.width < 100 || rect.height < 100 || rect.width > 32767 || rect.height > 32767)
        std::abort();  // the size rules let an unusable window through
    bool flag = false;
    settings.Read(kiv_viewer::key_maximize, &flag, false);
    settings.Read(kiv_viewer::key_perspective_reset, &flag, false);
    wxString layout;
    settings.Read(kiv_viewer::key_perspective, &layout, wxString());
    settings.Write(kiv_viewer::key_perspective_reset, false);
    settings.Flush();
    return 0;
}
