// http_minify_fuzz.cpp --
//
//     Feeds any text to the packer's JavaScript minifier. It must never
//     read past the text's end, and the output may never be longer than
//     the input plus the one line feed it may put in front.

#include <kiv/http/http_pack.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20))
        return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));
    char* packed = kiv_http_minify_js(text.c_str());
    if (packed == nullptr)
        return 0;
    check(std::strlen(packed) <= text.size() + 1);
    std::free(packed);
    return 0;
}
