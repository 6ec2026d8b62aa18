// charset.cpp --
//
//     Code page conversions through iconv. iconv stops at a character the
//     target cannot hold (EILSEQ) or at a cut-off sequence (EINVAL); both
//     are replaced by "?" here and the input is stepped past the offending
//     character, so the rest of the text is still converted.

#include <kiv/core/charset.h>

#include "../../platform/platform.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const unsigned ansi_page = 0;
const unsigned utf8_page = 65001;
const unsigned utf16_page = 1200;

std::string iconv_name(unsigned page) {
    switch (page) {
    case ansi_page: return "CP1251";
    case utf8_page: return "UTF-8";
    case utf16_page: return "UTF-16LE";
    default: return "CP" + std::to_string(page);
    }
}

// Length of the character starting at `p` in `page`, at least 1 and at
// most `left`: how far a replaced character moves the input.
size_t char_length(unsigned page, const unsigned char* p, size_t left) {
    size_t len = 1;
    if (page == utf8_page) {
        unsigned char b = p[0];
        size_t want = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 1;
        len = 1;
        while (len < want && len < left && (p[len] & 0xC0) == 0x80)
            ++len;
    } else if (page == utf16_page) {
        len = 2;
        if (left >= 4 && (p[1] & 0xFC) == 0xD8 && (p[3] & 0xFC) == 0xDC)
            len = 4;
    }
    return len < left ? len : left;
}

// Converts `size` bytes; the result ends with `zeros` zero bytes.
char* convert(unsigned from, unsigned to, const char* data, size_t size, size_t zeros) {
    iconv_t cd;
    {
        // Opening a converter reads the environment (GCONV_PATH, the
        // locale): hold it against writers meanwhile.
        kiv::platform::env_reading reading;
        cd = iconv_open(iconv_name(to).c_str(), iconv_name(from).c_str());
    }
    if (cd == reinterpret_cast<iconv_t>(-1))
        return nullptr;
    std::string question = to == utf16_page ? std::string("?\0", 2) : std::string("?");
    std::string out;
    out.reserve(size * 2 + 8);
    char* in = const_cast<char*>(data);
    size_t in_left = size;
    char chunk[4096];
    while (in_left > 0) {
        char* dst = chunk;
        size_t dst_left = sizeof chunk;
        size_t rc = iconv(cd, &in, &in_left, &dst, &dst_left);
        out.append(chunk, dst - chunk);
        if (rc != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL: replace one character and go on.
        size_t skip = char_length(from, reinterpret_cast<const unsigned char*>(in), in_left);
        out += question;
        in += skip;
        in_left -= skip;
    }
    char* dst = chunk;
    size_t dst_left = sizeof chunk;
    iconv(cd, nullptr, nullptr, &dst, &dst_left);
    out.append(chunk, dst - chunk);
    iconv_close(cd);
    char* result = static_cast<char*>(malloc(out.size() + zeros));
    if (result == nullptr)
        return nullptr;
    std::memcpy(result, out.data(), out.size());
    std::memset(result + out.size(), 0, zeros);
    return result;
}

}  // namespace

char* kiv_iconv_impl(unsigned from, unsigned to, const char* data) {
    if (data == nullptr)
        return nullptr;
    return convert(from, to, data, std::strlen(data), to == utf16_page ? 2 : 1);
}

char* kiv_iconv_to_int(const char* data) {
    return kiv_iconv_impl(ansi_page, utf8_page, data);
}

char* kiv_iconv_to_ext(const char* data) {
    return kiv_iconv_impl(utf8_page, ansi_page, data);
}

char16_t* kiv_iconv_to_utf16(const char* data) {
    if (data == nullptr)
        return nullptr;
    return reinterpret_cast<char16_t*>(convert(utf8_page, utf16_page, data, std::strlen(data), 2));
}

char* kiv_iconv_from_utf16(const char16_t* data) {
    if (data == nullptr)
        return nullptr;
    size_t units = 0;
    while (data[units] != 0)
        ++units;
    return convert(utf16_page, utf8_page, reinterpret_cast<const char*>(data), units * 2, 1);
}
