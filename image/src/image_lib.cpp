// image_lib.cpp --
//
//     The library's face: the loader protocol (name, version, initialised
//     flag, entry), the flat creation functions, the packed image blob
//     and the colour text. The library is usable only when KIV_FONT_PATH
//     names a folder, since the text renderer opens its faces there.

#include <kiv/core/ascii_case.h>
#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/log.h>
#include <kiv/core/text_checks.h>
#include <kiv/image/image.h>
#include <kiv/image/image_lib.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

using kiv::i_image;
using kiv::image;

namespace {

constexpr unsigned blob_header_size = 9;

// 1 from load until an entry finds no font folder. Read by the loader,
// possibly on another thread than the entry's.
std::atomic<bool> initialized{true};

void store_be32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

uint32_t load_be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// A new image with the caller's reference, or null when memory fails.
image* new_image() {
    image* img = new (std::nothrow) image;
    if (img != nullptr)
        img->addref();
    return img;
}

// The runtime's unsigned base-16 conversion with a 32-bit result: leading
// blanks, a sign and "0x" are accepted, reading stops at the first other
// character, and a value past 32 bits saturates at 0xFFFFFFFF.
uint32_t parse_hex32(const char* txt) {
    while (kiv::ascii_isspace(static_cast<unsigned char>(*txt)))
        ++txt;
    bool negative = false;
    if (*txt == '+' || *txt == '-') {
        negative = *txt == '-';
        ++txt;
    }
    // Digits must follow at once ("0x" starts with one): strtoull would
    // also skip the blanks of the process locale.
    if (kiv::hex_digit_value(static_cast<unsigned char>(*txt)) < 0)
        return 0;
    errno = 0;
    unsigned long long v = std::strtoull(txt, nullptr, 16);
    if (errno == ERANGE || v > UINT32_MAX)
        return UINT32_MAX;
    return negative ? uint32_t(0u - uint32_t(v)) : uint32_t(v);
}

}  // namespace

// Library protocol -------------------------------------------------------

KIV_EXTERN_C const char* kiv_library_name() {
    return "kiv_image";
}

KIV_EXTERN_C const char* kiv_library_version() {
    return "1.5.0025";
}

KIV_EXTERN_C bool kiv_library_initialized() {
    return initialized.load();
}

KIV_EXTERN_C int kiv_library_entry() {
    std::string fonts;
    bool ok = kiv_get_env("KIV_FONT_PATH", fonts) && kiv_dir_exists(fonts.c_str());
    if (!ok) {
        kiv_log(0, "kiv_image: the fonts folder '%s' (KIV_FONT_PATH) does not exist", fonts.c_str());
        initialized.store(false);
    }
    return ok ? 1 : 0;
}

// Flat functions ---------------------------------------------------------

i_image* kiv_image_load(const char* path) {
    auto_ptr_t<image> img(new_image());
    if (!img || !img->load(path))
        return nullptr;
    return img.detach();
}

i_image* kiv_image_create(unsigned width, unsigned height, unsigned color) {
    auto_ptr_t<image> img(new_image());
    if (!img || !img->create(width, height, color))
        return nullptr;
    return img.detach();
}

i_image* kiv_image_create_from_data(const void* data, unsigned data_size, unsigned width,
                                    unsigned height, unsigned char format) {
    auto_ptr_t<image> img(new_image());
    if (!img || !img->create(data, data_size, width, height, format))
        return nullptr;
    return img.detach();
}

unsigned kiv_image_text2color(const char* txt) {
    if (txt == nullptr)
        return 0;
    uint32_t v = parse_hex32(txt);
    uint32_t alpha = v > 0xFFFFFF ? v >> 24 : 255;
    return (v >> 16 & 0xFF) | (v >> 8 & 0xFF) << 8 | (v & 0xFF) << 16 | alpha << 24;
}

kiv::i_binary* kiv_image_pack(i_image* img, unsigned char format, unsigned char quality) {
    if (img == nullptr)
        return nullptr;
    auto_ptr_t<kiv::i_binary> encoded(img->get_binary_data(format, quality));
    if (!encoded)
        return nullptr;
    uint64_t size = uint64_t(encoded->get_data_size()) + blob_header_size;
    if (size > UINT32_MAX)
        return nullptr;
    uint8_t* blob = static_cast<uint8_t*>(malloc(size));
    if (blob == nullptr)
        return nullptr;
    store_be32(blob, img->get_width());
    store_be32(blob + 4, img->get_height());
    blob[8] = format;
    if (encoded->get_data_size() > 0)
        std::memcpy(blob + blob_header_size, encoded->get_data(), encoded->get_data_size());
    kiv::binary* out = new (std::nothrow) kiv::binary(blob, unsigned(size), true);
    if (out == nullptr) {
        free(blob);
        return nullptr;
    }
    out->addref();
    return out;
}

i_image* kiv_image_unpack(const void* data, unsigned data_size) {
    if (data == nullptr || data_size < blob_header_size + 1)
        return nullptr;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    return kiv_image_create_from_data(bytes + blob_header_size, data_size - blob_header_size,
                                      load_be32(bytes), load_be32(bytes + 4), bytes[8]);
}
