// viewer_start_test.cpp --
//
//     The viewer as a program, started as a user starts it (the built
//     ozm_view in its own folder with its own configuration, as
//     scripts/run does) and ended through its File > Exit menu, clicked
//     through the X server:
//     - a first start with an empty home opens the window at the default
//       rectangle with the program's icon in four sizes and saves the settings file in the XDG layout with its
//       seven "frame/..." keys; a window moved and resized, and a pane
//       layout changed, come back at the next start;
//     - a home where the settings cannot be written still ends with
//       status 0 and one line on stderr naming the file and the reason;
//     - without a loadable "config/config.xml" it ends with a non-zero
//       status and exactly one line on stderr, and writes no settings;
//       a library that does not start (no fonts, maps or render folder)
//       is named in that line with its cause;
//     - a second account starts it beside the first, each with a private
//       temp folder of its own under the shared one; a foreign folder at
//       that name stops the start with one line naming it;
//     - a settings file that is a FIFO, unreadable, oversized or nested
//       without end is named on stderr and replaced at exit;
//     - the scale bar is as long as the distance its text names; with
//       every layer unticked the map is blank; a start renders once.

#include "test_util.h"

#include "gui_harness.h"

#include <gtest/gtest.h>

#include <wx/aui/framemanager.h>
#include <wx/fileconf.h>
#include <wx/mstream.h>
#include <wx/uiaction.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

extern char** environ;

namespace {

// A generous bound for each wait on the program (start, menu, exit); a
// loaded machine under the sanitizers stays far below it.
const std::chrono::seconds wait_bound(60);

const char* const settings_keys[] = {"frame/x",       "frame/y",           "frame/cx",
                                     "frame/cy",      "frame/maximize",    "frame/perspective",
                                     "frame/perspective_reset"};

// The viewer as a child process with its stderr collected.
class viewer_process {
public:
    // Starts ozm_view in `folder` (its root) with the environment changed
    // by `env`: a name mapped to a value sets it, to null removes it.
    // KIV_ROOT_PATH is always removed (the folder is the root).
    // With `as_uid` not 0 (the test running as the superuser), the
    // program runs as that account, as a second user starts it.
    // With `out_file`, its stdout (the framework's trace) goes there.
    viewer_process(const std::string& folder, const std::map<std::string, const char*>& env, uid_t as_uid = 0,
                   const char* out_file = nullptr) {
        std::vector<std::string> env_text;
        for (char** e = environ; *e != nullptr; ++e) {
            std::string entry(*e);
            std::string name = entry.substr(0, entry.find('='));
            if (env.count(name) == 0 && name != "KIV_ROOT_PATH" && name != "LSAN_OPTIONS")
                env_text.push_back(entry);
        }
        // In the sanitizer build the toolkit's own leaks (GTK, D-Bus) are
        // not the program's, as for every GUI test.
        env_text.push_back("LSAN_OPTIONS=print_suppressions=0:suppressions=" KIV_GUI_LSAN_SUPP);
        for (const auto& [name, value] : env)
            if (value != nullptr)
                env_text.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (std::string& text : env_text)
            envp.push_back(text.data());
        envp.push_back(nullptr);
        std::string program = KIV_BIN_DIR "/ozm_view";
        char* argv[] = {program.data(), nullptr};

        int err_pipe[2];
        if (pipe2(err_pipe, O_CLOEXEC) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            int null_fd = out_file != nullptr ? open(out_file, O_WRONLY | O_CREAT | O_TRUNC, 0600)
                                              : open("/dev/null", O_WRONLY);
            if (chdir(folder.c_str()) != 0 || null_fd < 0)
                _exit(126);
            if (as_uid != 0 && (setgroups(0, nullptr) != 0 || setresgid(as_uid, as_uid, as_uid) != 0 ||
                                setresuid(as_uid, as_uid, as_uid) != 0))
                _exit(125);
            dup2(null_fd, 1);
            dup2(err_pipe[1], 2);
            execve(program.c_str(), argv, envp.data());
            _exit(127);
        }
        close(err_pipe[1]);
        err_fd_ = err_pipe[0];
        if (pid_ < 0) {
            close(err_fd_);
            err_fd_ = -1;
        }
    }
    ~viewer_process() {
        if (running()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (err_fd_ >= 0)
            close(err_fd_);
    }
    viewer_process(const viewer_process&) = delete;
    viewer_process& operator=(const viewer_process&) = delete;

    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0 && !ended_; }

    // Waits (within wait_bound) for the program to end, collecting its
    // stderr. Returns: true when it ended by itself; status() and err()
    //     then tell how.
    bool wait_end() {
        auto limit = std::chrono::steady_clock::now() + wait_bound;
        while (running() && std::chrono::steady_clock::now() < limit) {
            read_err(100);
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
        }
        while (ended_ && read_err(0)) {
        }
        return ended_;
    }
    // Reads what stderr has ready, waiting up to `ms` for it.
    // Returns: true when something was read.
    bool read_err(int ms) {
        if (err_fd_ < 0)
            return false;
        pollfd p{err_fd_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0)
            return false;
        char buffer[4096];
        ssize_t n = read(err_fd_, buffer, sizeof buffer);
        if (n <= 0) {
            close(err_fd_);
            err_fd_ = -1;
            return false;
        }
        err_.append(buffer, static_cast<size_t>(n));
        return true;
    }
    int status() const { return status_; }
    const std::string& err() const { return err_; }

private:
    pid_t pid_ = -1;
    int err_fd_ = -1;
    bool ended_ = false;
    int status_ = -1;
    std::string err_;
};

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The program's windows as the X server shows them, seen through a
// connection of the test's own.
class x_view {
public:
    x_view() : display_(XOpenDisplay(nullptr)) {}
    ~x_view() {
        if (display_ != nullptr)
            XCloseDisplay(display_);
    }
    x_view(const x_view&) = delete;
    x_view& operator=(const x_view&) = delete;
    bool ok() const { return display_ != nullptr; }

    // Returns: the mapped top-level window of process `pid` titled
    //     `title`, or 0.
    Window top_window(pid_t pid, const char* title) {
        for (Window w : root_children()) {
            XWindowAttributes a;
            if (!XGetWindowAttributes(display_, w, &a) || a.map_state != IsViewable || a.override_redirect)
                continue;
            if (window_pid(w) != pid)
                continue;
            char* name = nullptr;
            bool named = XFetchName(display_, w, &name) && name != nullptr && std::strcmp(name, title) == 0;
            if (name != nullptr)
                XFree(name);
            if (named)
                return w;
        }
        return 0;
    }
    // Returns: top_window, or under a window manager the window of
    //     process `pid` titled `title` inside the frame it was put in.
    Window framed_window(pid_t pid, const char* title) {
        if (Window w = top_window(pid, title))
            return w;
        for (Window frame : root_children()) {
            Window root, parent;
            Window* children = nullptr;
            unsigned count = 0;
            if (!XQueryTree(display_, frame, &root, &parent, &children, &count))
                continue;
            std::vector<Window> inside(children, children + count);
            if (children != nullptr)
                XFree(children);
            for (Window w : inside) {
                char* name = nullptr;
                bool named = window_pid(w) == pid && XFetchName(display_, w, &name) && name != nullptr &&
                             std::strcmp(name, title) == 0;
                if (name != nullptr)
                    XFree(name);
                if (named)
                    return w;
            }
        }
        return 0;
    }
    // Returns: whether a window manager runs on the display (it names
    //     its check window on the root).
    bool managed() {
        Atom type;
        int format;
        unsigned long items, after;
        unsigned char* data = nullptr;
        Atom check = XInternAtom(display_, "_NET_SUPPORTING_WM_CHECK", False);
        bool found = XGetWindowProperty(display_, DefaultRootWindow(display_), check, 0, 1, False, XA_WINDOW, &type,
                                        &format, &items, &after, &data) == Success &&
                     data != nullptr && items == 1;
        if (data != nullptr)
            XFree(data);
        return found;
    }
    // Returns: the mapped override-redirect windows (popup menus, tooltips).
    std::set<Window> popups() {
        std::set<Window> found;
        for (Window w : root_children()) {
            XWindowAttributes a;
            if (XGetWindowAttributes(display_, w, &a) && a.map_state == IsViewable && a.override_redirect)
                found.insert(w);
        }
        return found;
    }
    // Returns: the window's rectangle on the screen (its frame, there being
    //     no window manager).
    wxRect rect(Window w) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(display_, w, &a))
            return wxRect();
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(display_, w, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
        return wxRect(x, y, a.width, a.height);
    }
    // Returns: the window's pixels as 0xRRGGBB, row by row (empty when
    //     they cannot be read).
    std::vector<uint32_t> pixels(Window w, int* width, int* height) {
        std::vector<uint32_t> out;
        XWindowAttributes a;
        if (!XGetWindowAttributes(display_, w, &a))
            return out;
        XImage* image = XGetImage(display_, w, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height),
                                  AllPlanes, ZPixmap);
        if (image == nullptr)
            return out;
        *width = a.width;
        *height = a.height;
        out.reserve(static_cast<size_t>(a.width) * static_cast<size_t>(a.height));
        for (int y = 0; y < a.height; ++y)
            for (int x = 0; x < a.width; ++x)
                out.push_back(static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
        XDestroyImage(image);
        return out;
    }
    // Moves and resizes the window as a window manager would for a user
    // dragging its title bar and border.
    void move_resize(Window w, const wxRect& r) {
        XMoveResizeWindow(display_, w, r.x, r.y, static_cast<unsigned>(r.width), static_cast<unsigned>(r.height));
        XSync(display_, False);
    }

    // Returns: the sizes of the icons the window offers the desktop
    //     (_NET_WM_ICON: width, height, then the pixels, for each icon).
    std::vector<int> icon_sizes(Window w) {
        std::vector<int> sizes;
        Atom type;
        int format;
        unsigned long items, after;
        unsigned char* data = nullptr;
        Atom icon_atom = XInternAtom(display_, "_NET_WM_ICON", False);
        if (XGetWindowProperty(display_, w, icon_atom, 0, 1 << 20, False, XA_CARDINAL, &type, &format, &items,
                               &after, &data) != Success ||
            data == nullptr)
            return sizes;
        const long* values = reinterpret_cast<const long*>(data);
        for (unsigned long at = 0; type == XA_CARDINAL && format == 32 && at + 2 <= items;) {
            const unsigned long width = static_cast<unsigned long>(values[at]);
            const unsigned long height = static_cast<unsigned long>(values[at + 1]);
            if (width == 0 || width != height || width > 1024)
                break;
            sizes.push_back(static_cast<int>(width));
            at += 2 + width * height;
        }
        XFree(data);
        return sizes;
    }

private:
    std::vector<Window> root_children() {
        std::vector<Window> out;
        Window root, parent;
        Window* children = nullptr;
        unsigned count = 0;
        XSync(display_, False);
        if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
            out.assign(children, children + count);
            if (children != nullptr)
                XFree(children);
        }
        return out;
    }
    long window_pid(Window w) {
        Atom type;
        int format;
        unsigned long items, after;
        unsigned char* data = nullptr;
        long pid = -1;
        Atom pid_atom = XInternAtom(display_, "_NET_WM_PID", False);
        if (XGetWindowProperty(display_, w, pid_atom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                               &data) == Success &&
            data != nullptr) {
            if (type == XA_CARDINAL && format == 32 && items == 1)
                pid = *reinterpret_cast<long*>(data);
            XFree(data);
        }
        return pid;
    }

    Display* display_;
};

// Polls `done` until it holds or wait_bound passed, watching the program
// (a program that ended cannot get there). Returns: done().
bool wait_for(viewer_process& viewer, const std::function<bool()>& done) {
    auto limit = std::chrono::steady_clock::now() + wait_bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit || !viewer.running())
            return false;
        viewer.read_err(50);  // also the pause between polls
        int status = 0;
        if (waitpid(viewer.pid(), &status, WNOHANG) == viewer.pid()) {
            ADD_FAILURE() << "the viewer ended early: " << viewer.err();
            return false;
        }
    }
    return true;
}

// The viewer's main window, once it is on screen. Returns: 0 when it never
//     came.
Window wait_frame(x_view& x, viewer_process& viewer) {
    Window frame = 0;
    wait_for(viewer, [&] { return (frame = x.top_window(viewer.pid(), "Viewer OZM")) != 0; });
    return frame;
}

// Clicks at `at` (screen coordinates) through the X server, as a user.
void click_at(const wxPoint& at) {
    wxUIActionSimulator simulator;
    simulator.MouseMove(at);
    simulator.MouseClick();
}

// Ends the viewer as a user does: a click on "File" at the left end of
// the menu bar, then a click on its one item, "Exit", in the menu that
// opened. Returns: true when the program ended by itself afterwards.
bool exit_through_menu(x_view& x, viewer_process& viewer, Window frame) {
    std::set<Window> before = x.popups();
    wxRect r = x.rect(frame);
    click_at(wxPoint(r.x + 12, r.y + 10));
    Window menu = 0;
    if (!wait_for(viewer, [&] {
            for (Window w : x.popups())
                if (before.count(w) == 0 && x.rect(w).height > 10)
                    menu = w;
            return menu != 0;
        })) {
        ADD_FAILURE() << "the File menu never opened";
        return false;
    }
    // The File menu holds Exit alone: its middle is the item.
    wxRect m = x.rect(menu);
    click_at(wxPoint(m.x + m.width / 2, m.y + m.height / 2));
    return viewer.wait_end();
}

// The settings file read back as the program reads it.
std::unique_ptr<wxFileConfig> read_settings(const std::string& path) {
    std::string text = kiv_test::read_all(path);
    wxMemoryInputStream in(text.data(), text.size());
    return std::make_unique<wxFileConfig>(in, wxConvUTF8);
}

// Returns: the "state" of pane `name` in a saved docking layout, -1 when
//     the pane is not in it.
long pane_state(const wxString& perspective, const wxString& name) {
    for (const wxString& pane : wxSplit(perspective, '|', '\0')) {
        if (!pane.Contains("name=" + name + ";"))
            continue;
        for (const wxString& field : wxSplit(pane, ';', '\0'))
            if (field.StartsWith("state=")) {
                long state = -1;
                return field.Mid(6).ToLong(&state) ? state : -1;
            }
    }
    return -1;
}

// Returns: `perspective` with the "state" of pane `name` replaced.
wxString with_pane_state(const wxString& perspective, const wxString& name, long state) {
    wxArrayString panes = wxSplit(perspective, '|', '\0');
    for (wxString& pane : panes) {
        if (!pane.Contains("name=" + name + ";"))
            continue;
        wxArrayString fields = wxSplit(pane, ';', '\0');
        for (wxString& field : fields)
            if (field.StartsWith("state="))
                field = wxString::Format("state=%ld", state);
        pane = wxJoin(fields, ';', '\0');
    }
    return wxJoin(panes, '|', '\0');
}

mode_t mode_of(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(viewer_program, saves_its_settings_and_restores_the_window_and_panes_at_the_next_start) {
    x_view x;
    ASSERT_TRUE(x.ok());
    kiv_test::temp_dir home;
    const std::string config_home = home.path() + "/config home";
    const std::string file = config_home + "/ozm_viewer/ozm_viewer.conf";
    const std::map<std::string, const char*> env{{"HOME", home.path().c_str()},
                                                 {"XDG_CONFIG_HOME", config_home.c_str()}};

    // First start: the default rectangle; File > Exit saves the settings.
    {
        viewer_process viewer(KIV_BIN_DIR, env);
        Window frame = wait_frame(x, viewer);
        ASSERT_NE(frame, 0u) << viewer.err();
        EXPECT_EQ(x.rect(frame), wxRect(50, 50, 1024, 768));
        std::vector<int> icons = x.icon_sizes(frame);
        std::sort(icons.begin(), icons.end());
        EXPECT_EQ(icons, (std::vector<int>{16, 32, 48, 64}));
        ASSERT_TRUE(exit_through_menu(x, viewer, frame)) << viewer.err();
        EXPECT_EQ(viewer.status(), 0) << viewer.err();
        EXPECT_EQ(viewer.err().find("ozm_view: "), std::string::npos) << viewer.err();
    }
    EXPECT_EQ(mode_of(config_home), 0700u);
    EXPECT_EQ(mode_of(config_home + "/ozm_viewer"), 0700u);
    ASSERT_TRUE(mode_of(file) != 0) << "no settings file at " << file;
    {
        auto saved = read_settings(file);
        for (const char* key : settings_keys)
            EXPECT_TRUE(saved->HasEntry(key)) << key;
        EXPECT_EQ(saved->ReadLong("frame/x", -1), 50);
        EXPECT_EQ(saved->ReadLong("frame/cx", -1), 1024);
        EXPECT_EQ(saved->ReadBool("frame/maximize", true), false);
        EXPECT_EQ(saved->ReadBool("frame/perspective_reset", true), false);
        EXPECT_NE(pane_state(saved->Read("frame/perspective"), "ID_VIEW_MAPS"), -1);
    }
    // Nothing but the settings file is left in its folder.
    EXPECT_EQ(system(("test \"$(ls -A '" + config_home + "/ozm_viewer')\" = ozm_viewer.conf").c_str()), 0);

    // Second start: the user moves and resizes the window.
    const wxRect moved(120, 90, 800, 600);
    {
        viewer_process viewer(KIV_BIN_DIR, env);
        Window frame = wait_frame(x, viewer);
        ASSERT_NE(frame, 0u) << viewer.err();
        x.move_resize(frame, moved);
        ASSERT_TRUE(wait_for(viewer, [&] { return x.rect(frame) == moved; })) << x.rect(frame).x;
        ASSERT_TRUE(exit_through_menu(x, viewer, frame)) << viewer.err();
        EXPECT_EQ(viewer.status(), 0) << viewer.err();
    }
    // ... and the layout is changed: the maps pane is hidden.
    wxString hidden_layout;
    {
        auto saved = read_settings(file);
        EXPECT_EQ(saved->ReadLong("frame/x", -1), moved.x);
        EXPECT_EQ(saved->ReadLong("frame/y", -1), moved.y);
        EXPECT_EQ(saved->ReadLong("frame/cx", -1), moved.width);
        EXPECT_EQ(saved->ReadLong("frame/cy", -1), moved.height);
        wxString layout = saved->Read("frame/perspective");
        long state = pane_state(layout, "ID_VIEW_MAPS");
        ASSERT_NE(state, -1) << layout;
        ASSERT_EQ(state & wxAuiPaneInfo::optionHidden, 0);
        hidden_layout = with_pane_state(layout, "ID_VIEW_MAPS", state | wxAuiPaneInfo::optionHidden);
        saved->Write("frame/perspective", hidden_layout);
        wxMemoryOutputStream out;
        ASSERT_TRUE(saved->Save(out, wxConvUTF8));
        std::string text(static_cast<size_t>(out.GetLength()), '\0');
        out.CopyTo(&text[0], text.size());
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    }

    // Third start: the window and the pane layout are where they were left.
    {
        viewer_process viewer(KIV_BIN_DIR, env);
        Window frame = wait_frame(x, viewer);
        ASSERT_NE(frame, 0u) << viewer.err();
        EXPECT_EQ(x.rect(frame), moved);
        ASSERT_TRUE(exit_through_menu(x, viewer, frame)) << viewer.err();
        EXPECT_EQ(viewer.status(), 0) << viewer.err();
    }
    auto saved = read_settings(file);
    EXPECT_EQ(saved->ReadLong("frame/x", -1), moved.x);
    EXPECT_EQ(saved->ReadLong("frame/cy", -1), moved.height);
    long state = pane_state(saved->Read("frame/perspective"), "ID_VIEW_MAPS");
    EXPECT_NE(state & wxAuiPaneInfo::optionHidden, 0) << "the hidden maps pane came back shown";
}

TEST(viewer_program, a_home_it_cannot_write_ends_it_with_status_0_and_one_line_on_stderr) {
    x_view x;
    ASSERT_TRUE(x.ok());
    struct row {
        const char* name;
        const char* blocker;  // a plain file put where the settings folder belongs
        mode_t home_mode;     // the home folder's mode
    } rows[] = {
        {"a file where ~/.config belongs", ".config", 0700},
        {"a read-only home", nullptr, 0500},
    };
    for (const row& r : rows) {
        kiv_test::temp_dir home;
        if (r.blocker != nullptr)
            std::ofstream(home.file(r.blocker)) << "not a folder";
        ASSERT_EQ(chmod(home.path().c_str(), r.home_mode), 0);
        if (access(home.path().c_str(), W_OK) == 0 && (r.home_mode & 0200) == 0) {
            // The superuser writes through any mode: nothing to test here.
            chmod(home.path().c_str(), 0700);
            continue;
        }
        viewer_process viewer(KIV_BIN_DIR, {{"HOME", home.path().c_str()}, {"XDG_CONFIG_HOME", nullptr}});
        Window frame = wait_frame(x, viewer);
        ASSERT_NE(frame, 0u) << r.name << ": " << viewer.err();
        ASSERT_TRUE(exit_through_menu(x, viewer, frame)) << r.name << ": " << viewer.err();
        chmod(home.path().c_str(), 0700);
        EXPECT_EQ(viewer.status(), 0) << r.name;
        // The one line on stderr is the failed save's.
        std::vector<std::string> about_settings = lines_of(viewer.err());
        ASSERT_EQ(about_settings.size(), 1u) << r.name << ": " << viewer.err();
        // "ozm_view: cannot save the settings to FILE: REASON"
        const std::string named = home.path() + "/.config/ozm_viewer/ozm_viewer.conf: ";
        size_t at = about_settings[0].find(named);
        ASSERT_NE(at, std::string::npos) << about_settings[0];
        EXPECT_GT(about_settings[0].size(), at + named.size()) << "no reason: " << about_settings[0];
    }
}

TEST(viewer_program, a_missing_or_failing_configuration_ends_with_one_line_on_stderr) {
    struct row {
        const char* name;
        const char* config;  // null: no configuration file at all
        const char* names;   // what the line names
    } rows[] = {
        {"missing", nullptr, "config/config.xml"},
        {"malformed", "<config><libraries>", "config/config.xml"},
        {"missing library", "<config><libraries><library path=\"no_such_library\" priority=\"1\"/></libraries></config>",
         "no_such_library did not start: no file '"},
    };
    for (const row& r : rows) {
        kiv_test::temp_dir root;
        kiv_test::temp_dir settings;
        if (r.config != nullptr) {
            ASSERT_EQ(mkdir((root.path() + "/config").c_str(), 0700), 0);
            std::ofstream(root.path() + "/config/config.xml") << r.config;
        }
        viewer_process viewer(root.path(), {{"XDG_CONFIG_HOME", settings.path().c_str()}});
        ASSERT_TRUE(viewer.wait_end()) << r.name << ": still running";
        EXPECT_NE(viewer.status(), 0) << r.name;
        EXPECT_EQ(lines_of(viewer.err()).size(), 1u) << r.name << ": " << viewer.err();
        EXPECT_NE(viewer.err().find(r.names), std::string::npos) << r.name << ": " << viewer.err();
        EXPECT_EQ(mode_of(settings.path() + "/ozm_viewer"), 0u) << r.name << ": settings written";
    }
}

// A second account on the machine: the X server's key and a home of its
// own, as that user has when logging in. Only the superuser can start a
// program as another account.
struct second_account {
    static const uid_t uid = 4242;
    kiv_test::temp_dir home;
    std::string xauthority;
    bool ready = false;
    second_account() {
        if (geteuid() != 0)
            return;
        const char* key = getenv("XAUTHORITY");
        xauthority = home.file(".Xauthority");
        if (key != nullptr)
            std::ofstream(xauthority, std::ios::binary) << kiv_test::read_all(key);
        ready = chown(home.path().c_str(), uid, uid) == 0 && chmod(home.path().c_str(), 0700) == 0 &&
                (key == nullptr || chown(xauthority.c_str(), uid, uid) == 0);
    }
    std::map<std::string, const char*> env(const char* tmpdir) const {
        return {{"HOME", home.path().c_str()},
                {"XDG_CONFIG_HOME", nullptr},
                {"XAUTHORITY", xauthority.c_str()},
                {"TMPDIR", tmpdir}};
    }
};

// The shared temp folder (TMPDIR here, /tmp by default) as two accounts
// meet it: each gets a private folder of its own under it, so the second
// account starts the viewer as the first one did.
TEST(viewer_program, a_second_account_starts_it_beside_the_first_with_a_temp_folder_of_its_own) {
    second_account second;
    if (!second.ready)
        GTEST_SKIP() << "needs the superuser to start the program as a second account";
    x_view x;
    ASSERT_TRUE(x.ok());
    kiv_test::temp_dir shared;
    ASSERT_EQ(chmod(shared.path().c_str(), 01777), 0);  // as /tmp is
    kiv_test::temp_dir first_home;
    {
        viewer_process viewer(KIV_BIN_DIR, {{"HOME", first_home.path().c_str()},
                                            {"XDG_CONFIG_HOME", nullptr},
                                            {"TMPDIR", shared.path().c_str()}});
        Window frame = wait_frame(x, viewer);
        ASSERT_NE(frame, 0u) << viewer.err();
        ASSERT_TRUE(exit_through_menu(x, viewer, frame)) << viewer.err();
        EXPECT_EQ(viewer.status(), 0) << viewer.err();
    }
    {
        viewer_process viewer(KIV_BIN_DIR, second.env(shared.path().c_str()), second.uid);
        Window frame = wait_frame(x, viewer);
        ASSERT_NE(frame, 0u) << viewer.status() << " " << viewer.err();
        ASSERT_TRUE(exit_through_menu(x, viewer, frame)) << viewer.err();
        EXPECT_EQ(viewer.status(), 0) << viewer.err();
        EXPECT_EQ(viewer.err().find("ozm_view: "), std::string::npos) << viewer.err();
    }
    for (uid_t uid : {geteuid(), second.uid}) {
        struct stat st;
        const std::string own = shared.path() + "/kiv-" + std::to_string(uid);
        ASSERT_EQ(lstat(own.c_str(), &st), 0) << own;
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << own;
        EXPECT_EQ(st.st_uid, uid) << own;
        EXPECT_EQ(st.st_mode & 07777, 0700u) << own;
    }
}

// What stands at the account's name in the shared temp folder and is not
// its own private folder (planted by someone else, or left open) stops
// the start with one line naming it, before any window.
TEST(viewer_program, a_foreign_temp_folder_of_its_name_ends_it_with_one_line_naming_the_folder) {
    struct row {
        const char* name;
        std::function<bool(const std::string& at)> plant;
        const char* says;
    } rows[] = {
        {"a link", [](const std::string& at) { return symlink("/", at.c_str()) == 0; }, "symbolic link"},
        {"a folder open to all",
         [](const std::string& at) { return mkdir(at.c_str(), 0700) == 0 && chmod(at.c_str(), 0777) == 0; },
         "open to other users"},
        {"another account's folder",
         [](const std::string& at) {
             return geteuid() == 0 && mkdir(at.c_str(), 0700) == 0 && chown(at.c_str(), 4243, 4243) == 0;
         },
         "belongs to user 4243"},
    };
    for (const row& r : rows) {
        kiv_test::temp_dir shared;
        kiv_test::temp_dir home;
        const std::string at = shared.path() + "/kiv-" + std::to_string(geteuid());
        if (!r.plant(at))
            continue;  // only the superuser can give a folder away
        viewer_process viewer(KIV_BIN_DIR, {{"HOME", home.path().c_str()},
                                            {"XDG_CONFIG_HOME", nullptr},
                                            {"TMPDIR", shared.path().c_str()}});
        ASSERT_TRUE(viewer.wait_end()) << r.name << ": still running";
        EXPECT_NE(viewer.status(), 0) << r.name;
        std::vector<std::string> lines = lines_of(viewer.err());
        ASSERT_EQ(lines.size(), 1u) << r.name << ": " << viewer.err();
        EXPECT_NE(lines[0].find("'" + at + "'"), std::string::npos) << r.name << ": " << lines[0];
        EXPECT_NE(lines[0].find(r.says), std::string::npos) << r.name << ": " << lines[0];
        EXPECT_EQ(lines[0].find("config/config.xml"), std::string::npos) << r.name << ": " << lines[0];
    }
}

// A library that does not start is named with its own cause, in one
// line, instead of the configuration that named it.
TEST(viewer_program, a_library_that_does_not_start_is_named_with_its_cause_in_one_line) {
    const std::string bin = KIV_BIN_DIR;
    const std::string fonts = "/usr/share/fonts/truetype/dejavu";
    const std::string maps = bin + "/demo/ozm/maps";
    const std::string render = bin + "/demo/ozm/render";
    struct row {
        const char* name;
        std::string fonts, maps, render;
        const char* library;
        std::string folder;  // the folder the line names
    } rows[] = {
        {"no fonts folder", "/no/such/fonts", maps, render, "kiv_image", "/no/such/fonts"},
        {"no maps folder", fonts, "/no/such/maps", render, "gis_ozm_driver", "/no/such/maps"},
        {"no render configuration", fonts, maps, "/no/such/render", "gis_ozm_driver", "/no/such/render"},
    };
    for (const row& r : rows) {
        kiv_test::temp_dir root;
        kiv_test::temp_dir settings;
        ASSERT_EQ(mkdir(root.file("config").c_str(), 0700), 0);
        // The root of its own configuration, with the programs' libraries.
        ASSERT_EQ(system(("ln -s '" + bin + "'/*.so '" + root.path() + "'").c_str()), 0);
        std::ofstream(root.file("config/config.xml"))
            << "<config><variables>"
            << "<variable name=\"KIV_FONT_PATH\" value=\"" << r.fonts << "\" type=\"path\"/>"
            << "<variable name=\"KIV_OZM_MAPS_PATH\" value=\"" << r.maps << "\" type=\"path\"/>"
            << "<variable name=\"KIV_OZM_RENDER_CONFIG_PATH\" value=\"" << r.render << "\" type=\"path\"/>"
            << "</variables><libraries>"
            << "<library path=\"kiv_core\" priority=\"100\"/>"
            << "<library path=\"kiv_image\" priority=\"90\"/>"
            << "<library path=\"kiv_gis\" priority=\"80\"/>"
            << "<library path=\"gis_ozm_driver\" priority=\"70\"/>"
            << "<library path=\"kiv_gui_addin\" priority=\"60\"/>"
            << "</libraries></config>";
        viewer_process viewer(root.path(), {{"XDG_CONFIG_HOME", settings.path().c_str()}});
        ASSERT_TRUE(viewer.wait_end()) << r.name << ": still running";
        EXPECT_NE(viewer.status(), 0) << r.name;
        std::vector<std::string> lines = lines_of(viewer.err());
        ASSERT_EQ(lines.size(), 1u) << r.name << ": " << viewer.err();
        EXPECT_NE(lines[0].find(std::string(r.library) + " did not start: "), std::string::npos)
            << r.name << ": " << lines[0];
        EXPECT_NE(lines[0].find("'" + r.folder + "'"), std::string::npos) << r.name << ": " << lines[0];
        EXPECT_EQ(lines[0].find("config/config.xml"), std::string::npos) << r.name << ": " << lines[0];
    }
}

// A settings file the program cannot take is said in one line on stderr
// naming it; the window opens at the defaults, the program ends normally
// and leaves a settings file of its own. A FIFO does not hang the start;
// groups nested without end do not crash the exit.
TEST(viewer_program, a_settings_file_it_cannot_take_is_named_on_stderr_and_replaced_at_exit) {
    x_view x;
    ASSERT_TRUE(x.ok());
    second_account second;
    std::string deep_group = "[a";
    for (int i = 0; i < 200; ++i)
        deep_group += "/a";
    deep_group += "]\nk=1\n";
    std::string huge;
    while (huge.size() < 512 * 1024)
        huge += "[a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a/a]\n";
    struct row {
        const char* name;
        std::function<bool(const std::string& file)> make;
        const char* says;
        bool unreadable;  // needs an account that the file refuses (the superuser reads anything)
    } rows[] = {
        {"a FIFO", [](const std::string& file) { return mkfifo(file.c_str(), 0600) == 0; }, "not a regular file",
         false},
        {"deeply nested groups",
         [&](const std::string& file) { return static_cast<bool>(std::ofstream(file) << deep_group); },
         "nest deeper than", false},
        {"half a megabyte of nested groups",
         [&](const std::string& file) { return static_cast<bool>(std::ofstream(file) << huge); }, "larger than",
         false},
        {"an unreadable file",
         [](const std::string& file) {
             return static_cast<bool>(std::ofstream(file) << "[frame]\nx=60\n") && chmod(file.c_str(), 0) == 0;
         },
         "Permission denied", true},
    };
    for (const row& r : rows) {
        const bool as_second = r.unreadable && geteuid() == 0;
        if (as_second && !second.ready)
            continue;
        kiv_test::temp_dir own_home;
        const std::string home = as_second ? second.home.path() : own_home.path();
        const std::string folder = home + "/.config/ozm_viewer";
        const std::string file = folder + "/ozm_viewer.conf";
        ASSERT_EQ(system(("mkdir -p '" + folder + "'").c_str()), 0);
        ASSERT_TRUE(r.make(file)) << r.name;
        if (as_second) {
            ASSERT_EQ(system(("chown -R " + std::to_string(second.uid) + " '" + home + "/.config'").c_str()), 0);
        }
        std::map<std::string, const char*> env{{"HOME", home.c_str()}, {"XDG_CONFIG_HOME", nullptr}};
        kiv_test::temp_dir shared;
        if (as_second) {
            ASSERT_EQ(chmod(shared.path().c_str(), 01777), 0);
            env = second.env(shared.path().c_str());
        }
        viewer_process viewer(KIV_BIN_DIR, env, as_second ? second.uid : 0);
        Window frame = wait_frame(x, viewer);
        ASSERT_NE(frame, 0u) << r.name << ": " << viewer.err();
        EXPECT_EQ(x.rect(frame), wxRect(50, 50, 1024, 768)) << r.name;
        ASSERT_TRUE(exit_through_menu(x, viewer, frame)) << r.name << ": " << viewer.err();
        EXPECT_EQ(viewer.status(), 0) << r.name << ": " << viewer.err();
        std::vector<std::string> lines = lines_of(viewer.err());
        ASSERT_EQ(lines.size(), 1u) << r.name << ": " << viewer.err();
        EXPECT_NE(lines[0].find("ozm_view: cannot read the settings file " + file + ": "), std::string::npos)
            << r.name << ": " << lines[0];
        EXPECT_NE(lines[0].find(r.says), std::string::npos) << r.name << ": " << lines[0];
        struct stat st;
        ASSERT_EQ(lstat(file.c_str(), &st), 0) << r.name;
        EXPECT_TRUE(S_ISREG(st.st_mode)) << r.name;
        if (!as_second) {
            EXPECT_EQ(read_settings(file)->ReadLong("frame/cx", -1), 1024) << r.name;
        }
    }
}

// The frame's pixels, read again until `done` accepts them or the bound
// passes. Returns: done()'s last answer.
bool wait_pixels(x_view& x, viewer_process& viewer, Window frame,
                 const std::function<bool(const std::vector<uint32_t>& px, int w, int h)>& done) {
    return wait_for(viewer, [&] {
        int w = 0, h = 0;
        std::vector<uint32_t> px = x.pixels(frame, &w, &h);
        return !px.empty() && done(px, w, h);
    });
}

// Returns: the length in pixels of the scale bar in `px` (a red line
//     with a red tick rising at each end), 0 when there is none.
int scale_bar_length(const std::vector<uint32_t>& px, int w, int h) {
    // The toolkit may blend a one-pixel line over two rows: red is any
    // pixel where red clearly dominates.
    auto red = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return false;
        uint32_t p = px[size_t(y) * w + x];
        return (p >> 16) >= 0xC0 && ((p >> 8) & 0xFF) <= 0x90 && (p & 0xFF) <= 0x90;
    };
    int best = 0;
    for (int y = 2; y + 3 < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!red(x, y) || red(x - 1, y) || !red(x, y - 2) || !red(x, y + 2))
                continue;
            int end = x;
            while (red(end + 1, y))
                ++end;
            if (end - x >= 10 && red(end, y - 2) && red(end, y + 2))
                best = std::max(best, end - x);
        }
    return best;
}

// The scale bar is as long as the map draws the distance its text names:
// at the first start's 1:100,000 around 53.9 degrees north the text says
// "1.0 km", and the map draws 100000 * 2.8257 / 743850000 degrees of
// longitude, about 24.9 m, per pixel.
TEST(viewer_program, the_scale_bar_is_as_long_as_the_distance_its_text_names) {
    x_view x;
    ASSERT_TRUE(x.ok());
    kiv_test::temp_dir home;
    viewer_process viewer(KIV_BIN_DIR, {{"HOME", home.path().c_str()}, {"XDG_CONFIG_HOME", nullptr}});
    Window frame = wait_frame(x, viewer);
    ASSERT_NE(frame, 0u) << viewer.err();
    int length = 0;
    wait_pixels(x, viewer, frame, [&](const std::vector<uint32_t>& px, int w, int h) {
        return (length = scale_bar_length(px, w, h)) > 0;
    });
    const double pi = std::acos(-1.0);
    const double metres_per_degree = 111319.49 * std::cos(53.900520258 * pi / 180);
    const double metres_per_pixel = 100000 * 2.8257 / 743850000 * metres_per_degree;
    EXPECT_NEAR(length, 1000 / metres_per_pixel, 2.0) << "pixels for 1.0 km";
    ASSERT_TRUE(exit_through_menu(x, viewer, frame)) << viewer.err();
    EXPECT_EQ(viewer.status(), 0) << viewer.err();
}

// Unticking every layer box leaves no layer drawn: the map turns white
// (an empty list means "every layer" to the driver, not to the user).
// The boxes are reached as a user reaches them from the keyboard: a click
// in the tags field, then Tab and the space bar for each box.
TEST(viewer_program, unticking_every_layer_leaves_the_map_blank) {
    x_view x;
    ASSERT_TRUE(x.ok());
    kiv_test::temp_dir home;
    const std::string layers = std::string(KIV_BIN_DIR) + "/demo/ozm/render/layers";
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(layers.c_str()), closedir);
    ASSERT_TRUE(dir) << layers;
    int count = 0;
    while (dirent* e = readdir(dir.get()))
        count += std::string(e->d_name).size() > 4 && std::string(e->d_name).substr(std::string(e->d_name).size() - 4) == ".xml";
    ASSERT_GT(count, 0);
    viewer_process viewer(KIV_BIN_DIR, {{"HOME", home.path().c_str()}, {"XDG_CONFIG_HOME", nullptr}});
    Window frame = wait_frame(x, viewer);
    ASSERT_NE(frame, 0u) << viewer.err();
    // The middle of the window is map: not blank once the map is drawn.
    auto map_inked = [](const std::vector<uint32_t>& px, int w, int h) {
        int inked = 0;
        for (int y = h / 2 - 100; y < h / 2 + 100; ++y)
            for (int x = w / 2 - 150; x < w / 2 + 50; ++x)
                inked += px[size_t(y) * w + x] != 0xFFFFFF;
        return inked;
    };
    // The tags field: the first white strip down the layers pane, at the
    // window's right edge.
    int w = 0, field_y = -1;
    ASSERT_TRUE(wait_pixels(x, viewer, frame, [&](const std::vector<uint32_t>& px, int width, int h) {
        w = width;
        field_y = -1;
        for (int y = 0, run = 0; y < h && field_y < 0; ++y) {
            run = px[size_t(y) * w + (w - 75)] == 0xFFFFFF ? run + 1 : 0;
            if (run == 12)
                field_y = y - 6;
        }
        return field_y >= 0 && map_inked(px, width, h) > 100;
    })) << "the map or the tags field was never drawn";
    wxRect r = x.rect(frame);
    click_at(wxPoint(r.x + w - 75, r.y + field_y));
    wxUIActionSimulator keys;
    for (int i = 0; i < count; ++i) {
        keys.Char(WXK_TAB);
        keys.Char(' ');
    }
    EXPECT_TRUE(wait_pixels(x, viewer, frame, [&](const std::vector<uint32_t>& px, int w, int h) {
        return map_inked(px, w, h) == 0;
    })) << "layers still drawn after unticking all " << count;
    ASSERT_TRUE(exit_through_menu(x, viewer, frame)) << viewer.err();
    EXPECT_EQ(viewer.status(), 0) << viewer.err();
}

// Returns: how many times the program's trace in `file` says it rendered
//     the map.
int renders_traced(const std::string& file) {
    std::string text = kiv_test::read_all(file);
    int count = 0;
    for (size_t at = text.find("render map:"); at != std::string::npos; at = text.find("render map:", at + 1))
        ++count;
    return count;
}

// openbox managing the test's display while it lives, when installed.
class window_manager {
public:
    explicit window_manager(x_view& x) {
        if (access("/usr/bin/openbox", X_OK) != 0 || x.managed())
            return;
        pid_ = fork();
        if (pid_ == 0) {
            int null_fd = open("/dev/null", O_WRONLY);
            dup2(null_fd, 1);
            dup2(null_fd, 2);
            execl("/usr/bin/openbox", "openbox", static_cast<char*>(nullptr));
            _exit(127);
        }
        auto limit = std::chrono::steady_clock::now() + wait_bound;
        while (pid_ > 0 && !x.managed() && std::chrono::steady_clock::now() < limit)
            poll(nullptr, 0, 20);
        ok_ = pid_ > 0 && x.managed();
    }
    ~window_manager() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    window_manager(const window_manager&) = delete;
    window_manager& operator=(const window_manager&) = delete;
    bool ok() const { return ok_; }

private:
    pid_t pid_ = -1;
    bool ok_ = false;
};

// The map is rendered once at start: at the first start, at a start
// that restores saved settings and at one saved maximised, with no window
// manager and under one (which gives the window its size again while
// framing it, or maximises it).
TEST(viewer_program, a_start_renders_the_map_once) {
    x_view x;
    ASSERT_TRUE(x.ok());
    for (bool with_manager : {false, true}) {
        std::unique_ptr<window_manager> manager;
        if (with_manager && !(manager = std::make_unique<window_manager>(x))->ok())
            continue;  // openbox is not installed
        kiv_test::temp_dir home;
        const std::string trace = home.file("trace.txt");
        for (const char* start : {"first start", "start with saved settings", "start maximised"}) {
            SCOPED_TRACE(std::string(start) + (with_manager ? " under openbox" : ""));
            if (std::string(start) == "start maximised") {
                const std::string file = home.path() + "/.config/ozm_viewer/ozm_viewer.conf";
                std::string text = kiv_test::read_all(file);
                size_t at = text.find("maximize=0");
                ASSERT_NE(at, std::string::npos) << text;
                std::ofstream(file, std::ios::trunc) << text.replace(at, 10, "maximize=1");
            }
            viewer_process viewer(KIV_BIN_DIR, {{"HOME", home.path().c_str()}, {"XDG_CONFIG_HOME", nullptr}}, 0,
                                  trace.c_str());
            Window frame = 0;
            wait_for(viewer, [&] { return (frame = x.framed_window(viewer.pid(), "Viewer OZM")) != 0; });
            ASSERT_NE(frame, 0u) << viewer.err();
            ASSERT_TRUE(wait_pixels(x, viewer, frame, [&](const std::vector<uint32_t>& px, int w, int h) {
                return scale_bar_length(px, w, h) > 0;
            }));
            ASSERT_TRUE(exit_through_menu(x, viewer, frame)) << viewer.err();
            EXPECT_EQ(viewer.status(), 0) << viewer.err();
            EXPECT_EQ(renders_traced(trace), 1);
        }
    }
}

}  // namespace
