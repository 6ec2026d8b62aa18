// render_config_test.cpp --
//
//     Loading of render layer files: root attributes and their defaults,
//     styles by type into the geometry and label lists, border instances
//     ahead of everything else, and the message of every failure.

#include "render/geometry_styles.h"
#include "render/image_styles.h"
#include "render/label_style.h"
#include "render/renderer_layer.h"
#include "render_test_support.h"

#include <typeinfo>

using namespace kiv;
using namespace kiv_test;

namespace {

class layer_test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kiv_make_path((dir.path() + "/images").c_str()));
        kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", dir.path().c_str());
        put_png(dir.path() + "/images/dot.png", 2, 2, 0xFF00FF00);
    }
    void TearDown() override { kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", ""); }

    // Writes `text` as the layer file `name` and loads a layer from it.
    bool load(renderer_layer& layer, const std::string& text, const std::string& name = "layer.xml") {
        put_file(dir.file(name), text);
        return layer.load(dir.file(name).c_str());
    }

    core_session session{false};
    temp_dir dir;
};

// The colour of each style of a list, in order.
std::vector<uint32_t> colors(const renderer_layer::style_list& list) {
    std::vector<uint32_t> out;
    for (const auto& style : list)
        out.push_back(dynamic_cast<render_style_base&>(*style).color());
    return out;
}

}  // namespace

TEST_F(layer_test, root_attributes_and_their_defaults) {
    renderer_layer layer;
    ASSERT_TRUE(load(layer, "<layer name='roads' levels='2-9' priority='12' bg_color='00FF0000'/>"));
    EXPECT_EQ(layer.get_name(), "roads");
    EXPECT_EQ(layer.get_priority(), 12);
    EXPECT_EQ(layer.get_bg_color(), 0xFF0000FFu);  // 00FF0000: opaque red
    EXPECT_FALSE(layer.is_visible(1));
    EXPECT_TRUE(layer.is_visible(2));
    EXPECT_TRUE(layer.is_visible(9));
    EXPECT_FALSE(layer.is_visible(10));
    EXPECT_TRUE(layer.styles(0).empty());
    EXPECT_TRUE(layer.styles(1).empty());

    renderer_layer plain;
    ASSERT_TRUE(load(plain, "<anything name='water' levels='5'/>", "water.xml"));
    EXPECT_EQ(plain.get_bg_color(), 0xFFFFFFFFu);  // opaque white
    EXPECT_EQ(plain.get_priority(), 0);
    EXPECT_TRUE(plain.is_visible(5));
    EXPECT_FALSE(plain.is_visible(4));
    EXPECT_FALSE(plain.is_visible(6));

    renderer_layer odd;
    ASSERT_TRUE(load(odd, "<l name='x' levels='0-16' priority='high' bg_color='000000'/>", "odd.xml"));
    EXPECT_EQ(odd.get_priority(), 0);
    EXPECT_EQ(odd.get_bg_color(), 0xFF000000u);  // black, opaque
}

TEST_F(layer_test, styles_go_to_their_lists_by_type) {
    renderer_layer layer;
    ASSERT_TRUE(load(layer, R"(<layer name='all' levels='0-16'>
        <style type='label' color='000001' levels='0-16' features='1' align='center' size='9' face='sans'/>
        <style type='line' color='000002' levels='0-16' features='1' width='1'/>
        <style type='polygon' color='000003' levels='0-16' features='1'/>
        <style type='smooth-polygon' color='000004' levels='0-16' features='1'/>
        <style type='dash' color='000005' levels='0-16' features='1' width='1' dash='2,2'/>
        <style type='line-image' levels='0-16' features='1' file='dot'/>
        <style type='polygon-image' levels='0-16' features='1' file='dot'/>
        <style type='image' levels='0-16' features='1' file='dot'/>
        <style type='label' color='000009' levels='0-16' features='1' align='along' size='9' face='sans'/>
        <group><style type='nonsense'/></group>
        <other type='line'/>
    </layer>)"));
    const auto& geometry = layer.styles(0);
    ASSERT_EQ(geometry.size(), 7u);
    EXPECT_EQ(typeid(*geometry[0]), typeid(render_style_line));
    EXPECT_EQ(typeid(*geometry[1]), typeid(render_style_polygon));
    EXPECT_EQ(typeid(*geometry[2]), typeid(render_style_smooth_polygon));
    EXPECT_EQ(typeid(*geometry[3]), typeid(render_style_dash));
    EXPECT_EQ(typeid(*geometry[4]), typeid(render_style_line_image));
    EXPECT_EQ(typeid(*geometry[5]), typeid(render_style_polygon_image));
    EXPECT_EQ(typeid(*geometry[6]), typeid(render_style_image));
    EXPECT_EQ(colors(layer.styles(1)), (std::vector<uint32_t>{0xFF010000, 0xFF090000}));
    EXPECT_EQ(layer.styles(7).size(), 2u);  // any pass but 0 is the label pass
}

TEST_F(layer_test, border_instances_come_first_in_document_order) {
    renderer_layer layer;
    ASSERT_TRUE(load(layer, R"(<layer name='b' levels='0-16'>
        <style type='line' color='0000A0' border_color='0000B0' levels='0-16' features='1' width='3' border_width='1'/>
        <style type='polygon' color='0000A1' border_color='0000B1' levels='0-16' features='2' border_width='2'/>
        <style type='line' color='0000A2' levels='0-16' features='3' width='1'/>
        <style type='label' color='0000A3' border_color='0000B3' levels='0-16' features='3' align='along-box' size='9' face='sans'/>
    </layer>)"));
    // borderA, borderB, A, B, C; a label's border_color is its box colour, not a border instance.
    EXPECT_EQ(colors(layer.styles(0)), (std::vector<uint32_t>{0xFFB00000, 0xFFB10000, 0xFFA00000, 0xFFA10000, 0xFFA20000}));
    const auto& geometry = layer.styles(0);
    const bool borders[] = {true, true, false, false, false};
    for (size_t i = 0; i < geometry.size(); ++i)
        EXPECT_EQ(dynamic_cast<render_style_base&>(*geometry[i]).is_border(), borders[i]) << i;
    EXPECT_EQ(typeid(*geometry[0]), typeid(render_style_line));
    EXPECT_EQ(typeid(*geometry[1]), typeid(render_style_polygon));
    ASSERT_EQ(layer.styles(1).size(), 1u);
    EXPECT_EQ(dynamic_cast<render_style_label&>(*layer.styles(1)[0]).box_color(), 0xFFB30000u);
}

TEST_F(layer_test, every_failure_has_its_message_and_leaves_the_layer_out) {
    struct row {
        const char* file;
        const char* message;
    };
    const row rows[] = {
        {"<l levels='0-16'/>", "renderer_layer::init_styles: error: no layer name."},
        {"<l name='' levels='0-16'/>", "renderer_layer::init_styles: error: no layer name."},
        {"<l name='x' levels='3-20'/>",
         "renderer_layer::init_styles: error: 'levels' attribute for root node is incorrect."},
        {"<l name='x' levels='0-17'/>",
         "renderer_layer::init_styles: error: 'levels' attribute for root node is incorrect."},
        {"<l name='x'/>", "renderer_layer::init_styles: error: 'levels' attribute for root node is incorrect."},
        {"<l name='x' levels='0-16'><style color='FF0000' levels='0' features='1'/></l>",
         "renderer_layer::init_styles: error: unknown render style ''."},
        {"<l name='x' levels='0-16'><style type='Line' color='FF0000' levels='0' features='1' width='1'/></l>",
         "renderer_layer::init_styles: error: unknown render style 'Line'."},
        {"<l name='x' levels='0-16'><style type='label' color='0' levels='0' features='1' align='Center' "
         "size='9' face='sans'/></l>",
         "renderer_layer::init_styles: error initializing style of type 'label'."},
        {"<l name='x' levels='0-16'><style type='dash' color='0' levels='0' features='1' width='1' dash='5'/></l>",
         "renderer_layer::init_styles: error initializing style of type 'dash'."},
        {"<l name='x' levels='0-16'><style type='line' color='0' levels='0' features='0-10' width='1'/></l>",
         "renderer_layer::init_styles: error initializing style of type 'line'."},
        {"<l name='x' levels='0-16'><style type='line' color='0' levels='0' features='1'/></l>",
         "renderer_layer::init_styles: error initializing style of type 'line'."},
        {"<l name='x' levels='0-16'><style type='polygon' color='0' levels='0' features='1' border_color='0' "
         "border_width='-3'/></l>",
         "renderer_layer::init_styles: error initializing style of type 'polygon'."},
        {"<l name='x' levels='0-16'", "renderer_layer: error parsing configuration file '"},
    };
    int n = 0;
    for (const row& r : rows) {
        std::string log = dir.file("trace" + std::to_string(n) + ".log");
        std::string name = "bad" + std::to_string(n++) + ".xml";
        trace_capture trace(log);
        renderer_layer layer;
        EXPECT_FALSE(load(layer, r.file, name)) << r.file;
        std::string text = trace.text();
        EXPECT_NE(text.find(r.message), std::string::npos) << r.file << "\n" << text;
        EXPECT_NE(text.find(dir.file(name)), std::string::npos) << "the file is named: " << text;
        // The layer stays empty.
        EXPECT_EQ(layer.get_name(), "");
        EXPECT_TRUE(layer.styles(0).empty());
        EXPECT_EQ(layer.get_version(), 0u);
    }
}

TEST_F(layer_test, load_refuses_missing_files_null_paths_and_locked_layers) {
    renderer_layer layer;
    EXPECT_FALSE(layer.load(nullptr));
    EXPECT_FALSE(layer.load(""));
    EXPECT_FALSE(layer.load(dir.file("none.xml").c_str()));
    // Nothing loaded: a reload has no file to look at.
    EXPECT_FALSE(layer.reload());

    put_file(dir.file("ok.xml"), "<l name='ok' levels='0'/>");
    ASSERT_TRUE(layer.lock());
    EXPECT_FALSE(layer.load(dir.file("ok.xml").c_str()));
    EXPECT_TRUE(layer.unlock());
    EXPECT_FALSE(layer.unlock());  // never below 0
    EXPECT_EQ(layer.get_lock_count(), 0u);
    EXPECT_TRUE(layer.load(dir.file("ok.xml").c_str()));
    EXPECT_EQ(layer.get_name(), "ok");
}

TEST_F(layer_test, a_relative_path_is_under_the_root) {
    put_file(session.root.file("rel.xml"), "<l name='rel' levels='0'/>");
    renderer_layer layer;
    ASSERT_TRUE(layer.load("rel.xml"));
    EXPECT_EQ(layer.get_name(), "rel");
    // The stored path is absolute, so a reload sees the same file.
    set_file_time(session.root.file("rel.xml"), 1000, 1);
    put_file(session.root.file("rel.xml"), "<l name='rel2' levels='0'/>");
    EXPECT_TRUE(layer.reload());
    EXPECT_EQ(layer.get_name(), "rel2");
}

TEST_F(layer_test, destroying_a_locked_layer_is_traced) {
    trace_capture trace(dir.file("trace.log"));
    {
        renderer_layer layer;
        ASSERT_TRUE(load(layer, "<l name='held' levels='0'/>", "held.xml"));
        layer.lock();
        layer.lock();
    }
    EXPECT_NE(trace.text().find("destroying renderer_layer '" + dir.file("held.xml") + "' with active lock counter 2"),
              std::string::npos)
        << trace.text();
}
