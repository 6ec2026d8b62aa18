// http_chunked_fuzz.cpp --
//
//     Feeds any bytes as a chunked request body to the decoder the
//     server uses, once whole and once in pieces of sizes taken from the
//     input: both runs must end in the same state with the same body,
//     the body never passes its limit, and no byte past the end of the
//     body is consumed. The head checker and the Accept-Encoding reader
//     get the same bytes as a head and a header value.

#include "parse/http_head.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"

namespace {

const uint64_t limit = 4096;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20))
        return 0;
    const char* bytes = reinterpret_cast<const char*>(data);

    kiv::http_chunked_decoder whole(limit);
    std::string whole_body;
    size_t whole_used = 0;
    auto whole_result = whole.feed(bytes, size, &whole_body, &whole_used);
    check(whole_used <= size);
    check(whole_body.size() <= limit && whole_body.size() == whole.decoded());
    if (whole_result == kiv::http_chunked_decoder::need_more)
        check(whole_used == size);

    kiv::http_chunked_decoder pieces(limit);
    std::string pieces_body;
    size_t pos = 0;
    size_t step = size > 0 ? data[0] % 7 + 1 : 1;
    auto pieces_result = kiv::http_chunked_decoder::need_more;
    while (pos < size) {
        size_t n = std::min(step, size - pos);
        size_t used = 0;
        pieces_result = pieces.feed(bytes + pos, n, &pieces_body, &used);
        check(used <= n);
        pos += n;
        step = step * 3 % 11 + 1;
    }
    check(pieces_result == whole_result || size == 0);
    if (whole_result == kiv::http_chunked_decoder::complete || whole_result == kiv::http_chunked_decoder::need_more)
        check(pieces_body == whole_body);

    kiv::http_head_scanner scanner;
    if (scanner.scan(bytes, size) == kiv::http_head_scanner::complete) {
        check(scanner.head_start() < scanner.head_end() && scanner.head_end() <= size);
        kiv::http_head_info info = kiv::http_check_head(bytes + scanner.head_start(),
                                                        scanner.head_end() - scanner.head_start());
        if (info.status == 0)
            check(info.head.size() >= 4 && info.head.compare(info.head.size() - 4, 4, "\r\n\r\n") == 0);
    }
    std::string value(bytes, strnlen(bytes, size));
    kiv::http_accepts_gzip(value.c_str());
    std::string escaped = kiv::http_log_escape(value);
    check(escaped.find('\n') == std::string::npos && escaped.find('\r') == std::string::npos);
    return 0;
}
