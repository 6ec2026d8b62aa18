// image.cpp --
//
//     The image object: filling it (plain colour, raw pixels, decoders
//     chosen by format code or file extension), writing it to files and
//     byte blocks, and plain copies. Files are written through
//     kiv::file_writer, so a failed encoder leaves the old file (or none)
//     in place, never a partial one.

#include <kiv/core/ascii_case.h>
#include <kiv/core/auto_ptr.h>
#include <kiv/core/file_writer.h>
#include <kiv/core/files.h>
#include <kiv/core/absolute_path.h>
#include <kiv/core/log.h>
#include <kiv/image/image.h>

#include "file_io.h"
#include "pixel_size.h"


#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace kiv {

namespace {

// The extension of a path: the text from its last "." on.
enum class file_kind { unknown, png, jpeg, gif };

file_kind kind_of(const char* path) {
    const char* dot = std::strrchr(path, '.');
    if (dot == nullptr)
        return file_kind::unknown;
    if (kiv::ascii_stricmp(dot, ".png") == 0)
        return file_kind::png;
    if (kiv::ascii_stricmp(dot, ".jpg") == 0 || kiv::ascii_stricmp(dot, ".jpeg") == 0)
        return file_kind::jpeg;
    if (kiv::ascii_stricmp(dot, ".gif") == 0)
        return file_kind::gif;
    return file_kind::unknown;
}

}  // namespace

image::~image() {
    free(data_);
}

bool image::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_image", static_cast<i_image*>(this), out))
        return true;
    return object::get_interface(name, out);
}

void image::adopt(uint8_t* pixels, unsigned width, unsigned height) {
    free(data_);
    data_ = pixels;
    width_ = width;
    height_ = height;
    data_size_ = width * height * 4;  // callers checked it against the cap
}

bool image::format_supported(unsigned char format) {
    return format >= image_format_png && format <= image_format_rgba;
}

bool image::create(unsigned width, unsigned height, unsigned color) {
    uint64_t bytes = checked_rgba_bytes(width, height);
    if (bytes == 0)
        return false;
    uint8_t* pixels = static_cast<uint8_t*>(malloc(bytes));
    if (pixels == nullptr)
        return false;
    const uint8_t rgba[4] = {uint8_t(color), uint8_t(color >> 8), uint8_t(color >> 16),
                             uint8_t(color >> 24)};
    for (unsigned x = 0; x < width; ++x)
        std::memcpy(pixels + 4 * size_t(x), rgba, 4);
    size_t stride = size_t(width) * 4;
    for (unsigned y = 1; y < height; ++y)
        std::memcpy(pixels + y * stride, pixels, stride);
    adopt(pixels, width, height);
    return true;
}

bool image::create(const void* data, unsigned data_size, unsigned width, unsigned height,
                   unsigned char format) {
    if (data == nullptr || data_size == 0)
        return false;
    switch (format) {
    case image_format_png:
        return png_create(data, data_size);
    case image_format_gif:
        return gif_create(nullptr, data, data_size);
    case image_format_jpeg:
        return jpeg_create(data, data_size);
    case image_format_rgba: {
        uint64_t bytes = checked_rgba_bytes(width, height);
        if (bytes == 0 || bytes != data_size)
            return false;
        uint8_t* pixels = static_cast<uint8_t*>(malloc(bytes));
        if (pixels == nullptr)
            return false;
        std::memcpy(pixels, data, bytes);
        adopt(pixels, width, height);
        return true;
    }
    case image_format_rgb: {
        uint64_t bytes = checked_rgba_bytes(width, height);
        if (bytes == 0 || bytes / 4 * 3 != data_size)
            return false;
        uint8_t* pixels = static_cast<uint8_t*>(malloc(bytes));
        if (pixels == nullptr)
            return false;
        const uint8_t* src = static_cast<const uint8_t*>(data);
        size_t count = size_t(width) * height;
        for (size_t i = 0; i < count; ++i) {
            pixels[4 * i] = src[3 * i];
            pixels[4 * i + 1] = src[3 * i + 1];
            pixels[4 * i + 2] = src[3 * i + 2];
            pixels[4 * i + 3] = 255;
        }
        adopt(pixels, width, height);
        return true;
    }
    default:
        return false;
    }
}

bool image::load(const char* path) {
    if (path == nullptr)
        return false;
    file_kind kind = kind_of(path);
    if (kind == file_kind::unknown)
        return false;
    std::string abs = kiv::absolute_path(path);
    if (abs.empty())
        return false;
    FILE* file = fopen(abs.c_str(), "rb");
    if (file == nullptr)
        return false;
    bool ok;
    if (kind == file_kind::gif) {
        ok = gif_create(file, nullptr, 0);
    } else {
        std::vector<uint8_t> bytes;
        ok = read_whole_file(file, max_data_size, bytes) && !bytes.empty() && bytes.size() <= UINT32_MAX;
        if (ok && kind == file_kind::png)
            ok = png_create(bytes.data(), static_cast<unsigned>(bytes.size()));
        else if (ok)
            ok = jpeg_create(bytes.data(), static_cast<unsigned>(bytes.size()));
    }
    fclose(file);
    return ok && data_ != nullptr;
}

bool image::write_file(FILE* file, unsigned char format, unsigned char quality) {
    switch (format) {
    case image_format_png:
        return png_save(file, nullptr, quality);
    case image_format_gif:
        return gif_save(file, nullptr, quality);
    case image_format_jpeg:
        return jpeg_save(file, nullptr, quality);
    case image_format_ppm: {
        // Header and pixels in one write.
        char header[64];
        int header_size = snprintf(header, sizeof header, "P6 %u %u 255 ", width_, height_);
        size_t count = size_t(width_) * height_;
        size_t total = size_t(header_size) + count * 3;
        uint8_t* block = static_cast<uint8_t*>(malloc(total));
        if (block == nullptr)
            return false;
        std::memcpy(block, header, size_t(header_size));
        uint8_t* dst = block + header_size;
        for (size_t i = 0; i < count; ++i)
            std::memcpy(dst + 3 * i, data_ + 4 * i, 3);
        bool ok = fwrite(block, 1, total, file) == total;
        free(block);
        return ok;
    }
    case image_format_rgba:
        return fwrite(data_, 1, data_size_, file) == data_size_;
    default:
        return false;
    }
}

bool image::save_image(const char* path, unsigned char format, unsigned char quality) {
    if (data_ == nullptr || path == nullptr || !format_supported(format))
        return false;
    std::string abs = kiv::absolute_path(path);
    if (abs.empty())
        return false;
    if (quality == 0 || quality > 100)
        quality = 100;
    file_writer writer(abs);
    FILE* file = writer.stream();
    if (file == nullptr) {
        kiv_trace("kiv_image: cannot create a temporary file beside '%s'", abs.c_str());
        return false;
    }
    if (!write_file(file, format, quality)) {
        kiv_trace("kiv_image: cannot write '%s' in format %u", abs.c_str(), unsigned(format));
        return false;
    }
    return writer.commit();
}

i_binary* image::get_binary_data(unsigned char format, unsigned char quality) {
    if (data_ == nullptr)
        return nullptr;
    binary* out = nullptr;
    switch (format) {
    case image_format_png:
        png_save(nullptr, &out, quality);
        return out;
    case image_format_gif:
        gif_save(nullptr, &out, quality);
        return out;
    case image_format_jpeg:
        jpeg_save(nullptr, &out, quality);
        return out;
    case image_format_rgba: {
        uint8_t* bytes = static_cast<uint8_t*>(malloc(data_size_));
        if (bytes == nullptr)
            return nullptr;
        std::memcpy(bytes, data_, data_size_);
        out = new (std::nothrow) binary(bytes, data_size_, true);
        if (out == nullptr) {
            free(bytes);
            return nullptr;
        }
        out->addref();
        return out;
    }
    case image_format_rgb: {
        size_t count = size_t(width_) * height_;
        uint8_t* bytes = static_cast<uint8_t*>(malloc(count * 3));
        if (bytes == nullptr)
            return nullptr;
        for (size_t i = 0; i < count; ++i)
            std::memcpy(bytes + 3 * i, data_ + 4 * i, 3);
        out = new (std::nothrow) binary(bytes, static_cast<unsigned>(count * 3), true);
        if (out == nullptr) {
            free(bytes);
            return nullptr;
        }
        out->addref();
        return out;
    }
    default:
        return nullptr;
    }
}

void image::detach() {
    data_ = nullptr;
    data_size_ = 0;
    width_ = 0;
    height_ = 0;
}

i_image* image::copy() {
    if (data_ == nullptr)
        return nullptr;
    image* twin = new (std::nothrow) image;
    if (twin == nullptr)
        return nullptr;
    auto_ptr_t<image> holder(twin);
    twin->addref();
    if (!twin->create(data_, data_size_, width_, height_, image_format_rgba))
        return nullptr;
    return holder.detach();
}

i_image* image::scale_to_max_border(unsigned max_size) {
    if (data_ == nullptr)
        return nullptr;
    if (width_ <= max_size && height_ <= max_size)
        return copy();
    // 64-bit: max_size × a side passes 32 bits for large pictures. A side
    // that would round down to nothing keeps one pixel.
    uint64_t new_width, new_height;
    if (width_ < height_) {
        new_height = max_size;
        new_width = uint64_t(max_size) * width_ / height_;
    } else {
        new_width = max_size;
        new_height = uint64_t(max_size) * height_ / width_;
    }
    if (max_size > 0) {
        if (new_width == 0)
            new_width = 1;
        if (new_height == 0)
            new_height = 1;
    }
    return scale(unsigned(new_width), unsigned(new_height), 0, 0);
}

}  // namespace kiv

kiv::i_image* kiv_cast_i_image(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_image>(obj, "i_image");
}
