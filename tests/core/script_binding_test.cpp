// script_binding_test.cpp --
//
//     What the script service does with a newly loaded library: the init
//     command that loads its Tcl package (path quoted, package named) when
//     it exports an initialiser, and its init script from the library's
//     own script path or the common one, also under a Turkish locale.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_script.h>
#include <kiv_test/core_hooks.h>

#include "script/script_service.h"
#include "core_session.h"
#include "script_session.h"

#include <kiv_test/made_locale.h>

#include <gtest/gtest.h>

#include <tcl.h>

#include <cctype>
#include <fstream>
#include <string>
#include <vector>

using kiv_test::run;

namespace {

std::vector<std::string> split_list(const std::string& list) {
    int count = 0;
    const char** words = nullptr;
    std::vector<std::string> result;
    if (Tcl_SplitList(nullptr, list.c_str(), &count, &words) != TCL_OK)
        return {"(not a list)"};
    for (int i = 0; i < count; ++i)
        result.push_back(words[i]);
    Tcl_Free(reinterpret_cast<char*>(words));
    return result;
}

class script_binding_test : public ::testing::Test {
protected:
    void SetUp() override {
        svc.reset(kiv_core()->get_service("svc_script"));
        service = kiv_cast_script_service(svc);
        ASSERT_NE(service, nullptr);
    }
    void TearDown() override {
        kiv_set_env("KIV_SCRIPT_PATH", "");
        kiv_set_env("KIV_CORE_SCRIPT_PATH", "");
        kiv_set_env("PLAIN_LIB_SCRIPT_PATH", "");
    }
    std::string write(const std::string& dir, const std::string& name, const std::string& text) {
        std::string folder = session.root.file(dir);
        kiv_make_path(folder.c_str());
        std::ofstream(folder + "/" + name) << text;
        return folder;
    }

    kiv_test::core_session session;
    auto_ptr_t<kiv::i_object> svc;
    kiv::script_service* service = nullptr;
    const std::string core_lib = kiv_test::bin_dir() + "/kiv_core.so";
    const std::string plain_lib = kiv_test::bin_dir() + "/kiv_test_plain_library.so";
};

}  // namespace

TEST_F(script_binding_test, a_library_with_a_package_gets_a_load_command_with_its_path_and_name) {
    service->bind_library(kiv_test_open_library(core_lib.c_str()), core_lib.c_str());
    ASSERT_EQ(service->init_cmds().size(), 1u);
    EXPECT_EQ(split_list(service->init_cmds()[0]), (std::vector<std::string>{"load", core_lib, "kiv_core"}));
    auto_ptr_t<kiv::i_script_engine> engine(service->get_script_engine());
    ASSERT_TRUE(engine);
    EXPECT_EQ(run(engine, "puts [package present kiv_core]"), "0.0");
}

TEST_F(script_binding_test, the_loader_announces_each_library_and_the_service_binds_it) {
    ASSERT_NE(kiv_core()->load_library(core_lib.c_str()), nullptr);
    ASSERT_NE(kiv_core()->load_library(plain_lib.c_str()), nullptr);
    ASSERT_EQ(service->init_cmds().size(), 1u);
    EXPECT_EQ(split_list(service->init_cmds()[0]), (std::vector<std::string>{"load", core_lib, "kiv_core"}));
}

TEST_F(script_binding_test, any_library_path_stays_one_word_of_the_load_command) {
    const std::string odd = "C:\\kiv\\lib dir\\[x] {y} $z\\kiv_core.so";
    service->bind_library(kiv_test_open_library(core_lib.c_str()), odd.c_str());
    ASSERT_EQ(service->init_cmds().size(), 1u);
    EXPECT_EQ(split_list(service->init_cmds()[0]), (std::vector<std::string>{"load", odd, "kiv_core"}));
}

TEST_F(script_binding_test, the_init_script_comes_from_the_library_path_before_the_common_one) {
    std::string own = write("own", "kiv_core_init.tcl", "variable init_from own");
    std::string common = write("common", "kiv_core_init.tcl", "variable init_from common");
    kiv_set_env("KIV_CORE_SCRIPT_PATH", own.c_str());
    kiv_set_env("KIV_SCRIPT_PATH", common.c_str());
    auto_ptr_t<kiv::i_script_engine> early(service->get_script_engine());  // fails: no package yet
    EXPECT_FALSE(early);
    service->bind_library(kiv_test_open_library(core_lib.c_str()), core_lib.c_str());
    ASSERT_EQ(service->init_files().size(), 1u);
    EXPECT_EQ(service->init_files()[0], own + "/kiv_core_init.tcl");
    auto_ptr_t<kiv::i_script_engine> engine(service->get_script_engine());
    ASSERT_TRUE(engine);
    EXPECT_EQ(run(engine, "puts $init_from"), "own");
}

TEST_F(script_binding_test, a_turkish_locale_does_not_hide_the_library_script_path) {
    // Tcl takes LC_CTYPE from the environment, where the C library's
    // toupper leaves "i" alone: the variable must not become
    // KiV_CORE_SCRIPT_PATH, nor PLAiN_LiB_SCRIPT_PATH.
    kiv_test::scoped_locale turkish(LC_CTYPE, "tr_TR.UTF-8");
    ASSERT_EQ(turkish.why(), "");
    ASSERT_EQ(std::toupper('i'), 'i') << "the made locale cases as Turkish does";
    struct library {
        std::string path;
        const char* variable;
        const char* script;
    };
    const library libraries[] = {
        {core_lib, "KIV_CORE_SCRIPT_PATH", "kiv_core_init.tcl"},
        {plain_lib, "PLAIN_LIB_SCRIPT_PATH", "plain_lib_init.tcl"},
    };
    write("common", "kiv_core_init.tcl", "");
    std::string common = write("common", "plain_lib_init.tcl", "");
    kiv_set_env("KIV_SCRIPT_PATH", common.c_str());
    size_t bound = 0;
    for (const library& lib : libraries) {
        std::string own = write(std::string("own_") + lib.variable, lib.script, "");
        kiv_set_env(lib.variable, own.c_str());
        ASSERT_NE(kiv_core()->load_library(lib.path.c_str()), nullptr) << lib.path;
        ASSERT_EQ(service->init_files().size(), ++bound) << lib.variable;
        EXPECT_EQ(service->init_files().back(), own + "/" + lib.script) << lib.variable;
    }
}

TEST_F(script_binding_test, an_engine_already_there_loads_the_package_and_init_script_at_once) {
    service->bind_library(kiv_test_open_library(core_lib.c_str()), core_lib.c_str());
    auto_ptr_t<kiv::i_script_engine> engine(service->get_script_engine());
    ASSERT_TRUE(engine);
    std::string common = write("common", "plain_lib_init.tcl", "variable plain_ready yes");
    kiv_set_env("KIV_SCRIPT_PATH", common.c_str());
    service->bind_library(kiv_test_open_library(plain_lib.c_str()), plain_lib.c_str());
    EXPECT_EQ(run(engine, "puts $plain_ready"), "yes");
    // No package initialiser: no new load command.
    EXPECT_EQ(service->init_cmds().size(), 1u);
    EXPECT_EQ(service->init_files().size(), 1u);
}

TEST_F(script_binding_test, libraries_without_a_usable_name_are_not_bound) {
    std::string common = write("common", "kiv_core_init.tcl", "");
    kiv_set_env("KIV_SCRIPT_PATH", common.c_str());
    service->bind_library(nullptr, core_lib.c_str());
    service->bind_library(kiv_test_open_library(KIV_TCL_LIBRARY), KIV_TCL_LIBRARY);
    EXPECT_TRUE(service->init_cmds().empty());
    EXPECT_TRUE(service->init_files().empty());
    // No script folder set, no file: only the package is bound.
    kiv_set_env("KIV_SCRIPT_PATH", "");
    service->bind_library(kiv_test_open_library(core_lib.c_str()), core_lib.c_str());
    EXPECT_EQ(service->init_cmds().size(), 1u);
    EXPECT_TRUE(service->init_files().empty());
}
