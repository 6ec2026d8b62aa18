// zip_tcl_test.cpp --
//
//     The zip library's Tcl package: in a plain tclsh8.6 loaded with
//     `load`, and in script engines after the core's loader loaded
//     kiv_zip.so. Each shows a cast, methods, byte blocks passing to the
//     core's commands, and a delete command that gives the object back;
//     and each interface's own addref and release commands.

#include "../core/script_session.h"
#include "../core/tclsh_run.h"

#include <kiv/core/files.h>

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

TEST(zip_tcl, each_interface_counts_references_through_the_registry_as_i_object_does) {
    kiv_test::script_session session;
    ASSERT_TRUE(session.load("kiv_zip"));
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    std::string dir = session.root.path();
    ASSERT_EQ(run(engine, "variable z [kiv_cast_i_zip_service [i_core_get_service [kiv_core] svc_zip]]\n"
                          "variable w [i_zip_service_open_writer $z {" + dir + "/a.zip}]\n"
                          "i_zip_writer_write_text_file $w {text} a.txt\n"
                          "variable g [i_zip_service_open_gzip_writer $z {" + dir + "/a.gz}]\n"
                          "puts done"),
              "done");
    // An addref and a release through each interface's own commands leave
    // the object held; the writer's last release completes its archive.
    EXPECT_EQ(run(engine, "puts [i_zip_writer_addref $w]/[i_zip_writer_release $w]\n"
                          "puts [i_gzip_writer_addref $g]/[i_gzip_writer_release $g]/[i_gzip_writer_close $g]\n"
                          "i_zip_writer_release $w; i_gzip_writer_release $g\n"
                          "puts [catch {i_zip_writer_write_text_file $w x y} m]/$m"),
              "2/12/1/11/i_zip_writer_write_text_file: object not held by this interpreter");
    EXPECT_EQ(run(engine, "variable r [i_zip_service_open_reader $z {" + dir + "/a.zip}]\n"
                          "puts [i_zip_reader_addref $r]/[i_zip_reader_release $r]/[i_zip_reader_get_text_file $r a.txt]\n"
                          "i_zip_reader_release $r\n"
                          "puts [catch {i_zip_reader_get_text_file $r a.txt} m]"),
              "2/1/text1");
    // The service: the core's reference, the script's, and the addref.
    EXPECT_EQ(run(engine, "puts [i_zip_service_addref $z]/[i_zip_service_release $z]"), "3/2");
    EXPECT_TRUE(kiv_file_exists((dir + "/a.gz").c_str()));
}
