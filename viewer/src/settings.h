// settings.h --
//
//     Where the viewer keeps its settings: the file
//     $XDG_CONFIG_HOME/ozm_viewer/ozm_viewer.conf (XDG_CONFIG_HOME unset
//     or relative: ~/.config), in wxFileConfig's text format. The file is
//     read once at start-up (a missing file gives the defaults; so does
//     one that is unreadable, not a regular file, over 64 KiB or with a
//     group header over 8 levels deep, each said in one line on stderr)
//     and written as a whole on every flush: missing folders are made
//     with mode 0700, the text goes to a unique temporary file in the
//     same folder that is renamed into place, so a failed write leaves
//     the previous file as it was. A file that is a symbolic link stays
//     one: the file at the end of the links is the one replaced. A failed
//     save says so in one line on stderr and never through a wxLog
//     dialog.

#ifndef KIV_VIEWER_SETTINGS_H
#define KIV_VIEWER_SETTINGS_H

#include <wx/fileconf.h>
#include <wx/gdicmn.h>
#include <wx/log.h>
#include <wx/mstream.h>

#include <string>

class wxConfigBase;

namespace kiv_viewer {

// The application name the settings live under.
extern const char* const settings_app_name;

// The settings keys, under the global configuration object.
extern const char* const key_x;
extern const char* const key_y;
extern const char* const key_cx;
extern const char* const key_cy;
extern const char* const key_maximize;
extern const char* const key_perspective;
extern const char* const key_perspective_reset;

// Returns: the settings file's path from the environment
//     (XDG_CONFIG_HOME when it is an absolute path, else HOME + "/.config",
//     else the account's home folder), empty when there is no home at all.
std::string settings_path();

// The settings as a wxFileConfig whose file is written only by Flush,
// atomically, at the path given.
class settings_file : public wxFileConfig {
public:
    // Reads `path` (anything refused gives empty settings, see above).
    // An empty path keeps the settings in memory only.
    explicit settings_file(const std::string& path);
    // Reads the settings from `text`, as if it were the file's contents;
    // flushes go to `path` (empty: nowhere).
    settings_file(const std::string& path, const std::string& text);
    // Flushes what was changed since the last flush.
    ~settings_file() override;

    // Writes the settings when they differ from what was last written (or
    // tried). Returns: false when the file could not be written; the
    //     reason went to stderr once per text that failed.
    bool Flush(bool current_only = false) override;

    const std::string& path() const { return path_; }

private:
    // wxFileConfig's reading input, quiet while it lives: a malformed line
    // is skipped without a wxLog message box.
    struct quiet_input {
        explicit quiet_input(const std::string& text);
        wxLogNull quiet;
        mutable wxMemoryInputStream stream;
    };
    settings_file(const std::string& path, const std::string& text, const quiet_input& in);

    std::string path_;
    std::string last_text_;   // the text of the last write or attempt
    bool last_ok_ = true;     // that write's outcome
    bool tried_ = false;      // a write was made or tried
};

// Returns: a new settings object on settings_path() that the caller owns
//     (usually handed to wxConfigBase::Set). GUI thread, after wxWidgets
//     has started.
wxConfigBase* open_settings();

// Returns: the window rectangle kept in `config` ("frame/x", "frame/y",
//     "frame/cx", "frame/cy"; defaults 50, 50, 1024, 768), with a size
//     under 100 or over 32767 pixels taken as the default size.
wxRect stored_window_rect(wxConfigBase* config);
// Returns: stored_window_rect with a position off every display moved
//     onto the first one (main_frame.cpp: it asks the displays).
wxRect saved_window_rect(wxConfigBase* config);

}  // namespace kiv_viewer

#endif
