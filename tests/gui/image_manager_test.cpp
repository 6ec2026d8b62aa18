// image_manager_test.cpp --
//
//     The shared image list: the GIF files of the image folder (its
//     default under the root, subfolders and hidden ones, broken files
//     skipped, other sizes scaled, the later of two equal names winning),
//     names and indices, BMP import into the folder (wrong sizes refused
//     without a file, the name kept inside the folder, a generated name
//     never replacing a file), and the multi-choice dialog borrowing the
//     list of a registered manager.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_string.h>
#include <kiv/gui/image_manager.h>
#include <kiv/gui/list_ctrl.h>

#include "gui_session.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <wx/bitmap.h>
#include <wx/image.h>
#include <wx/imaglist.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <regex>
#include <sys/stat.h>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

void save_image(const std::string& path, int side, unsigned char red, unsigned char green, unsigned char blue,
                wxBitmapType type) {
    wxImage image(side, side);
    image.SetRGB(wxRect(0, 0, side, side), red, green, blue);
    ASSERT_TRUE(image.SaveFile(wxString::FromUTF8(path), type)) << path;
}

void write_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> folder_names(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* entry = readdir(d)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(d);
    }
    return names;
}

std::string name_of(image_manager& manager, int index) {
    auto_ptr_t<i_string> name(manager.get_image_name(index));
    return name ? name->get_value() : "<null>";
}

unsigned char red_of(image_manager& manager, int index) {
    return manager.get_image_list()->GetBitmap(index).ConvertToImage().GetRed(0, 0);
}

struct image_manager_test : ::testing::Test {
    gui_session session{false};
    std::string root = session.core.root.path();
    std::string images = root + "/images";
    std::string saved_path;
    bool had_path = kiv_get_env("KIV_IMAGE_PATH", saved_path);

    image_manager_test() {
        ::unsetenv("KIV_IMAGE_PATH");
        kiv_make_path(images.c_str());
    }
    ~image_manager_test() override {
        if (had_path)
            kiv_set_env("KIV_IMAGE_PATH", saved_path.c_str());
        else
            ::unsetenv("KIV_IMAGE_PATH");
    }
};

TEST_F(image_manager_test, loads_the_gif_files_under_the_root_folder_scaled_to_the_list_size) {
    kiv_make_path((images + "/sub").c_str());
    kiv_make_path((images + "/zz").c_str());
    kiv_make_path((images + "/.hidden").c_str());
    save_gif(images + "/a.gif", 16, 200);
    save_gif(images + "/sub/dup.gif", 32, 100);
    save_gif(images + "/zz/dup.gif", 16, 50);
    save_gif(images + "/.hidden/h.gif", 8, 20);
    save_image(images + "/other.bmp", 16, 10, 0, 0, wxBITMAP_TYPE_BMP);
    write_text(images + "/broken.gif", "GIF89a but nothing after it");

    image_manager manager;
    EXPECT_STREQ(manager.get_name(), "image_manager");
    EXPECT_EQ(kiv_get_env("KIV_IMAGE_PATH"), images);
    // a, both dup and h; the broken file and the BMP are not in the list.
    ASSERT_EQ(manager.get_image_list()->GetImageCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(manager.get_image_list()->GetBitmap(i).GetSize(), wxSize(16, 16)) << i;
    EXPECT_EQ(manager.get_image_index("other.bmp"), -1);
    EXPECT_EQ(manager.get_image_index("broken.gif"), -1);
    ASSERT_NE(manager.get_image_index("h.gif"), -1);
    EXPECT_EQ(red_of(manager, manager.get_image_index("a.gif")), 200);
    // The later of the two equal names leads; the earlier image stays in
    // the list without a name.
    int dup = manager.get_image_index("dup.gif");
    ASSERT_NE(dup, -1);
    EXPECT_EQ(red_of(manager, dup), 50);
    int named = 0;
    for (int i = 0; i < 4; ++i) {
        if (name_of(manager, i) != "<null>")
            ++named;
        else
            EXPECT_EQ(red_of(manager, i), 100);
    }
    EXPECT_EQ(named, 3);
}

TEST_F(image_manager_test, a_missing_folder_loads_nothing) {
    save_gif(images + "/a.gif", 16, 1);
    kiv_set_env("KIV_IMAGE_PATH", (root + "/missing").c_str());
    image_manager missing;
    EXPECT_EQ(missing.get_image_list()->GetImageCount(), 0);
}

TEST_F(image_manager_test, names_lead_to_their_latest_registration) {
    image_manager manager(16, 16, 0);
    wxBitmap bitmap(wxImage(16, 16));
    wxIcon icon;
    icon.CopyFromBitmap(bitmap);
    EXPECT_EQ(manager.register_image("one", &bitmap), 0);
    EXPECT_EQ(manager.register_image("two", &bitmap), 1);
    EXPECT_EQ(manager.register_image("one", &icon), 2);
    EXPECT_EQ(manager.get_image_list()->GetImageCount(), 3);
    EXPECT_EQ(manager.get_image_index("one"), 2);
    EXPECT_EQ(manager.get_image_index("two"), 1);

    struct {
        int index;
        const char* name;
    } names[] = {{-1, "<null>"}, {0, "<null>"}, {1, "two"}, {2, "one"}, {3, "<null>"}};
    for (const auto& row : names)
        EXPECT_EQ(name_of(manager, row.index), row.name) << row.index;

    wxBitmap* no_bitmap = nullptr;
    EXPECT_EQ(manager.register_image("", &bitmap), -1);
    EXPECT_EQ(manager.register_image(nullptr, &bitmap), -1);
    EXPECT_EQ(manager.register_image("none", no_bitmap), -1);
    EXPECT_EQ(manager.get_image_index(""), -1);
    EXPECT_EQ(manager.get_image_index(nullptr), -1);
    EXPECT_EQ(manager.get_image_index("three"), -1);
    EXPECT_EQ(kiv_cast_i_image_manager(static_cast<i_image_manager*>(&manager)), &manager);
}

TEST_F(image_manager_test, a_copy_keeps_the_pictures_and_names_in_a_list_of_its_own) {
    kiv_set_env("KIV_IMAGE_PATH", (root + "/missing").c_str());
    wxImage red(16, 16);
    red.SetRGB(wxRect(0, 0, 16, 16), 255, 0, 0);
    wxBitmap red_bitmap(red), plain(wxImage(16, 16));
    auto* original = new image_manager(16, 16, 0);
    original->set_name("icons");
    original->register_image("plain", &plain);
    original->register_image("red", &red_bitmap);
    original->addref();

    image_manager copy(*original);
    image_manager assigned(8, 8, 0);
    assigned.register_image("gone", &plain);
    assigned = *original;
    EXPECT_EQ(copy.get_ref_count(), 0);
    // The original and its list go first: the copies must still hold
    // their pictures (the sanitizer build sees a list freed twice).
    original->release();
    for (image_manager* manager : {&copy, &assigned}) {
        EXPECT_STREQ(manager->get_name(), "icons");
        ASSERT_EQ(manager->get_image_list()->GetImageCount(), 2);
        EXPECT_EQ(manager->get_image_index("red"), 1);
        EXPECT_EQ(manager->get_image_index("gone"), -1);
        wxImage picture = manager->get_image_list()->GetBitmap(1).ConvertToImage();
        EXPECT_EQ(picture.GetRed(8, 8), 255);
        EXPECT_EQ(picture.GetGreen(8, 8), 0);
    }
    EXPECT_EQ(copy.register_image("more", &plain), 2);
    EXPECT_EQ(assigned.get_image_index("more"), -1);
}

TEST_F(image_manager_test, imports_only_16_pixel_bmp_files_into_the_folder) {
    save_image(root + "/small.bmp", 16, 30, 0, 0, wxBITMAP_TYPE_BMP);
    save_image(root + "/big.bmp", 32, 30, 0, 0, wxBITMAP_TYPE_BMP);
    write_text(root + "/text.bmp", "not a bitmap");
    image_manager manager;
    const std::string small = root + "/small.bmp";

    struct {
        const char* name;
        std::string file;
    } refused[] = {{"big.bmp", root + "/big.bmp"},   {"text.bmp", root + "/text.bmp"},
                   {"gone.bmp", root + "/gone.bmp"}, {"none.bmp", ""},
                   {"dir/..", small},                {"dir/", small}};
    for (const auto& row : refused)
        EXPECT_EQ(manager.create_image(row.name, row.file.c_str()), -1) << row.name;
    EXPECT_EQ(manager.create_image("x.bmp", nullptr), -1);
    EXPECT_TRUE(folder_names(images).empty());

    // Only the file-name part of the name counts: the file stays inside
    // the image folder, and its data are BMP whatever the extension.
    int index = manager.create_image("../../escape/x.gif", small.c_str());
    ASSERT_GE(index, 0);
    EXPECT_EQ(manager.get_image_index("x.gif"), index);
    EXPECT_EQ(read_text(images + "/x.gif").substr(0, 2), "BM");
    EXPECT_FALSE(kiv_dir_exists((root + "/escape").c_str()));
    EXPECT_EQ(red_of(manager, index), 30);

    // A generated name that a file already has is passed over.
    std::srand(7);
    char first[64];
    int a = std::rand(), b = std::rand(), c = std::rand();
    std::snprintf(first, sizeof first, "image%d%d%d.bmp", a, b, c);
    write_text(images + "/" + first, "keep");
    std::srand(7);
    int generated = manager.create_image(nullptr, small.c_str());
    ASSERT_GE(generated, 0);
    EXPECT_EQ(read_text(images + "/" + first), "keep");
    auto_ptr_t<i_string> name(manager.get_image_name(generated));
    ASSERT_TRUE(name);
    std::string made = name->get_value();
    EXPECT_NE(made, first);
    EXPECT_TRUE(std::regex_match(made, std::regex("image[0-9]+\\.bmp"))) << made;
    EXPECT_EQ(read_text(images + "/" + made).substr(0, 2), "BM");
    EXPECT_EQ(folder_names(images).size(), 3u);

    // The next manager lists GIF names only: the generated BMP stays out.
    image_manager next;
    EXPECT_NE(next.get_image_index("x.gif"), -1);
    EXPECT_EQ(next.get_image_index(made.c_str()), -1);
}

TEST_F(image_manager_test, the_multi_choice_list_borrows_the_registered_image_list) {
    wxArrayString choices;
    choices.Add("one");
    {
        multi_choice_dlg dialog(nullptr, "t", "m", choices, true, 0);
        EXPECT_EQ(dialog.get_list()->GetImageList(wxIMAGE_LIST_SMALL), nullptr);
    }
    image_manager* manager = new image_manager;
    auto_ptr_t<image_manager> hold(manager);
    manager->addref();
    kiv_core()->register_service(manager, "svc_gui_image_manager");
    {
        multi_choice_dlg dialog(nullptr, "t", "m", choices, true, 0);
        EXPECT_EQ(dialog.get_list()->GetImageList(wxIMAGE_LIST_SMALL), manager->get_image_list());
    }
    kiv_core()->unregister_service("svc_gui_image_manager");
    // The list borrowed the images: they are still the manager's.
    EXPECT_EQ(manager->get_image_list()->GetImageCount(), 0);
}

}  // namespace
