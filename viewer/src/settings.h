// settings.h --
//
//     Where the viewer keeps its settings: a wxFileConfig in the user's
//     configuration folder (XDG: $XDG_CONFIG_HOME, else ~/.config), in a
//     folder named after the application.

#ifndef KIV_VIEWER_SETTINGS_H
#define KIV_VIEWER_SETTINGS_H

#include <wx/gdicmn.h>

class wxConfigBase;

namespace kiv_viewer {

// The application name the settings live under.
extern const char* const settings_app_name;

// Returns: a new configuration object the caller owns (usually handed to
//     wxConfigBase::Set). GUI thread, after wxWidgets has started.
wxConfigBase* open_settings();

// Returns: the window rectangle kept in `config` ("frame/x", "frame/y",
//     "frame/cx", "frame/cy"; defaults 50, 50, 1024, 768), with a size
//     under 100 pixels taken as the default size and a position off every
//     display moved onto the first one.
wxRect saved_window_rect(wxConfigBase* config);

}  // namespace kiv_viewer

#endif
