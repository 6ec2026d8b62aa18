// image_gif_codec.cpp --
//
//     GIF decoding (the first image of a file) and encoding through
//     giflib's median-cut quantizer. The decoder walks the records itself
//     rather than slurping the file, so the image size is checked against
//     the cap before any raster is allocated; interlaced images are put
//     back in row order. An index past the colour table becomes a
//     transparent black pixel, and transparency is bit 0 of the graphic
//     control flags, as the format defines it.

#include <kiv/core/log.h>
#include <kiv/image/image.h>

#include "file_io.h"
#include "memory_sink.h"
#include "pixel_size.h"

#include <gif_lib.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace kiv {

namespace {

struct gif_source {
    const uint8_t* data;  // borrowed
    size_t size;
    size_t pos;           // bytes handed to giflib so far
};

// giflib's read callback: all n bytes or nothing.
int read_from_memory(GifFileType* gif, GifByteType* out, int n) {
    gif_source* src = static_cast<gif_source*>(gif->UserData);
    if (n < 0 || size_t(n) > src->size - src->pos)
        return 0;
    std::memcpy(out, src->data + src->pos, size_t(n));
    src->pos += size_t(n);
    return n;
}

int write_to_memory(GifFileType* gif, const GifByteType* data, int n) {
    memory_sink* sink = static_cast<memory_sink*>(gif->UserData);
    return n >= 0 && sink->write(data, size_t(n)) ? n : 0;
}

// Closes a decoder on every path.
struct reader_closer {
    GifFileType* gif;
    ~reader_closer() {
        int error;
        if (gif != nullptr)
            DGifCloseFile(gif, &error);
    }
};

bool load_error(const char* why, int code) {
    const char* text = code != 0 ? GifErrorString(code) : nullptr;
    kiv_trace("kiv_image: GIF load error: %s%s%s", why, text != nullptr ? ": " : "",
              text != nullptr ? text : "");
    return false;
}

// The rows of an interlaced image arrive in four passes.
const int pass_start[4] = {0, 4, 2, 1};
const int pass_step[4] = {8, 8, 4, 2};

// The colour of the transparent entry, shown by viewers that ignore
// transparency.
constexpr GifByteType key_red = 254;
constexpr GifByteType key_green = 0;
constexpr GifByteType key_blue = 255;

// Palette size by quality: 2 colours below 20, doubling every 10, 256
// from 80 on.
int palette_size(unsigned char quality) {
    if (quality < 20)
        return 2;
    if (quality < 30)
        return 4;
    if (quality < 40)
        return 8;
    if (quality < 50)
        return 16;
    if (quality < 60)
        return 32;
    if (quality < 70)
        return 64;
    if (quality < 80)
        return 128;
    return 256;
}

}  // namespace

bool image::gif_create(FILE* file, const void* data, unsigned size) {
    if ((file == nullptr) == (data == nullptr))
        return false;
    std::vector<uint8_t> file_bytes;
    if (file != nullptr) {
        if (!read_whole_file(file, max_data_size, file_bytes))
            return load_error("cannot read the file", 0);
        data = file_bytes.data();
        size = static_cast<unsigned>(file_bytes.size());
    }
    if (size < 8)
        return load_error("too short", 0);

    gif_source src{static_cast<const uint8_t*>(data), size, 0};
    int error = 0;
    reader_closer closer{DGifOpen(&src, read_from_memory, &error)};
    GifFileType* gif = closer.gif;
    if (gif == nullptr)
        return load_error("not a GIF", error);

    // Extensions before the first image belong to it; the first graphic
    // control block with the transparency bit names the transparent index.
    int transparent = -1;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR)
            return load_error("bad record", gif->Error);
        if (type == TERMINATE_RECORD_TYPE)
            return load_error("no image", 0);
        if (type == EXTENSION_RECORD_TYPE) {
            int code;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
                return load_error("bad extension", gif->Error);
            if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] == 4 &&
                transparent < 0 && (block[1] & 1) != 0)
                transparent = block[4];
            while (block != nullptr) {
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
                    return load_error("bad extension", gif->Error);
            }
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            break;
        }
    }
    if (DGifGetImageDesc(gif) == GIF_ERROR)
        return load_error("bad image descriptor", gif->Error);

    const GifImageDesc& desc = gif->Image;
    const ColorMapObject* map = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
    if (map == nullptr || map->Colors == nullptr)
        return load_error("no colour table", 0);
    if (desc.Width <= 0 || desc.Height <= 0)
        return load_error("empty image", 0);
    uint64_t bytes = checked_rgba_bytes(uint64_t(desc.Width), uint64_t(desc.Height));
    if (bytes == 0)
        return load_error("image too large", 0);
    unsigned width = unsigned(desc.Width);
    unsigned height = unsigned(desc.Height);

    uint8_t* pixels = static_cast<uint8_t*>(calloc(bytes, 1));
    std::vector<GifPixelType> line;
    try {
        line.resize(width);
    } catch (const std::bad_alloc&) {
        free(pixels);
        return load_error("out of memory", 0);
    }
    if (pixels == nullptr)
        return load_error("out of memory", 0);

    int passes = desc.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        int start = desc.Interlace ? pass_start[pass] : 0;
        int step = desc.Interlace ? pass_step[pass] : 1;
        for (unsigned y = unsigned(start); y < height; y += unsigned(step)) {
            if (DGifGetLine(gif, line.data(), int(width)) == GIF_ERROR) {
                free(pixels);
                return load_error("bad image data", gif->Error);
            }
            uint8_t* dst = pixels + size_t(y) * width * 4;
            for (unsigned x = 0; x < width; ++x) {
                int index = line[x];
                if (index >= map->ColorCount)
                    continue;  // stays transparent black
                const GifColorType& c = map->Colors[index];
                dst[4 * x] = c.Red;
                dst[4 * x + 1] = c.Green;
                dst[4 * x + 2] = c.Blue;
                dst[4 * x + 3] = index == transparent ? 0 : 255;
            }
        }
    }
    adopt(pixels, width, height);
    return true;
}

bool image::gif_save(FILE* file, binary** out, unsigned char quality) {
    if ((file == nullptr) == (out == nullptr) || data_ == nullptr)
        return false;
    if (out != nullptr)
        *out = nullptr;
    if (width_ > 65535 || height_ > 65535) {
        kiv_trace("kiv_image: GIF save error: %ux%u is past the format's 65535", width_, height_);
        return false;
    }

    // GIF knows only "transparent or not". Fully transparent pixels get
    // an index of their own, the last of the map, and only the others
    // go through the quantizer, into the remaining entries: had the
    // invisible pixels been quantized with them, visible colours near
    // the key would share its index and vanish.
    size_t count = size_t(width_) * height_;
    size_t visible = 0;
    for (size_t i = 0; i < count; ++i)
        visible += data_[4 * i + 3] != 0 ? 1 : 0;
    int map_size = palette_size(quality);
    int transparent = visible < count ? map_size - 1 : -1;
    std::vector<GifByteType> red, green, blue, shades, indices;
    try {
        red.resize(visible);
        green.resize(visible);
        blue.resize(visible);
        shades.resize(visible);
        indices.resize(count);
    } catch (const std::bad_alloc&) {
        kiv_trace("kiv_image: GIF save error: out of memory");
        return false;
    }
    for (size_t i = 0, k = 0; i < count; ++i) {
        const uint8_t* p = data_ + 4 * i;
        if (p[3] == 0)
            continue;
        red[k] = p[0];
        green[k] = p[1];
        blue[k] = p[2];
        ++k;
    }

    ColorMapObject* map = GifMakeMapObject(map_size, nullptr);
    if (map == nullptr) {
        kiv_trace("kiv_image: GIF save error: out of memory");
        return false;
    }
    struct map_freer {
        ColorMapObject* map;
        ~map_freer() { GifFreeMapObject(map); }
    } map_guard{map};
    int quantized_size = transparent >= 0 ? map_size - 1 : map_size;
    if (visible > 0 && GifQuantizeBuffer(unsigned(visible), 1, &quantized_size, red.data(), green.data(),
                                         blue.data(), shades.data(), map->Colors) == GIF_ERROR) {
        kiv_trace("kiv_image: GIF save error: quantizer failed");
        return false;
    }
    if (transparent >= 0)
        map->Colors[transparent] = GifColorType{key_red, key_green, key_blue};
    for (size_t i = 0, k = 0; i < count; ++i)
        indices[i] = data_[4 * i + 3] == 0 ? GifByteType(transparent) : shades[k++];

    memory_sink sink;
    int error = 0;
    GifFileType* gif = EGifOpen(&sink, write_to_memory, &error);
    if (gif == nullptr) {
        kiv_trace("kiv_image: GIF save error: %s", GifErrorString(error));
        return false;
    }
    bool ok = true;
    if (transparent >= 0)
        EGifSetGifVersion(gif, true);
    ok = EGifPutScreenDesc(gif, int(width_), int(height_), GifBitSize(map_size), 0, map) == GIF_OK;
    if (ok && transparent >= 0) {
        GifByteType control[4] = {1, 0, 0, GifByteType(transparent)};
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK;
    }
    ok = ok && EGifPutImageDesc(gif, 0, 0, int(width_), int(height_), false, nullptr) == GIF_OK;
    for (unsigned y = 0; ok && y < height_; ++y)
        ok = EGifPutLine(gif, indices.data() + size_t(y) * width_, int(width_)) == GIF_OK;
    if (!ok)
        error = gif->Error;
    int close_error = 0;
    if (EGifCloseFile(gif, &close_error) == GIF_ERROR && ok) {
        ok = false;
        error = close_error;
    }
    if (!ok) {
        kiv_trace("kiv_image: GIF save error: %s", GifErrorString(error));
        return false;
    }

    if (file != nullptr) {
        if (fwrite(sink.data(), 1, sink.size(), file) != sink.size()) {
            kiv_trace("kiv_image: GIF save error: write failed");
            return false;
        }
        return true;
    }
    *out = sink.to_binary();
    return *out != nullptr;
}

}  // namespace kiv
