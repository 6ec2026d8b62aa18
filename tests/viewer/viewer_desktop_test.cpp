// viewer_desktop_test.cpp --
//
//     The viewer as a program on a desktop: the built ozm_view started as a
//     user starts it (its own folder, an empty temporary home), with the
//     openbox window manager where the behaviour needs one, and ended
//     with Ctrl+Q or its menu:
//     - with the map holding the keyboard focus, Alt+F and F10 open the
//       menus and Ctrl+Q ends the program;
//     - under a window manager the window opens at its saved position and
//       size, a window saved maximised un-maximises to that rectangle, a
//       restored floating pane comes over the window, and start-up prints
//       no GTK assertion;
//     - a saved pane layout that hides or lacks the map pane, is cut short
//       or holds a field the docking manager does not know still shows the
//       map, with no dialog;
//     - in a 640 x 480 window with the search pane docked, the panes give
//       way and the map keeps the larger part of the width.

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

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

// A generous bound for each wait on a program; a loaded machine under the
// sanitizers stays far below it.
const std::chrono::seconds wait_bound(60);

// A child process (the viewer, or the window manager) with its stderr
// collected.
class child_process {
public:
    // Starts `program` with `args` in `folder` with the environment changed
    // by `env` (a name mapped to null removes it).
    child_process(const std::string& program, const std::vector<std::string>& args, const std::string& folder,
                  const std::map<std::string, const char*>& env) {
        std::vector<std::string> env_text;
        for (char** e = environ; *e != nullptr; ++e) {
            std::string entry(*e);
            std::string name = entry.substr(0, entry.find('='));
            if (env.count(name) == 0 && name != "KIV_ROOT_PATH" && name != "LSAN_OPTIONS")
                env_text.push_back(entry);
        }
        // The toolkit's own leaks (GTK, D-Bus) are not the program's.
        env_text.push_back("LSAN_OPTIONS=print_suppressions=0:suppressions=" KIV_GUI_LSAN_SUPP);
        for (const auto& [name, value] : env)
            if (value != nullptr)
                env_text.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (std::string& text : env_text)
            envp.push_back(text.data());
        envp.push_back(nullptr);
        std::vector<std::string> arg_text{program};
        arg_text.insert(arg_text.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& text : arg_text)
            argv.push_back(text.data());
        argv.push_back(nullptr);

        int err_pipe[2];
        if (pipe2(err_pipe, O_CLOEXEC) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            int null_fd = open("/dev/null", O_WRONLY);
            if (chdir(folder.c_str()) != 0 || null_fd < 0)
                _exit(126);
            dup2(null_fd, 1);
            dup2(err_pipe[1], 2);
            execve(program.c_str(), argv.data(), envp.data());
            _exit(127);
        }
        close(err_pipe[1]);
        err_fd_ = err_pipe[0];
        if (pid_ < 0) {
            close(err_fd_);
            err_fd_ = -1;
        }
    }
    ~child_process() {
        if (running()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (err_fd_ >= 0)
            close(err_fd_);
    }
    child_process(const child_process&) = delete;
    child_process& operator=(const child_process&) = delete;

    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0 && !ended_; }

    // Returns: true when the process ended (within wait_bound).
    bool wait_end() {
        auto limit = std::chrono::steady_clock::now() + wait_bound;
        while (running() && std::chrono::steady_clock::now() < limit) {
            read_err(100);
            check_end();
        }
        while (ended_ && read_err(0)) {
        }
        return ended_;
    }
    // Notes the end of the process when it has come. Returns: running().
    bool check_end() {
        int status = 0;
        if (running() && waitpid(pid_, &status, WNOHANG) == pid_) {
            ended_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        return running();
    }
    // Reads what stderr has ready, waiting up to `ms`. Returns: true when
    //     something was read.
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
    // Ends the process by its id.
    void stop() {
        if (running()) {
            kill(pid_, SIGTERM);
            wait_end();
        }
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

// Polls `done` until it holds or wait_bound passed; a program that ended
// cannot get there. Returns: done().
bool wait_for(child_process& program, const std::function<bool()>& done) {
    auto limit = std::chrono::steady_clock::now() + wait_bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit || !program.check_end())
            return false;
        program.read_err(50);  // also the pause between polls
    }
    return true;
}

// The X server as the test sees it through a connection of its own.
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

    // Returns: the viewable client windows of process `pid` titled
    //     `title` (any title when null), found also inside a window
    //     manager's frames.
    std::vector<Window> windows(pid_t pid, const char* title = nullptr) {
        std::vector<Window> found;
        collect(DefaultRootWindow(display_), pid, title, 0, found);
        return found;
    }
    // Returns: the mapped override-redirect windows (popup menus).
    std::set<Window> popups() {
        std::set<Window> found;
        for (Window w : children(DefaultRootWindow(display_))) {
            XWindowAttributes a;
            if (XGetWindowAttributes(display_, w, &a) && a.map_state == IsViewable && a.override_redirect)
                found.insert(w);
        }
        return found;
    }
    // Returns: the client area of the window on the screen.
    wxRect rect(Window w) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(display_, w, &a))
            return wxRect();
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(display_, w, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
        return wxRect(x, y, a.width, a.height);
    }
    // Returns: the window with the window manager's decorations around it
    //     (_NET_FRAME_EXTENTS: left, right, top, bottom).
    wxRect outer_rect(Window w) {
        wxRect r = rect(w);
        std::vector<long> e = cardinals(w, "_NET_FRAME_EXTENTS");
        if (e.size() != 4)
            return r;
        return wxRect(r.x - int(e[0]), r.y - int(e[2]), r.width + int(e[0] + e[1]), r.height + int(e[2] + e[3]));
    }
    // Returns: whether the window manager shows the window maximised.
    bool maximized(Window w) {
        Atom vert = XInternAtom(display_, "_NET_WM_STATE_MAXIMIZED_VERT", False);
        for (long state : cardinals(w, "_NET_WM_STATE", XA_ATOM))
            if (Atom(state) == vert)
                return true;
        return false;
    }
    // Asks the window manager to un-maximise the window, as a user's click
    // on its restore button does.
    void unmaximize(Window w) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(display_, "_NET_WM_STATE", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = 0;  // remove
        e.xclient.data.l[1] = long(XInternAtom(display_, "_NET_WM_STATE_MAXIMIZED_VERT", False));
        e.xclient.data.l[2] = long(XInternAtom(display_, "_NET_WM_STATE_MAXIMIZED_HORZ", False));
        e.xclient.data.l[3] = 1;
        XSendEvent(display_, DefaultRootWindow(display_), False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &e);
        XSync(display_, False);
    }
    // Returns: the position of the top-level window holding `w` among the
    //     root's children, bottom to top (-1 when not found).
    int stacking_place(Window w) {
        Window top = w;
        for (;;) {
            Window root, parent;
            Window* kids = nullptr;
            unsigned count = 0;
            if (!XQueryTree(display_, top, &root, &parent, &kids, &count))
                return -1;
            if (kids != nullptr)
                XFree(kids);
            if (parent == root)
                break;
            top = parent;
        }
        std::vector<Window> order = children(DefaultRootWindow(display_));
        for (size_t i = 0; i < order.size(); ++i)
            if (order[i] == top)
                return int(i);
        return -1;
    }
    // Returns: the number of distinct colours in `area` of the screen.
    size_t colours(const wxRect& area) {
        XImage* image = XGetImage(display_, DefaultRootWindow(display_), area.x, area.y, unsigned(area.width),
                                  unsigned(area.height), AllPlanes, ZPixmap);
        std::set<unsigned long> seen;
        if (image == nullptr)
            return 0;
        for (int y = 0; y < area.height; y += 2)
            for (int x = 0; x < area.width; x += 2)
                seen.insert(XGetPixel(image, x, y));
        XDestroyImage(image);
        return seen.size();
    }
    // Returns: whether a window manager runs (it names itself on the root).
    bool managed() { return !cardinals(DefaultRootWindow(display_), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty(); }

private:
    std::vector<Window> children(Window w) {
        std::vector<Window> out;
        Window root, parent;
        Window* kids = nullptr;
        unsigned count = 0;
        XSync(display_, False);
        if (XQueryTree(display_, w, &root, &parent, &kids, &count)) {
            out.assign(kids, kids + count);
            if (kids != nullptr)
                XFree(kids);
        }
        return out;
    }
    void collect(Window w, pid_t pid, const char* title, int depth, std::vector<Window>& found) {
        for (Window c : children(w)) {
            XWindowAttributes a;
            if (!XGetWindowAttributes(display_, c, &a) || a.map_state != IsViewable || a.override_redirect)
                continue;
            std::vector<long> owner = cardinals(c, "_NET_WM_PID");
            if (!owner.empty() && owner[0] == pid) {
                char* name = nullptr;
                bool named = title == nullptr ||
                             (XFetchName(display_, c, &name) && name != nullptr && std::strcmp(name, title) == 0);
                if (name != nullptr)
                    XFree(name);
                if (named)
                    found.push_back(c);
            } else if (depth < 2) {
                collect(c, pid, title, depth + 1, found);  // a window manager's frame
            }
        }
    }
    std::vector<long> cardinals(Window w, const char* property, Atom type = XA_CARDINAL) {
        std::vector<long> out;
        Atom actual;
        int format;
        unsigned long items, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, w, XInternAtom(display_, property, False), 0, 64, False, type, &actual,
                               &format, &items, &after, &data) == Success &&
            data != nullptr) {
            if (actual == type && format == 32)
                out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + items);
            XFree(data);
        }
        return out;
    }

    Display* display_;
};

// The openbox window manager on the test's display while it lives.
class window_manager {
public:
    explicit window_manager(x_view& x)
        : process_("/usr/bin/openbox", {"--sm-disable"}, "/", {{"HOME", home_.path().c_str()}}) {
        ready_ = wait_for(process_, [&] { return x.managed(); });
    }
    ~window_manager() { process_.stop(); }
    bool ready() const { return ready_; }

private:
    kiv_test::temp_dir home_;
    child_process process_;
    bool ready_ = false;
};

// The viewer started in its folder with `home` as the account's home.
std::unique_ptr<child_process> start_viewer(const std::string& home) {
    return std::make_unique<child_process>(KIV_BIN_DIR "/ozm_view", std::vector<std::string>(), KIV_BIN_DIR,
                                           std::map<std::string, const char*>{{"HOME", home.c_str()},
                                                                              {"XDG_CONFIG_HOME", nullptr}});
}

std::string settings_file(const std::string& home) {
    return home + "/.config/ozm_viewer/ozm_viewer.conf";
}

// Writes the settings file of `home` from "key=value" lines of [frame].
void write_settings(const std::string& home, const std::vector<std::string>& lines) {
    ASSERT_EQ(system(("mkdir -p '" + home + "/.config/ozm_viewer'").c_str()), 0);
    std::ofstream out(settings_file(home));
    out << "[frame]\n";
    for (const std::string& line : lines)
        out << line << "\n";
}

std::unique_ptr<wxFileConfig> read_settings(const std::string& home) {
    std::string text = kiv_test::read_all(settings_file(home));
    wxMemoryInputStream in(text.data(), text.size());
    return std::make_unique<wxFileConfig>(in, wxConvUTF8);
}

// Returns: field `field` ("state", "dock_size(4,0,0)" ...) of pane `name`
//     in a saved layout, or of the layout itself when `name` is empty;
//     -1 when it is not there.
long layout_value(const wxString& perspective, const wxString& name, const wxString& field) {
    for (const wxString& part : wxSplit(perspective, '|', '\0')) {
        if (name.empty()) {
            if (part.StartsWith(field + "="))
                return wxAtol(part.AfterFirst('='));
            continue;
        }
        if (!part.Contains("name=" + name + ";"))
            continue;
        for (const wxString& f : wxSplit(part, ';', '\0'))
            if (f.StartsWith(field + "="))
                return wxAtol(f.AfterFirst('='));
    }
    return -1;
}

// The viewer's main window once it is on screen, or 0.
Window wait_frame(x_view& x, child_process& viewer) {
    Window frame = 0;
    wait_for(viewer, [&] {
        std::vector<Window> found = x.windows(viewer.pid(), "Viewer OZM");
        frame = found.empty() ? 0 : found[0];
        return frame != 0;
    });
    return frame;
}

void click_at(const wxPoint& at) {
    wxUIActionSimulator simulator;
    simulator.MouseMove(at);
    simulator.MouseClick();
}

void press(int key, int modifiers = wxMOD_NONE) {
    wxUIActionSimulator simulator;
    simulator.Char(key, modifiers);
}

// Returns: a popup that opened after `before` was taken, or 0.
Window wait_popup(x_view& x, child_process& viewer, const std::set<Window>& before) {
    Window menu = 0;
    wait_for(viewer, [&] {
        for (Window w : x.popups())
            if (before.count(w) == 0 && x.rect(w).height > 10)
                menu = w;
        return menu != 0;
    });
    return menu;
}

// Clicks into the window near its left edge (on the map, or on a pane
// docked there), then ends the viewer with Ctrl+Q. Returns: true when it
// ended by itself.
bool quit_with_ctrl_q(x_view& x, child_process& viewer, Window frame) {
    wxRect r = x.rect(frame);
    click_at(wxPoint(r.x + 30, r.y + r.height / 2));
    press('q', wxMOD_CONTROL);
    return viewer.wait_end();
}

// Returns: the lines of `err` naming a GTK assertion or a toolkit warning.
std::string toolkit_complaints(const std::string& err) {
    std::string found;
    size_t start = 0;
    while (start < err.size()) {
        size_t end = err.find('\n', start);
        if (end == std::string::npos)
            end = err.size();
        std::string line = err.substr(start, end - start);
        if (line.find("Gtk-CRITICAL") != std::string::npos || line.find("Bad Perspective") != std::string::npos)
            found += line + "\n";
        start = end + 1;
    }
    return found;
}

TEST(viewer_desktop, keys_with_ctrl_or_alt_and_f10_reach_the_menus_while_the_map_has_the_focus) {
    x_view x;
    ASSERT_TRUE(x.ok());
    kiv_test::temp_dir home;
    auto viewer = start_viewer(home.path());
    Window frame = wait_frame(x, *viewer);
    ASSERT_NE(frame, 0u) << viewer->err();
    wxRect r = x.rect(frame);
    const wxPoint on_map(r.x + r.width / 3, r.y + r.height / 3);
    struct row {
        const char* name;
        int key;
        int modifiers;
    } rows[] = {{"Alt+F", 'f', wxMOD_ALT}, {"F10", WXK_F10, wxMOD_NONE}};
    for (const row& k : rows) {
        click_at(on_map);  // the map takes the focus
        std::set<Window> before = x.popups();
        press(k.key, k.modifiers);
        Window menu = wait_popup(x, *viewer, before);
        EXPECT_NE(menu, 0u) << k.name << " opened no menu";
        press(WXK_ESCAPE);
        ASSERT_TRUE(wait_for(*viewer, [&] { return x.popups().count(menu) == 0; })) << k.name;
    }
    ASSERT_TRUE(quit_with_ctrl_q(x, *viewer, frame)) << "Ctrl+Q did not end it: " << viewer->err();
    EXPECT_EQ(viewer->status(), 0) << viewer->err();
    EXPECT_EQ(read_settings(home.path())->ReadLong("frame/cx", -1), 1024);
    EXPECT_EQ(toolkit_complaints(viewer->err()), "");
}

TEST(viewer_desktop, under_a_window_manager_the_window_comes_back_where_it_was_also_after_a_maximised_exit) {
    x_view x;
    ASSERT_TRUE(x.ok());
    window_manager wm(x);
    ASSERT_TRUE(wm.ready()) << "openbox did not start";
    kiv_test::temp_dir home;
    const wxRect saved(200, 150, 640, 480);
    write_settings(home.path(), {"x=200", "y=150", "cx=640", "cy=480", "maximize=0"});
    {
        auto viewer = start_viewer(home.path());
        Window frame = wait_frame(x, *viewer);
        ASSERT_NE(frame, 0u) << viewer->err();
        // Once the decorations are known the whole window is the saved one.
        EXPECT_TRUE(wait_for(*viewer, [&] { return x.outer_rect(frame) == saved; }))
            << x.outer_rect(frame).x << "," << x.outer_rect(frame).y << " " << x.outer_rect(frame).width << "x"
            << x.outer_rect(frame).height;
        ASSERT_TRUE(quit_with_ctrl_q(x, *viewer, frame)) << viewer->err();
        EXPECT_EQ(viewer->status(), 0);
        EXPECT_EQ(toolkit_complaints(viewer->err()), "");
    }
    {
        auto saved_now = read_settings(home.path());
        EXPECT_EQ(wxRect(saved_now->ReadLong("frame/x", -1), saved_now->ReadLong("frame/y", -1),
                         saved_now->ReadLong("frame/cx", -1), saved_now->ReadLong("frame/cy", -1)),
                  saved);
    }
    // Saved maximised: it opens maximised, and un-maximising returns to the
    // saved rectangle, not to the menu bar.
    write_settings(home.path(), {"x=200", "y=150", "cx=640", "cy=480", "maximize=1"});
    {
        auto viewer = start_viewer(home.path());
        Window frame = wait_frame(x, *viewer);
        ASSERT_NE(frame, 0u) << viewer->err();
        ASSERT_TRUE(wait_for(*viewer, [&] { return x.maximized(frame); }));
        x.unmaximize(frame);
        EXPECT_TRUE(wait_for(*viewer, [&] { return !x.maximized(frame) && x.outer_rect(frame) == saved; }))
            << x.outer_rect(frame).x << "," << x.outer_rect(frame).y << " " << x.outer_rect(frame).width << "x"
            << x.outer_rect(frame).height;
        ASSERT_TRUE(quit_with_ctrl_q(x, *viewer, frame)) << viewer->err();
        EXPECT_EQ(toolkit_complaints(viewer->err()), "");
    }
    auto last = read_settings(home.path());
    EXPECT_FALSE(last->ReadBool("frame/maximize", true));
    EXPECT_EQ(last->ReadLong("frame/x", -1), saved.x);
    EXPECT_EQ(last->ReadLong("frame/y", -1), saved.y);
    EXPECT_EQ(last->ReadLong("frame/cx", -1), saved.width);
    EXPECT_EQ(last->ReadLong("frame/cy", -1), saved.height);
}

// The layout the viewer saves when it is left as built, read from a first
// run's settings.
wxString built_layout(x_view& x, const std::string& home) {
    auto viewer = start_viewer(home);
    Window frame = wait_frame(x, *viewer);
    EXPECT_NE(frame, 0u) << viewer->err();
    if (frame == 0 || !quit_with_ctrl_q(x, *viewer, frame))
        return wxString();
    return read_settings(home)->Read("frame/perspective");
}

TEST(viewer_desktop, a_saved_layout_without_a_shown_map_or_out_of_form_still_shows_the_map) {
    x_view x;
    ASSERT_TRUE(x.ok());
    kiv_test::temp_dir first;
    const wxString built = built_layout(x, first.path());
    ASSERT_NE(layout_value(built, "Map", "state"), -1) << built;
    const long map_state = layout_value(built, "Map", "state");
    wxString map_hidden = built;
    map_hidden.Replace(wxString::Format("name=Map;caption=;state=%ld;", map_state),
                       wxString::Format("name=Map;caption=;state=%ld;", map_state | wxAuiPaneInfo::optionHidden));
    wxString cut = built.Left(built.Find("|name=ID_VIEW_LAYERS"));
    wxString unknown_field = built;
    unknown_field.Replace("name=Map;", "name=Map;bogus=1;");
    struct row {
        const char* name;
        wxString layout;
    } rows[] = {
        {"version line only", "layout2|"},
        {"map pane hidden", map_hidden},
        {"cut short", cut},
        {"a field unknown", unknown_field},
    };
    for (const row& r : rows) {
        kiv_test::temp_dir home;
        write_settings(home.path(), {"x=50", "y=50", "cx=1024", "cy=768",
                                     std::string("perspective=") + r.layout.utf8_str().data()});
        auto viewer = start_viewer(home.path());
        Window frame = wait_frame(x, *viewer);
        ASSERT_NE(frame, 0u) << r.name << ": " << viewer->err();
        // The map is drawn in the middle of the window (a grey window has
        // one colour there), and no dialog came up beside it.
        wxRect f = x.rect(frame);
        wxRect middle(f.x + f.width / 4, f.y + f.height / 4, f.width / 4, f.height / 4);
        EXPECT_TRUE(wait_for(*viewer, [&] { return x.colours(middle) > 3; })) << r.name << ": no map";
        EXPECT_EQ(x.windows(viewer->pid()).size(), 1u) << r.name;
        ASSERT_TRUE(quit_with_ctrl_q(x, *viewer, frame)) << r.name << ": " << viewer->err();
        EXPECT_EQ(viewer->status(), 0) << r.name;
        EXPECT_EQ(toolkit_complaints(viewer->err()), "") << r.name;
        wxString saved = read_settings(home.path())->Read("frame/perspective");
        long state = layout_value(saved, "Map", "state");
        ASSERT_NE(state, -1) << r.name << ": " << saved;
        EXPECT_EQ(state & wxAuiPaneInfo::optionHidden, 0) << r.name << ": " << saved;
    }
}

TEST(viewer_desktop, a_restored_floating_pane_comes_over_the_window) {
    x_view x;
    ASSERT_TRUE(x.ok());
    window_manager wm(x);
    ASSERT_TRUE(wm.ready()) << "openbox did not start";
    kiv_test::temp_dir home;
    const wxString built = built_layout(x, home.path());
    long state = layout_value(built, "MAP_SEARCH_PANEL", "state");
    ASSERT_NE(state, -1) << built;
    wxString floating = built;
    floating.Replace(wxString::Format("name=MAP_SEARCH_PANEL;caption=Map search;state=%ld", state),
                     wxString::Format("name=MAP_SEARCH_PANEL;caption=Map search;state=%ld",
                                      (state & ~long(wxAuiPaneInfo::optionHidden)) | wxAuiPaneInfo::optionFloating));
    floating.Replace("floatx=-1;floaty=-1;floatw=400", "floatx=300;floaty=250;floatw=400");
    write_settings(home.path(), {"x=50", "y=50", "cx=1024", "cy=768",
                                 std::string("perspective=") + floating.utf8_str().data()});
    auto viewer = start_viewer(home.path());
    Window frame = wait_frame(x, *viewer);
    ASSERT_NE(frame, 0u) << viewer->err();
    Window pane = 0;
    ASSERT_TRUE(wait_for(*viewer, [&] {
        std::vector<Window> found = x.windows(viewer->pid(), "Map search");
        pane = found.empty() ? 0 : found[0];
        return pane != 0;
    }));
    EXPECT_TRUE(wait_for(*viewer, [&] { return x.stacking_place(pane) > x.stacking_place(frame); }))
        << "the floating pane is behind the window";
    ASSERT_TRUE(quit_with_ctrl_q(x, *viewer, frame)) << viewer->err();
}

TEST(viewer_desktop, in_a_640_by_480_window_the_panes_give_way_before_the_map) {
    x_view x;
    ASSERT_TRUE(x.ok());
    kiv_test::temp_dir home;
    const wxString built = built_layout(x, home.path());
    long state = layout_value(built, "MAP_SEARCH_PANEL", "state");
    ASSERT_NE(state, -1) << built;
    // The search pane shown, docked on the left as Find leaves it.
    wxString searching = built;
    searching.Replace(wxString::Format("state=%ld", state),
                      wxString::Format("state=%ld", state & ~long(wxAuiPaneInfo::optionHidden)));
    searching += "dock_size(4,0,0)=402|";
    write_settings(home.path(), {"x=50", "y=50", "cx=640", "cy=480",
                                 std::string("perspective=") + searching.utf8_str().data()});
    auto viewer = start_viewer(home.path());
    Window frame = wait_frame(x, *viewer);
    ASSERT_NE(frame, 0u) << viewer->err();
    ASSERT_TRUE(quit_with_ctrl_q(x, *viewer, frame)) << viewer->err();
    wxString saved = read_settings(home.path())->Read("frame/perspective");
    long left = layout_value(saved, "", "dock_size(4,0,0)");
    long right = layout_value(saved, "", "dock_size(2,0,0)");
    ASSERT_GT(left, 0) << saved;
    ASSERT_GT(right, 0) << saved;
    // The map is what the side docks leave of the width: more than a third.
    EXPECT_GT(640 - left - right, 640 / 3) << saved;
    EXPECT_EQ(toolkit_complaints(viewer->err()), "");
}

}  // namespace
