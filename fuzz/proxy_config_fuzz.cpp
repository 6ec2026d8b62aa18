// proxy_config_fuzz.cpp --
//
//     Reads the HTTP client's proxy setting from any environment: the
//     input's lines are the values of KIV_HTTP_PROXY, http_proxy,
//     HTTP_PROXY and no_proxy (an absent line leaves the variable unset;
//     the first byte's low bits say which are set), and its last line
//     is a host the client would connect to. A setting read must keep its
//     promises: a host only with a port in 1..65535, no ":" in the host,
//     and a bypass list of blank-separated patterns that each
//     match against the host in bounded time, as the client's open does.
//     The reader is built into the target from its source.

#include "client/proxy_config.h"

#include <kiv/core/env.h>
#include <kiv/core/wildcard.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

const char* const variables[] = {"KIV_HTTP_PROXY", "http_proxy", "HTTP_PROXY", "no_proxy"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (const char* name : variables)
        kiv_set_env(name, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 4096)
        return 0;
    unsigned set = data[0];
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    for (size_t i = 0; i < 4; ++i)
        kiv_set_env(variables[i], (set >> i & 1) != 0 && i < lines.size() ? lines[i].c_str() : nullptr);
    std::string host = lines.size() > 4 ? lines.back() : "example.org";

    kiv::proxy_config config = kiv::read_proxy_config();
    if (config.host.empty()) {
        check(config.port == 0 && config.bypass.empty());
    } else {
        check(config.port >= 1);
        check(config.host.find(':') == std::string::npos);
    }
    if (!config.bypass.empty()) {
        check(config.bypass.front() != ' ' && config.bypass.back() != ' ');
        check(config.bypass.find("  ") == std::string::npos && config.bypass.find(',') == std::string::npos);
        std::istringstream words(config.bypass);
        for (std::string word; words >> word;) {
            check(word[0] != '.');
            kiv_wildcmp(word.c_str(), host.c_str());
        }
    }
    for (const char* name : variables)
        kiv_set_env(name, nullptr);
    return 0;
}
