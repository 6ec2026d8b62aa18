// standin_snapshot.cpp --
//
//     Draws the stand-in control's snapshots: the visible layers of the
//     loaded charts, each in the order its file declares them, areas as
//     filled and outlined boxes, points as round dots, coloured by the
//     class code. Everything drawn is axis-aligned boxes and dots, so
//     they are filled pixel by pixel straight into the rows of a 24-bit
//     bottom-up BMP; coordinates are clamped to the picture first, so
//     no far-away object can overflow a pixel index.

#include "standin_control.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace kiv {

namespace {

const unsigned max_side = 16384;                // pixels a side
const uint64_t max_pixel_bytes = 256ull << 20;  // bytes of pixel rows

struct colour {
    unsigned char r, g, b;
};

struct class_style {
    const char* prefix;
    colour fill;
    colour line;
};

// First match wins; the empty prefix catches every other class.
const class_style styles[] = {
    {"41", {236, 226, 204}, {190, 170, 140}},   // towns
    {"42", {236, 226, 204}, {190, 170, 140}},   // villages
    {"451", {255, 255, 255}, {150, 150, 150}},  // roads by code
    {"ST", {255, 255, 255}, {150, 150, 150}},   // streets
    {"RD", {255, 236, 160}, {200, 160, 80}},    // main roads
    {"BL", {196, 130, 100}, {120, 70, 50}},     // buildings
    {"WA", {170, 205, 235}, {100, 145, 200}},   // water
    {"PK", {200, 228, 176}, {130, 170, 110}},   // parks
    {"", {205, 205, 205}, {120, 120, 120}},
};

const colour background = {245, 242, 236};

const class_style& style_of(const std::string& cls) {
    for (const class_style& s : styles)
        if (cls.compare(0, std::strlen(s.prefix), s.prefix) == 0)
            return s;
    return styles[sizeof styles / sizeof styles[0] - 1];
}

void put_le(std::vector<unsigned char>& out, size_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// The pixel rows of the bitmap, addressed top-down.
class canvas {
public:
    canvas(unsigned char* rows, unsigned width, unsigned height, uint64_t stride)
        : rows_(rows), width_(width), height_(height), stride_(stride) {}

    unsigned width() const { return width_; }
    unsigned height() const { return height_; }

    // Fills the pixels x0 <= x < x1, y0 <= y < y1 (cut to the picture).
    void fill(long long x0, long long y0, long long x1, long long y1, colour c) {
        x0 = std::max(x0, 0ll), y0 = std::max(y0, 0ll);
        x1 = std::min(x1, static_cast<long long>(width_)), y1 = std::min(y1, static_cast<long long>(height_));
        for (long long y = y0; y < y1; ++y)
            for (long long x = x0; x < x1; ++x)
                put(x, y, c);
    }
    void dot(long long cx, long long cy, long long radius, colour c) {
        for (long long y = cy - radius; y <= cy + radius; ++y)
            for (long long x = cx - radius; x <= cx + radius; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius && x >= 0 && y >= 0 &&
                    x < width_ && y < height_)
                    put(x, y, c);
    }

private:
    void put(long long x, long long y, colour c) {
        // Stored bottom-up: the top row is the last one in the file.
        unsigned char* p = rows_ + (uint64_t(height_) - 1 - uint64_t(y)) * stride_ + uint64_t(x) * 3;
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
    }

    unsigned char* rows_;
    unsigned width_, height_;
    uint64_t stride_;
};

class painter {
public:
    painter(canvas& pic, double north, double west, double south, double east)
        : pic_(pic), north_(north), west_(west), kx_(pic.width() / (east - west)),
          ky_(pic.height() / (north - south)) {}

    void draw(const chart_object& obj) {
        const class_style& style = style_of(obj.cls);
        long long x0 = px(obj.min_lon), x1 = px(obj.max_lon);
        long long y0 = py(obj.max_lat), y1 = py(obj.min_lat);
        if (obj.area) {
            x1 = std::max(x1, x0 + 1);
            y1 = std::max(y1, y0 + 1);
            pic_.fill(x0, y0, x1, y1, style.line);
            if (x1 - x0 > 2 && y1 - y0 > 2)
                pic_.fill(x0 + 1, y0 + 1, x1 - 1, y1 - 1, style.fill);
        } else {
            pic_.dot(x0, y0, 3, style.line);
        }
    }

private:
    // Picture coordinates, clamped to a margin around the picture so
    // that any position on the globe gives a small integer.
    static long long clamp(double v, unsigned size) {
        if (!(v > -8.0))
            return -8;
        if (v > size + 8.0)
            return static_cast<long long>(size) + 8;
        return static_cast<long long>(std::floor(v + 0.5));
    }
    long long px(double lon) const { return clamp((lon - west_) * kx_, pic_.width()); }
    long long py(double lat) const { return clamp((north_ - lat) * ky_, pic_.height()); }

    canvas& pic_;
    double north_, west_, kx_, ky_;
};

}  // namespace

bool draw_chart_snapshot(const std::vector<const chart*>& maps, double north, double west, double south,
                         double east, unsigned width, unsigned height, std::vector<unsigned char>& bmp) {
    if (width == 0 || height == 0 || width > max_side || height > max_side)
        return false;
    if (!std::isfinite(north) || !std::isfinite(south) || !std::isfinite(west) || !std::isfinite(east) ||
        north <= south || east <= west)
        return false;
    const uint64_t stride = (uint64_t(width) * 3 + 3) & ~uint64_t(3);
    const uint64_t pixel_bytes = stride * height;
    if (pixel_bytes > max_pixel_bytes)
        return false;
    const size_t header = 54;
    bmp.assign(header + pixel_bytes, 0);
    put_le(bmp, 0, 0x4D42, 2);  // "BM"
    put_le(bmp, 2, static_cast<uint32_t>(header + pixel_bytes), 4);
    put_le(bmp, 10, header, 4);
    put_le(bmp, 14, 40, 4);
    put_le(bmp, 18, width, 4);
    put_le(bmp, 22, height, 4);  // positive: rows stored bottom-up
    put_le(bmp, 26, 1, 2);
    put_le(bmp, 28, 24, 2);
    put_le(bmp, 34, static_cast<uint32_t>(pixel_bytes), 4);
    put_le(bmp, 38, 2835, 4);  // 72 dpi
    put_le(bmp, 42, 2835, 4);

    canvas pic(bmp.data() + header, width, height, stride);
    pic.fill(0, 0, width, height, background);
    painter paint(pic, north, west, south, east);
    for (const chart* map : maps) {
        for (size_t layer = 0; layer < map->layers.size(); ++layer) {
            if ((map->layers[layer].state & 3u) == 2u)
                continue;
            for (int pass = 0; pass < 2; ++pass)  // areas, then points on top
                for (const chart_object& obj : map->objects)
                    if (obj.layer == layer && obj.area == (pass == 0))
                        paint.draw(obj);
        }
    }
    return true;
}

}  // namespace kiv
