// style_attributes_test.cpp --
//
//     The attributes of the render styles: ranges, colours, per-level
//     lists, the limits that keep a hostile layer file from stalling the
//     renderer, and the pictures of the image styles.

#include "render/geometry_styles.h"
#include "render/image_styles.h"
#include "render/label_style.h"
#include "render/parse_range.h"
#include "render_test_support.h"

#include <cstdlib>
#include <cstring>
#include <memory>

using namespace kiv;
using namespace kiv_test;

namespace {

std::unique_ptr<render_style_base> make_style(const std::string& type) {
    if (type == "line")
        return std::make_unique<render_style_line>();
    if (type == "dash")
        return std::make_unique<render_style_dash>();
    if (type == "polygon")
        return std::make_unique<render_style_polygon>();
    if (type == "smooth-polygon")
        return std::make_unique<render_style_smooth_polygon>();
    if (type == "image")
        return std::make_unique<render_style_image>();
    if (type == "polygon-image")
        return std::make_unique<render_style_polygon_image>();
    if (type == "line-image")
        return std::make_unique<render_style_line_image>();
    if (type == "label")
        return std::make_unique<render_style_label>();
    return nullptr;
}

// A session with the XML service and a render configuration folder whose
// "images" hold "dot" (3 × 2, opaque blue).
class style_test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kiv_make_path((config.path() + "/images").c_str()));
        kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", config.path().c_str());
        put_png(config.path() + "/images/dot.png", 3, 2, 0xFFFF0000);
    }
    void TearDown() override { kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", ""); }

    // Initialises a style of `type` from `<style ATTRS/>`.
    std::unique_ptr<render_style_base> init_style(const std::string& type, const std::string& attrs, bool* ok) {
        std::unique_ptr<render_style_base> style = make_style(type);
        auto_ptr_t<i_xml_node> element(xml_element("<style " + attrs + "/>"));
        *ok = style && element && style->init(element);
        return style;
    }

    core_session session{false};
    temp_dir config;
};

}  // namespace

TEST(parse_range, reads_single_numbers_and_pairs_within_bounds) {
    struct row {
        const char* text;
        unsigned min, max;
        bool ok;
        unsigned first, last;
    };
    const row rows[] = {
        {"7", 1, 255, true, 7, 7},
        {"3-9", 0, 16, true, 3, 9},
        {"0-16", 0, 16, true, 0, 16},
        {" 4 - 6", 0, 16, true, 4, 6},
        {"3-20", 0, 16, false, 3, 20},
        {"0-17", 0, 16, false, 0, 17},
        {"0-10", 1, 255, false, 0, 0},     // below the lowest code: last untouched
        {"9-3", 0, 16, false, 9, 3},       // reversed
        {"-1", 0, 16, false, 4294967295u, 1},  // negative reads as too large
        {"2-x", 0, 16, false, 2, 0},       // no second number: 0, below the first
        {"abc", 0, 16, true, 0, 0},        // atoi gives 0
        {"5-6-7", 0, 16, true, 5, 6},      // only the first hyphen counts
        {"99999999999", 0, 16, false, 2147483647u, 2147483647u},
    };
    for (const row& r : rows) {
        unsigned first = 1234, last = 1234;
        EXPECT_EQ(parse_range(r.text, r.min, r.max, first, last), r.ok) << r.text;
        EXPECT_EQ(first, r.first) << r.text;
        EXPECT_EQ(last, r.min > r.first ? 1234u : r.last) << r.text;
    }
    unsigned first = 1234, last = 1234;
    EXPECT_FALSE(parse_range(nullptr, 0, 16, first, last));
    EXPECT_FALSE(parse_range("", 0, 16, first, last));
    EXPECT_EQ(first, 1234u);
    EXPECT_EQ(last, 1234u);
}

TEST_F(style_test, init_accepts_and_refuses_attribute_sets) {
    struct row {
        const char* type;
        const char* attrs;
        bool ok;
    };
    const std::string base = "color='FF0000' levels='0-16' features='1-255' ";
    const row rows[] = {
        {"line", "width='2'", true},
        {"line", "", false},                       // no width at all
        {"line", "width=',,'", false},             // empty items vanish: still no value
        {"line", "width='1000'", true},
        {"line", "width='1000.5'", false},         // over the limit
        {"line", "width='-1'", false},
        {"line", "width='nan'", false},
        {"line", "width='inf'", false},
        {"line", "width='1e400'", false},          // overflows to infinity
        {"line", "width='2' border_width='1,-2'", false},
        {"line", "width='2' border_width='1001'", false},
        {"line", "width='2' border_width=''", true},
        // Items past level 16 are ignored, whatever they hold.
        {"line", "width='1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,-5'", true},
        {"dash", "width='2' dash='5'", false},
        {"dash", "width='2' dash='5,3,2'", true},
        {"dash", "width='2' dash='5,3,0'", true},  // the unpaired value is never drawn
        {"dash", "width='2' dash='5,0'", false},   // a dash pattern must advance
        {"dash", "width='2' dash='0,3'", false},
        {"dash", "width='2' dash='-4,3'", false},
        {"dash", "dash='5,3'", false},             // the line's width is required too
        {"polygon", "", true},
        {"smooth-polygon", "border_width='0.5'", true},
        {"label", "align='center' size='12' face='sans'", true},
        {"label", "align='along' size='12' face='sans'", true},
        {"label", "align='along-box' size='12' face='sans'", true},
        {"label", "align='Center' size='12' face='sans'", false},
        {"label", "align='' size='12' face='sans'", false},
        {"label", "size='12' face='sans'", false},
        {"label", "align='center' face='sans'", false},
        {"label", "align='center' size='12,-1' face='sans'", false},
        {"label", "align='center' size='1001' face='sans'", false},
        {"label", "align='center' size='12' face=''", false},
    };
    for (const row& r : rows) {
        bool ok = false;
        init_style(r.type, base + r.attrs, &ok);
        EXPECT_EQ(ok, r.ok) << r.type << " " << r.attrs;
    }
}

TEST_F(style_test, init_checks_the_shared_attributes_for_every_type) {
    // Each row breaks one shared attribute of an otherwise valid style.
    const char* broken[] = {
        "color=''", "levels='3-20'", "levels='0-17'", "levels=''", "features='0-10'", "features='1-256'",
        "features=''",
    };
    const char* types[] = {"line", "dash", "polygon", "smooth-polygon", "label"};
    for (const char* type : types) {
        for (const char* bad : broken) {
            std::string attrs = std::string("color='FF0000' levels='0-16' features='1-255' ") +
                                "width='2' dash='4,2' align='center' size='10' face='sans' ";
            // The broken attribute replaces its valid one.
            std::string name = std::string(bad).substr(0, std::string(bad).find('='));
            size_t at = attrs.find(name + "=");
            size_t end = attrs.find('\'', attrs.find('\'', at) + 1);
            attrs.replace(at, end + 1 - at, bad);
            bool ok = true;
            init_style(type, attrs, &ok);
            EXPECT_FALSE(ok) << type << " " << attrs;
        }
    }
}

TEST_F(style_test, per_level_lists_start_at_the_first_level_and_repeat_the_last_value) {
    bool ok = false;
    auto style = init_style("line", "color='FF0000' levels='2-5' features='7' width='3' border_width='1,2'", &ok);
    ASSERT_TRUE(ok);
    const double expected_border[] = {0, 0, 1, 2, 2};
    for (unsigned level = 0; level < 5; ++level)
        EXPECT_EQ(style->border_width(level), expected_border[level]) << level;
    EXPECT_EQ(style->border_width(16), 2);
    auto* line = dynamic_cast<render_style_line*>(style.get());
    EXPECT_EQ(line->width(1), 0);
    EXPECT_EQ(line->width(2), 3);
    EXPECT_EQ(line->width(16), 3);
    EXPECT_EQ(style->first_code(), 7);
    EXPECT_EQ(style->last_code(), 7);
    EXPECT_FALSE(style->is_visible(1));
    EXPECT_TRUE(style->is_visible(2));
    EXPECT_TRUE(style->is_visible(5));
    EXPECT_FALSE(style->is_visible(6));

    style = init_style("line", "color='FF0000' levels='4-9' features='1' width='2'", &ok);
    ASSERT_TRUE(ok);
    line = dynamic_cast<render_style_line*>(style.get());
    for (unsigned level = 0; level < render_level_count; ++level) {
        EXPECT_EQ(line->width(level), level < 4 ? 0 : 2) << level;
        EXPECT_EQ(style->border_width(level), 0) << level;
    }

    // Fractions are read with "." whatever the locale; a list longer than
    // the levels left stops at 16.
    style = init_style("line", "color='FF0000' levels='15-16' features='1' width='0.5,1.25,9'", &ok);
    ASSERT_TRUE(ok);
    line = dynamic_cast<render_style_line*>(style.get());
    EXPECT_EQ(line->width(14), 0);
    EXPECT_EQ(line->width(15), 0.5);
    EXPECT_EQ(line->width(16), 1.25);
    EXPECT_EQ(line->width(17), 0);
}

TEST_F(style_test, label_reads_its_own_attributes) {
    bool ok = false;
    auto style = init_style("label",
                            "color='000000' levels='5-9' features='3' align='along-box' size='10,12' face='sans' "
                            "label_spacing='40' halo_size='2' halo_color='FFFFFF' border_color='0000FF' offset='-6'",
                            &ok);
    ASSERT_TRUE(ok);
    auto* label = dynamic_cast<render_style_label*>(style.get());
    EXPECT_EQ(label->align(), render_style_label::align_along_box);
    EXPECT_EQ(label->size(0), 10);  // sizes start at level 0, not at the first level
    EXPECT_EQ(label->size(1), 12);
    EXPECT_EQ(label->size(16), 12);
    EXPECT_EQ(label->face(), "sans");
    EXPECT_EQ(label->label_spacing(), 40);
    EXPECT_EQ(label->halo_size(), 2);
    EXPECT_EQ(label->halo_color(), 0xFFFFFFFFu);
    EXPECT_EQ(label->box_color(), 0xFFFF0000u);
    EXPECT_EQ(label->offset(), -6);

    // Without a halo its colour is not read; without a box colour the box is black.
    style = init_style("label",
                       "color='000000' levels='0' features='3' align='center' size='8' face='sans' "
                       "halo_color='FFFFFF'",
                       &ok);
    ASSERT_TRUE(ok);
    label = dynamic_cast<render_style_label*>(style.get());
    EXPECT_EQ(label->align(), render_style_label::align_center);
    EXPECT_EQ(label->halo_size(), 0);
    EXPECT_EQ(label->halo_color(), 0u);
    EXPECT_EQ(label->box_color(), 0xFF000000u);
    EXPECT_EQ(label->label_spacing(), 0);
    EXPECT_EQ(label->offset(), 0);
}

TEST_F(style_test, dash_keeps_its_list) {
    bool ok = false;
    auto style = init_style("dash", "color='FF0000' levels='0' features='1' width='2' dash='5,3,2'", &ok);
    ASSERT_TRUE(ok);
    auto* dash = dynamic_cast<render_style_dash*>(style.get());
    EXPECT_EQ(dash->dashes(), (std::vector<int32_t>{5, 3, 2}));
    EXPECT_EQ(dash->width(0), 2);
}

TEST_F(style_test, image_styles_load_their_picture_and_need_no_colour) {
    for (const char* type : {"image", "polygon-image", "line-image"}) {
        bool ok = false;
        auto style = init_style(type, "levels='0-16' features='9' file='dot' flags='320'", &ok);
        ASSERT_TRUE(ok) << type;
        const style_picture* picture = nullptr;
        if (auto* s = dynamic_cast<render_style_image*>(style.get()))
            picture = &s->picture();
        if (auto* s = dynamic_cast<render_style_polygon_image*>(style.get()))
            picture = &s->picture();
        if (auto* s = dynamic_cast<render_style_line_image*>(style.get())) {
            picture = &s->picture();
            EXPECT_EQ(s->flags_mask(), 64);  // kept as one byte
        }
        ASSERT_NE(picture, nullptr);
        ASSERT_NE(picture->data(), nullptr);
        EXPECT_EQ(picture->width(), 3u);
        EXPECT_EQ(picture->height(), 2u);
        // Opaque blue, R G B A in memory.
        EXPECT_EQ(std::memcmp(picture->data(), "\x00\x00\xFF\xFF", 4), 0) << type;

        init_style(type, "levels='0-16' features='9' file='missing'", &ok);
        EXPECT_FALSE(ok) << type;
        init_style(type, "levels='0-16' features='9'", &ok);
        EXPECT_FALSE(ok) << type;
        init_style(type, "levels='0-16' features='0' file='dot'", &ok);
        EXPECT_FALSE(ok) << type;
    }
}

TEST_F(style_test, load_style_image_never_leaves_the_images_folder) {
    // A picture beside the folder, reachable only by escaping it.
    put_png(config.path() + "/outside.png", 1, 1, 0xFF000000);
    kiv_set_env("KIV_TEST_SECRET", "x");
    for (const char* name : {"../outside", "sub/dot", "..\\outside", "${KIV_TEST_SECRET}", "", "/etc/x"}) {
        uint8_t* data = nullptr;
        unsigned width = 7, height = 7;
        EXPECT_FALSE(load_style_image(name, data, width, height)) << name;
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(width, 7u);
    }
    uint8_t* data = nullptr;
    unsigned width = 0, height = 0;
    EXPECT_FALSE(load_style_image(nullptr, data, width, height));
    ASSERT_TRUE(load_style_image("dot", data, width, height));
    EXPECT_EQ(width, 3u);
    EXPECT_EQ(height, 2u);
    std::free(data);

    // Without the variable there is no folder to look in.
    kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", "");
    EXPECT_FALSE(load_style_image("dot", data, width, height));
}
