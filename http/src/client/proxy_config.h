// proxy_config.h --
//
//     Where the HTTP client's proxy comes from on this platform: the
//     system's own variable KIV_HTTP_PROXY ("host:port"), else the usual
//     http_proxy / HTTP_PROXY ("http://host:port/") with the hosts of
//     no_proxy as the bypass list.

#ifndef KIV_HTTP_SRC_PROXY_CONFIG_H
#define KIV_HTTP_SRC_PROXY_CONFIG_H

#include <string>

namespace kiv {

struct proxy_config {
    std::string host;    // "" when no proxy is configured
    unsigned short port = 0;
    std::string bypass;  // blank-separated host patterns ("*.dom"), "" for none
};

// Reads the proxy from the environment (see above). A setting without a
// host, without a port or with a port outside 1..65535 gives no proxy; a
// set KIV_HTTP_PROXY (even an empty one) is the only source looked at.
// Returns: the setting; an empty host when none applies.
proxy_config read_proxy_config();

}  // namespace kiv

#endif
