// lookup_clock_test.cpp --
//
//     A host-name lookup that waits on a silent name server must stall
//     neither the core's cached clock, nor a change of the environment,
//     nor the pick-up of a new time zone. The lookup is made slow by the
//     shim in slow_lookup_shim.cpp, which holds it until the test has
//     seen all three happen; the clock and the zone are real.

#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_socket_service.h>
#include <kiv/core/i_time.h>

#include "core_session.h"
#include "net_peer.h"
#include "slow_lookup_shim.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

const char* slow_name = "slow-lookup.invalid";

// Lets the held lookup go and joins its thread however the test ends,
// so a failed expectation cannot leave a thread blocked in the shim.
struct lookup_thread {
    std::thread thread;
    ~lookup_thread() {
        slow_lookup_release();
        if (thread.joinable())
            thread.join();
    }
};

}  // namespace

TEST(lookup_clock, a_lookup_that_waits_stalls_neither_the_clock_nor_the_environment_nor_the_zone) {
    std::string old_tz;
    bool had_tz = kiv_get_env("TZ", old_tz);
    kiv_set_env("TZ", "UTC0");
    kiv_test::core_session session;  // real clocks, housekeeping running
    ASSERT_EQ(kiv_local_timezone(), 0);
    // Nobody listens there: the connection after the lookup is refused at once.
    unsigned short port = kiv_test::free_port();
    ASSERT_NE(port, 0);

    slow_lookup_hold(slow_name);
    std::atomic<bool> lookup_done{false};
    lookup_thread lookup;
    lookup.thread = std::thread([&] {
        int fd = kiv_net_tcp_open(slow_name, port, 5);
        if (fd >= 0)
            ::close(fd);
        lookup_done = true;
    });
    slow_lookup_wait_blocked();

    // The cached clock moves on by two seconds while the lookup waits.
    uint32_t start = kiv_get_curr_time();
    kiv_test::eventually([&] { return kiv_get_curr_time() >= start + 2; });

    // A writer of the environment does not wait for the lookup.
    std::atomic<bool> set_done{false};
    std::thread setter([&] {
        kiv_set_env("TZ", "UTC-3");
        set_done = true;
    });
    kiv_test::eventually([&] { return set_done.load(); });

    // The housekeeping thread picks the new zone up (3 h east of UTC).
    kiv_test::eventually([] { return kiv_local_timezone() == 3 * 3600; });

    // All of it happened while the lookup was still held.
    EXPECT_TRUE(slow_lookup_blocked());
    EXPECT_FALSE(lookup_done.load());

    slow_lookup_release();
    setter.join();
    lookup.thread.join();
    EXPECT_TRUE(lookup_done.load());
    kiv_set_env("TZ", had_tz ? old_tz.c_str() : nullptr);
}
