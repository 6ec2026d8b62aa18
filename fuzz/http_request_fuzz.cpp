// http_request_fuzz.cpp --
//
//     Feeds any bytes as a received request to the HTTP library's
//     parsers: the header block (with the one spare byte the receive
//     buffer keeps, guarded on both sides), the request line, the URL's
//     page and query, cookies, forwarded addresses, ranges and dates,
//     and finally a response head from the parsed headers, which must
//     hold no control byte a line does not end with. The parser
//     must never write outside the buffer, and a body it reports must lie
//     inside the received bytes.

#include "parse/http_head.h"
#include "parse/http_header_map.h"
#include "parse/http_request_text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

const size_t guard = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20))
        return 0;
    std::vector<char> bytes(size + 1 + 2 * guard, '#');
    char* buffer = bytes.data() + guard;
    if (size > 0)
        std::memcpy(buffer, data, size);
    buffer[size] = '\0';
    kiv::http_header_map map;
    char* body = nullptr;
    auto result = kiv::http_header_map::parse(buffer, static_cast<uint32_t>(size), &body, map);
    for (size_t i = 0; i < guard; ++i)
        check(bytes[i] == '#' && bytes[bytes.size() - 1 - i] == '#');
    if (result == kiv::http_header_map::complete)
        check(body != nullptr && body >= buffer && body <= buffer + size);
    else
        check(body == nullptr);

    // The request line is the buffer's first line, cut by the parser.
    const char* line = buffer[0] == '\0' && size >= 2 ? buffer + 2 : buffer;
    std::string method, url;
    if (kiv::http_split_request_line(line, &method, &url)) {
        check(!method.empty() && !url.empty());
        kiv::http_target target;
        if (kiv::http_parse_target(url.c_str(), &target) == kiv::http_target_result::ok) {
            check(!target.page.empty() && target.page[0] == '/');
            check(target.page.find("..") == std::string::npos);
            // One spelling per file: no run of "/", no "." component.
            check(target.page.find("//") == std::string::npos && target.page.find("/./") == std::string::npos);
            check(target.page.size() < 2 || target.page.compare(target.page.size() - 2, 2, "/.") != 0);
            for (const auto& pair : target.query)
                check(!pair.first.empty() && !pair.second.empty());
        }
    }
    kiv::http_split_variables(map.find("Cookie"), "; ");
    kiv::http_pairs capped;
    size_t cap = size % 5;
    bool whole = kiv::http_split_variables(map.find("Cookie"), "; ", cap, &capped);
    check(capped.size() <= cap && (whole || capped.size() == cap));
    // A log text stays within its bound, whatever bytes it holds.
    std::string logged;
    size_t log_cap = size % 64;
    kiv::http_append_log_escaped(&logged, map.find("User-Agent"), log_cap);
    check(logged.size() <= log_cap);
    kiv::http_forwarded_host(map.find("X-Forwarded-For"));
    uint64_t first = 0, last = 0;
    uint64_t file_size = size * 7 + 1;
    if (kiv::http_parse_range(map.find("Range"), file_size, &first, &last) == kiv::http_range_result::partial)
        check(first <= last && last < file_size);
    kiv::http_parse_date(map.find("If-Modified-Since"));
    kiv::http_parse_date(map.find("If-Range"), 0);
    // A head built from any headers holds no control byte but a tab and
    // the CR LF that ends each line.
    std::string head;
    if (kiv::http_build_head("200 OK", map.get_list(), {}, 0, &head)) {
        check(head.size() >= 19 && head.compare(head.size() - 4, 4, "\r\n\r\n") == 0);
        for (size_t i = 0; i < head.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(head[i]);
            bool line_end = (c == '\r' && i + 1 < head.size() && head[i + 1] == '\n') ||
                            (c == '\n' && i > 0 && head[i - 1] == '\r');
            check(line_end || c == '\t' || (c >= 0x20 && c != 0x7f));
        }
    }
    return 0;
}
