// http_multipart_fuzz.cpp --
//
//     Feeds any bytes to the multipart splitter of the HTTP library: the
//     first line is the request's "Content-Type" value, the rest the body
//     (held in a buffer of exactly its size, so a read past its end is
//     caught by the sanitizer). Every part must lie inside the body, have
//     a name and data, and the page text translator gets the body too.

#include "page/http_page_text.h"
#include "parse/http_multipart.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20))
        return 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    const char* eol = static_cast<const char*>(std::memchr(bytes, '\n', size));
    size_t type_size = eol != nullptr ? static_cast<size_t>(eol - bytes) : size;
    std::string type(bytes, type_size);
    size_t body_size = eol != nullptr ? size - type_size - 1 : 0;
    std::unique_ptr<char[]> body(new char[body_size > 0 ? body_size : 1]);
    if (body_size > 0)
        std::memcpy(body.get(), eol + 1, body_size);

    std::vector<kiv::http_multipart_part> parts = kiv::http_split_multipart(type.c_str(), body.get(), body_size);
    // A cap keeps the first parts and says when more were there.
    bool over = false;
    size_t cap = size % 4;
    std::vector<kiv::http_multipart_part> capped =
        kiv::http_split_multipart(type.c_str(), body.get(), body_size, cap, &over);
    check(capped.size() == std::min(cap, parts.size()) && over == (parts.size() > cap));
    for (const kiv::http_multipart_part& part : parts) {
        check(!part.name.empty());
        check(part.data_size > 0);
        check(part.data_offset <= body_size && part.data_size <= body_size - part.data_offset);
    }
    std::string script = kiv::http_translate_page(body.get(), body_size);
    // Each byte escapes to at most two, each text stretch adds nine.
    check(script.size() <= 5 * body_size + 9);
    return 0;
}
