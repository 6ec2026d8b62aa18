// script_session.h --
//
//     A test session with the script service: the framework started and
//     kiv_core.so loaded through the core's loader, as a host's
//     configuration does, so its entry registers the services and the
//     script service binds the core's Tcl package (every engine loads it
//     first); and helpers to fetch engines, load more libraries and write
//     script files.

#ifndef KIV_TESTS_CORE_SCRIPT_SESSION_H
#define KIV_TESTS_CORE_SCRIPT_SESSION_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_script.h>

#include "../../core/src/script/script_service.h"
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
    script_session() : core_session(false) {
        EXPECT_TRUE(load("kiv_core"));
        svc.reset(kiv_core() != nullptr ? kiv_core()->get_service("svc_script") : nullptr);
        service = kiv_cast_script_service(svc);
        EXPECT_NE(service, nullptr);
    }

    // Loads bin/NAME.so through the core's loader. Returns: success.
    bool load(const std::string& name) {
        std::string lib = bin_dir() + "/" + name + ".so";
        return kiv_core() != nullptr && kiv_core()->load_library(lib.c_str()) != nullptr;
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
