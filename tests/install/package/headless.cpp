// headless.cpp --
//
//     A program on the framework's core and web server alone, built with
//     find_package(kiv COMPONENTS core http) where the packages of the
//     GUI and of the images may be missing: it starts the core with the
//     prefix's bin folder as its root, loads kiv_core and kiv_http by
//     name, reaches the web service through the cast the library exports
//     and calls one of its plain functions.
//
//     Usage: headless PREFIX_BIN
//     Prints the step that failed; exits with 1 when one did.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/http/http_pack.h>
#include <kiv/http/i_http_service.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool step(bool ok, const char* what) {
    if (!ok)
        std::fprintf(stderr, "headless: %s failed\n", what);
    return ok;
}

bool run() {
    if (!step(kiv_core()->load_library("kiv_core") != nullptr, "loading kiv_core") ||
        !step(kiv_core()->load_library("kiv_http") != nullptr, "loading kiv_http"))
        return false;
    auto_ptr_t<kiv::i_object> service(kiv_core()->get_service("svc_http"));
    if (!step(kiv_cast_i_http_service(service) != nullptr, "the service svc_http"))
        return false;
    char* packed = kiv_http_minify_js("var  answer = 42 ;  // the answer\n");
    const bool minified = packed != nullptr && std::strstr(packed, "//") == nullptr;
    std::free(packed);
    return step(minified, "kiv_http_minify_js");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PREFIX_BIN\n", argv[0]);
        return 2;
    }
    kiv_set_env("KIV_ROOT_PATH", argv[1]);
    if (!step(kiv_initialize(), "kiv_initialize"))
        return 1;
    const bool ok = run();
    kiv_terminate();
    return ok ? 0 : 1;
}
