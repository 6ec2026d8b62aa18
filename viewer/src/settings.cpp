// settings.cpp --
//
//     The viewer's settings file: found in the XDG layout, read whole and
//     capped, written whole through kiv::file_writer (a unique temporary
//     file renamed into place).

#include "settings.h"

#include <kiv/core/env.h>
#include <kiv/core/file_writer.h>
#include <kiv/core/files.h>

#include <wx/log.h>
#include <wx/mstream.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

namespace kiv_viewer {

const char* const settings_app_name = "ozm_viewer";

const char* const key_x = "frame/x";
const char* const key_y = "frame/y";
const char* const key_cx = "frame/cx";
const char* const key_cy = "frame/cy";
const char* const key_maximize = "frame/maximize";
const char* const key_perspective = "frame/perspective";
const char* const key_perspective_reset = "frame/perspective_reset";

namespace {

// The viewer's settings are seven keys in one group, the longest a pane
// layout of a few hundred bytes: a file past these is not one it wrote,
// and wxFileConfig, which recurses through its groups, is not fed it.
const size_t max_settings_size = 64 * 1024;
const unsigned max_settings_depth = 8;

// Returns: how deep the groups of settings text `text` nest, counted as
//     wxFileConfig reads the text: lines end at "\r\n", "\n" or a lone
//     "\r"; a line whose first character after blanks (space, tab,
//     vertical tab, form feed: what it skips in the C locale the program
//     runs in) is "[" names a group as a path from the top, up to the
//     first "]" that no backslash escapes (or the line's end); its depth
//     is the number of non-empty names between "/" in it, an escaped "/"
//     separating too. A key's name never makes groups, "/" in it or not,
//     so key lines do not count.
unsigned settings_depth(const std::string& text) {
    unsigned deepest = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = text.size();
        while (at < end && (text[at] == ' ' || text[at] == '\t' || text[at] == '\v' || text[at] == '\f'))
            ++at;
        if (at < end && text[at] == '[') {
            unsigned parts = 0;
            bool in_part = false;
            for (size_t i = at + 1; i < end && text[i] != ']'; ++i) {
                // A backslash makes the next character part of the name;
                // an escaped "/" is still a separator once unescaped.
                if (text[i] == '\\' && ++i == end)
                    break;
                if (text[i] == '/') {
                    in_part = false;
                } else if (!in_part) {
                    in_part = true;
                    ++parts;
                }
            }
            deepest = std::max(deepest, parts);
        }
        // "\r\n" is one line end.
        at = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
    }
    return deepest;
}

// Returns: the contents of `path`; empty when it is missing or is refused
//     (unreadable, not a regular file, over max_settings_size, nesting
//     deeper than max_settings_depth), the settings then starting from
//     their defaults. A refused file is named on stderr with the cause;
//     a missing one, a first start, is not. Never blocks: a FIFO or a
//     device is opened without waiting and refused.
std::string read_settings_text(const std::string& path) {
    std::string text;
    if (path.empty())
        return text;
    auto refuse = [&path](const std::string& why) {
        std::fprintf(stderr, "ozm_view: cannot read the settings file %s: %s; starting from the defaults\n",
                     path.c_str(), why.c_str());
        return std::string();
    };
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? text : refuse(std::strerror(errno));
    struct stat st;
    std::string why;
    if (fstat(fd, &st) != 0)
        why = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        why = "it is not a regular file";
    else if (static_cast<uint64_t>(st.st_size) > max_settings_size)
        why = "it is larger than " + std::to_string(max_settings_size) + " bytes";
    while (why.empty()) {
        char buffer[8192];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            why = std::strerror(errno);
        else if (text.size() + static_cast<size_t>(n) > max_settings_size)
            why = "it is larger than " + std::to_string(max_settings_size) + " bytes";
        if (n <= 0 || !why.empty())
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    if (why.empty() && settings_depth(text) > max_settings_depth)
        why = "its groups nest deeper than " + std::to_string(max_settings_depth) + " levels";
    return why.empty() ? text : refuse(why);
}

// Follows `path` through symbolic links to the file they end at, so a
// save replaces that file and leaves the links as the user made them.
// Returns: 0 with the file's path (`path` itself when it is no link; the
//     file need not exist: a dangling link names the file to make) in
//     `target`, or the errno that stopped it (ELOOP past 40 links).
int link_target(const std::string& path, std::string& target) {
    const int most_links = 40;  // as the kernel allows in one lookup
    target = path;
    for (int links = 0;; ++links) {
        struct stat st;
        if (lstat(target.c_str(), &st) != 0)
            return errno == ENOENT ? 0 : errno;
        if (!S_ISLNK(st.st_mode))
            return 0;
        if (links == most_links)
            return ELOOP;
        std::vector<char> buffer(PATH_MAX + 1);
        ssize_t n = readlink(target.c_str(), buffer.data(), buffer.size());
        if (n < 0)
            return errno;
        if (n == 0 || static_cast<size_t>(n) >= buffer.size())
            return ENAMETOOLONG;
        std::string to(buffer.data(), static_cast<size_t>(n));
        // A relative link is taken from the folder the link is in.
        size_t slash = target.rfind('/');
        target = to[0] == '/' || slash == std::string::npos ? to : target.substr(0, slash + 1) + to;
    }
}

// Returns: the text of `config` as wxFileConfig writes it, in UTF-8.
std::string settings_text(wxFileConfig& config) {
    wxMemoryOutputStream out;
    wxLogNull quiet;  // a memory stream does not fail; no dialog if it did
    if (!config.Save(out, wxConvUTF8))
        return std::string();
    std::string text(static_cast<size_t>(out.GetLength()), '\0');
    if (!text.empty())
        out.CopyTo(&text[0], text.size());
    return text;
}

}  // namespace

std::string settings_path() {
    std::string base;
    if (kiv_get_env("XDG_CONFIG_HOME", base) && !base.empty() && base[0] == '/') {
        // taken as given
    } else {
        std::string home = kiv_get_env("HOME");
        if (home.empty() || home[0] != '/') {
            // No usable HOME: the account's own home folder.
            std::vector<char> buffer(16384);
            struct passwd entry;
            struct passwd* found = nullptr;
            if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
                found->pw_dir != nullptr)
                home = found->pw_dir;
        }
        if (home.empty() || home[0] != '/')
            return std::string();
        while (home.size() > 1 && home.back() == '/')
            home.pop_back();
        base = (home == "/" ? std::string() : home) + "/.config";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return (base == "/" ? std::string() : base) + "/" + settings_app_name + "/" + settings_app_name + ".conf";
}

settings_file::quiet_input::quiet_input(const std::string& text) : stream(text.data(), text.size()) {}

settings_file::settings_file(const std::string& path) : settings_file(path, read_settings_text(path)) {}

settings_file::settings_file(const std::string& path, const std::string& text)
    : settings_file(path, text, quiet_input(text)) {}

// The base reads the lines from memory and has no file name of its own,
// so it never writes anything itself; Flush below does.
settings_file::settings_file(const std::string& path, const std::string& text, const quiet_input& in)
    : wxFileConfig(in.stream, wxConvUTF8), path_(path) {
    SetExpandEnvVars(false);
    // What the file already holds needs no writing.
    if (!text.empty()) {
        last_text_ = settings_text(*this);
        tried_ = true;
    }
}

settings_file::~settings_file() {
    Flush();
}

bool settings_file::Flush(bool) {
    std::string text = settings_text(*this);
    if (path_.empty() || (tried_ && text == last_text_))
        return last_ok_;
    tried_ = true;
    last_text_ = text;
    // The folders the file goes in are made private to the user.
    int error = 0;
    size_t slash = path_.rfind('/');
    if (slash != std::string::npos && slash > 0)
        kiv_make_dirs(path_.substr(0, slash).c_str(), 0700, &error);
    std::string target = path_;
    if (error == 0)
        error = link_target(path_, target);
    bool through_link = error == 0 && target != path_;
    if (error == 0) {
        kiv::file_writer writer(target);
        if (writer.write(text.data(), text.size()) && writer.commit())
            error = 0;
        else
            error = writer.error() != 0 ? writer.error() : EIO;
    }
    last_ok_ = error == 0;
    if (!last_ok_) {
        std::string link = through_link ? " (a link to " + target + ")" : std::string();
        std::fprintf(stderr, "ozm_view: cannot save the settings to %s%s: %s\n", path_.c_str(), link.c_str(),
                     std::strerror(error));
    }
    return last_ok_;
}

wxConfigBase* open_settings() {
    std::string path = settings_path();
    if (path.empty())
        std::fputs("ozm_view: no home folder to keep the settings in; they will not be saved\n", stderr);
    return new settings_file(path);
}

wxRect stored_window_rect(wxConfigBase* config) {
    wxRect rect(50, 50, 1024, 768);
    if (config != nullptr) {
        // Any number may stand in the file: kept within what a window
        // can have before it becomes an int.
        auto read = [config](const char* key, long fallback) {
            return static_cast<int>(std::clamp(config->ReadLong(key, fallback), -1000000L, 1000000L));
        };
        rect.x = read(key_x, 50);
        rect.y = read(key_y, 50);
        rect.width = read(key_cx, 1024);
        rect.height = read(key_cy, 768);
    }
    if (rect.width < 100 || rect.height < 100 || rect.width > 32767 || rect.height > 32767)
        rect.SetSize(wxSize(1024, 768));
    return rect;
}

}  // namespace kiv_viewer
