// test_images.h --
//
//     Small GIF files written by hand (wxWidgets reads GIF but does not
//     write it here) and a registered image manager over a temporary
//     image folder of such files, for the tests of windows that take
//     their icons from "svc_gui_image_manager".

#ifndef KIV_TESTS_GUI_TEST_IMAGES_H
#define KIV_TESTS_GUI_TEST_IMAGES_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/gui/image_manager.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace kiv_gui_test {

// Writes a one-colour GIF of side x side pixels whose colour has the
// given red. The pixels go out as 8-bit literal codes with a clear code
// every 100 of them, so the code width never grows.
inline void save_gif(const std::string& path, int side, unsigned char red) {
    std::string out = "GIF89a";
    auto word = [&out](int value) {
        out += static_cast<char>(value & 0xff);
        out += static_cast<char>(value >> 8);
    };
    word(side);
    word(side);
    out += static_cast<char>(0xf0);  // global table of 2 colours
    out += '\0';
    out += '\0';
    out += std::string{static_cast<char>(red), 0, 0, 0, 0, 0};
    out += ',';
    word(0);
    word(0);
    word(side);
    word(side);
    out += '\0';
    out += static_cast<char>(7);  // minimum code size: codes start 8 bits wide
    std::string codes;
    const int pixels = side * side;
    for (int i = 0; i < pixels; ++i) {
        if (i % 100 == 0)
            codes += static_cast<char>(128);  // clear
        codes += '\0';
    }
    codes += static_cast<char>(129);  // end
    for (size_t at = 0; at < codes.size(); at += 255) {
        std::string block = codes.substr(at, 255);
        out += static_cast<char>(block.size());
        out += block;
    }
    out += '\0';
    out += ';';
    std::ofstream(path, std::ios::binary) << out;
}

// An image manager over `folder` (made and filled with one 16-pixel GIF
// per name, each of its own colour) registered as "svc_gui_image_manager"
// for the life of this object; KIV_IMAGE_PATH is restored afterwards.
class registered_images {
public:
    registered_images(const std::string& folder, const std::vector<std::string>& names) {
        had_path_ = kiv_get_env("KIV_IMAGE_PATH", saved_path_);
        kiv_make_path(folder.c_str());
        unsigned char red = 10;
        for (const std::string& name : names) {
            save_gif(folder + "/" + name, 16, red);
            red = static_cast<unsigned char>(red + 40);
        }
        kiv_set_env("KIV_IMAGE_PATH", folder.c_str());
        manager.reset(new kiv::image_manager);
        manager->addref();
        kiv_core()->register_service(manager.get(), "svc_gui_image_manager");
    }
    ~registered_images() {
        kiv_core()->unregister_service("svc_gui_image_manager");
        if (had_path_)
            kiv_set_env("KIV_IMAGE_PATH", saved_path_.c_str());
        else
            ::unsetenv("KIV_IMAGE_PATH");
    }
    registered_images(const registered_images&) = delete;
    registered_images& operator=(const registered_images&) = delete;

    int index(const char* name) { return manager->get_image_index(name); }

    auto_ptr_t<kiv::image_manager> manager;  // one reference of ours

private:
    bool had_path_ = false;
    std::string saved_path_;
};

}  // namespace kiv_gui_test

#endif
