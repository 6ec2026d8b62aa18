// zip_tcl_test.cpp --
//
//     The zip library's Tcl package: in a plain tclsh8.6 loaded with
//     `load`, and in script engines after the core's loader loaded
//     kiv_zip.so. Each shows a cast, methods, byte blocks passing to the
//     core's commands, and a delete command that gives the object back.

#include "../core/script_session.h"
#include "../core/tclsh_run.h"

#include <gtest/gtest.h>

#include <string>

using kiv_test::run;

TEST(zip_tcl, the_package_loads_into_tclsh_and_reaches_the_zip_service) {
    std::string tclsh = kiv_test::find_tclsh();
    if (tclsh.empty())
        GTEST_SKIP() << "tclsh8.6 is not installed";
    kiv_test::temp_dir dir;
    int status = -1;
    std::string out = kiv_test::run_tclsh(
        tclsh, dir,
        "load [file join $bin kiv_zip.so] kiv_zip\n"
        "puts [package present kiv_zip]\n"
        "kiv_initialize\n"
        "i_core_load_library [kiv_core] [file join $bin kiv_zip.so]\n"
        "set z [kiv_cast_i_zip_service [i_core_get_service [kiv_core] svc_zip]]\n"
        "set packed [i_binary_get_data [i_zip_service_compress_text $z {zip zip zip zip}]]\n"
        "puts [i_zip_service_uncompress_text $z $packed 15]\n"
        "set col [kiv_create_col]\n"
        "i_object_col_x_add_item $col $z\n"
        "delete_i_zip_service $z\n"
        "set again [i_object_col_get_item_by_pos $col 0]\n"
        "puts [i_object_addref $again]\n"
        "i_object_release $again\n"
        "kiv_terminate\n",
        &status);
    EXPECT_EQ(status, 0) << out;
    // Registry, collection, Tcl's name for it and the addref: 4; the
    // deleted name holds nothing any more.
    EXPECT_NE(out.find("0.0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("zip zip zip zip\n4\n"), std::string::npos) << out;
}

TEST(zip_tcl, engines_load_the_package_after_the_loader_loaded_the_library) {
    kiv_test::script_session session;
    ASSERT_TRUE(session.load("kiv_zip"));
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(run(engine, "variable z [kiv_cast_i_zip_service [i_core_get_service [kiv_core] svc_zip]]\n"
                          "variable packed [i_zip_service_compress_binary $z [binary format H* 00ff00ff00ff]]\n"
                          "puts [binary encode hex [i_binary_get_data [i_zip_service_uncompress_binary $z "
                          "[i_binary_get_data $packed] 6]]]"),
              "00ff00ff00ff");
    EXPECT_EQ(run(engine, "delete_i_zip_service $z; i_zip_service_compress_text $z x"),
              "error: i_zip_service_compress_text: object not held by this interpreter");
}
