// text_codec_fuzz.cpp --
//
//     Feeds any bytes, as a terminated text, to every text decoder and
//     character walker that reads outside input: Base64, hexadecimal, the
//     URL unescape, transliteration, trimming, the UTF-8 helpers and the
//     wildcard matchers (pattern and text split at the first line feed).
//     Round trips must give back what went in.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/bin_text.h>
#include <kiv/core/text_convert.h>
#include <kiv/core/utf8.h>
#include <kiv/core/wildcard.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"

namespace {

void walk_utf8(const char* text) {
    uint32_t cp;
    const char* p = text;
    while (kiv_get_unicode_char(p, &cp, &p))
        check(p > text && p <= text + std::strlen(text));
    for (const char* q = text; *q != '\0'; q += kiv_charlen(q))
        check(kiv_charlen(q) >= 1);
    int n = kiv_strlen(text);
    char buf[3];
    unsigned size = sizeof buf;
    kiv_strat(text, n / 2, buf, &size);
    check(kiv_strat(text, n, nullptr, nullptr) == nullptr);
    kiv_strnicmp(text, text + std::strlen(text) / 2, 0);
    kiv_strnicmp2(text, "", 1000);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    const char* t = text.c_str();  // cut at the first zero byte, as C callers see it

    auto_ptr_t<kiv::i_binary> decoded(kiv_base64_decode(t));
    check(decoded.get() != nullptr);
    if (decoded->get_data_size() > 0) {
        char* again = kiv_base64_encode(decoded->get_data(), decoded->get_data_size());
        auto_ptr_t<kiv::i_binary> twice(kiv_base64_decode(again));
        check(twice->get_data_size() == decoded->get_data_size() &&
              std::memcmp(twice->get_data(), decoded->get_data(), decoded->get_data_size()) == 0);
        free(again);
    }
    auto_ptr_t<kiv::i_binary> hex(kiv_str2bin(t));
    if (hex && hex->get_data_size() > 0) {
        char* back = kiv_bin2str(hex->get_data(), hex->get_data_size());
        check(back != nullptr && std::strlen(back) == std::strlen(t));
        free(back);
    }

    char* unescaped = kiv_text_decode(t);
    check(unescaped != nullptr && std::strlen(unescaped) <= std::strlen(t));
    free(unescaped);
    char* escaped = kiv_text_encode(t);
    char* round = kiv_text_decode(escaped);
    check(round != nullptr && std::strcmp(round, t) == 0);
    free(escaped);
    free(round);

    free(kiv_do_translit(t));
    free(kiv_trim(t));
    walk_utf8(t);

    std::string pattern = text.substr(0, text.find('\n'));
    std::string value = text.find('\n') != std::string::npos ? text.substr(text.find('\n') + 1) : "";
    kiv_wildcmp(pattern.c_str(), value.c_str());
    kiv_wildicmp(pattern.c_str(), value.c_str());
    kiv_wildcmp_list(pattern.c_str(), value.c_str());
    kiv_wildicmp_list(pattern.c_str(), value.c_str());
    return 0;
}
