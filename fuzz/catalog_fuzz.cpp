// catalog_fuzz.cpp --
//
//     Parses any bytes as a translation catalog. Catalog files come from
//     the installation and from translators' hands, so the parser must
//     end on every input with pairs that keep its promises: no empty
//     msgid, no empty msgstr. The parser comes from the core's internal
//     copy (kiv_core_internal), since the core does not export it.

#include "text/catalog_file.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    for (const auto& pair : kiv::parse_catalog(text))
        if (pair.first.empty() || pair.second.empty())
            std::abort();
    // Decoding never grows a text.
    if (kiv::decode_catalog_escapes(text).size() > text.size())
        std::abort();
    return 0;
}
