// gis_service_session.h --
//
//     A framework session with "svc_gis" for the ozm tests: kiv_core.so
//     and kiv_gis.so loaded through the core's loader, as a host's
//     configuration loads them, so kiv_gis's own entry registers the
//     service. (Calling kiv_library_entry directly would reach the
//     core's entry: the linker puts kiv_core.so before kiv_gis.)

#ifndef KIV_TESTS_OZM_GIS_SERVICE_SESSION_H
#define KIV_TESTS_OZM_GIS_SERVICE_SESSION_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/gis/i_gis_service.h>

#include "../core/core_session.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

namespace ozm_search_test {

class gis_service_session : public kiv_test::core_session {
public:
    gis_service_session() : core_session(false) {
        std::string fonts = root.file("fonts");
        mkdir(fonts.c_str(), 0700);
        kiv_set_env("KIV_FONT_PATH", fonts.c_str());
        kiv_set_env("KIV_GIS_CACHE_PATH", root.file("cache").c_str());
        const std::string bin = KIV_BIN_DIR;
        EXPECT_NE(kiv_core()->load_library((bin + "/kiv_core.so").c_str()), nullptr);
        std::string path = kiv_get_env("PATH");
        kiv_set_env("PATH", (bin + ":" + path).c_str());
        EXPECT_NE(kiv_core()->load_library((bin + "/kiv_gis.so").c_str()), nullptr);
        kiv_set_env("PATH", path.c_str());
        svc_object.reset(kiv_core()->get_service("svc_gis"));
        kiv::i_gis_service* gis = kiv_cast_i_gis_service(svc_object.get());
        if (gis != nullptr)
            gis->addref();
        svc.reset(gis);
        EXPECT_TRUE(svc);
    }
    ~gis_service_session() {
        svc.reset();
        svc_object.reset();
        kiv_set_env("KIV_GIS_CACHE_PATH", nullptr);
        kiv_set_env("KIV_FONT_PATH", nullptr);
    }

    auto_ptr_t<kiv::i_object> svc_object;  // "svc_gis" as registered
    auto_ptr_t<kiv::i_gis_service> svc;    // its service interface
};

}  // namespace ozm_search_test

#endif
