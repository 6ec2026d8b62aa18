// proxy_config.cpp --
//
//     Reads the proxy setting from the environment (see proxy_config.h).

#include "client/proxy_config.h"

#include <kiv/core/env.h>

#include <cstdlib>
#include <sstream>

namespace kiv {

namespace {

// Splits "host:port" (leading colons skipped, as the tokens of the
// original setting were). Returns: false without a host or a port in
// 1..65535; `out` is then unchanged.
bool split_host_port(const std::string& text, proxy_config& out) {
    size_t start = text.find_first_not_of(':');
    if (start == std::string::npos)
        return false;
    size_t colon = text.find(':', start);
    if (colon == std::string::npos)
        return false;
    std::string host = text.substr(start, colon - start);
    size_t port_start = text.find_first_not_of(':', colon);
    if (port_start == std::string::npos)
        return false;
    size_t port_end = text.find(':', port_start);
    std::string port_text = text.substr(port_start, port_end - port_start);
    if (port_text.empty() || port_text.size() > 5 || port_text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    long port = std::strtol(port_text.c_str(), nullptr, 10);
    if (host.empty() || port < 1 || port > 65535)
        return false;
    out.host = host;
    out.port = static_cast<unsigned short>(port);
    return true;
}

// "localhost, .example.org,10.0.0.1" -> "localhost *.example.org 10.0.0.1".
std::string bypass_from_no_proxy(const std::string& no_proxy) {
    std::string spaced = no_proxy;
    for (char& c : spaced)
        if (c == ',')
            c = ' ';
    std::istringstream words(spaced);
    std::string word;
    std::string out;
    while (words >> word) {
        if (word[0] == '.')
            word = "*" + word;
        if (!out.empty())
            out += ' ';
        out += word;
    }
    return out;
}

}  // namespace

proxy_config read_proxy_config() {
    proxy_config config;
    std::string value;
    if (kiv_get_env("KIV_HTTP_PROXY", value)) {
        split_host_port(value, config);
        return config;
    }
    if (!kiv_get_env("http_proxy", value) || value.empty())
        kiv_get_env("HTTP_PROXY", value);
    size_t scheme = value.find("://");
    if (scheme != std::string::npos)
        value.erase(0, scheme + 3);
    value = value.substr(0, value.find('/'));
    // Credentials in the URL are no part of the host.
    size_t at = value.rfind('@');
    if (at != std::string::npos)
        value.erase(0, at + 1);
    if (!split_host_port(value, config))
        return config;
    config.bypass = bypass_from_no_proxy(kiv_get_env("no_proxy"));
    return config;
}

}  // namespace kiv
