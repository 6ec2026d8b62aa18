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
//     - installed with `cmake --install` and started from another folder
//       through a link, it finds its configuration in its program's folder;
//     - a second account starts it beside the first, each with a private
//       temp folder of its own under the shared one; a foreign folder at
//       that name stops the start with one line naming it;
//     - a settings file that is a FIFO, unreadable, oversized or nested
//       without end is named on stderr and replaced at exit by one its
//       owner can read; one that is a link is saved through it;
//     - the scale bar is as long as the distance its text names; with
//       every layer unticked the map is blank; a start renders once.

#include "viewer_harness.h"

#include "gui_harness.h"

#include <gtest/gtest.h>

#include <wx/aui/framemanager.h>
#include <wx/fileconf.h>
#include <wx/mstream.h>
#include <wx/uiaction.h>

#include <X11/Xlib.h>

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace kiv_test;

const char* const settings_keys[] = {"frame/x",       "frame/y",           "frame/cx",
                                     "frame/cy",      "frame/maximize",    "frame/perspective",
                                     "frame/perspective_reset"};

// Ends the viewer as a user does: a click on "File" at the left end of
// the menu bar, then a click on its one item, "Exit", in the menu that
// opened. Returns: true when the program ended by itself afterwards.
bool exit_through_menu(x_view& x, child_process& viewer, Window frame) {
    std::set<Window> before = x.popups();
    wxRect r = x.rect(frame);
    click_at(wxPoint(r.x + 12, r.y + 10));
    Window menu = wait_popup(x, viewer, before);
    if (menu == 0) {
        ADD_FAILURE() << "the File menu never opened";
        return false;
    }
    // The File menu holds Exit alone: its middle is the item.
    wxRect m = x.rect(menu);
    click_at(wxPoint(m.x + m.width / 2, m.y + m.height / 2));
    return viewer.wait_end();
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
        EXPECT_NE(layout_value(saved->Read("frame/perspective"), "ID_VIEW_MAPS", "state"), -1);
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
        long state = layout_value(layout, "ID_VIEW_MAPS", "state");
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
    long state = layout_value(saved->Read("frame/perspective"), "ID_VIEW_MAPS", "state");
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
        viewer_process viewer(root.path(),
                              {{"KIV_ROOT_PATH", root.path().c_str()}, {"XDG_CONFIG_HOME", settings.path().c_str()}});
        ASSERT_TRUE(viewer.wait_end()) << r.name << ": still running";
        EXPECT_NE(viewer.status(), 0) << r.name;
        EXPECT_EQ(lines_of(viewer.err()).size(), 1u) << r.name << ": " << viewer.err();
        EXPECT_NE(viewer.err().find(r.names), std::string::npos) << r.name << ": " << viewer.err();
        EXPECT_EQ(mode_of(settings.path() + "/ozm_viewer"), 0u) << r.name << ": settings written";
    }
}

// The viewer as `cmake --install` lays it out, in a folder named in
// Cyrillic with a space, started from the home folder through a link in
// another folder, as a link on PATH or a desktop launcher starts it: it
// takes the folder of its program (the link followed) as its root, opens
// its window on the installed configuration, libraries and demo data, and
// File > Exit ends it normally.
TEST(viewer_program, installed_and_started_from_another_folder_it_finds_its_configuration_beside_itself) {
    x_view x;
    ASSERT_TRUE(x.ok());
    kiv_test::temp_dir work;
    kiv_test::temp_dir home;
    const std::string prefix = work.file("Карты kiv");
    const std::string install =
        "'" KIV_CMAKE_COMMAND "' --install '" KIV_BUILD_DIR "' --prefix '" + prefix + "' > /dev/null";
    ASSERT_EQ(system(install.c_str()), 0) << install;
    ASSERT_EQ(mkdir(work.file("bin").c_str(), 0700), 0);
    ASSERT_EQ(symlink((prefix + "/bin/ozm_view").c_str(), work.file("bin/ozm_view").c_str()), 0);
    child_process viewer(work.file("bin/ozm_view"), {}, home.path(),
                         {{"HOME", home.path().c_str()}, {"XDG_CONFIG_HOME", nullptr}});
    Window frame = wait_frame(x, viewer);
    ASSERT_NE(frame, 0u) << viewer.err();
    ASSERT_TRUE(exit_through_menu(x, viewer, frame)) << viewer.err();
    EXPECT_EQ(viewer.status(), 0) << viewer.err();
    EXPECT_EQ(viewer.err().find("ozm_view: "), std::string::npos) << viewer.err();
    EXPECT_NE(mode_of(home.file(".config/ozm_viewer/ozm_viewer.conf")), 0u) << "no settings saved";
}

// Whether account `uid` can run the viewer in `bin` and read its
// configuration there: every folder on the way must let it in.
bool reaches(uid_t uid, const std::string& bin) {
    pid_t pid = fork();
    if (pid == 0) {
        bool ok = setgroups(0, nullptr) == 0 && setresgid(uid, uid, uid) == 0 && setresuid(uid, uid, uid) == 0 &&
                  access((bin + "/ozm_view").c_str(), X_OK) == 0 &&
                  access((bin + "/config/config.xml").c_str(), R_OK) == 0;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A second account on the machine: the X server's key and a home of its
// own, as that user has when logging in. Only the superuser can start a
// program as another account. The folders that account uses are made in
// /tmp, which every account may pass through, as TMPDIR may be private
// to this one (each test program's is).
// The build's bin folder may lie where no other account can enter (a
// clone under /root, mode 0700 on Debian): the program, its libraries,
// configuration and demo data are then staged in a folder open to it,
// linked where the file system allows and copied where not, with the
// sanitizers' suppressions beside them.
const char* const every_account = "/tmp";
struct second_account {
    static const uid_t uid = 4242;
    kiv_test::temp_dir home{every_account};
    kiv_test::temp_dir staged{every_account};
    std::string xauthority;
    std::string bin = KIV_BIN_DIR;  // the folder it runs the viewer from
    std::string lsan_options;       // LSAN_OPTIONS naming a suppressions file it can read
    std::string why_not;            // empty when ready: why the account cannot run the viewer
    second_account() {
        if (geteuid() != 0) {
            why_not = "needs the superuser to start the program as a second account";
            return;
        }
        const char* key = getenv("XAUTHORITY");
        xauthority = home.file(".Xauthority");
        if (key != nullptr)
            std::ofstream(xauthority, std::ios::binary) << kiv_test::read_all(key);
        if (chown(home.path().c_str(), uid, uid) != 0 || chmod(home.path().c_str(), 0700) != 0 ||
            (key != nullptr && chown(xauthority.c_str(), uid, uid) != 0)) {
            why_not = "cannot give the second account a home of its own";
            return;
        }
        std::string suppressions = KIV_GUI_LSAN_SUPP;
        if (!reaches(uid, bin) && !stage(&suppressions))
            return;
        lsan_options = "print_suppressions=0:suppressions=\"" + suppressions + "\"";
    }
    bool ready() const { return why_not.empty(); }
    std::map<std::string, const char*> env(const char* tmpdir) const {
        return {{"HOME", home.path().c_str()},
                {"XDG_CONFIG_HOME", nullptr},
                {"XAUTHORITY", xauthority.c_str()},
                {"TMPDIR", tmpdir},
                {"LSAN_OPTIONS", lsan_options.c_str()}};
    }

private:
    // Fills `staged` with what the viewer reads from its folder. Returns:
    // whether the account reaches it there (why_not says why not).
    bool stage(std::string* suppressions) {
        namespace fs = std::filesystem;
        std::error_code error;
        fs::permissions(staged.path(), fs::perms(0755), error);
        for (const fs::directory_entry& entry : fs::directory_iterator(KIV_BIN_DIR, error)) {
            const std::string name = entry.path().filename();
            const fs::path to = staged.path() + "/" + name;
            if (name == "config" || name == "demo") {
                fs::copy(entry.path(), to, fs::copy_options::recursive, error);
            } else if (name == "ozm_view" || (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0)) {
                fs::create_hard_link(entry.path(), to, error);
                if (error)
                    fs::copy_file(entry.path(), to, error);
            }
            if (error) {
                why_not = "cannot stage " + entry.path().string() + " for the second account: " + error.message();
                return false;
            }
        }
        const std::string copy = staged.file("lsan.supp");
        fs::copy_file(*suppressions, copy, error);
        *suppressions = copy;
        bin = staged.path();
        if (error || !reaches(uid, bin)) {
            why_not = "the second account cannot reach " + bin + " (" + KIV_BIN_DIR + " is closed to it too)";
            return false;
        }
        return true;
    }
};

// The shared temp folder (TMPDIR here, /tmp by default) as two accounts
// meet it: each gets a private folder of its own under it, so the second
// account starts the viewer as the first one did.
TEST(viewer_program, a_second_account_starts_it_beside_the_first_with_a_temp_folder_of_its_own) {
    second_account second;
    if (!second.ready())
        GTEST_SKIP() << second.why_not;
    x_view x;
    ASSERT_TRUE(x.ok());
    kiv_test::temp_dir shared(every_account);
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
        child_process viewer(second.bin + "/ozm_view", {}, second.bin, second.env(shared.path().c_str()),
                             second.uid);
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
        viewer_process viewer(root.path(),
                              {{"KIV_ROOT_PATH", root.path().c_str()}, {"XDG_CONFIG_HOME", settings.path().c_str()}});
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
// and leaves a settings file of its own, which its owner can read and
// write (after an unreadable one, the next start takes it in silence).
// A FIFO does not hang the start; groups nested without end do not crash
// the exit; lines ended by a lone CR are lines.
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
        {"groups 12 deep in lines ended by a lone CR",
         [](const std::string& file) {
             return static_cast<bool>(std::ofstream(file) << "[frame]\rx=60\r[a/a/a/a/a/a/a/a/a/a/a/a]\rk=1\r");
         },
         "nest deeper than", false},
        {"half a megabyte of nested groups",
         [&](const std::string& file) { return static_cast<bool>(std::ofstream(file) << huge); }, "larger than",
         false},
        {"an unreadable file",
         [](const std::string& file) {
             return static_cast<bool>(std::ofstream(file) << "[frame]\nx=60\n") && chmod(file.c_str(), 0) == 0;
         },
         "Permission denied", true},
        {"a write-only file",
         [](const std::string& file) {
             return static_cast<bool>(std::ofstream(file) << "[frame]\nx=60\n") && chmod(file.c_str(), 0200) == 0;
         },
         "Permission denied", true},
    };
    std::string skipped;  // a case that could not run here, and why
    for (const row& r : rows) {
        const bool as_second = r.unreadable && geteuid() == 0;
        if (as_second && !second.ready()) {
            skipped = std::string(r.name) + ": " + second.why_not;
            continue;
        }
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
        kiv_test::temp_dir shared(every_account);
        if (as_second) {
            ASSERT_EQ(chmod(shared.path().c_str(), 01777), 0);
            env = second.env(shared.path().c_str());
        }
        const std::string bin = as_second ? second.bin : KIV_BIN_DIR;
        {
            child_process viewer(bin + "/ozm_view", {}, bin, env, as_second ? second.uid : 0);
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
        }
        struct stat st;
        ASSERT_EQ(lstat(file.c_str(), &st), 0) << r.name;
        EXPECT_TRUE(S_ISREG(st.st_mode)) << r.name;
        EXPECT_EQ(st.st_mode & 0600, 0600u) << r.name << ": its owner cannot read or write it";
        EXPECT_EQ(read_settings(file)->ReadLong("frame/cx", -1), 1024) << r.name;
        if (!r.unreadable)
            continue;
        // The next start takes the file the first one left, in silence:
        // its owner can read it now.
        child_process again(bin + "/ozm_view", {}, bin, env, as_second ? second.uid : 0);
        Window frame = wait_frame(x, again);
        ASSERT_NE(frame, 0u) << r.name << ": " << again.err();
        ASSERT_TRUE(exit_through_menu(x, again, frame)) << r.name << ": " << again.err();
        EXPECT_EQ(again.status(), 0) << r.name;
        EXPECT_EQ(again.err().find("ozm_view: "), std::string::npos) << r.name << ": " << again.err();
    }
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

// A settings file that is a symbolic link, as a user keeping settings in
// a folder of their own links it: the window opens where that file says,
// and at exit the file it points to is saved and the link stays.
TEST(viewer_program, a_settings_file_that_is_a_link_is_read_and_saved_through_it) {
    x_view x;
    ASSERT_TRUE(x.ok());
    kiv_test::temp_dir home;
    const std::string kept = home.file("dotfiles/ozm_viewer.conf");
    const std::string link = home.file(".config/ozm_viewer/ozm_viewer.conf");
    ASSERT_EQ(system(("mkdir -p '" + home.file("dotfiles") + "' '" + home.file(".config/ozm_viewer") + "'").c_str()),
              0);
    std::ofstream(kept) << "[frame]\nx=120\ny=90\ncx=800\ncy=600\n";
    ASSERT_EQ(symlink("../../dotfiles/ozm_viewer.conf", link.c_str()), 0);
    viewer_process viewer(KIV_BIN_DIR, {{"HOME", home.path().c_str()}, {"XDG_CONFIG_HOME", nullptr}});
    Window frame = wait_frame(x, viewer);
    ASSERT_NE(frame, 0u) << viewer.err();
    EXPECT_EQ(x.rect(frame), wxRect(120, 90, 800, 600));
    ASSERT_TRUE(exit_through_menu(x, viewer, frame)) << viewer.err();
    EXPECT_EQ(viewer.status(), 0) << viewer.err();
    EXPECT_EQ(viewer.err().find("ozm_view: "), std::string::npos) << viewer.err();
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
    auto saved = read_settings(kept);
    EXPECT_EQ(saved->ReadLong("frame/cx", -1), 800);
    EXPECT_NE(layout_value(saved->Read("frame/perspective"), "ID_VIEW_MAPS", "state"), -1) << "not saved there";
    // Nothing but the link and the file are left in their folders.
    EXPECT_EQ(system(("test \"$(ls -A '" + home.file(".config/ozm_viewer") + "')\" = ozm_viewer.conf").c_str()), 0);
    EXPECT_EQ(system(("test \"$(ls -A '" + home.file("dotfiles") + "')\" = ozm_viewer.conf").c_str()), 0);
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

// The map is rendered once at start: at the first start, at a start
// that restores saved settings and at one saved maximised, with no window
// manager and under one (which gives the window its size again while
// framing it, or maximises it). A manager too busy to tell its
// decorations within the viewer's hold (its trace says so) may have the
// map rendered a second time, at the framed size.
TEST(viewer_program, a_start_renders_the_map_once) {
    x_view x;
    ASSERT_TRUE(x.ok());
    for (bool with_manager : {false, true}) {
        std::unique_ptr<window_manager> manager;
        if (with_manager && !(manager = std::make_unique<window_manager>(x))->ready())
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
            Window frame = wait_frame(x, viewer);
            ASSERT_NE(frame, 0u) << viewer.err();
            ASSERT_TRUE(wait_pixels(x, viewer, frame, [&](const std::vector<uint32_t>& px, int w, int h) {
                return scale_bar_length(px, w, h) > 0;
            }));
            ASSERT_TRUE(exit_through_menu(x, viewer, frame)) << viewer.err();
            EXPECT_EQ(viewer.status(), 0) << viewer.err();
            bool hold_ran_out = kiv_test::read_all(trace).find("no decorations came") != std::string::npos;
            EXPECT_TRUE(with_manager || !hold_ran_out);
            int renders = renders_traced(trace);
            EXPECT_GE(renders, 1);
            EXPECT_LE(renders, hold_ran_out ? 2 : 1);
        }
    }
}

}  // namespace
