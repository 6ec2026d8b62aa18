// core_session.h --
//
//     Helpers for tests that start the framework: a session that runs
//     kiv_initialize (and, when asked, the core's library entry, which
//     starts the core threads: housekeeping, stream pump and the event
//     queue) with KIV_ROOT_PATH in a private folder and always ends with
//     kiv_terminate; and a wait for a condition that other threads bring
//     about.
//
//     Every library exports kiv_library_entry, and a call by that name
//     binds to the first definition the test program's links offer (a
//     driver linked before the core, or one built into the program, would
//     answer). The session runs the entry of the module that holds the
//     core's kiv_initialize instead, found by address.

#ifndef KIV_TESTS_CORE_CORE_SESSION_H
#define KIV_TESTS_CORE_CORE_SESSION_H

#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/library_protocol.h>
#include <kiv_test/core_hooks.h>

#include "test_util.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace kiv_test {

// Returns: the core's own kiv_library_entry, null when it is not found.
inline void (*core_library_entry())() {
    Dl_info core{};
    Dl_info here{};
    if (dladdr(reinterpret_cast<void*>(&kiv_initialize), &core) == 0 ||
        dladdr(reinterpret_cast<void*>(&core_library_entry), &here) == 0)
        return nullptr;
    // The core built into the program itself: the program's own
    // definition is the only one its calls can bind to.
    if (core.dli_fbase == here.dli_fbase)
        return &kiv_library_entry;
    // The core as a shared object: a lookup through its own handle tries
    // the object itself before what it depends on.
    void* module = dlopen(core.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr)
        return nullptr;
    void* entry = dlsym(module, "kiv_library_entry");
    Dl_info found{};
    if (entry == nullptr || dladdr(entry, &found) == 0 || found.dli_fbase != core.dli_fbase)
        entry = nullptr;
    dlclose(module);
    return reinterpret_cast<void (*)()>(entry);
}

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
        if (entry) {
            void (*core_entry)() = core_library_entry();
            EXPECT_NE(core_entry, nullptr) << "the core's kiv_library_entry is not found";
            if (core_entry != nullptr)
                core_entry();
        }
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

// Waits until pred() holds, looking every 0.1 ms. There is no bound:
// the suite's time-out ends a test whose condition never comes. Each
// minute of waiting is said on stderr with the caller's place, so that
// the output of a test that timed out tells where it waited.
template <class Pred>
void eventually(Pred pred, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
    auto start = std::chrono::steady_clock::now();
    auto next_note = start + std::chrono::minutes(1);
    while (!pred()) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        auto now = std::chrono::steady_clock::now();
        if (now >= next_note) {
            std::fprintf(stderr, "%s:%d: still waiting after %lld s\n", file, line,
                         static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(now - start).count()));
            next_note += std::chrono::minutes(1);
        }
    }
}

// Waits until pred() holds or `step_ms` of real time passed: a step of a
// test that then moves a driven clock on and looks again, never a bound
// on how fast the product is. Returns: pred() at the end.
template <class Pred>
bool holds_within(Pred pred, int step_ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(step_ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return pred();
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

}  // namespace kiv_test

#endif
