// script_session.h --
//
//     A test session with the script service: the framework started, the
//     core's Tcl package bound as the loader would bind kiv_core.so after
//     loading it (so every engine loads the package first), and helpers
//     to fetch engines and write script files.

#ifndef KIV_TESTS_CORE_SCRIPT_SESSION_H
#define KIV_TESTS_CORE_SCRIPT_SESSION_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_script.h>
#include <kiv/core/test_hooks.h>

#include "../../core/src/script_service.h"
#include "core_session.h"

#include <fstream>
#include <string>

namespace kiv_test {

// The folder of the built libraries (build*/bin).
inline std::string bin_dir() {
    return KIV_BIN_DIR;
}

class script_session : public core_session {
public:
    script_session() {
        // A test program that links another library before kiv_core runs
        // that library's entry, not the core's: the service is made here.
        if (kiv_core() != nullptr && !kiv_library_loaded("kiv_core")) {
            auto_ptr_t<kiv::i_object> existing(kiv_core()->get_service("svc_script"));
            if (!existing)
                kiv_core()->register_service(new kiv::script_service, "svc_script");
        }
        svc.reset(kiv_core() != nullptr ? kiv_core()->get_service("svc_script") : nullptr);
        service = kiv_cast_script_service(svc);
        EXPECT_NE(service, nullptr);
        if (service != nullptr) {
            std::string lib = bin_dir() + "/kiv_core.so";
            service->bind_library(kiv_test_open_library(lib.c_str()), lib.c_str());
        }
    }

    // Returns: the calling thread's engine (one reference held).
    auto_ptr_t<kiv::i_script_engine> engine() {
        return auto_ptr_t<kiv::i_script_engine>(service != nullptr ? service->get_script_engine() : nullptr);
    }

    // Writes `text` to `name` under the session root. Returns: the path.
    std::string write(const std::string& name, const std::string& text) {
        std::string path = root.file(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    auto_ptr_t<kiv::i_object> svc;
    kiv::script_service* service = nullptr;  // borrowed from svc
};

// Runs `code` and returns the output, or "error: " and the message.
inline std::string run(kiv::i_script_engine* engine, const std::string& code) {
    engine->reset();
    if (!engine->execute_text(code.c_str()))
        return std::string("error: ") + engine->get_error();
    return engine->get_output();
}

}  // namespace kiv_test

#endif
