// ozm_demo_render.cpp --
//
//     Renders the demo town through the vector map driver at several
//     scales and writes each picture as a PNG: the first look at the
//     map images until the viewer program exists.
//
//         ozm_demo_render DEMO_FOLDER OUTPUT_FOLDER
//
//     The demo folder holds "maps" and "render" as ozm_demo and the build
//     leave them. Fonts come from KIV_FONT_PATH (Debian's DejaVu folder
//     when unset). Prints the path of every picture written.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/log.h>
#include <kiv/gis/i_gis_viewport.h>
#include <kiv/image/i_image.h>

#include "command_line.h"
#include "driver/ozm_driver.h"

#include <dirent.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace kiv;

namespace {

const char usage_text[] =
    "usage: ozm_demo_render DEMO_FOLDER OUTPUT_FOLDER\n"
    "Draws the demo town of DEMO_FOLDER at several scales into OUTPUT_FOLDER/town_level_NN.png.\n";

}  // namespace

int main(int argc, char** argv) {
    const tools::command_line line("ozm_demo_render", usage_text);
    std::vector<std::string> operands;
    int status = line.read(argc, argv, {}, 2, 2, &operands);
    if (status >= 0)
        return status;
    std::string demo = operands[0];
    std::string out = operands[1];
    DIR* demo_dir = opendir(demo.c_str());
    if (demo_dir == nullptr)
        return line.fail_on("read", demo, errno);
    closedir(demo_dir);
    if (mkdir(out.c_str(), 0755) != 0 && errno != EEXIST)
        return line.fail_on("make", out, errno);
    // The driver's trace goes to stderr; stdout lists the pictures.
    kiv_set_trace_facility("stderr");
    if (kiv_get_env("KIV_FONT_PATH").empty())
        kiv_set_env("KIV_FONT_PATH", "/usr/share/fonts/truetype/dejavu");
    // The core is loaded from the program's folder, so its own entry runs
    // (this program links several libraries that export an entry).
    if (kiv_get_env("KIV_ROOT_PATH").empty()) {
        char self[4096];
        ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n > 0) {
            std::string exe(self, size_t(n));
            kiv_set_env("KIV_ROOT_PATH", exe.substr(0, exe.rfind('/')).c_str());
        }
    }
    if (!kiv_initialize())
        return line.fail("the core does not start");
    if (kiv_core()->load_library("kiv_core") == nullptr) {
        kiv_terminate();
        return line.fail("kiv_core.so is not beside the program");
    }
    char* demo_path = kiv_get_absolute_path(demo.c_str());
    if (demo_path != nullptr) {
        demo = demo_path;
        std::free(demo_path);
    }
    // The style pictures are found through the render configuration path.
    kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", (demo + "/render").c_str());
    int failures = 0;
    {
        auto_ptr_t<ozm_driver> driver(new ozm_driver);
        driver->addref();
        if (!driver->init((demo + "/maps").c_str(), (demo + "/render").c_str())) {
            line.fail("the driver does not load " + demo);
            failures = 1;
        }
        const unsigned levels[] = {1, 3, 5, 7, 9, 12};
        for (unsigned level : levels) {
            if (failures != 0)
                break;
            auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(1024, 768));
            vp->set_center(53.900, 27.552, 1500u << level);
            auto_ptr_t<i_gis_renderer> renderer(driver->create_renderer(vp, "", ""));
            auto_ptr_t<i_image> img(renderer ? renderer->render_image(false) : nullptr);
            char name[64];
            std::snprintf(name, sizeof name, "/town_level_%02u.png", level);
            std::string path = out + name;
            if (!img || !img->save_image(path.c_str(), image_format_png, 100)) {
                line.fail("level " + std::to_string(level) + " gave no picture");
                ++failures;
                continue;
            }
            std::printf("%s\n", path.c_str());
        }
    }
    kiv_terminate();
    return failures == 0 ? 0 : 1;
}
