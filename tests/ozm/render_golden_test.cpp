// render_golden_test.cpp --
//
//     Whole 1024 x 768 images of the demo town and of a generated town
//     at every render level, through the driver, compared with the
//     checksums of the pictures as they are known to be right. Any change
//     of the renderer that moves a pixel shows here; a change meant to
//     alter the picture must record the new checksums (the failure prints
//     them, and KIV_GOLDEN_SAVE=DIR keeps the images for a look).

#include <kiv/core/checksum.h>
#include <kiv/core/env.h>
#include <kiv/image/i_image.h>
#include <kiv/image/image_lib.h>

#include "../../bench/ozm_town.h"
#include "driver_test_support.h"

#include <cstdio>

using namespace kiv;
using namespace kiv_test;

namespace {

constexpr unsigned levels = 17;

struct town {
    const char* name;
    double lat, lon;
    uint32_t crc[levels];  // of the RGBA bytes, level 0 first
};

const town demo = {"demo",
                   53.90,
                   27.552,
                   {0x7B3D03F5, 0x0F65628D, 0x21376428, 0xCD9C4931, 0x01601FE6, 0x78DBA6DA, 0x623AF428,
                    0x8B66263E, 0xFA96A18E, 0xA44274E6, 0x1A8E1DE6, 0xCDC6471B, 0x138302AA, 0x9E5BF6AA,
                    0x1925C8AE, 0xB992AB13, 0x2229AA32}};
const town generated = {"generated",
                        53.90,
                        27.55,
                        {0xEDCEEF46, 0x340450E3, 0x7903EBC4, 0xCD1FF315, 0x4A68DCD4, 0x23ABBF70, 0xA656D810,
                         0x046BF6F6, 0xAA09D10C, 0x6D4AA9A5, 0x9825105C, 0xEEE14F75, 0xEEE14F75, 0xEEE14F75,
                         0xEEE14F75, 0xEEE14F75, 0xEEE14F75}};

void check_town(const town& t, const std::string& maps) {
    auto_ptr_t<ozm_driver> driver(new ozm_driver);
    driver->addref();
    ASSERT_TRUE(driver->init(maps.c_str(), OZM_DEMO_DIR "/render"));
    std::string save = kiv_get_env("KIV_GOLDEN_SAVE");
    std::string found;
    bool same = true;
    for (unsigned level = 0; level < levels; ++level) {
        auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(1024, 768));
        ASSERT_TRUE(vp && vp->set_center(t.lat, t.lon, 1500u << level));
        auto_ptr_t<i_gis_renderer> r(driver->create_renderer(vp, "", ""));
        ASSERT_TRUE(r) << t.name << " level " << level;
        auto_ptr_t<i_image> img(r->render_image(false));
        ASSERT_TRUE(img) << t.name << " level " << level;
        ASSERT_EQ(img->get_data_size(), 1024u * 768u * 4u);
        uint32_t crc = kiv_crc32(img->get_data(), img->get_data_size(), 0);
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", crc);
        found += std::string(level == 0 ? "" : ", ") + hex;
        if (crc != t.crc[level]) {
            same = false;
            ADD_FAILURE() << t.name << " level " << level << ": " << hex;
        }
        if (!save.empty())
            img->save_image((save + "/" + t.name + "_" + std::to_string(level) + ".png").c_str(), image_format_png,
                            100);
    }
    if (!same)
        ADD_FAILURE() << t.name << " checksums now: {" << found << "}";
}

class render_golden : public ::testing::Test {
protected:
    void SetUp() override {
        kiv_set_env("KIV_FONT_PATH", "/usr/share/fonts/truetype/dejavu");
        kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", OZM_DEMO_DIR "/render");
    }
    void TearDown() override {
        kiv_set_env("KIV_FONT_PATH", "");
        kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", "");
    }
    core_session session{false};
};

TEST_F(render_golden, the_demo_town_looks_the_same_at_every_level) {
    check_town(demo, OZM_DEMO_DIR "/maps");
}

TEST_F(render_golden, a_generated_town_looks_the_same_at_every_level) {
    temp_dir dir;
    ASSERT_TRUE(kiv_bench::write_generated_town(dir.file("town.ozm"), 40));
    check_town(generated, dir.path());
}

}  // namespace
