// gis_service_threads_test.cpp --
//
//     "svc_gis" used from several threads at once: drivers of one name
//     racing into the registry, the default renamed while others read it,
//     and the maps state asked for while the render version moves.

#include <kiv/core/auto_ptr.h>
#include <kiv/gis/i_gis_service.h>

#include "gis_fakes.h"
#include "gis_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace kiv;
using kiv_test::fake_driver;
using kiv_test::fake_map;
using kiv_test::make_driver;

namespace {

// Runs `body(i)` on `count` threads released together.
template <class Body>
void run_together(int count, Body body) {
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (!go.load())
                std::this_thread::yield();
            body(i);
        });
    }
    while (ready.load() != count)
        std::this_thread::yield();
    go = true;
    for (auto& t : threads)
        t.join();
}

TEST(gis_service_threads, only_one_of_many_drivers_of_one_name_gets_in) {
    kiv_test::gis_session session;
    for (int round = 0; round < 20; ++round) {
        session.renew();
        auto_ptr_t<i_gis_service> svc = session.svc;
        std::vector<auto_ptr_t<fake_driver>> drivers;
        for (int i = 0; i < 8; ++i)
            drivers.push_back(make_driver("ozm"));
        std::atomic<int> added{0};
        run_together(8, [&](int i) {
            if (svc->add_driver(drivers[i]))
                ++added;
        });
        EXPECT_EQ(added.load(), 1);
        auto_ptr_t<i_object_col> all(svc->get_drivers());
        EXPECT_EQ(all->get_count(), 1u);
        EXPECT_STREQ(svc->get_default_driver(), "ozm");
    }
}

TEST(gis_service_threads, default_name_stays_readable_while_it_changes) {
    kiv_test::gis_session session;
    auto& svc = session.svc;
    auto a = make_driver("alpha");
    auto b = make_driver("beta");
    ASSERT_TRUE(svc->add_driver(a));
    ASSERT_TRUE(svc->add_driver(b));
    std::atomic<int> bad{0};
    run_together(4, [&](int i) {
        for (int n = 0; n < 2000; ++n) {
            if (i == 0) {
                svc->set_default_driver(n % 2 == 0 ? "alpha" : "beta");
            } else {
                // A borrowed name must stay a whole name after the switch.
                const char* name = svc->get_default_driver();
                std::string copy = name;
                if (copy != "alpha" && copy != "beta")
                    ++bad;
                auto_ptr_t<i_gis_driver> d(svc->get_driver_by_name(""));
                if (d)
                    ++bad;  // "" is no driver's name
            }
        }
    });
    EXPECT_EQ(bad.load(), 0);
}

TEST(gis_service_threads, maps_state_agrees_with_some_render_version) {
    kiv_test::gis_session session;
    auto& svc = session.svc;
    auto ozm = make_driver("ozm");
    ASSERT_TRUE(svc->add_driver(ozm));
    ozm->add_map(new fake_map("m", "t", "c", 9, false));
    const std::string expected = "{maps:[{n:\"m\",t:\"t\",c:\"c\",v:9,e:null}]}";
    std::atomic<int> bad{0};
    run_together(4, [&](int i) {
        for (int n = 0; n < 300; ++n) {
            if (i == 0) {
                ozm->render_version += 1;
                continue;
            }
            char* text = svc->get_maps_state();
            if (text == nullptr || expected != text)
                ++bad;
            std::free(text);
        }
    });
    EXPECT_EQ(bad.load(), 0);
    EXPECT_GE(ozm->maps_calls.load(), 1);
}

}  // namespace
