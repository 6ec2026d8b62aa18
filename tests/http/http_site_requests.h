// http_site_requests.h --
//
//     The site framework with HTTP/1.1 requests over a plain socket: the
//     tests of what answers say to clients and caches ask through it.

#ifndef KIV_TESTS_HTTP_HTTP_SITE_REQUESTS_H
#define KIV_TESTS_HTTP_HTTP_SITE_REQUESTS_H

#include "http_exchange.h"
#include "http_fixture.h"

#include <string>

namespace kiv_test {

class http_site_requests : public http_site_framework {
protected:
    // A request with a Host header and the given extra header lines.
    response get(const std::string& page, const std::string& headers = "", const char* method = "GET") {
        return ask(port, std::string(method) + " " + page + " HTTP/1.1\r\nHost: site\r\n" + headers + "\r\n");
    }
    // Returns: `size` letters, a to z over and over.
    static std::string text(size_t size) {
        std::string out;
        for (size_t i = 0; i < size; ++i)
            out += static_cast<char>('a' + i % 26);
        return out;
    }
};

}  // namespace kiv_test

#endif
