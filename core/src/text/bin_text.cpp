// bin_text.cpp --
//
//     Hexadecimal and Base64 conversions. Output sizes are computed in
//     64-bit and refused when they would not fit a 32-bit block size, so
//     a huge input can never wrap an allocation.

#include <kiv/core/bin_text.h>
#include <kiv/core/binary_impl.h>
#include <kiv/core/text_checks.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

const char base64_alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char hex_digits[] = "0123456789ABCDEF";

// Base64 digit values; 0xFF for every byte outside the alphabet ("=" and
// the terminator included).
struct base64_table {
    uint8_t value[256];
    base64_table() {
        std::memset(value, 0xFF, sizeof value);
        for (int i = 0; i < 64; ++i)
            value[static_cast<unsigned char>(base64_alphabet[i])] = static_cast<uint8_t>(i);
    }
};
const base64_table decode_table;

// A binary with one reference for the caller that takes over `data`.
kiv::i_binary* make_binary(void* data, unsigned size) {
    kiv::binary* bin = new kiv::binary(data, size, true);
    bin->addref();
    return bin;
}

}  // namespace

char* kiv_bin2str(const void* data, unsigned size) {
    if (data == nullptr)
        return nullptr;
    uint64_t len = uint64_t(size) * 2;
    char* text = static_cast<char*>(malloc(len + 1));
    if (text == nullptr)
        return nullptr;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    for (unsigned i = 0; i < size; ++i) {
        text[2 * uint64_t(i)] = hex_digits[bytes[i] >> 4];
        text[2 * uint64_t(i) + 1] = hex_digits[bytes[i] & 0x0F];
    }
    text[len] = '\0';
    return text;
}

kiv::i_binary* kiv_str2bin(const char* text) {
    if (text == nullptr)
        return nullptr;
    size_t len = std::strlen(text);
    if (len % 2 != 0 || len / 2 > UINT32_MAX)
        return nullptr;
    unsigned size = static_cast<unsigned>(len / 2);
    if (size == 0)
        return make_binary(nullptr, 0);
    uint8_t* bytes = static_cast<uint8_t*>(malloc(size));
    if (bytes == nullptr)
        return nullptr;
    for (unsigned i = 0; i < size; ++i) {
        const unsigned char* pair = reinterpret_cast<const unsigned char*>(text) + 2 * size_t(i);
        int high = kiv::hex_digit_value(pair[0]);
        int low = kiv::hex_digit_value(pair[1]);
        if (high < 0)
            bytes[i] = 0;
        else if (low < 0)
            bytes[i] = static_cast<uint8_t>(high);
        else
            bytes[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return make_binary(bytes, size);
}

char* kiv_base64_encode(const void* data, unsigned size) {
    if (data == nullptr || size == 0)
        return nullptr;
    uint64_t len = (uint64_t(size) + 2) / 3 * 4;
    char* text = static_cast<char*>(malloc(len + 1));
    if (text == nullptr)
        return nullptr;
    const uint8_t* in = static_cast<const uint8_t*>(data);
    char* out = text;
    unsigned whole = size - size % 3;
    for (unsigned i = 0; i < whole; i += 3) {
        uint32_t group = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8) | in[i + 2];
        out[0] = base64_alphabet[group >> 18];
        out[1] = base64_alphabet[(group >> 12) & 0x3F];
        out[2] = base64_alphabet[(group >> 6) & 0x3F];
        out[3] = base64_alphabet[group & 0x3F];
        out += 4;
    }
    unsigned rest = size - whole;
    if (rest > 0) {
        uint32_t group = uint32_t(in[whole]) << 16;
        if (rest == 2)
            group |= uint32_t(in[whole + 1]) << 8;
        out[0] = base64_alphabet[group >> 18];
        out[1] = base64_alphabet[(group >> 12) & 0x3F];
        out[2] = rest == 2 ? base64_alphabet[(group >> 6) & 0x3F] : '=';
        out[3] = '=';
        out += 4;
    }
    *out = '\0';
    return text;
}

kiv::i_binary* kiv_base64_decode(const char* text) {
    if (text == nullptr)
        return nullptr;
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
    size_t chars = 0;
    while (decode_table.value[in[chars]] != 0xFF)
        ++chars;
    uint64_t size = uint64_t(chars / 4) * 3 + (chars % 4 > 1 ? chars % 4 - 1 : 0);
    if (size > UINT32_MAX)
        return nullptr;
    if (size == 0)
        return make_binary(nullptr, 0);
    uint8_t* bytes = static_cast<uint8_t*>(malloc(size));
    if (bytes == nullptr)
        return nullptr;
    uint8_t* out = bytes;
    size_t whole = chars - chars % 4;
    const uint8_t* v = decode_table.value;
    for (size_t i = 0; i < whole; i += 4) {
        uint32_t group = (uint32_t(v[in[i]]) << 18) | (uint32_t(v[in[i + 1]]) << 12) |
                         (uint32_t(v[in[i + 2]]) << 6) | v[in[i + 3]];
        out[0] = static_cast<uint8_t>(group >> 16);
        out[1] = static_cast<uint8_t>(group >> 8);
        out[2] = static_cast<uint8_t>(group);
        out += 3;
    }
    size_t rest = chars - whole;
    if (rest >= 2) {
        uint32_t group = (uint32_t(v[in[whole]]) << 18) | (uint32_t(v[in[whole + 1]]) << 12);
        if (rest == 3)
            group |= uint32_t(v[in[whole + 2]]) << 6;
        *out++ = static_cast<uint8_t>(group >> 16);
        if (rest == 3)
            *out++ = static_cast<uint8_t>(group >> 8);
    }
    return make_binary(bytes, static_cast<unsigned>(size));
}
