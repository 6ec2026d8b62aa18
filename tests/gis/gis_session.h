// gis_session.h --
//
//     A test session of kiv_gis as a host runs it: the framework started,
//     kiv_core.so loaded through the core's loader, then kiv_gis's own
//     library entry, which loads kiv_image and kiv_http (and they
//     kiv_zip) by name from the output folder on PATH and registers
//     "svc_gis". KIV_FONT_PATH names a folder of the session, so kiv_image
//     initialises; the rendered-image cache lives under the session root
//     unless the test chose otherwise.

#ifndef KIV_TESTS_GIS_GIS_SESSION_H
#define KIV_TESTS_GIS_GIS_SESSION_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/library_protocol.h>
#include <kiv/gis/i_gis_service.h>

#include "../core/core_session.h"

#include <sys/stat.h>

#include <string>

namespace kiv_test {

// The folder of the built libraries (build*/bin).
inline std::string bin_dir() {
    return KIV_BIN_DIR;
}

// Sets an environment variable for the scope (null unsets it), then
// puts back what was there.
class scoped_env {
public:
    scoped_env(const char* name, const char* value) : name_(name) {
        had_ = kiv_get_env(name, old_);
        kiv_set_env(name, value);
    }
    ~scoped_env() { kiv_set_env(name_, had_ ? old_.c_str() : nullptr); }
    scoped_env(const scoped_env&) = delete;
    scoped_env& operator=(const scoped_env&) = delete;

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

class gis_session : public core_session {
public:
    // `cache_path`: the value of KIV_GIS_CACHE_PATH for the entry; null
    // puts the cache in "cache" under the session root.
    explicit gis_session(const char* cache_path = nullptr) : core_session(false) {
        std::string fonts = root.file("fonts");
        mkdir(fonts.c_str(), 0700);
        kiv_set_env("KIV_FONT_PATH", fonts.c_str());
        cache_root = cache_path != nullptr ? cache_path : root.file("cache");
        kiv_set_env("KIV_GIS_CACHE_PATH", cache_root.c_str());
        std::string core_lib = bin_dir() + "/kiv_core.so";
        EXPECT_NE(kiv_core() != nullptr ? kiv_core()->load_library(core_lib.c_str()) : nullptr, nullptr);
        {
            std::string path = kiv_get_env("PATH");
            scoped_env search("PATH", (bin_dir() + ":" + path).c_str());
            kiv_library_entry();  // kiv_gis's: the tests link it first
        }
        EXPECT_TRUE(kiv_library_initialized());
        fetch();
    }
    ~gis_session() {
        svc.reset();
        svc_object.reset();
        kiv_set_env("KIV_GIS_CACHE_PATH", nullptr);
        kiv_set_env("KIV_FONT_PATH", nullptr);
    }

    // Replaces "svc_gis" by a new service, as a fresh entry makes it
    // (reading KIV_GIS_DEFAULT_DRIVER again).
    void renew() {
        svc.reset();
        svc_object.reset();
        kiv_core()->unregister_service("svc_gis");
        kiv_library_entry();
        fetch();
    }

    std::string cache_root;               // KIV_GIS_CACHE_PATH of the entry
    auto_ptr_t<kiv::i_object> svc_object; // "svc_gis" as registered
    auto_ptr_t<kiv::i_gis_service> svc;   // its service interface, with a reference of its own

private:
    void fetch() {
        svc_object.reset(kiv_core() != nullptr ? kiv_core()->get_service("svc_gis") : nullptr);
        kiv::i_gis_service* gis = kiv_cast_i_gis_service(svc_object);
        if (gis != nullptr)
            gis->addref();
        svc.reset(gis);
        EXPECT_TRUE(svc);
    }
};

}  // namespace kiv_test

#endif
