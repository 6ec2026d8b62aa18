// core_session.h --
//
//     Helpers for tests that start the framework: a session that runs
//     kiv_initialize (and, when asked, the core's library entry, which
//     starts the core threads: housekeeping, stream pump and the event
//     queue) with KIV_ROOT_PATH in a private folder and always ends with
//     kiv_terminate; and a bounded wait for a condition that other
//     threads bring about.

#ifndef KIV_TESTS_CORE_CORE_SESSION_H
#define KIV_TESTS_CORE_CORE_SESSION_H

#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/library_protocol.h>
#include <kiv_test/core_hooks.h>

#include "test_util.h"

#include <chrono>
#include <thread>

namespace kiv_test {

class core_session {
public:
    // `quiet`: after the entry the socket service and the event service
    // (and the translator and the script service, which hold on to it)
    // are removed again, so
    // the core threads are the housekeeping thread and the stream pump
    // only, and background-task events, whose delivery would take pool
    // workers, go nowhere. For tests that count threads or watch which
    // worker runs a task.
    // `driven` (on by default for quiet sessions): the clocks are driven
    // from before start-up, so no wall-clock second can pass while the
    // session starts (a background event queued then would start a pool
    // worker that idles for 300 s and upsets every thread count).
    explicit core_session(bool entry = true, bool quiet = false, bool driven = false) {
        if (quiet || driven)
            kiv_test_clock_drive(true);
        kiv_set_env("KIV_ROOT_PATH", root.path().c_str());
        started = kiv_initialize();
        EXPECT_TRUE(started);
        if (entry)
            kiv_library_entry();
        if (entry && quiet) {
            kiv_core()->unregister_service("svc_socket");
            kiv_core()->unregister_service("svc_translator");
            kiv_core()->unregister_service("svc_script");
            kiv_core()->unregister_service("svc_event");
        }
    }
    ~core_session() {
        if (started)
            kiv_terminate();
        kiv_test_clock_drive(false);
    }
    core_session(const core_session&) = delete;
    core_session& operator=(const core_session&) = delete;

    temp_dir root;
    bool started = false;
};

// Waits until pred() holds, looking every 0.1 ms, at most `limit_ms`
// of real time (a safety bound, never the thing measured).
// Returns: pred() at the end.
template <class Pred>
bool eventually(Pred pred, int limit_ms = 20000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return pred();
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

}  // namespace kiv_test

#endif
