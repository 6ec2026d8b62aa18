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
//     Usage: ozm_style_images FOLDER   (the folder must exist)

#include "command_line.h"

#include <png.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

const char usage_text[] =
    "usage: ozm_style_images FOLDER\n"
    "Writes the style pictures of the render tests into FOLDER, which must exist.\n";

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

// Writes `pic` to `path` through a temporary file beside it.
// Returns: 0, or the errno value of the step that failed (EIO when the
//     encoder failed).
int write_png(const std::string& path, const picture& pic) {
    std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (f == nullptr)
        return errno;
    errno = 0;  // what a failed write of the encoder leaves is its reason
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
    int error = ok ? 0 : errno != 0 ? errno : EIO;
    png_destroy_write_struct(&png, &info);
    if (std::fclose(f) != 0 && error == 0)
        error = errno;
    if (error == 0 && std::rename(tmp.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0)
        std::remove(tmp.c_str());
    return error;
}

}  // namespace

int main(int argc, char** argv) {
    const kiv::tools::command_line line("ozm_style_images", usage_text);
    std::vector<std::string> operands;
    int status = line.read(argc, argv, {}, 1, 1, &operands);
    if (status >= 0)
        return status;
    const std::string& dir = operands[0];
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
    const std::pair<const char*, const picture*> files[] = {
        {"park.png", &park}, {"rail.png", &rail}, {"stripes.png", &stripes},
        {"icon_red.png", &red}, {"icon_blue.png", &blue},
    };
    for (const auto& file : files) {
        std::string path = dir + "/" + file.first;
        if (int error = write_png(path, *file.second))
            return line.fail_on("write", path, error);
    }
    return 0;
}
