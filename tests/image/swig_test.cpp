// swig_test.cpp --
//
//     The generated Tcl packages in a plain tclsh8.6, loaded with `load`
//     from the build's library folder: for each package, a cast, a method
//     (as a command and through the object's own command) and a delete
//     command that gives the object back (a collection keeps it, so the
//     count it reports shows Tcl's reference gone).

#include "../core/tclsh_run.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class swig_test : public ::testing::Test {
protected:
    void SetUp() override {
        tclsh_ = kiv_test::find_tclsh();
        if (tclsh_.empty())
            GTEST_SKIP() << "tclsh8.6 is not installed";
    }
    std::string run_tclsh(const std::string& script, int* status) {
        return kiv_test::run_tclsh(tclsh_, dir_, script, status);
    }

    std::string tclsh_;
    kiv_test::temp_dir dir_;
};

}  // namespace

TEST_F(swig_test, the_core_package_loads_into_tclsh_and_its_commands_work) {
    int status = -1;
    std::string out = run_tclsh(
        "load [file join $bin kiv_core.so] kiv_core\n"
        "puts [package present kiv_core]\n"
        "set s [kiv_create_named_string the_name the_value]\n"
        "puts [i_named_object_get_name [kiv_cast_i_named_object $s]]\n"
        "puts [$s get_value]\n"
        "set c [kiv_create_col]\n"
        "i_object_col_x_add_item $c $s\n"
        "delete_i_named_string $s\n"
        "set again [i_object_col_get_item_by_pos $c 0]\n"
        "puts [i_object_addref $again]\n"
        "puts [catch {i_string_get_value NULL} m]:$m\n"
        "puts [format %08X [expr {~[kiv_crc32 123456789 0xFFFFFFFF] & 0xFFFFFFFF}]]\n",
        &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out, "0.0\nthe_name\nthe_value\n3\n1:i_string_get_value: null object\nCBF43926\n");
}

TEST_F(swig_test, the_image_package_loads_into_tclsh_with_the_core_commands) {
    int status = -1;
    std::string out = run_tclsh(
        "load [file join $bin kiv_image.so] kiv_image\n"
        "puts [package present kiv_image]\n"
        "set img [kiv_image_create 4 3 [kiv_image_color 255 0 0 255]]\n"
        "puts [i_image_get_width $img]x[$img get_height]\n"
        "set col [kiv_create_col]\n"
        "i_object_col_x_add_item $col $img\n"
        "delete_i_image $img\n"
        "set again [kiv_cast_i_image [i_object_col_get_item_by_pos $col 0]]\n"
        "puts [i_object_addref $again]\n"
        "puts [binary encode hex [string range [i_image_get_data $again] 0 3]]\n"
        "set packed [kiv_image_pack $again]\n"
        "puts [i_image_get_width [kiv_image_unpack [i_binary_get_data $packed]]]\n",
        &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out, "0.0\n4x3\n3\nff0000ff\n4\n");
}

TEST_F(swig_test, calls_that_need_a_path_ask_for_kiv_initialize_in_a_plain_tclsh) {
    int status = -1;
    std::string out = run_tclsh(
        "load [file join $bin kiv_image.so] kiv_image\n"
        "foreach call {{kiv_image_load a.png} {kiv_read_file a.txt} {kiv_write_file a.txt x} {kiv_make_path d}\n"
        "              {kiv_scan_dir . * 0} {kiv_get_absolute_path a}} {\n"
        "    puts [catch $call m]:$m\n"
        "}\n"
        "puts [kiv_initialize]\n"
        "puts [kiv_write_file a.txt hello]|[kiv_read_file a.txt]|[kiv_image_load missing.png]\n"
        "set img [kiv_image_create 2 2 [kiv_image_color 1 2 3 255]]\n"
        "puts [kiv_cast_i_object_factory $img]|[kiv_cast_property_manager_object $img]\n"
        "kiv_enable_trace 0\n"
        "kiv_terminate\n"
        "puts [catch {kiv_read_file a.txt} m]:$m\n",
        &status);
    EXPECT_EQ(status, 0) << out;
    const char* ask = ": the framework is not started: call kiv_initialize first\n";
    EXPECT_EQ(out, std::string("1:kiv_image_load") + ask + "1:kiv_read_file" + ask + "1:kiv_write_file" + ask +
                       "1:kiv_make_path" + ask + "1:kiv_scan_dir" + ask + "1:kiv_get_absolute_path" + ask +
                       "1\n1|hello|NULL\nNULL|NULL\n1:kiv_read_file" + ask);
    // The file went under the working folder, the root kiv_initialize chose.
    EXPECT_EQ(kiv_test::read_all(dir_.file("a.txt")), "hello");
}
