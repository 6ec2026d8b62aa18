// loader_support.h --
//
//     Helpers for tests that load the fixture libraries: where the build
//     put them, copying one under another name into a test folder, a
//     scoped change of an environment variable, and a recorder of the
//     load and environment events.

#ifndef KIV_TESTS_CORE_LOADER_SUPPORT_H
#define KIV_TESTS_CORE_LOADER_SUPPORT_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/i_kiv_library.h>
#include <kiv/core/object.h>

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace kiv_test {

// The output folder holding kiv_core.so and the fixture libraries.
inline std::string output_dir() {
    return KIV_TEST_OUTPUT_DIR;
}

// Copies the fixture `fixture` (such as "kiv_test_good") to `dir`/`name`.
inline void install_fixture(const std::string& fixture, const std::string& dir, const std::string& name) {
    std::ifstream in(output_dir() + "/" + fixture + ".so", std::ios::binary);
    ASSERT_TRUE(in.good()) << fixture;
    std::ofstream out(dir + "/" + name, std::ios::binary);
    out << in.rdbuf();
    ASSERT_TRUE(out.good()) << dir << "/" << name;
}

// Sets a variable for the scope and puts the old value back.
class env_override {
public:
    env_override(const char* name, const std::string& value) : name_(name) {
        had_ = kiv_get_env(name, old_);
        kiv_set_env(name, value.c_str());
    }
    ~env_override() { kiv_set_env(name_.c_str(), had_ ? old_.c_str() : nullptr); }
    env_override(const env_override&) = delete;
    env_override& operator=(const env_override&) = delete;

private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

// Records the load events and "KIV_CORE_EVT_ENV_UPDATED" through the
// event service while it lives, in order: "LOAD_LIBRARY(name)",
// "POST_LOAD_LIBRARY(name)" with the library's own name, "ENV_UPDATED".
// An optional probe adds what it sees when a load event arrives, in
// brackets ("LOAD_LIBRARY(kiv_test_good)[2]"). Made and dropped while the
// session's event service exists.
class event_recorder : public kiv::object {
public:
    event_recorder() {
        kiv_install_handler("KIV_CORE_EVT_LOAD_LIBRARY", 0, this, on_load());
        kiv_install_handler("KIV_CORE_EVT_POST_LOAD_LIBRARY", 0, this, on_post_load());
        kiv_install_handler("KIV_CORE_EVT_ENV_UPDATED", 0, this, on_env());
    }
    ~event_recorder() override {
        kiv_uninstall_handler("KIV_CORE_EVT_LOAD_LIBRARY", 0, this, on_load());
        kiv_uninstall_handler("KIV_CORE_EVT_POST_LOAD_LIBRARY", 0, this, on_post_load());
        kiv_uninstall_handler("KIV_CORE_EVT_ENV_UPDATED", 0, this, on_env());
    }

    // Returns: the names recorded so far.
    std::vector<std::string> names() {
        std::lock_guard<std::mutex> lock(lock_);
        return names_;
    }
    // Returns: the event objects delivered, in the order of names().
    std::vector<const void*> events() {
        std::lock_guard<std::mutex> lock(lock_);
        return events_;
    }
    // Returns: how many recorded names start with `prefix`.
    size_t count(const std::string& prefix) {
        size_t n = 0;
        for (const std::string& seen : names())
            if (seen.compare(0, prefix.size(), prefix) == 0)
                ++n;
        return n;
    }

    std::string (*probe)() = nullptr;  // called for library events; null: none

private:
    static kiv::kiv_event_function on_load() {
        return static_cast<kiv::kiv_event_function>(&event_recorder::loaded);
    }
    static kiv::kiv_event_function on_post_load() {
        return static_cast<kiv::kiv_event_function>(&event_recorder::post_loaded);
    }
    static kiv::kiv_event_function on_env() {
        return static_cast<kiv::kiv_event_function>(&event_recorder::env_updated);
    }
    bool loaded(kiv::i_event* evt) { return note("LOAD_LIBRARY", evt); }
    bool post_loaded(kiv::i_event* evt) { return note("POST_LOAD_LIBRARY", evt); }
    bool env_updated(kiv::i_event* evt) { return note("ENV_UPDATED", evt); }

    bool note(const std::string& type, kiv::i_event* evt) {
        std::string name = type;
        auto_ptr_t<kiv::i_object> payload(evt->get_event_object());
        if (kiv::i_kiv_library* library = kiv_cast_i_kiv_library(payload))
            name += std::string("(") + library->get_name() + ")";
        if (probe != nullptr && payload)
            name += "[" + probe() + "]";
        std::lock_guard<std::mutex> lock(lock_);
        names_.push_back(name);
        events_.push_back(evt);
        return true;
    }

    std::mutex lock_;
    std::vector<std::string> names_;   // guarded by lock_
    std::vector<const void*> events_;  // guarded by lock_
};

}  // namespace kiv_test

#endif
