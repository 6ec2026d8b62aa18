// loader_support.h --
//
//     Helpers for tests that load the fixture libraries: where the build
//     put them, copying one under another name into a test folder, a
//     scoped change of an environment variable, and a recorder of the
//     events the core raises by name.

#ifndef KIV_TESTS_CORE_LOADER_SUPPORT_H
#define KIV_TESTS_CORE_LOADER_SUPPORT_H

#include <kiv/core/core_events.h>
#include <kiv/core/env.h>

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

// Records the events the core raises by name, in order, while it lives.
// An optional probe adds what it sees when a load event arrives.
class event_recorder {
public:
    event_recorder() {
        current() = this;
        kiv::set_core_event_function(&event_recorder::record);
    }
    ~event_recorder() {
        kiv::set_core_event_function(nullptr);
        current() = nullptr;
    }
    event_recorder(const event_recorder&) = delete;
    event_recorder& operator=(const event_recorder&) = delete;

    // Returns: the names recorded so far; "KIV_CORE_EVT_" is dropped and
    //     a probe's text follows in brackets ("LOAD_LIBRARY[2]").
    std::vector<std::string> names() {
        std::lock_guard<std::mutex> lock(lock_);
        return names_;
    }
    // Returns: how many events called `name` (short form) were recorded.
    size_t count(const std::string& name) {
        size_t n = 0;
        for (const std::string& seen : names())
            if (seen == name || seen.rfind(name + "[", 0) == 0)
                ++n;
        return n;
    }

    std::string (*probe)() = nullptr;  // called for library events; null: none

private:
    static event_recorder*& current() {
        static event_recorder* recorder = nullptr;
        return recorder;
    }
    static void record(const char* type, bool) {
        event_recorder* self = current();
        if (self == nullptr)
            return;
        std::string name = type;
        if (name.rfind("KIV_CORE_EVT_", 0) == 0)
            name.erase(0, 13);
        if (self->probe != nullptr && name.find("LOAD_LIBRARY") != std::string::npos)
            name += "[" + self->probe() + "]";
        std::lock_guard<std::mutex> lock(self->lock_);
        self->names_.push_back(name);
    }

    std::mutex lock_;
    std::vector<std::string> names_;
};

}  // namespace kiv_test

#endif
