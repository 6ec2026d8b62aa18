// image_tcl_test.cpp --
//
//     The image package in script engines after the core's loader loaded
//     kiv_image.so: every engine loads it, and objects pass between the
//     image commands and the core's (one type table).

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>

#include "../core/script_session.h"

#include <gtest/gtest.h>

#include <string>

using kiv_test::run;

namespace {

class image_tcl_test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(session.service, nullptr);
        // The image library is usable (and announced) only with a font folder.
        kiv_set_env("KIV_FONT_PATH", session.root.path().c_str());
        ASSERT_TRUE(session.load("kiv_image"));
    }
    void TearDown() override { kiv_set_env("KIV_FONT_PATH", ""); }
    kiv_test::script_session session;
};

}  // namespace

TEST_F(image_tcl_test, engines_load_the_package_and_use_cast_method_and_delete) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(run(engine, "variable img [kiv_image_create 5 2 [kiv_image_color 1 2 3 4]]\n"
                          "puts [i_image_get_width [kiv_cast_i_image $img]]x[$img get_height]"),
              "5x2");
    EXPECT_EQ(run(engine, "variable col [kiv_create_col]; i_object_col_x_add_item $col $img\n"
                          "delete_i_image $img\n"
                          "variable again [i_object_col_get_item_by_pos $col 0]\n"
                          "puts [i_object_addref $again]; i_object_release $again"),
              "3");
    // A block made by the image commands is read by the core's.
    EXPECT_EQ(run(engine, "puts [string length [i_binary_get_data [kiv_image_pack [kiv_cast_i_image $again] 6 100]]]"),
              std::to_string(9 + 5 * 2 * 4));
}

TEST_F(image_tcl_test, a_rebuilt_engine_loads_the_package_again) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    EXPECT_FALSE(engine->execute_text("error fail"));
    engine.reset();
    auto next = session.engine();
    ASSERT_TRUE(next);
    EXPECT_EQ(run(next, "puts [package present kiv_image]/[kiv_image_color 1 0 0 0]"), "0.0/1");
}

TEST_F(image_tcl_test, a_released_image_name_never_comes_to_name_a_newer_image) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(run(engine, "variable old [kiv_image_create 2 2 0]; kiv_release $old\n"
                          "variable new [kiv_image_create 3 3 0]\n"
                          "puts [catch {i_image_get_width $old} m]/$m/[i_image_get_width $new]"),
              "1/i_image_get_width: object not held by this interpreter/3");
}

TEST_F(image_tcl_test, i_image_addref_and_release_count_through_the_registry_as_i_objects_do) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(run(engine, "variable img [kiv_image_create 2 3 0]\n"
                          "puts [i_image_addref $img]/[i_image_release $img]/[i_image_get_height $img]"),
              "2/1/3");
    // The script's last release gives the image back: its name is dead.
    EXPECT_EQ(run(engine, "i_image_release $img; puts [catch {i_image_get_height $img} m]/$m"),
              "1/i_image_get_height: object not held by this interpreter");
}
