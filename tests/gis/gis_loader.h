// gis_loader.h --
//
//     Starts the GIS service for the drivers' tests the way a host does:
//     kiv_gis.so loaded through the core's loader, which loads kiv_image
//     and kiv_http (and they kiv_zip) by name from the output folder and
//     registers "svc_gis". kiv_image initialises only when KIV_FONT_PATH
//     names a folder, so the caller hands one in.

#ifndef KIV_TESTS_GIS_GIS_LOADER_H
#define KIV_TESTS_GIS_GIS_LOADER_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/gis/i_gis_service.h>

#include <string>

namespace kiv_test {

// Returns: "svc_gis" with a reference of the caller's own, or null when
//     kiv_gis did not load. Each core session loads it afresh.
// Changes: KIV_FONT_PATH is left pointing at `font_dir`; PATH is put back.
inline auto_ptr_t<kiv::i_gis_service> load_gis_service(const std::string& font_dir) {
    kiv_set_env("KIV_FONT_PATH", font_dir.c_str());
    std::string path = kiv_get_env("PATH");
    kiv_set_env("PATH", (std::string(KIV_BIN_DIR) + ":" + path).c_str());
    void* lib = kiv_core()->load_library(KIV_BIN_DIR "/kiv_gis.so");
    kiv_set_env("PATH", path.c_str());
    if (lib == nullptr)
        return auto_ptr_t<kiv::i_gis_service>();
    auto_ptr_t<kiv::i_object> svc(kiv_core()->get_service("svc_gis"));
    kiv::i_gis_service* gis = kiv_cast_i_gis_service(svc);
    if (gis != nullptr)
        gis->addref();
    return auto_ptr_t<kiv::i_gis_service>(gis);
}

}  // namespace kiv_test

#endif
