// gis_lib.cpp --
//
//     The library's face: the loader protocol, whose entry loads kiv_image
//     and kiv_http, registers "svc_gis" and sets up the rendered-image
//     cache; the value-type constructors; and the casts of the GIS
//     interfaces.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/library_protocol.h>
#include <kiv/core/object.h>
#include <kiv/gis/gis_types.h>
#include <kiv/gis/i_gis_driver.h>
#include <kiv/gis/i_gis_road_lock.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/gis/i_gis_viewport.h>

#include "gis_service.h"
#include "image_cache.h"

#include <atomic>
#include <new>

using namespace kiv;

namespace {

std::atomic<bool> initialized{true};

// Returns: whether the library `name` is loaded or now loads.
bool need_library(i_core* core, const char* name) {
    return kiv_library_loaded(name) || core->load_library(name) != nullptr;
}

bool entry() {
    i_core* core = kiv_core();
    if (core == nullptr || !need_library(core, "kiv_image") || !need_library(core, "kiv_http"))
        return false;
    gis_service* svc = new (std::nothrow) gis_service;
    if (svc == nullptr)
        return false;
    // The core keeps the service; our reference goes at scope end.
    svc->addref();
    auto_ptr_t<gis_service> holder(svc);
    core->register_service(static_cast<i_gis_service*>(svc), "svc_gis");
    configure_image_cache();
    return true;
}

}  // namespace

KIV_EXTERN_C const char* kiv_library_name() {
    return "kiv_gis";
}

KIV_EXTERN_C const char* kiv_library_version() {
    return "3.8.0045";
}

KIV_EXTERN_C bool kiv_library_initialized() {
    return initialized.load();
}

KIV_EXTERN_C void kiv_library_entry() {
    initialized.store(entry());
}

view_point kiv_gis_create_view_point(int x, int y) {
    view_point pt;
    pt.x = x;
    pt.y = y;
    return pt;
}

geo_point kiv_gis_create_geo_point(double lat, double lon) {
    geo_point pt;
    pt.lat = lat;
    pt.lon = lon;
    return pt;
}

road_point kiv_gis_create_road_point(double lat, double lon, unsigned char simulated) {
    road_point pt{};
    pt.lat = lat;
    pt.lon = lon;
    pt.simulated = simulated;
    return pt;
}

i_gis_service* kiv_cast_i_gis_service(i_object* obj) {
    return cast_interface<i_gis_service>(obj, "i_gis_service");
}

i_gis_map* kiv_cast_i_gis_map(i_object* obj) {
    return cast_interface<i_gis_map>(obj, "i_gis_map");
}

i_gis_driver* kiv_cast_i_gis_driver(i_object* obj) {
    return cast_interface<i_gis_driver>(obj, "i_gis_driver");
}

i_gis_viewport* kiv_cast_i_gis_viewport(i_object* obj) {
    return cast_interface<i_gis_viewport>(obj, "i_gis_viewport");
}

i_gis_renderer* kiv_cast_i_gis_renderer(i_object* obj) {
    return cast_interface<i_gis_renderer>(obj, "i_gis_renderer");
}

i_gis_search_result* kiv_cast_i_gis_search_result(i_object* obj) {
    return cast_interface<i_gis_search_result>(obj, "i_gis_search_result");
}

i_gis_road_lock* kiv_cast_i_gis_road_lock(i_object* obj) {
    return cast_interface<i_gis_road_lock>(obj, "i_gis_road_lock");
}
