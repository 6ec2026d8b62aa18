// http_pack_fuzz.cpp --
//
//     Reads any bytes as a pack configuration of the script and style
//     packer (one source path per line, "#" comments, paths relative to
//     the server's document root or absolute, ${VAR} references), as a
//     page's link version asks for it: the configuration is read again
//     whenever its modification time changed, so each input is read. The
//     document root holds two sources with known times; the version is
//     the configuration's own time plus those of the listed sources that
//     exist, so listing only the known ones gives their exact sum.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/http/http_pack.h>
#include <kiv/http/i_http_server.h>
#include <kiv/http/i_http_service.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"

namespace {

std::string config_path;
kiv::i_http_server* server = nullptr;  // lives as long as the process
kiv::i_object* http_service = nullptr;
uint32_t config_time = 1000000;  // a new modification time per input

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string root = start_framework({"kiv_core", "kiv_zip", "kiv_http"});
    write_file(root + "/a.js", "var a;", 6, 1);
    write_file(root + "/b.js", "var b;", 6, 100);
    http_service = keep(kiv_core()->get_service("svc_http"));
    kiv::i_http_service* http = kiv_cast_i_http_service(http_service);
    if (http == nullptr)
        std::abort();
    server = keep(http->create_server("fuzz", root.c_str()));
    if (server == nullptr)
        std::abort();
    config_path = root + "/fuzz.pack-js.cfg";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16))
        return 0;
    config_time += 1000;
    write_file(config_path, data, size, config_time);
    uint32_t version = kiv_http_pack_file_version(server, config_path.c_str());
    // Lines naming only the two known sources (or nothing) pin the sum.
    std::string text(reinterpret_cast<const char*>(data), size);
    bool known_only = text.find('\0') == std::string::npos;
    uint32_t expected = config_time;
    size_t pos = 0;
    while (known_only && pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        if (line == "a.js")
            expected += 1;
        else if (line == "b.js")
            expected += 100;
        else if (!line.empty())
            known_only = false;
    }
    check(version != 0);
    if (known_only)
        check(version == expected);
    return 0;
}
