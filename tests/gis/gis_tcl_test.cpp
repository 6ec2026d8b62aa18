// gis_tcl_test.cpp --
//
//     The GIS library's Tcl package in a script engine, after the core's
//     loader loaded kiv_gis.so (which brings kiv_image, kiv_http and
//     kiv_zip): a viewport made and converted (points as lists, arrays as
//     one list each), distances computed, value types built with their
//     optional arguments, the service reached through the core, and
//     malformed point lists refused with an error.

#include <kiv/core/env.h>

#include "../core/script_session.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

using kiv_test::run;

namespace {

class gis_tcl : public ::testing::Test {
protected:
    void SetUp() override {
        std::string fonts = session.root.file("fonts");
        ASSERT_EQ(mkdir(fonts.c_str(), 0700), 0);
        kiv_set_env("KIV_FONT_PATH", fonts.c_str());
        kiv_set_env("KIV_GIS_CACHE_PATH", "disable");
        std::string path = kiv_get_env("PATH");
        kiv_set_env("PATH", (kiv_test::bin_dir() + ":" + path).c_str());
        loaded = session.load("kiv_gis");
        kiv_set_env("PATH", path.c_str());
        ASSERT_TRUE(loaded);
        engine = session.engine();
        ASSERT_TRUE(engine);
    }
    void TearDown() override {
        engine.reset();
        kiv_set_env("KIV_FONT_PATH", nullptr);
        kiv_set_env("KIV_GIS_CACHE_PATH", nullptr);
    }

    kiv_test::script_session session;
    auto_ptr_t<kiv::i_script_engine> engine;
    bool loaded = false;
};

TEST_F(gis_tcl, a_viewport_is_made_and_converts_points_and_lists) {
    EXPECT_EQ(run(engine, "variable vp [kiv_gis_create_viewport 100 100]\n"
                          "set r [i_gis_viewport_set_center $vp 0 0 100000]\n"
                          "lappend r [i_gis_viewport_get_scale $vp]\n"
                          "lassign [i_gis_viewport_dp_to_lc $vp 0 0] ok pt\n"
                          "lappend r [format {%d %.6f %.6f} $ok {*}$pt]\n"
                          "lappend r [i_gis_viewport_lc_to_dp $vp 0 0]\n"
                          "lappend r [i_gis_viewport_get_viewport_size $vp]\n"
                          "lassign [i_gis_viewport_get_geo_extents $vp] ok min max\n"
                          "lappend r [format {%.6f %.6f} {*}$max]\n"
                          "set out {}\n"
                          "foreach p [i_gis_viewport_dp_to_lc2 $vp {{0 0} {100 100}}] {\n"
                          "    lappend out [format {%.6f %.6f} {*}$p]\n"
                          "}\n"
                          "lappend r [join $out |]\n"
                          "lappend r [i_gis_viewport_lc_to_dp2 $vp {{0 0} {0.019097 -0.018994}}]\n"
                          "lappend r [llength [i_gis_viewport_dp_to_lc2 $vp {}]]\n"
                          "puts [join $r \\n]"),
              "1\n100000\n1 0.019097 -0.018994\n1 {50 50}\n1 {100 100}\n0.019097 0.018994\n"
              "0.019097 -0.018994|-0.019097 0.018994\n{50 50} {0 0}\n0");
    // Lists that are not lists of number pairs, and a view without scale.
    EXPECT_EQ(run(engine, "i_gis_viewport_dp_to_lc2 $vp {{1 2} {3}}"),
              "error: point 1 is not a pair of numbers");
    EXPECT_EQ(run(engine, "i_gis_viewport_lc_to_dp2 $vp {{a b}}"), "error: point 0 is not a pair of numbers");
    EXPECT_EQ(run(engine, "i_gis_viewport_dp_to_lc2 $vp \"{\""), "error: unmatched open brace in list");
    EXPECT_EQ(run(engine, "variable v2 [kiv_gis_create_viewport 10 10]\n"
                          "i_gis_viewport_dp_to_lc2 $v2 {{0 0}}"),
              "error: i_gis_viewport_dp_to_lc2: the viewport cannot be computed");
    EXPECT_EQ(run(engine, "puts [i_gis_viewport_get_center $v2]\n"
                          "delete_i_gis_viewport $v2\n"
                          "delete_i_gis_viewport $vp"),
              "0 {0.0 0.0}");
}

TEST_F(gis_tcl, distances_value_types_and_the_service) {
    EXPECT_EQ(run(engine, "puts [join [list [format %.2f [kiv_calc_distance 0 0 0 1]] "
                          "[kiv_calc_course 0 0 1 0] [kiv_distance_to_line 0 0 10 0 15 3 1] "
                          "[format %.1f [kiv_geodistance_to_line 0 0 0 0 0 1 0]] [kiv_gis_calc_lat_coef 0]] |]"),
              "111319.54|180|-1.0|111319.5|0.994619");
    // Coordinates that are no place give the failure value, not NaN.
    EXPECT_EQ(run(engine, "puts [kiv_calc_distance 1e308 -1e308 1e308 1e308]|[kiv_calc_distance 91 0 0 0]"),
              "-1.0|-1.0");
    EXPECT_EQ(run(engine, "puts [join [list [kiv_gis_create_road_point] [kiv_gis_create_road_point 1.5] "
                          "[kiv_gis_create_road_point 1.5 2.5 1] [kiv_gis_create_geo_point 1 2] "
                          "[kiv_gis_create_view_point 3 4]] |]"),
              "0.0 0.0 0|1.5 0.0 0|1.5 2.5 1|1.0 2.0|3 4");
    EXPECT_EQ(run(engine, "variable g [kiv_cast_i_gis_service [i_core_get_service [kiv_core] svc_gis]]\n"
                          "puts [join [list [i_gis_service_set_default_driver $g ozm] "
                          "[i_gis_service_get_default_driver $g] <[kiv_gis_get_maps_state]> "
                          "<[kiv_gis_lock_points_to_road {} 1,2 3 2 10 0]>] |]"),
              "1|ozm|<>|<NULL>");
}

}  // namespace
