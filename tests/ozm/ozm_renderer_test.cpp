// ozm_renderer_test.cpp --
//
//     Whole map images from the renderer: the background of the first
//     layer, layers drawn in order, labels placed from the last layer
//     backwards, locks let go after every image, a renderer made before a
//     map was replaced still drawing the old map, and the version that a
//     layer edit changes.

#include <kiv/image/i_image.h>

#include "driver_test_support.h"

using namespace kiv;
using namespace kiv_test;

namespace {

// The RGBA bytes of pixel (x, y) as 0xRRGGBBAA.
uint32_t pixel(i_image* img, unsigned x, unsigned y) {
    const uint8_t* p = static_cast<const uint8_t*>(img->get_data()) + (size_t(y) * img->get_width() + x) * 4;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

bool near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 8; shift < 32; shift += 8) {
        int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
        if (d > tolerance || d < -tolerance)
            return false;
    }
    return true;
}

// Pixels of the image within `tolerance` of `rgb` (0xRRGGBB).
unsigned count_color(i_image* img, uint32_t rgb, int tolerance = 40) {
    unsigned n = 0;
    for (unsigned y = 0; y < img->get_height(); ++y)
        for (unsigned x = 0; x < img->get_width(); ++x)
            n += near(pixel(img, x, y), rgb << 8, tolerance) ? 1 : 0;
    return n;
}

// A map of one polygon over the whole home square, code `code`, and one
// labelled point at the home point, code `label_code`.
bool write_painted_map(const std::string& path, const std::string& name, uint8_t code, uint8_t label_code = 0,
                       uint8_t priority = 1) {
    kiv::ozm_writer::map_info info;
    info.name = name;
    info.priority = priority;
    kiv::ozm_writer::map_writer w(info);
    float lat = float(home_lat), lon = float(home_lon), d = 1.0f;
    kiv::ozm_writer::feature area;
    area.code = code;
    area.flags = 0x80;
    area.anchor = {lat, lon};
    area.points = {{lat - d, lon - d}, {lat - d, lon + d}, {lat + d, lon + d}, {lat + d, lon - d}};
    w.add_feature(area);
    if (label_code != 0) {
        kiv::ozm_writer::feature label;
        label.code = label_code;
        label.flags = 0x01;
        label.anchor = {lat, lon};
        label.label = "WWWWWW";
        w.add_feature(label);
        kiv::ozm_writer::feature other = label;
        other.code = uint8_t(label_code + 1);
        w.add_feature(other);
    }
    std::string error;
    return w.write(path, error);
}

std::string polygon_layer(const std::string& name, int priority, const std::string& extra,
                          const std::string& bg = "") {
    return "<layer name='" + name + "' priority='" + std::to_string(priority) + "' levels='0-16'" +
           (bg.empty() ? "" : " bg_color='" + bg + "'") + ">" + extra + "</layer>";
}

std::string label_style(int code, const std::string& color) {
    return "<style type='label' features='" + std::to_string(code) + "' levels='0-16' color='" + color +
           "' align='center' face='DejaVuSans' size='24'/>";
}

class renderer_test : public ::testing::Test {
protected:
    void SetUp() override { kiv_set_env("KIV_FONT_PATH", "/usr/share/fonts/truetype/dejavu"); }

    auto_ptr_t<i_image> draw(ozm_driver* driver, const char* layers = "") {
        auto_ptr_t<i_gis_viewport> vp = home_view(3000, 200, 100);
        auto_ptr_t<i_gis_renderer> r(driver->create_renderer(vp, layers, ""));
        EXPECT_TRUE(r);
        return auto_ptr_t<i_image>(r ? r->render_image(false) : nullptr);
    }

    core_session session{false};
    driver_folder folder;
};

TEST_F(renderer_test, without_maps_the_image_is_the_first_layers_background) {
    test_map away;
    away.name = "away";
    away.away = true;
    folder.add_map("a.ozm", away);
    folder.add_layer("1.xml", polygon_layer("black", 1, "", "000000"));
    folder.add_layer("2.xml", polygon_layer("plain", 2, ""));
    folder.add_layer("3.xml", polygon_layer("clear", 3, "", "00FF0000"));
    auto_ptr_t<ozm_driver> d = start_driver(folder);
    ASSERT_TRUE(d);
    const struct {
        const char* layers;
        uint32_t rgba;
    } cases[] = {{"", 0x000000FF}, {"black,plain", 0x000000FF}, {"plain", 0xFFFFFFFF}, {"clear", 0xFF0000FF}};
    for (const auto& c : cases) {
        auto_ptr_t<i_image> img = draw(d, c.layers);
        ASSERT_TRUE(img) << c.layers;
        EXPECT_EQ(img->get_width(), 200u);
        EXPECT_EQ(img->get_height(), 100u);
        EXPECT_EQ(count_color(img, c.rgba >> 8, 0), 200u * 100u) << c.layers;
    }
    ozm_renderer bare;
    EXPECT_EQ(bare.render_image(false), nullptr);  // no viewport
}

TEST_F(renderer_test, layers_draw_in_priority_order_and_no_lock_outlives_the_image) {
    ASSERT_TRUE(write_painted_map(folder.map_path("m.ozm"), "m", 7));
    folder.add_layer("1.xml",
                     polygon_layer("top", 9, "<style type='polygon' features='7' levels='0-16' color='0000FF'/>"));
    folder.add_layer("2.xml",
                     polygon_layer("bottom", 1, "<style type='polygon' features='7' levels='0-16' color='FF0000'/>"));
    auto_ptr_t<ozm_driver> d = start_driver(folder);
    ASSERT_TRUE(d);
    auto_ptr_t<ozm_map> map(d->map_by_load_number(1));
    ASSERT_TRUE(map);
    std::vector<uint32_t> before;
    for (uint32_t p = 0; p < map->file().header().page_count; ++p)
        before.push_back(map->page_lock_count(p));

    auto_ptr_t<i_image> img = draw(d);
    ASSERT_TRUE(img);
    EXPECT_EQ(count_color(img, 0x0000FF, 0), 200u * 100u);  // the higher layer covers the lower

    for (uint32_t p = 0; p < map->file().header().page_count; ++p)
        EXPECT_EQ(map->page_lock_count(p), before[p]) << "page " << p;
    EXPECT_TRUE(map->page_loaded(0));  // it was read for the image
    for (renderer_layer* layer : d->layers_by_priority())
        EXPECT_EQ(layer->get_lock_count(), 0u) << layer->get_name();
}

TEST_F(renderer_test, where_labels_collide_the_later_layer_wins) {
    ASSERT_TRUE(write_painted_map(folder.map_path("m.ozm"), "m", 7, 20));
    // Both layers label the same place; "red" comes later in drawing
    // order, so it places its label first.
    folder.add_layer("1.xml", polygon_layer("blue", 1, label_style(20, "0000FF")));
    folder.add_layer("2.xml", polygon_layer("red", 2, label_style(21, "FF0000")));
    auto_ptr_t<ozm_driver> d = start_driver(folder);
    ASSERT_TRUE(d);
    auto_ptr_t<i_image> both = draw(d);
    ASSERT_TRUE(both);
    EXPECT_GT(count_color(both, 0xFF0000), 50u);
    EXPECT_EQ(count_color(both, 0x0000FF), 0u);
    // Alone, the other layer's label is drawn.
    auto_ptr_t<i_image> alone = draw(d, "blue");
    ASSERT_TRUE(alone);
    EXPECT_GT(count_color(alone, 0x0000FF), 50u);
}

TEST_F(renderer_test, a_renderer_made_before_a_replacement_draws_the_old_map) {
    ASSERT_TRUE(write_painted_map(folder.map_path("m.ozm"), "old", 7));
    folder.add_layer("1.xml", polygon_layer("l", 1,
                                            "<style type='polygon' features='7' levels='0-16' color='FF0000'/>"
                                            "<style type='polygon' features='8' levels='0-16' color='00FF00'/>"));
    auto_ptr_t<ozm_driver> d = start_driver(folder);
    ASSERT_TRUE(d);
    auto_ptr_t<i_gis_viewport> vp = home_view(3000, 200, 100);
    auto_ptr_t<i_gis_renderer> before(d->create_renderer(vp, "", ""));
    ASSERT_TRUE(before);

    std::string fresh = folder.dir.file("fresh.ozm");
    ASSERT_TRUE(write_painted_map(fresh, "new", 8, 0, 2));
    ASSERT_EQ(std::rename(fresh.c_str(), folder.map_path("m.ozm").c_str()), 0);
    ASSERT_TRUE(d->load_maps(true));

    auto_ptr_t<i_image> old_img(before->render_image(false));
    ASSERT_TRUE(old_img);
    EXPECT_EQ(count_color(old_img, 0xFF0000, 0), 200u * 100u);
    auto_ptr_t<i_image> new_img = draw(d);
    ASSERT_TRUE(new_img);
    EXPECT_EQ(count_color(new_img, 0x00FF00, 0), 200u * 100u);
}

TEST_F(renderer_test, a_coarse_view_reads_no_page_of_fine_detail) {
    kiv::ozm_writer::map_info info;
    info.name = "classes";
    kiv::ozm_writer::map_writer w(info);
    float lat = float(home_lat), lon = float(home_lon);
    for (uint8_t cls = 0; cls < 3; ++cls) {
        kiv::ozm_writer::feature f;
        f.code = uint8_t(1 + cls);
        f.flags = uint8_t(cls << 1);
        f.anchor = {lat, lon};
        f.points = {{lat - 1, lon - 1}, {lat + 1, lon + 1}};
        w.add_feature(f);
    }
    std::string error;
    ASSERT_TRUE(w.write(folder.map_path("m.ozm"), error)) << error;
    folder.add_layer("1.xml", layer_text("l", 0));
    auto_ptr_t<ozm_driver> d = start_driver(folder);
    ASSERT_TRUE(d);
    auto_ptr_t<ozm_map> map(d->map_by_load_number(1));
    ASSERT_TRUE(map);
    const auto& features = map->file().features();
    ASSERT_EQ(features.size(), 3u);
    EXPECT_NE(features[0].page, features[2].page);  // each class on pages of its own

    // Scale 30,000,000: detail class 2.
    auto_ptr_t<i_gis_viewport> vp = home_view(30000000, 200, 100);
    auto_ptr_t<i_gis_renderer> r(d->create_renderer(vp, "", ""));
    ASSERT_TRUE(r);
    auto_ptr_t<i_image> img(r->render_image(false));
    ASSERT_TRUE(img);
    EXPECT_GT(count_color(img, 0xFF0000, 0), 0u);
    EXPECT_TRUE(map->page_loaded(features[2].page));
    EXPECT_FALSE(map->page_loaded(features[0].page));
    EXPECT_FALSE(map->page_loaded(features[1].page));
}

TEST_F(renderer_test, editing_a_layer_file_changes_the_version_of_later_renderers) {
    folder.add_map("m.ozm", test_map{});
    std::string layer = folder.layers() + "/1.xml";
    folder.add_layer("1.xml", polygon_layer("l", 1, ""));
    set_file_time(layer, 1000, 0);
    auto_ptr_t<ozm_driver> d = start_driver(folder);
    ASSERT_TRUE(d);
    auto_ptr_t<i_gis_viewport> vp = home_view(3000);
    auto_ptr_t<i_gis_renderer> first(d->create_renderer(vp, "", ""));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->get_version(), 1001u);  // map version 1, layer time 1000

    folder.add_layer("1.xml", polygon_layer("l", 1, "", "000000"));
    set_file_time(layer, 2000, 0);
    for (renderer_layer* l : d->layers_by_priority())
        EXPECT_TRUE(l->reload());
    auto_ptr_t<i_gis_renderer> second(d->create_renderer(vp, "", ""));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->get_version(), 2001u);
    EXPECT_EQ(d->get_render_version(), 2001u);
}

}  // namespace

namespace {

// A map of one labelled road across the home square, code 10.
bool write_road_map(const std::string& path, const std::string& label) {
    kiv::ozm_writer::map_info info;
    info.name = "road";
    kiv::ozm_writer::map_writer w(info);
    kiv::ozm_writer::feature road;
    road.code = 10;
    road.flags = 0x40;
    road.label = label;
    road.points = {{float(home_lat), float(home_lon - 1)}, {float(home_lat), float(home_lon + 1)}};
    road.anchor = {float(home_lat), float(home_lon)};
    w.add_feature(road);
    std::string error;
    return w.write(path, error);
}

// A route number in its box, as the driver draws it: the box (blue, its
// outline black) holds the white text, and with a halo it has fill rows
// above and below the text, as many above as below within one. Box rows
// hold a pixel that is neither the green background nor bright; fill rows
// a pixel close to the fill; text rows a pixel with red in it, which only
// the text's white brings.
TEST_F(renderer_test, route_number_boxes_hold_their_text) {
    const struct {
        const char* text;
        int halo;
        int size;
    } cases[] = {{"M1", 2, 10}, {"P47", 2, 10}, {"M1", 3, 14}, {"P47", 3, 12}, {"M1", 0, 10}, {"P47", 1, 14}};
    for (const auto& c : cases) {
        driver_folder here;
        ASSERT_TRUE(write_road_map(here.map_path("road.ozm"), c.text));
        here.add_layer("1.xml", polygon_layer("boxes", 1,
                                              "<style type='label' features='10' levels='0-16' color='FFFFFF' "
                                              "border_color='0000FF' halo_color='000000' align='along-box' "
                                              "face='DejaVuSansCondensed-Bold' size='" +
                                                  std::to_string(c.size) + "' halo_size='" + std::to_string(c.halo) +
                                                  "'/>",
                                              "00FF00"));
        auto_ptr_t<ozm_driver> d = start_driver(here);
        ASSERT_TRUE(d);
        auto_ptr_t<i_image> img = draw(d);
        ASSERT_TRUE(img);
        struct rows {
            int first = -1, last = -1;
            void add(bool hit, int y) {
                if (hit) {
                    first = first < 0 ? y : first;
                    last = y;
                }
            }
        } box, fill, ink;
        for (unsigned y = 0; y < img->get_height(); ++y) {
            bool in_box = false, in_fill = false, in_ink = false;
            for (unsigned x = 0; x < img->get_width(); ++x) {
                uint32_t p = pixel(img, x, y);
                in_box = in_box || ((p >> 16) & 0xFF) < 128;
                in_fill = in_fill || near(p, 0x0000FFFF, 16);
                in_ink = in_ink || (p >> 24) > 60;
            }
            box.add(in_box, int(y));
            fill.add(in_fill, int(y));
            ink.add(in_ink, int(y));
        }
        const std::string what = std::string(c.text) + " halo " + std::to_string(c.halo) + " size " +
                                 std::to_string(c.size) + ": box rows " + std::to_string(box.first) + "-" +
                                 std::to_string(box.last) + ", fill rows " + std::to_string(fill.first) + "-" +
                                 std::to_string(fill.last) + ", text rows " + std::to_string(ink.first) + "-" +
                                 std::to_string(ink.last);
        ASSERT_GE(box.first, 0) << what;
        ASSERT_GE(ink.first, 0) << what;
        EXPECT_GE(ink.first, box.first) << what;
        EXPECT_LE(ink.last, box.last) << what;
        if (c.halo >= 2) {
            const int above = ink.first - fill.first, below = fill.last - ink.last;
            EXPECT_GE(above, 1) << what;
            EXPECT_GE(below, 1) << what;
            EXPECT_LE(std::abs(above - below), 1) << what;
        }
    }
}

}  // namespace
