// gwx_lib.cpp --
//
//     The library's face: the loader protocol, whose entry loads kiv_gis
//     when needed and registers the "gwx" driver with "svc_gis", the
//     interface casts, and the controls offered to the library's own
//     tests (host_offer.h).

#include <kiv/core/auto_ptr.h>
#include <kiv/core/host_offer.h>
#include <kiv/core/i_core.h>
#include <kiv/core/library_protocol.h>
#include <kiv/core/log.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/gwx/i_gwx_driver.h>

#include "gwx_driver.h"
#include "snapshot_reader.h"

#include <atomic>
#include <new>

using namespace kiv;

namespace {

std::atomic<bool> initialized{true};

// Creates the driver and registers it with "svc_gis" when its
// initialisation works; a driver that fails is dropped, and the library
// stays usable.
// Returns: false when the service is missing or memory fails.
bool register_driver() {
    auto_ptr_t<i_object> svc(find_service("svc_gis"));
    i_gis_service* gis = kiv_cast_i_gis_service(svc);
    if (gis == nullptr) {
        kiv_trace("Error loading GWX GIS driver. GIS service not found.");
        return false;
    }
    kiv_trace("Create GWX driver...");
    gwx_driver* driver = new (std::nothrow) gwx_driver;
    if (driver == nullptr)
        return false;
    driver->addref();
    auto_ptr_t<gwx_driver> held(driver);
    kiv_trace("Create GWX driver - OK.");
    kiv_trace("Initialize GWX driver...");
    if (driver->init()) {
        kiv_trace("Initialize GWX driver - OK.");
        gis->add_driver(driver);
    } else {
        kiv_trace("Initialize GWX driver - FAILED.");
    }
    return true;
}

}  // namespace

KIV_EXTERN_C const char* kiv_library_name() {
    return "gwx_map_driver";
}

KIV_EXTERN_C const char* kiv_library_version() {
    return "1.2.0005";
}

KIV_EXTERN_C bool kiv_library_initialized() {
    return initialized.load();
}

KIV_EXTERN_C void kiv_library_entry() {
    i_core* core = kiv_core();
    if (core == nullptr) {
        initialized = false;
        return;
    }
    if (!kiv_library_loaded("kiv_gis") && core->load_library("kiv_gis") == nullptr) {
        initialized = false;
        return;
    }
    if (!register_driver())
        initialized = false;
}

i_gwx_driver* kiv_cast_i_gwx_driver(i_object* obj) {
    return cast_interface<i_gwx_driver>(obj, "i_gwx_driver");
}

i_gwx_map* kiv_cast_i_gwx_map(i_object* obj) {
    return cast_interface<i_gwx_map>(obj, "i_gwx_map");
}

namespace {

// A new driver whose control comes from `factory` (null: the stand-in),
// initialised; *init_ok receives the result when given.
i_gwx_driver* create_driver_for_test(gwx_control_factory factory, bool* init_ok) {
    gwx_driver* driver = new gwx_driver(std::move(factory));
    driver->addref();
    bool ok = driver->init();
    if (init_ok != nullptr)
        *init_ok = ok;
    return driver;
}

const bool offered = offer_to_host("gwx.create_driver", &create_driver_for_test) &&
                     offer_to_host("gwx.register_driver", &register_driver) &&
                     offer_to_host("gwx.read_snapshot", &read_snapshot);

}  // namespace
