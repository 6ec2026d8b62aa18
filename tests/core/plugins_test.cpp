// plugins_test.cpp --
//
//     Plug-ins and sites started through their "start.tcl" in a tree
//     made by the test: the lists of kiv_init_app with empty names, roots
//     from the environment and their defaults, status and error read back,
//     names and roots that look like Tcl code, the engine's output kept,
//     a lone comma in KIV_SITES_LIST that loads nothing, names that
//     would reach a start script outside the roots, and the roots found
//     under a Turkish locale.

#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/log.h>
#include <kiv/core/plugins.h>

#include "script_session.h"

#include <kiv_test/made_locale.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <tcl.h>

#include <cctype>
#include <fstream>
#include <string>
#include <thread>

using kiv_test::run;

namespace {

// Returns: `text` as one word of a Tcl command.
std::string tcl_word(const std::string& text) {
    const char* words[] = {text.c_str()};
    char* merged = Tcl_Merge(1, words);
    std::string word = merged;
    Tcl_Free(merged);
    return word;
}

class plugins_test : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"KIV_PLUGINS_ROOT", "KIV_SITES_ROOT", "KIV_PLUGINS_LIST", "KIV_SITES_LIST"})
            kiv_set_env(name, nullptr);
    }
    void TearDown() override { SetUp(); }

    // Writes DIR/NAME/start.tcl under the session root.
    void plugin(const std::string& dir, const std::string& name, const std::string& script) {
        std::string folder = session.root.file(dir + "/" + name);
        ASSERT_EQ(std::system(("mkdir -p '" + folder + "'").c_str()), 0);
        std::ofstream(folder + "/start.tcl") << script;
    }

    kiv_test::script_session session;
};

}  // namespace

TEST_F(plugins_test, init_app_loads_the_listed_plugins_in_order_and_stops_at_the_first_failure) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    const char* ok = "lappend ::loaded $plugin_name [file tail $plugin_root]\nset plugin_status 1\n";
    plugin("plugins", "a", ok);
    plugin("plugins", "b", ok);
    plugin("plugins", "silent", "lappend ::loaded silent\nset plugin_error {no status set}\n");
    session.write("app.env", "KIV_PLUGINS_LIST=a,,b\n");
    EXPECT_TRUE(kiv_init_app("app.env"));
    EXPECT_EQ(run(engine, "puts $::loaded"), "a a b b");

    session.write("bad.env", "KIV_PLUGINS_LIST=silent,a\n");
    EXPECT_FALSE(kiv_init_app("bad.env"));
    EXPECT_EQ(run(engine, "puts $::loaded"), "a a b b silent");
    EXPECT_FALSE(kiv_init_app("missing.env"));
    EXPECT_FALSE(kiv_library_loaded("kiv_http"));
}

TEST_F(plugins_test, status_error_and_roots_are_read_back_as_values) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    plugin("plugins", "two", "set plugin_status 2");
    plugin("plugins", "zero", "set plugin_error {failed: [oops] $x}");
    plugin("plugins", "broken", "error {start failed}");
    plugin("plugins", "prints", "puts from-start\nset plugin_status 1");
    // The engine's output survives loading a plug-in.
    engine->reset();
    engine->puts_impl("before|");
    EXPECT_TRUE(kiv_load_resource("two", "plugin", engine));
    EXPECT_TRUE(kiv_load_resource("prints", "plugin", engine));
    EXPECT_STREQ(engine->get_output(), "before|from-start");
    EXPECT_FALSE(kiv_load_resource("zero", "plugin", engine));
    EXPECT_FALSE(kiv_load_resource("broken", "plugin", engine));
    EXPECT_FALSE(kiv_load_resource("absent", "plugin", engine));
    EXPECT_FALSE(kiv_load_resource("", "plugin", engine));
    EXPECT_FALSE(kiv_load_resource("two", "plugin", nullptr));
    EXPECT_TRUE(kiv_load_plugin("two"));

    // Two roots: the first holding the site wins. A root and a name with
    // quotes, brackets and "$"-free Tcl syntax are plain values.
    std::string odd = "r} [exit] {\"";
    plugin("first", "s", "set site_status 1\nset ::from first");
    plugin("second", "s", "set site_status 1\nset ::from second");
    plugin(odd, "n[1]", "set ::seen [list $site_name $site_root]\nset site_status 1");
    kiv_set_env("KIV_SITES_ROOT", (session.root.file("nowhere") + ";" + session.root.file("first") + ";" +
                                   session.root.file("second") + ";" + session.root.file(odd)).c_str());
    EXPECT_TRUE(kiv_load_site("s"));
    EXPECT_EQ(run(engine, "puts $::from"), "first");
    EXPECT_TRUE(kiv_load_site("n[1]"));
    engine->reset();
    ASSERT_TRUE(engine->execute_text("puts [lindex $::seen 1]"));
    EXPECT_EQ(engine->get_output(), session.root.file(odd) + "/n[1]");
}

TEST_F(plugins_test, a_turkish_locale_does_not_hide_the_roots_variables) {
    // Tcl takes LC_CTYPE from the environment, where the C library's
    // toupper leaves "i" alone: the roots variable must not become
    // KIV_PLUGiNS_ROOT.
    kiv_test::scoped_locale turkish(LC_CTYPE, "tr_TR.UTF-8");
    ASSERT_EQ(turkish.why(), "");
    ASSERT_EQ(std::toupper('i'), 'i') << "the made locale cases as Turkish does";
    struct kind {
        const char* variable;
        bool (*load)(const char*);
        const char* script;
    };
    const kind kinds[] = {
        {"KIV_PLUGINS_ROOT", kiv_load_plugin, "set plugin_status 1"},
        {"KIV_SITES_ROOT", kiv_load_site, "set site_status 1"},
    };
    for (const kind& k : kinds) {
        plugin(std::string("root_of_") + k.variable, "only_there", k.script);
        kiv_set_env(k.variable, session.root.file(std::string("root_of_") + k.variable).c_str());
        EXPECT_TRUE(k.load("only_there")) << k.variable;
    }
}

TEST_F(plugins_test, a_lone_comma_loads_no_site_and_not_the_http_library) {
    session.write("sites.env", "KIV_SITES_LIST=,\n");
    EXPECT_TRUE(kiv_init_app("sites.env"));
    EXPECT_FALSE(kiv_library_loaded("kiv_http"));
}

TEST_F(plugins_test, names_that_would_leave_their_root_are_refused_with_a_log_line) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    // A start script beside the plug-in and site roots, one below the
    // root's parent, and a nested one inside the plug-in root: none is
    // a plug-in or site of its own.
    const char* escaped = "lappend ::ran $plugin_name\nset plugin_status 1\nset site_status 1\n";
    plugin("", "evil", escaped);
    plugin("plugins", "a/b", escaped);
    plugin("plugins", "good", "set plugin_status 1");
    kiv_test::temp_dir outside;  // a sibling of the session root
    std::ofstream(outside.file("start.tcl")) << escaped;
    std::string outside_name = outside.path().substr(outside.path().rfind('/') + 1);
    kiv_set_log_facility("refused.log");

    const std::string names[] = {"../evil", "..", ".", "a/b", "a\\b", "..\\evil", "../../" + outside_name,
                                 session.root.file("evil"), "good/.."};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(run(engine, "puts [kiv_load_plugin " + tcl_word(name) + "]"), "0");
        EXPECT_EQ(run(engine, "puts [kiv_load_site " + tcl_word(name) + "]"), "0");
        EXPECT_FALSE(kiv_load_resource(name.c_str(), "plugin", engine));
    }
    EXPECT_EQ(run(engine, "puts [info exists ::ran]"), "0");  // no start script outside the roots ran
    EXPECT_EQ(run(engine, "puts [kiv_load_plugin good]"), "1");

    // kiv_init_app goes through the same check for the names it lists.
    session.write("escape.env", "KIV_PLUGINS_LIST=../evil\n");
    EXPECT_FALSE(kiv_init_app("escape.env"));
    EXPECT_EQ(run(engine, "puts [info exists ::ran]"), "0");

    kiv::log_flush_files();
    std::string text = kiv_test::read_all(session.root.file("refused.log"));
    EXPECT_NE(text.find("kiv_load_plugin('../evil'): refused"), std::string::npos) << text;
    EXPECT_NE(text.find("kiv_load_site('..'): refused"), std::string::npos) << text;
}

TEST_F(plugins_test, a_script_loading_a_library_by_a_relative_path_never_searches_path) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    kiv_test::temp_dir on_path;
    std::string lib_dir = on_path.file("lib");
    ASSERT_EQ(::mkdir(lib_dir.c_str(), 0700), 0);
    std::ifstream in(kiv_test::bin_dir() + "/kiv_test_plain_library.so", std::ios::binary);
    std::ofstream(lib_dir + "/plain.so", std::ios::binary) << in.rdbuf();
    std::string old_path = kiv_get_env("PATH");
    kiv_set_env("PATH", on_path.path().c_str());
    for (const char* name : {"lib/plain", "../../../../etc/passwd", "lib/../lib/plain.so"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(run(engine, std::string("puts [i_core_load_library [kiv_core] ") + tcl_word(name) + "]"), "NULL");
    }
    kiv_set_env("PATH", old_path.c_str());
    EXPECT_FALSE(kiv_library_loaded("Plain_Lib"));
    // The bare name is still looked for along PATH.
    kiv_set_env("PATH", lib_dir.c_str());
    EXPECT_NE(run(engine, "puts [i_core_load_library [kiv_core] plain]"), "NULL");
    kiv_set_env("PATH", old_path.c_str());
    EXPECT_TRUE(kiv_library_loaded("Plain_Lib"));
}

TEST_F(plugins_test, an_init_script_that_loads_a_plugin_runs_it_in_the_engine_being_made) {
    plugin("plugins", "p", "set ::from_plugin [incr ::count]\nset plugin_status 1\n");
    std::string init = session.write("init.tcl", "set ::loaded_by_init [kiv_load_plugin p]\n");
    ASSERT_TRUE(session.service->add_init_file(init.c_str()));
    std::string seen;
    // On a thread of its own, whose first engine runs the init script.
    std::thread maker([&] {
        auto_ptr_t<kiv::i_script_engine> engine(session.service->get_script_engine());
        if (engine)
            seen = run(engine, "puts \"$::loaded_by_init $::from_plugin\"");
    });
    maker.join();
    EXPECT_EQ(seen, "1 1");
}
