// snapshot_reader.cpp --
//
//     The BMP reader of snapshot_reader.h. Sizes and offsets are 64-bit
//     and measured against the bytes read, so a damaged or hostile file
//     gives null, never a read past the buffer.

#include "snapshot_reader.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/files.h>
#include <kiv/core/i_binary.h>
#include <kiv/core/le_bytes.h>
#include <kiv/core/log.h>
#include <kiv/image/image_lib.h>

#include <cstdint>

namespace kiv {

namespace {

i_image* refuse(const char* why) {
    kiv_trace("gwx snapshot: %s", why);
    return nullptr;
}

}  // namespace

i_image* decode_snapshot(const unsigned char* data, size_t size, unsigned width, unsigned height) {
    const size_t file_header = 14, info_header = 40;
    const le_reader in(data, size);
    uint16_t magic = 0, bits = 0;
    uint32_t size_field = 0, pixel_offset = 0, header_size = 0, compression = 0;
    int32_t file_width = 0, file_height = 0;
    if (!in.has(0, file_header + info_header) || !in.u16(0, &magic) || !in.u32(2, &size_field) ||
        !in.u32(10, &pixel_offset) || !in.u32(14, &header_size) || !in.i32(18, &file_width) ||
        !in.i32(22, &file_height) || !in.u16(28, &bits) || !in.u32(30, &compression))
        return refuse("file shorter than its headers");
    if (magic != 0x4D42)
        return refuse("no \"BM\" magic");
    if (size_field < file_header + info_header || size_field > size)
        return refuse("size field does not match the file");
    if (header_size < info_header || file_header + uint64_t(header_size) > pixel_offset || pixel_offset > size_field)
        return refuse("pixel offset outside the file");
    if (bits != 24 || compression != 0)
        return refuse("not an uncompressed 24-bit bitmap");
    if (file_width <= 0 || file_height <= 0)
        return refuse("width or height not positive (top-down rows refused)");
    if (uint32_t(file_width) != width || uint32_t(file_height) != height)
        return refuse("size other than the one asked for");
    const uint64_t stride = (uint64_t(width) * 3 + 3) & ~uint64_t(3);
    if (stride * height > uint64_t(size_field) - pixel_offset)
        return refuse("pixel rows cut short");

    auto_ptr_t<i_image> img(kiv_image_create(width, height, 0xFFFFFFFFu));
    if (!img)
        return refuse("no memory for the picture");
    // The image's own buffer is filled in place: rows come bottom-up, each
    // pixel blue, green, red; alpha stays 255.
    unsigned char* out = static_cast<unsigned char*>(const_cast<void*>(img->get_data()));
    const unsigned char* pixels = data + pixel_offset;
    for (unsigned y = 0; y < height; ++y) {
        const unsigned char* src = pixels + (uint64_t(height) - 1 - y) * stride;
        unsigned char* dst = out + uint64_t(y) * width * 4;
        for (unsigned x = 0; x < width; ++x, src += 3, dst += 4) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
    return img.detach();
}

i_image* read_snapshot(const char* path, unsigned width, unsigned height) {
    auto_ptr_t<i_binary> file(kiv_read_binary_file(path));
    if (!file)
        return refuse("cannot read the snapshot file");
    return decode_snapshot(static_cast<const unsigned char*>(file->get_data()), file->get_data_size(), width,
                           height);
}

}  // namespace kiv
