// viewer_harness.h --
//
//     What the tests of the viewer as a program share (viewer_start_test,
//     viewer_desktop_test): the built ozm_view, or the openbox window
//     manager, started as a child process with its stderr collected; the
//     X server seen through a connection of the test's own (the program's
//     windows, also inside a window manager's frames, its popups, pixels
//     and window manager state); waits that poll a condition while
//     watching the program, so a program that ended is not waited for;
//     clicks and keys through the X server as a user gives them; and the
//     saved settings and pane layouts read back as the program reads them.

#ifndef KIV_TESTS_VIEWER_HARNESS_H
#define KIV_TESTS_VIEWER_HARNESS_H

#include "test_util.h"

#include <gtest/gtest.h>

#include <wx/fileconf.h>
#include <wx/gdicmn.h>
#include <wx/mstream.h>
#include <wx/uiaction.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

extern char** environ;

namespace kiv_test {

// Returns: `text` cut into lines, without their line ends.
inline std::vector<std::string> lines_of(const std::string& text) {
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

// A child process (the viewer, or the window manager) with its stderr
// collected.
class child_process {
public:
    // Starts `program` with `args` in `folder` with the environment changed
    // by `env`: a name mapped to a value sets it, to null removes it.
    // KIV_ROOT_PATH is removed unless `env` sets it (the viewer's root is
    // then the folder of its program).
    // With `as_uid` not 0 (the test running as the superuser), the
    // program runs as that account, as a second user starts it.
    // With `out_file`, its stdout (the framework's trace) goes there.
    child_process(const std::string& program, const std::vector<std::string>& args, const std::string& folder,
                  const std::map<std::string, const char*>& env, uid_t as_uid = 0,
                  const char* out_file = nullptr) {
        std::vector<std::string> env_text;
        for (char** e = environ; *e != nullptr; ++e) {
            std::string entry(*e);
            std::string name = entry.substr(0, entry.find('='));
            if (env.count(name) == 0 && name != "KIV_ROOT_PATH" && name != "LSAN_OPTIONS")
                env_text.push_back(entry);
        }
        // In the sanitizer build the toolkit's own leaks (GTK, D-Bus) are
        // not the program's, as for every GUI test (`env` may name the
        // suppressions elsewhere, for an account that cannot read these).
        if (env.count("LSAN_OPTIONS") == 0)
            env_text.push_back("LSAN_OPTIONS=print_suppressions=0:suppressions=\"" KIV_GUI_LSAN_SUPP "\"");
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
            int out_fd = out_file != nullptr ? open(out_file, O_WRONLY | O_CREAT | O_TRUNC, 0600)
                                             : open("/dev/null", O_WRONLY);
            if (chdir(folder.c_str()) != 0 || out_fd < 0)
                _exit(126);
            if (as_uid != 0 && (setgroups(0, nullptr) != 0 || setresgid(as_uid, as_uid, as_uid) != 0 ||
                                setresuid(as_uid, as_uid, as_uid) != 0))
                _exit(125);
            dup2(out_fd, 1);
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
    // Passes on the toolkit's warnings among what the program wrote to
    // stderr, so the test's output shows them as the program's user sees
    // them (and CTest fails the test on them).
    ~child_process() {
        if (running()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        while (read_err(0)) {
        }
        if (err_fd_ >= 0)
            close(err_fd_);
        for (const std::string& line : lines_of(err_))
            if (line.find("Gtk-WARNING") != std::string::npos || line.find("Gtk-CRITICAL") != std::string::npos)
                std::fprintf(stderr, "%s (pid %d)\n", line.c_str(), int(pid_));
    }
    child_process(const child_process&) = delete;
    child_process& operator=(const child_process&) = delete;

    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0 && !ended_; }

    // Waits for the program to end, collecting its stderr. Returns: true
    //     when it ended (false only for a program never started);
    //     status() and err() then tell how.
    bool wait_end() {
        while (running()) {
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
    pid_t pid_ = -1;     // -1: the process could not be started
    int err_fd_ = -1;    // our end of its stderr; -1 once it closed
    bool ended_ = false; // true once its end was collected
    int status_ = -1;    // exit status, or 128 + signal; -1 while running
    std::string err_;    // what it wrote to stderr so far
};

// The built ozm_view started in `folder`, as child_process starts a
// program (its root is the build's bin folder unless `env` sets
// KIV_ROOT_PATH).
class viewer_process : public child_process {
public:
    viewer_process(const std::string& folder, const std::map<std::string, const char*>& env, uid_t as_uid = 0,
                   const char* out_file = nullptr)
        : child_process(KIV_BIN_DIR "/ozm_view", {}, folder, env, as_uid, out_file) {}
};

// Polls `done` until it holds, watching the program (a program that
// ended cannot get there, and that is a failure of the case).
// Returns: done().
inline bool wait_for(child_process& program, const std::function<bool()>& done) {
    while (!done()) {
        if (!program.running())
            return false;
        program.read_err(50);  // also the pause between polls
        if (!program.check_end()) {
            ADD_FAILURE() << "the program ended early: " << program.err();
            return false;
        }
    }
    return true;
}

// The program's windows as the X server shows them, seen through a
// connection of the test's own.
class x_view {
public:
    x_view() : display_(XOpenDisplay(nullptr)) {}
    ~x_view() {
        if (display_ != nullptr)
            XCloseDisplay(display_);  // destroys requestor_ too
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
    // Returns: the mapped override-redirect windows (popup menus, tooltips).
    std::set<Window> popups() {
        std::set<Window> found;
        for (Window w : children(DefaultRootWindow(display_))) {
            XWindowAttributes a;
            if (XGetWindowAttributes(display_, w, &a) && a.map_state == IsViewable && a.override_redirect)
                found.insert(w);
        }
        return found;
    }
    // Returns: the client area of the window on the screen (its frame,
    //     when there is no window manager).
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
    // Moves and resizes the window as a window manager would for a user
    // dragging its title bar and border.
    void move_resize(Window w, const wxRect& r) {
        XMoveResizeWindow(display_, w, r.x, r.y, static_cast<unsigned>(r.width), static_cast<unsigned>(r.height));
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
    // Returns: the window's pixels as 0xRRGGBB, row by row (empty when
    //     they cannot be read); `width` and `height` get its size.
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
    // Returns: the sizes of the icons the window offers the desktop
    //     (_NET_WM_ICON: width, height, then the pixels, for each icon).
    std::vector<int> icon_sizes(Window w) {
        std::vector<int> sizes;
        std::vector<long> values = cardinals(w, "_NET_WM_ICON", XA_CARDINAL, 1 << 20);
        for (size_t at = 0; at + 2 <= values.size();) {
            const unsigned long width = static_cast<unsigned long>(values[at]);
            const unsigned long height = static_cast<unsigned long>(values[at + 1]);
            if (width == 0 || width != height || width > 1024)
                break;
            sizes.push_back(static_cast<int>(width));
            at += 2 + width * height;
        }
        return sizes;
    }
    // Returns: the text the owner of the selection `name` ("CLIPBOARD",
    //     "PRIMARY") hands over as UTF-8, empty when it has none, once its
    //     answer came.
    std::string selection_text(const char* name) {
        if (requestor_ == 0)
            requestor_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
        Atom property = XInternAtom(display_, "KIV_TEST_SELECTION", False);
        XDeleteProperty(display_, requestor_, property);
        XConvertSelection(display_, XInternAtom(display_, name, False), XInternAtom(display_, "UTF8_STRING", False),
                          property, requestor_, CurrentTime);
        XFlush(display_);
        // The server answers at once for a selection nobody owns; an owner
        // answers when its event loop comes to the request.
        XEvent event;
        // (XCheckTypedWindowEvent also reads what the connection has.)
        while (!XCheckTypedWindowEvent(display_, requestor_, SelectionNotify, &event)) {
            pollfd p{ConnectionNumber(display_), POLLIN, 0};
            poll(&p, 1, 100);
        }
        std::string text;
        if (event.xselection.property == None)
            return text;
        Atom actual;
        int format;
        unsigned long items, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, requestor_, property, 0, 1 << 16, True, AnyPropertyType, &actual, &format,
                               &items, &after, &data) == Success &&
            data != nullptr) {
            if (format == 8)
                text.assign(reinterpret_cast<char*>(data), items);
            XFree(data);
        }
        return text;
    }
    // Returns: whether a window manager runs: it holds the screen's
    //     manager selection and names on the root a check window that is
    //     still there. A manager that ended (openbox on SIGTERM) leaves the
    //     name of its destroyed check window on the root, and the display
    //     keeps it while any client stays connected.
    bool managed() {
        Window root = DefaultRootWindow(display_);
        std::vector<long> check = cardinals(root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
        std::string selection = "WM_S" + std::to_string(DefaultScreen(display_));
        if (check.empty() || XGetSelectionOwner(display_, XInternAtom(display_, selection.c_str(), False)) == None)
            return false;
        for (Window w : children(root))
            if (w == Window(check[0]))
                return true;
        return false;
    }

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
    // Returns: the 32-bit values of `property` of `w` when it has `type`,
    //     at most `most` of them (empty when it is not there).
    std::vector<long> cardinals(Window w, const char* property, Atom type = XA_CARDINAL, long most = 64) {
        std::vector<long> out;
        Atom actual;
        int format;
        unsigned long items, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, w, XInternAtom(display_, property, False), 0, most, False, type, &actual,
                               &format, &items, &after, &data) == Success &&
            data != nullptr) {
            if (actual == type && format == 32)
                out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + items);
            XFree(data);
        }
        return out;
    }

    Display* display_;     // the test's own connection; null when none opened
    Window requestor_ = 0; // receives selections for selection_text; 0 until asked
};

// The openbox window manager on the test's display while it lives (none
// is started when the display already has one).
class window_manager {
public:
    explicit window_manager(x_view& x) {
        if (x.managed()) {
            ready_ = true;
            return;
        }
        if (access("/usr/bin/openbox", X_OK) != 0)
            return;  // not installed
        process_ = std::make_unique<child_process>("/usr/bin/openbox", std::vector<std::string>{"--sm-disable"},
                                                   "/", std::map<std::string, const char*>{
                                                            {"HOME", home_.path().c_str()}});
        ready_ = wait_for(*process_, [&] { return x.managed(); });
    }
    ~window_manager() {
        if (process_)
            process_->stop();
    }
    window_manager(const window_manager&) = delete;
    window_manager& operator=(const window_manager&) = delete;
    // Returns: whether a window manager manages the display.
    bool ready() const { return ready_; }

private:
    temp_dir home_;                          // openbox's own empty home
    std::unique_ptr<child_process> process_; // null: none started
    bool ready_ = false;
};

// The viewer's main window once it is on screen (also inside a window
// manager's frame). Returns: 0 when it never came.
inline Window wait_frame(x_view& x, child_process& viewer) {
    Window frame = 0;
    wait_for(viewer, [&] {
        std::vector<Window> found = x.windows(viewer.pid(), "Viewer OZM");
        frame = found.empty() ? 0 : found[0];
        return frame != 0;
    });
    return frame;
}

// Clicks at `at` (screen coordinates) through the X server, as a user.
// The pointer is moved through a connection of our own: wxWidgets' GTK
// simulator scales a move by the scale factor of this process's first
// top-level window, and a test that drives another program has none
// (GTK then says "gtk_widget_get_scale_factor: assertion 'GTK_IS_WIDGET
// (widget)' failed"). The screen is not scaled here.
inline void click_at(const wxPoint& at) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        ADD_FAILURE() << "no display to click on";
        return;
    }
    XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, at.x, at.y);
    XSync(display, False);
    XCloseDisplay(display);
    wxUIActionSimulator().MouseClick();
}

// Types `key` with `modifiers` held through the X server, as a user.
inline void press(int key, int modifiers = wxMOD_NONE) {
    wxUIActionSimulator simulator;
    simulator.Char(key, modifiers);
}

// Returns: a popup (a menu) that opened after `before` was taken, or 0
//     when none came.
inline Window wait_popup(x_view& x, child_process& viewer, const std::set<Window>& before) {
    Window menu = 0;
    wait_for(viewer, [&] {
        for (Window w : x.popups())
            if (before.count(w) == 0 && x.rect(w).height > 10)
                menu = w;
        return menu != 0;
    });
    return menu;
}

// Returns: the settings file at `path` read back as the program reads it.
inline std::unique_ptr<wxFileConfig> read_settings(const std::string& path) {
    std::string text = read_all(path);
    wxMemoryInputStream in(text.data(), text.size());
    return std::make_unique<wxFileConfig>(in, wxConvUTF8);
}

// Returns: field `field` ("state", "dock_size(4,0,0)" ...) of pane `name`
//     in a saved docking layout, or of the layout itself when `name` is
//     empty; -1 when it is not there or not a number.
inline long layout_value(const wxString& perspective, const wxString& name, const wxString& field) {
    auto value = [](const wxString& text) {
        long v = -1;
        return text.AfterFirst('=').ToLong(&v) ? v : -1;
    };
    for (const wxString& part : wxSplit(perspective, '|', '\0')) {
        if (name.empty()) {
            if (part.StartsWith(field + "="))
                return value(part);
            continue;
        }
        if (!part.Contains("name=" + name + ";"))
            continue;
        for (const wxString& f : wxSplit(part, ';', '\0'))
            if (f.StartsWith(field + "="))
                return value(f);
    }
    return -1;
}

}  // namespace kiv_test

#endif
