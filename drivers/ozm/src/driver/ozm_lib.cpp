// ozm_lib.cpp --
//
//     The library's face: the loader protocol. The entry makes sure
//     kiv_gis is loaded (its service is where the driver goes), reads the
//     maps folder and the render configuration folder from the
//     environment, creates the driver "ozm" and adds it to "svc_gis".

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/absolute_path.h>
#include <kiv/core/host_offer.h>
#include <kiv/core/i_core.h>
#include <kiv/core/library_protocol.h>
#include <kiv/core/log.h>
#include <kiv/gis/i_gis_service.h>

#include "driver/ozm_driver.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

using namespace kiv;

namespace {

// True until the entry has run; then whether the driver was registered.
std::atomic<bool> initialized{true};

// Returns: the environment variable made absolute; empty when unset or
//     when it cannot be made absolute.
std::string absolute_env(const char* name) {
    std::string value;
    if (!kiv_get_env(name, value) || value.empty())
        return std::string();
    return kiv::absolute_path(value);
}

// The entry's work once kiv_gis is loaded.
void start_driver() {
    initialized = false;
    std::string maps_path = absolute_env("KIV_OZM_MAPS_PATH");
    if (maps_path.empty() || !kiv_dir_exists(maps_path.c_str())) {
        kiv_trace("Error loading OZM GIS driver. Environment varibale KIV_OZM_MAPS_PATH is not set or incorrect.");
        if (maps_path.empty())
            kiv_log(0, "gis_ozm_driver: KIV_OZM_MAPS_PATH is not set");
        else
            kiv_log(0, "gis_ozm_driver: the maps folder '%s' (KIV_OZM_MAPS_PATH) does not exist", maps_path.c_str());
        return;
    }
    std::string config_path = absolute_env("KIV_OZM_RENDER_CONFIG_PATH");
    if (config_path.empty() || !kiv_dir_exists(config_path.c_str())) {
        kiv_trace("Error loading OZM GIS driver. Environment varibale KIV_OZM_RENDER_CONFIG_PATH is not set or "
                  "incorrect.");
        if (config_path.empty())
            kiv_log(0, "gis_ozm_driver: KIV_OZM_RENDER_CONFIG_PATH is not set");
        else
            kiv_log(0, "gis_ozm_driver: the render configuration folder '%s' (KIV_OZM_RENDER_CONFIG_PATH) does not exist",
                    config_path.c_str());
        return;
    }
    i_core* core = kiv_core();
    if (core == nullptr)
        return;
    auto_ptr_t<i_object> svc(core->get_service("svc_gis"));
    i_gis_service* gis = kiv_cast_i_gis_service(svc);
    if (gis == nullptr)
        return;
    ozm_driver* driver = new (std::nothrow) ozm_driver;
    if (driver == nullptr)
        return;
    driver->addref();
    auto_ptr_t<ozm_driver> holder(driver);
    if (!driver->init(maps_path.c_str(), config_path.c_str())) {
        kiv_trace("Error initializing OZM GIS driver.");
        // The driver logs the causes it knows; the loader shows the last line.
        kiv_log(1, "gis_ozm_driver: the driver did not start on the maps folder '%s' and the render configuration "
                "folder '%s'", maps_path.c_str(), config_path.c_str());
        return;
    }
    if (gis->add_driver(driver))
        initialized = true;
}

}  // namespace

KIV_EXTERN_C const char* kiv_library_name() {
    return "gis_ozm_driver";
}

KIV_EXTERN_C const char* kiv_library_version() {
    return "3.6.0066";
}

KIV_EXTERN_C bool kiv_library_initialized() {
    return initialized;
}

KIV_EXTERN_C void kiv_library_entry() {
    initialized = false;
    if (!kiv_library_loaded("kiv_gis")) {
        i_core* core = kiv_core();
        if (core == nullptr || core->load_library("kiv_gis") == nullptr)
            return;
    }
    start_driver();
}

namespace {

// For the project's tests (host_offer.h): the entry's work once kiv_gis
// is in place; returns what kiv_library_initialized reports afterwards.
bool start_for_test() {
    start_driver();
    return initialized;
}

const bool offered = kiv::offer_to_host("ozm.start", &start_for_test);

}  // namespace
