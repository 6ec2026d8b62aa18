// gwx_text.cpp --
//
//     The conversions of gwx_text.h over the core's charset functions and
//     Tcl's case mapping.

#include "gwx_text.h"

#include <kiv/core/charset.h>

#include <tcl.h>

#include <cstdlib>
#include <vector>

namespace kiv {

namespace {

// Takes over a malloc-ed block.
std::string take(char* text) {
    std::string out = text != nullptr ? text : "";
    std::free(text);
    return out;
}

}  // namespace

std::u16string utf8_to_utf16(const char* text) {
    if (text == nullptr)
        return std::u16string();
    char16_t* wide = kiv_iconv_to_utf16(text);
    std::u16string out = wide != nullptr ? wide : u"";
    std::free(wide);
    return out;
}

std::string utf16_to_utf8(const std::u16string& text) {
    return take(kiv_iconv_from_utf16(text.c_str()));
}

std::u16string to_control_text(const char* text) {
    if (text == nullptr)
        return std::u16string();
    std::string ext = take(kiv_iconv_to_ext(text));
    std::string back = take(kiv_iconv_to_int(ext.c_str()));
    return utf8_to_utf16(back.c_str());
}

std::string from_control_text(const std::u16string& text) {
    std::string utf8 = utf16_to_utf8(text);
    std::string ext = take(kiv_iconv_to_ext(utf8.c_str()));
    return take(kiv_iconv_to_int(ext.c_str()));
}

std::string utf8_lower(const std::string& text) {
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back('\0');
    // Lower-casing never lengthens UTF-8 text, so it works in place.
    int len = Tcl_UtfToLower(buf.data());
    return std::string(buf.data(), static_cast<size_t>(len));
}

}  // namespace kiv
