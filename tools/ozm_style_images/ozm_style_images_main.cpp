// ozm_style_images_main.cpp --
//
//     Writes the style pictures the render tests and the demo
//     configuration use, so none of them is a hand-made binary:
//         park.png      8 × 8 fill pattern, four quadrants in two greens
//                       with a dark marker pixel at the top-left
//         rail.png      16 × 5 line picture: dark edges, a middle row of
//                       8 dark and 8 light pixels
//         stripes.png   8 × 6 line picture whose rows differ and whose
//                       columns do not (looks the same at any start)
//         icon_red.png, icon_blue.png   opaque 9 × 9 squares
//
//     Usage: ozm_style_images <folder>   (the folder must exist)

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct picture {
    unsigned width, height;
    std::vector<uint8_t> rgba;
    picture(unsigned w, unsigned h) : width(w), height(h), rgba(size_t(w) * h * 4, 0) {}
    void set(unsigned x, unsigned y, uint32_t rgb, uint8_t alpha = 255) {
        uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
        p[0] = uint8_t(rgb >> 16);
        p[1] = uint8_t(rgb >> 8);
        p[2] = uint8_t(rgb);
        p[3] = alpha;
    }
};

bool write_png(const std::string& path, const picture& pic) {
    std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (f == nullptr)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    volatile bool ok = png != nullptr && info != nullptr;
    if (ok && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_set_IHDR(png, info, pic.width, pic.height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (unsigned y = 0; y < pic.height; ++y)
            png_write_row(png, const_cast<png_bytep>(&pic.rgba[size_t(y) * pic.width * 4]));
        png_write_end(png, info);
    } else {
        ok = false;
    }
    png_destroy_write_struct(&png, &info);
    if (std::fclose(f) != 0)
        ok = false;
    if (ok && std::rename(tmp.c_str(), path.c_str()) != 0)
        ok = false;
    if (!ok)
        std::remove(tmp.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ozm_style_images <folder>\n");
        return 2;
    }
    const std::string dir = argv[1];
    picture park(8, 8);
    for (unsigned y = 0; y < 8; ++y)
        for (unsigned x = 0; x < 8; ++x)
            park.set(x, y, ((x < 4) == (y < 4)) ? 0x228B22 : 0x90EE90);
    park.set(0, 0, 0x003300);
    picture rail(16, 5);
    for (unsigned x = 0; x < 16; ++x) {
        rail.set(x, 0, 0x202020);
        rail.set(x, 4, 0x202020);
        for (unsigned y = 1; y < 4; ++y)
            rail.set(x, y, 0xF0F0F0);
        rail.set(x, 2, x < 8 ? 0x202020 : 0xF0F0F0);
    }
    picture stripes(8, 6);
    const uint32_t rows[6] = {0x0000FF, 0x0000FF, 0xFF0000, 0xFF0000, 0x0000FF, 0x0000FF};
    for (unsigned y = 0; y < 6; ++y)
        for (unsigned x = 0; x < 8; ++x)
            stripes.set(x, y, rows[y]);
    picture red(9, 9), blue(9, 9);
    for (unsigned y = 0; y < 9; ++y)
        for (unsigned x = 0; x < 9; ++x) {
            red.set(x, y, 0xFF0000);
            blue.set(x, y, 0x0000FF);
        }
    bool ok = write_png(dir + "/park.png", park) && write_png(dir + "/rail.png", rail) &&
              write_png(dir + "/stripes.png", stripes) && write_png(dir + "/icon_red.png", red) &&
              write_png(dir + "/icon_blue.png", blue);
    if (!ok) {
        std::fprintf(stderr, "ozm_style_images: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
