// http_fixture.h --
//
//     Helpers of the HTTP library's tests: a framework session with
//     kiv_core, kiv_zip and kiv_http loaded through the core's loader
//     from the output folder (so the core's threads, the event and socket
//     services run, as in a host), with the proxy variables of the
//     machine cleared first; a counter of events by type; and a reader
//     of the driven clock.

#ifndef KIV_TESTS_HTTP_HTTP_FIXTURE_H
#define KIV_TESTS_HTTP_HTTP_FIXTURE_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/i_time.h>
#include <kiv/core/object.h>
#include <kiv/http/i_http_server.h>
#include <kiv/http/i_http_service.h>

#include "../core/core_session.h"
#include "../core/net_peer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace kiv_test {

inline std::string bin_dir() {
    return KIV_BIN_DIR;
}

// Clears every variable the service reads its proxy from.
inline void clear_proxy_env() {
    for (const char* name : {"KIV_HTTP_PROXY", "http_proxy", "HTTP_PROXY", "no_proxy"})
        kiv_set_env(name, nullptr);
}

// Loads bin/NAME.so through the core's loader. Returns: success.
inline bool load_library(const std::string& name) {
    std::string lib = bin_dir() + "/" + name + ".so";
    return kiv_core() != nullptr && kiv_core()->load_library(lib.c_str()) != nullptr;
}

// Returns: a malloc-ed text as a string, "<null>" for null; frees it.
inline std::string take_text(char* text) {
    std::string out = text != nullptr ? text : "<null>";
    std::free(text);
    return out;
}

// Loads kiv_core, kiv_zip and kiv_http into the running session and
// takes "svc_http", which their entries register, into `svc`. Changes:
// `http` borrows the service from `svc`. Fails the test when a library
// does not load or the service is missing.
inline void load_http(auto_ptr_t<kiv::i_object>& svc, kiv::i_http_service*& http) {
    ASSERT_TRUE(load_library("kiv_core"));
    ASSERT_TRUE(load_library("kiv_zip"));
    ASSERT_TRUE(load_library("kiv_http"));
    svc.reset(kiv_core()->get_service("svc_http"));
    http = kiv_cast_i_http_service(svc);
    ASSERT_NE(http, nullptr);
}

// A framework with "svc_http" registered by the library's own entry.
class http_framework : public ::testing::Test {
protected:
    // The library's temp folder is private to the test.
    http_framework() : session((clear_proxy_env(), kiv_set_env("TEMP", temp.path().c_str()), false)) {}
    void SetUp() override {
        ASSERT_TRUE(session.started);
        ASSERT_NO_FATAL_FAILURE(load_http(svc_object, http));
    }
    void TearDown() override {
        http = nullptr;
        svc_object.reset();
    }

    // Makes the folder NAME under the session root. Returns: its path.
    std::string folder(const std::string& name) {
        std::string path = session.root.file(name);
        std::system(("mkdir -p '" + path + "'").c_str());
        return path;
    }

    temp_dir temp;  // TEMP of the session; made before it
    core_session session;
    auto_ptr_t<kiv::i_object> svc_object;
    kiv::i_http_service* http = nullptr;  // borrowed from svc_object
};

// The framework with one server "site" whose document root is the
// folder "www" of the session, bound on 127.0.0.1 at a free port.
class http_site_framework : public http_framework {
protected:
    void SetUp() override {
        http_framework::SetUp();
        root = folder("www");
        site.reset(http->create_server("site", "www"));
        ASSERT_TRUE(site);
        port = free_port();
        ASSERT_NE(port, 0);
        ASSERT_TRUE(http->bind_server(site, "127.0.0.1", port));
    }
    void TearDown() override {
        if (other)
            http->unbind_server(other, "127.0.0.1", port);
        other.reset();
        if (site)
            http->unbind_server(site, "127.0.0.1", port);
        site.reset();
        http_framework::TearDown();
    }
    // Writes NAME under the document root. Returns: its path.
    std::string put(const std::string& name, const std::string& text) {
        std::string path = root + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // Binds a second server, "other" with the folder "other" as its root,
    // beside "site" on the same address and port; each root holds a
    // who.txt that names its server. Changes: `other`, unbound by TearDown.
    void bind_other() {
        folder("other");
        std::ofstream(session.root.file("other/who.txt")) << "other";
        put("who.txt", "site");
        other.reset(http->create_server("other", "other"));
        ASSERT_TRUE(http->bind_server(other, "127.0.0.1", port));
    }

    std::string root;
    auto_ptr_t<kiv::i_http_server> site;
    auto_ptr_t<kiv::i_http_server> other;  // from bind_other
    uint16_t port = 0;
};

// Counts the events of one type and keeps the names of their objects.
// Installed for every id; uninstalled before it goes.
class event_counter : public kiv::object {
public:
    explicit event_counter(const char* type) : type_(type) {
        kiv_install_handler(type_.c_str(), 0, this, static_cast<kiv::kiv_event_function>(&event_counter::on_event));
    }
    ~event_counter() override {
        kiv_uninstall_handler(type_.c_str(), 0, this,
                              static_cast<kiv::kiv_event_function>(&event_counter::on_event));
    }
    bool on_event(kiv::i_event* event) {
        auto_ptr_t<kiv::i_object> payload(event->get_event_object());
        kiv::i_named_object* named = kiv_cast_i_named_object(payload);
        std::lock_guard<std::mutex> hold(lock_);
        names_.push_back(named != nullptr ? named->get_name() : "?");
        ids_.push_back(event->get_event_id());
        return true;
    }
    size_t count() {
        std::lock_guard<std::mutex> hold(lock_);
        return names_.size();
    }
    std::vector<std::string> names() {
        std::lock_guard<std::mutex> hold(lock_);
        return names_;
    }
    std::vector<int64_t> ids() {
        std::lock_guard<std::mutex> hold(lock_);
        return ids_;
    }

private:
    std::string type_;
    std::mutex lock_;
    std::vector<std::string> names_;
    std::vector<int64_t> ids_;
};

// Switches to the driven clocks and waits until the core's cached clock
// shows the driven wall clock. Returns: that second.
inline uint32_t settle_driven_clock() {
    kiv_test_clock_drive(true);
    // The housekeeping pass that this advance wakes reads the driven
    // wall clock; afterwards nothing moves it but the test.
    kiv_test_clock_advance(1000);
    auto_ptr_t<kiv::i_time> now(kiv_get_time(1));
    now->set_absolute(0);
    uint32_t wall = now->get_absolute();
    eventually([&] { return kiv_get_curr_time() == wall; });
    return wall;
}

// Moves the driven clocks `seconds` forward and waits until the cached
// clock shows `expected`.
inline void advance_clock_to(uint32_t expected, unsigned seconds) {
    kiv_test_clock_advance(seconds * 1000);
    eventually([&] { return kiv_get_curr_time() == expected; });
}

}  // namespace kiv_test

#endif
