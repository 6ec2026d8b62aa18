// gwx_threads_test.cpp --
//
//     Eight threads render and search through "svc_gis" with the
//     stand-in control at once: every picture and every result must be
//     what one thread alone gets, and no snapshot file may be left.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/gis/i_gis_viewport.h>
#include <kiv_test/gwx_hooks.h>

#include "../gis/gis_loader.h"
#include <kiv/image/i_image.h>

#include "../core/core_session.h"
#include "gwx_folders.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace kiv;

namespace {

// The picture of one of two views, as bytes.
std::string picture(i_gis_service* gis, int view) {
    auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(120 + 10 * view, 90));
    if (!vp->set_center(53.9 + 0.005 * view, 27.55, 25000))
        return "no viewport";
    auto_ptr_t<i_image> img(gis->get_image("", vp, "", "", false));
    if (!img)
        return "no image";
    return std::string(static_cast<const char*>(img->get_data()), img->get_data_size());
}

std::string found(i_gis_service* gis) {
    std::string out;
    auto_ptr_t<i_gis_search_result> towns(gis->search_cities("", "a", ""));
    for (bool ok = towns && towns->first(); ok; ok = towns->next())
        out += std::string(towns->get_result_text()) + ";";
    if (towns && towns->first()) {
        auto_ptr_t<i_gis_search_result> streets(gis->search_streets("", towns->get_result_id(), ""));
        for (bool ok = streets && streets->first(); ok; ok = streets->next())
            out += std::string(streets->get_result_text()) + ";";
    }
    auto_ptr_t<i_gis_search_result> houses(gis->search_houses("", 0, "Mill st."));
    for (bool ok = houses && houses->first(); ok; ok = houses->next())
        out += std::string(houses->get_result_text()) + ";";
    char* place = gis->get_location_text("", 53.9003, 27.512, 100, "from");
    out += place != nullptr ? place : "<null>";
    free(place);
    return out;
}

TEST(gwx_threads, eight_threads_render_and_search_at_once) {
    kiv_test::temp_dir maps, tmp;
    kiv_test::use_demo_chart(maps, tmp, "ashford.chart", "ashford");
    {
        kiv_test::core_session session(false);
        i_gis_service* gis = kiv_test::load_gis_service(tmp.path()).get();  // held by the registry
        ASSERT_NE(gis, nullptr);
        ASSERT_TRUE(kiv_gwx_test_register_driver());

        const std::string want_pictures[2] = {picture(gis, 0), picture(gis, 1)};
        const std::string want_found = found(gis);
        ASSERT_GT(want_pictures[0].size(), 1000u);
        ASSERT_NE(want_pictures[0], want_pictures[1]);
        ASSERT_NE(want_found.find("Ashford;"), std::string::npos);
        ASSERT_NE(want_found.find("Mill st.;"), std::string::npos);

        std::atomic<int> wrong{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([&, t] {
                for (int round = 0; round < 6; ++round) {
                    int view = (t + round) % 2;
                    if (picture(gis, view) != want_pictures[view])
                        ++wrong;
                    if (found(gis) != want_found)
                        ++wrong;
                }
            });
        for (std::thread& th : threads)
            th.join();
        EXPECT_EQ(wrong.load(), 0);
    }
    EXPECT_EQ(kiv_test::snapshot_files(tmp.path()).size(), 0u);
    kiv_test::clear_demo_chart_env();
}

}  // namespace
