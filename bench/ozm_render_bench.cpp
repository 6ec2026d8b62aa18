// ozm_render_bench.cpp --
//
//     Drawing a dense map image through the render styles (100,000 line
//     segments in one line style, 10,000 "center" labels with a halo)
//     against the same work done by a direct AGG and FreeType pipeline
//     written here: one path stroked and rasterised, each label measured
//     and loaded glyph by glyph under the face transform, its halo
//     blended square by square. Both sides must give the same pixels.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_xml.h>
#include <kiv/core/env.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>
#include <kiv/core/utf8.h>
#include <kiv/gis/i_gis_viewport.h>
#include <kiv/image/font_manager.h>
#include <kiv/ozm_writer/map_writer.h>

#include "map/ozm_map.h"
#include "plain_viewport.h"
#include "ratio_main.h"
#include "render/render_context.h"
#include "render/renderer_layer.h"

#include <agg_conv_stroke.h>
#include <agg_rasterizer_scanline_aa.h>
#include <agg_rasterizer_sl_clip.h>
#include <agg_renderer_scanline.h>
#include <agg_scanline_p.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace w = kiv::ozm_writer;

constexpr unsigned image_w = 1024, image_h = 768;
using kiv_test::px_per_degree;
constexpr unsigned label_count = 10000;
constexpr unsigned line_count = 1000, segments_per_line = 100;
constexpr unsigned label_size = 11;

struct label_at {
    int x, y;
    std::string text;
};

struct fixture {
    std::string dir;
    kiv::ozm_map* map = nullptr;
    kiv::i_gis_viewport* viewport = nullptr;
    kiv::ozm::feature_table table;
    kiv::renderer_layer::config styles;
    // The reference's input, in the order the styles meet the features.
    std::vector<std::vector<std::pair<int, int>>> lines;
    std::vector<label_at> labels;
    kiv::font_manager fonts;
    bool ok = false;

    fixture() {
        dir = kiv_test::make_temp_folder("ozm_render_bench_");
        if (dir.empty())
            return;
        std::mt19937 rng(23);
        std::uniform_int_distribution<int> ux(0, image_w - 1), uy(0, image_h - 1), step(-12, 12);
        w::map_info info;
        info.name = "Bench";
        w::map_writer mw(info);
        for (unsigned i = 0; i < line_count; ++i) {
            w::feature f;
            f.code = 1;
            int x = ux(rng), y = uy(rng);
            for (unsigned s = 0; s <= segments_per_line; ++s) {
                f.points.push_back({float(y / px_per_degree), float(x / px_per_degree)});
                x = std::min(int(image_w) - 1, std::max(0, x + step(rng)));
                y = std::min(int(image_h) - 1, std::max(0, y + step(rng)));
            }
            f.anchor = f.points.front();
            mw.add_feature(f);
        }
        for (unsigned i = 0; i < label_count; ++i) {
            w::feature f;
            f.code = 2;
            f.flags = 0x01;
            f.anchor = {float(uy(rng) / px_per_degree), float(ux(rng) / px_per_degree)};
            f.label = "Label " + std::to_string(i % 97);
            mw.add_feature(f);
        }
        std::string error;
        std::string path = dir + "/bench.ozm";
        if (!mw.write(path, error))
            return;
        map = new kiv::ozm_map;
        map->addref();
        kiv::string error_text;
        if (!map->load(path.c_str(), &error_text, 1, false))
            return;
        const float min[2] = {-90, -180}, max[2] = {90, 180};
        map->query(min, max, 0, table);
        viewport = kiv_test::new_plain_viewport(image_w, image_h);
        // The reference draws what the styles will meet, in their order.
        kiv::ozm::page_set pages;
        for (auto& item : table) {
            kiv::ozm::feature_record rec;
            if (!kiv::resolve(item.second, pages, rec))
                return;
            if (item.first == 1) {
                std::vector<std::pair<int, int>> pts;
                for (uint32_t i = 0; i < rec.point_count; ++i) {
                    float lat, lon;
                    rec.point(i, lat, lon);
                    kiv::view_point vp;
                    viewport->lc_to_dp(lat, lon, vp);
                    pts.emplace_back(vp.x, vp.y);
                }
                lines.push_back(pts);
            } else {
                kiv::view_point vp;
                viewport->lc_to_dp(rec.lat, rec.lon, vp);
                labels.push_back(label_at{vp.x, vp.y, rec.label});
            }
        }
        auto_ptr_t<kiv::i_object> svc(kiv_core()->get_service("svc_xml"));
        kiv::i_xml_proc* xml = kiv_cast_i_xml_proc(svc);
        if (xml == nullptr)
            return;
        auto_ptr_t<kiv::i_xml_node> root(xml->parse_text(
            "<layer name='bench' levels='0-16'>"
            "<style type='line' color='336699' levels='0-16' features='1' width='2'/>"
            "<style type='label' color='000000' levels='0-16' features='2' size='11' face='DejaVuSans' "
            "align='center' halo_size='1' halo_color='FFFFFF'/>"
            "</layer>"));
        ok = root && kiv::renderer_layer::init_styles(root, styles) && fonts.init();
    }
    ~fixture() {
        table.clear();
        if (viewport != nullptr)
            viewport->release();
        if (map != nullptr)
            map->release();
        if (!dir.empty()) {
            std::remove((dir + "/bench.ozm").c_str());
            rmdir(dir.c_str());
        }
    }
};

fixture* data = nullptr;

typedef agg::rasterizer_scanline_aa<agg::rasterizer_sl_clip_dbl> rasterizer;

void ours(std::vector<uint32_t>& pixels) {
    std::fill(pixels.begin(), pixels.end(), 0xFFFFFFFFu);
    agg::rendering_buffer buf(reinterpret_cast<uint8_t*>(pixels.data()), image_w, image_h, int(image_w * 4));
    kiv::ozm_pixfmt pixf(buf);
    kiv::ozm_renderer_base ren(pixf);
    kiv::render_context ctx(ren, 0, 0, &data->fonts);
    kiv::ozm::page_set pages;
    for (auto& s : data->styles.geometry)
        s->render(data->table, pages, ctx, data->viewport);
    for (auto& s : data->styles.labels)
        s->render(data->table, pages, ctx, data->viewport);
}

// ---- the reference ----

inline void blend(uint8_t* p, const uint8_t c[4], unsigned cover) {
    if (cover == 0)
        return;
    if (cover == 255 && c[3] == 255) {
        std::memcpy(p, c, 4);
        return;
    }
    const int a = int((cover + 1) * c[3] / 256);
    for (int i = 0; i < 3; ++i)
        p[i] = uint8_t(p[i] + (int(c[i]) - int(p[i])) * a / 256);
    p[3] = uint8_t(p[3] + a - (p[3] * a + 255) / 256);
}

void reference(std::vector<uint32_t>& pixels) {
    std::fill(pixels.begin(), pixels.end(), 0xFFFFFFFFu);
    agg::rendering_buffer buf(reinterpret_cast<uint8_t*>(pixels.data()), image_w, image_h, int(image_w * 4));
    kiv::ozm_pixfmt pixf(buf);
    kiv::ozm_renderer_base ren(pixf);
    agg::path_storage path;
    for (const auto& line : data->lines) {
        path.move_to(line[0].first, line[0].second);
        for (size_t i = 1; i < line.size(); ++i)
            path.line_to(line[i].first, line[i].second);
    }
    agg::conv_stroke<agg::path_storage> stroke(path);
    stroke.width(2);
    stroke.line_join(agg::round_join);
    stroke.line_cap(agg::round_cap);
    stroke.miter_limit(4.0);
    rasterizer ras(4096);
    agg::scanline_p8 sl;
    ras.clip_box(-1, -1, image_w + 1, image_h + 1);
    ras.add_path(stroke);
    agg::render_scanlines_aa_solid(ras, sl, ren, agg::rgba8(0x33, 0x66, 0x99, 255));

    std::unique_ptr<kiv::font_face> face(data->fonts.create_face("DejaVuSans"));
    face->set_pixel_size(label_size);
    FT_Face ft = face->get_face();
    kiv::placement_tree tree;
    const uint8_t text_color[4] = {0, 0, 0, 255}, halo_color[4] = {255, 255, 255, 255};
    const int halo = 1;
    for (const label_at& l : data->labels) {
        // Measure, loading every glyph.
        std::vector<std::pair<FT_UInt, double>> glyphs;
        double width = 0, height = 0;
        for (const char* p = l.text.c_str(); *p != 0;) {
            uint32_t code;
            const char* next;
            kiv_get_unicode_char(p, &code, &next);
            p = next;
            FT_Set_Transform(ft, nullptr, nullptr);
            FT_UInt index = FT_Get_Char_Index(ft, code);
            if (FT_Load_Glyph(ft, index, FT_LOAD_NO_HINTING) != 0)
                continue;
            FT_Glyph g;
            FT_Get_Glyph(ft->glyph, &g);
            FT_BBox box;
            FT_Glyph_Get_CBox(g, FT_GLYPH_BBOX_PIXELS, &box);
            FT_Done_Glyph(g);
            double adv = double(ft->glyph->advance.x >> 6);
            glyphs.emplace_back(index, adv);
            width += adv;
            height = std::max(height, double(box.yMax - box.yMin));
        }
        const double x0 = l.x - width / 2, x1 = l.x + width / 2;
        const double y0 = l.y - height / 2 + 1, y1 = l.y + height / 2 + 1;
        if (!tree.is_free(float(x0 - 1), float(y0 - 1), float(x1 + 1), float(y1 + 1)))
            continue;
        tree.add(float(x0 - 1), float(y0 - 1), float(x1 + 1), float(y1 + 1));
        if (x1 < -5 || y1 < -5 || y0 > image_h + 5.0 || x0 > image_w + 5.0)
            continue;
        // Load each glyph under its transform and rasterise it.
        std::vector<FT_Glyph> bitmaps;
        double pen = 0;
        const double baseline = l.y + height / 2 - 1;
        for (const auto& g : glyphs) {
            FT_Matrix m = {65536, 0, 0, 65536};
            FT_Vector d = {FT_Pos(std::lround((x0 + pen) * 64)), FT_Pos(std::lround((image_h - baseline) * 64))};
            pen += g.second;
            FT_Set_Transform(ft, &m, &d);
            FT_Glyph glyph;
            if (FT_Load_Glyph(ft, g.first, FT_LOAD_NO_HINTING) != 0 || FT_Get_Glyph(ft->glyph, &glyph) != 0)
                continue;
            if (FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, nullptr, 1) != 0) {
                FT_Done_Glyph(glyph);
                continue;
            }
            bitmaps.push_back(glyph);
        }
        FT_Set_Transform(ft, nullptr, nullptr);
        for (int pass = 0; pass < 2; ++pass) {
            for (FT_Glyph glyph : bitmaps) {
                FT_BitmapGlyph bg = reinterpret_cast<FT_BitmapGlyph>(glyph);
                const FT_Bitmap& bm = bg->bitmap;
                for (unsigned row = 0; row < bm.rows; ++row) {
                    for (unsigned col = 0; col < bm.width; ++col) {
                        unsigned c = bm.buffer[row * bm.pitch + col];
                        int x = bg->left + int(col), y = int(image_h) - bg->top + int(row);
                        if (c == 0)
                            continue;
                        if (pass == 1) {
                            if (x >= 0 && y >= 0 && x < int(image_w) && y < int(image_h))
                                blend(pixf.row_ptr(y) + 4 * x, text_color, c);
                            continue;
                        }
                        for (int yy = y - halo; yy <= y + halo; ++yy)
                            for (int xx = x - halo; xx <= x + halo; ++xx)
                                if (xx >= 0 && yy >= 0 && xx < int(image_w) && yy < int(image_h))
                                    blend(pixf.row_ptr(yy) + 4 * xx, halo_color, c);
                    }
                }
            }
        }
        for (FT_Glyph glyph : bitmaps)
            FT_Done_Glyph(glyph);
    }
}

void bm_ours(benchmark::State& state) {
    std::vector<uint32_t> pixels(size_t(image_w) * image_h);
    for (auto _ : state)
        ours(pixels);
}

void bm_reference(benchmark::State& state) {
    std::vector<uint32_t> pixels(size_t(image_w) * image_h);
    for (auto _ : state)
        reference(pixels);
}

BENCHMARK(bm_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_reference)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!kiv_initialize())
        return 1;
    kiv_set_env("KIV_FONT_PATH", "/usr/share/fonts/truetype/dejavu");
    bool same = false;
    {
        fixture f;
        data = &f;
        if (!f.ok) {
            std::fprintf(stderr, "ozm_render_bench: fixture failed\n");
        } else {
            kiv_bench::run_with_ratios(
                argc, argv, {{"10,000 labels + 100,000 segments: styles vs direct AGG/FreeType", "bm_ours",
                              "bm_reference"}},
                [&] {
                    std::vector<uint32_t> a(size_t(image_w) * image_h), b(a.size());
                    ours(a);
                    reference(b);
                    size_t differ = 0, ink = 0;
                    for (size_t i = 0; i < a.size(); ++i) {
                        differ += a[i] != b[i];
                        ink += a[i] != 0xFFFFFFFFu;
                    }
                    same = differ == 0 && ink > 0;
                    std::printf("same pixels: %s (%zu differ, %zu drawn)\n", same ? "yes" : "NO", differ, ink);
                });
        }
        data = nullptr;
    }
    kiv_terminate();
    return same ? 0 : 1;
}
