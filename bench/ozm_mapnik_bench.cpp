// ozm_mapnik_bench.cpp --
//
//     Whole map images of the ozm driver against Mapnik drawing the same
//     features with a comparable style sheet, per render level, as a
//     ratio (ours / Mapnik's milliseconds per 1024 x 768 image).
//
//     Two data sets: the demo town of the build and a generated town of
//     about 500,000 features (a grid of streets, buildings and house
//     numbers drawn with the demo's layer files). Ours is timed with warm
//     pages (one renderer drawing again and again) and cold (a freshly
//     loaded driver for every image). Mapnik gets the features of the
//     maps our renderer chose, exported as GeoJSON with their code, detail
//     class and label; srs longlat; the viewport's extents with
//     aspect_fix_mode RESPECT; buffer-size 64; one style sheet per level
//     holding the ozm styles visible there, filtered on code and detail
//     class, with the same DejaVu faces, sizes, spacing and the fast halo
//     rasteriser. Its datasources are built outside the timed loop.
//
//     The Mapnik side runs through /usr/bin/python3 when python3-mapnik is
//     installed (apt-get install python3-mapnik; used by this benchmark
//     alone). Without it the benchmark says so and exits with 0 after
//     timing ours. Both pictures of every case must agree on how much ink
//     (pixels away from the background) each 32 x 32 tile holds, for 90 %
//     of the tiles; otherwise the run exits with 1 and leaves both
//     pictures in its temporary folder.

#include <benchmark/benchmark.h>

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/gis/i_gis_viewport.h>
#include <kiv/image/i_image.h>
#include <kiv/image/image_lib.h>
#include <kiv/ozm/map_record.h>
#include <kiv/ozm/ozm_driver.h>
#include <kiv/ozm/ozm_renderer.h>
#include <kiv/ozm/render/geometry_styles.h>
#include <kiv/ozm/render/image_styles.h>
#include <kiv/ozm/render/label_style.h>
#include <kiv/ozm/render/render_context.h>
#include <kiv/ozm_writer/map_writer.h>

#include "ozm_town.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace kiv;

namespace {

constexpr unsigned image_w = 1024, image_h = 768;
const unsigned levels[] = {1, 3, 5, 7, 9, 12};

struct data_set {
    std::string name;
    std::string maps, render;  // folders
    double lat, lon;           // centre of the views
};

std::string work_dir;       // private temporary folder of the run
bool mapnik_ok = false;     // python3-mapnik answers
bool results_agree = true;  // every comparison passed
bool keep_work_dir = false; // a disagreement leaves the pictures

std::string hex(uint32_t rgba) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", rgba & 0xFF, (rgba >> 8) & 0xFF, (rgba >> 16) & 0xFF);
    return text;
}

double opacity(uint32_t rgba) {
    return ((rgba >> 24) & 0xFF) / 255.0;
}

// A town of about 500,000 features around the demo town's centre.
bool write_big_town(const std::string& path) {
    return kiv_bench::write_generated_town(path, 176);
}

auto_ptr_t<ozm_driver> start_driver(const data_set& set) {
    auto_ptr_t<ozm_driver> d(new ozm_driver);
    d->addref();
    if (!d->init(set.maps.c_str(), set.render.c_str()))
        d.reset();
    return d;
}

auto_ptr_t<i_gis_viewport> view(const data_set& set, unsigned level) {
    auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(image_w, image_h));
    vp->set_center(set.lat, set.lon, 1500u << level);
    return vp;
}

// The GeoJSON of every feature of `map`, written once per map.
std::string export_map(ozm_map* map) {
    static std::map<std::string, std::string> done;
    auto known = done.find(map->path());
    if (known != done.end())
        return known->second;
    std::string path = work_dir + "/map" + std::to_string(done.size()) + ".geojson";
    std::ofstream out(path);
    out << "{\"type\":\"FeatureCollection\",\"features\":[\n";
    ozm::feature_table table;
    const float min[2] = {-90, -180}, max[2] = {90, 180};
    map->query(min, max, 0, table);
    ozm::page_set pages;
    bool first = true;
    char number[64];
    for (auto& item : table) {
        ozm::feature_record rec;
        if (item.first == 0 || !resolve(item.second, pages, rec))
            continue;
        out << (first ? "" : ",\n") << "{\"type\":\"Feature\",\"properties\":{\"code\":" << int(item.first)
            << ",\"cls\":" << ((item.second.flags >> 1) & 3) << ",\"name\":\"";
        for (const char* p = rec.label != nullptr ? rec.label : ""; *p != '\0'; ++p) {
            if (*p == '"' || *p == '\\')
                out << '\\';
            if (uint8_t(*p) >= 0x20)
                out << *p;
        }
        out << "\"},\"geometry\":";
        bool closed = (item.second.flags & 0x80) != 0;
        if (rec.point_count == 0) {
            std::snprintf(number, sizeof number, "[%.7f,%.7f]", rec.lon, rec.lat);
            out << "{\"type\":\"Point\",\"coordinates\":" << number << "}}";
        } else {
            out << (closed ? "{\"type\":\"Polygon\",\"coordinates\":[[" : "{\"type\":\"LineString\",\"coordinates\":[");
            for (uint32_t i = 0; i < rec.point_count + (closed ? 1 : 0); ++i) {
                float la, lo;
                rec.point(i % rec.point_count, la, lo);
                std::snprintf(number, sizeof number, "%s[%.7f,%.7f]", i == 0 ? "" : ",", lo, la);
                out << number;
            }
            out << (closed ? "]]}}" : "]}}");
        }
        first = false;
    }
    out << "]}\n";
    done[map->path()] = path;
    return path;
}

// Family and style of a DejaVu file name, as Mapnik names faces.
std::string face_name(const std::string& file) {
    static const std::map<std::string, std::string> names = {
        {"DejaVuSans", "DejaVu Sans Book"},
        {"DejaVuSans-Bold", "DejaVu Sans Bold"},
        {"DejaVuSansCondensed-Bold", "DejaVu Sans Condensed Bold"},
        {"DejaVuSerif-Italic", "DejaVu Serif Italic"}};
    auto it = names.find(file);
    return it != names.end() ? it->second : "DejaVu Sans Book";
}

// One Mapnik rule for an ozm style at `level`; empty when it draws
// nothing there.
std::string rule_of(const render_style* style, unsigned level, unsigned detail_class, const std::string& images) {
    const auto* base = dynamic_cast<const render_style_base*>(style);
    if (base == nullptr || !base->is_visible(uint8_t(level)))
        return "";
    std::ostringstream r;
    r << "<Rule><Filter>([code] &gt;= " << int(base->first_code()) << ") and ([code] &lt;= " << int(base->last_code())
      << ") and ([cls] &gt;= " << detail_class << ")</Filter>";
    uint32_t color = base->color();
    if (const auto* label = dynamic_cast<const render_style_label*>(style)) {
        r << "<TextSymbolizer face-name=\"" << face_name(label->face()) << "\" size=\"" << label->size(level)
          << "\" fill=\"" << hex(color) << "\" halo-rasterizer=\"fast\"";
        if (label->halo_size() > 0)
            r << " halo-fill=\"" << hex(label->halo_color()) << "\" halo-radius=\"" << label->halo_size() << "\"";
        if (label->align() == render_style_label::align_center)
            r << " placement=\"point\" dy=\"" << label->offset() << "\"";
        else
            r << " placement=\"line\" spacing=\"" << std::max(label->label_spacing(), 1) << "\"";
        r << ">[name]</TextSymbolizer>";
    } else if (const auto* dash = dynamic_cast<const render_style_dash*>(style)) {
        std::ostringstream pattern;
        for (size_t i = 0; i + 1 < dash->dashes().size(); i += 2)
            pattern << (i == 0 ? "" : ",") << dash->dashes()[i] << "," << dash->dashes()[i + 1];
        r << "<LineSymbolizer stroke=\"" << hex(color) << "\" stroke-width=\"" << dash->width(level)
          << "\" stroke-dasharray=\"" << pattern.str() << "\"/>";
    } else if (const auto* line = dynamic_cast<const render_style_line*>(style)) {
        double width = line->width(level) + (base->is_border() ? 2 * base->border_width(level) : 0);
        r << "<LineSymbolizer stroke=\"" << hex(color) << "\" stroke-opacity=\"" << opacity(color)
          << "\" stroke-width=\"" << width << "\" stroke-linejoin=\"round\" stroke-linecap=\"round\"/>";
    } else if (dynamic_cast<const render_style_polygon*>(style) != nullptr) {
        if (base->is_border())
            r << "<LineSymbolizer stroke=\"" << hex(color) << "\" stroke-width=\"" << 2 * base->border_width(level)
              << "\"/>";
        else
            r << "<PolygonSymbolizer fill=\"" << hex(color) << "\" fill-opacity=\"" << opacity(color) << "\"/>";
    } else if (dynamic_cast<const render_style_polygon_image*>(style) != nullptr) {
        r << "<PolygonPatternSymbolizer file=\"" << images << "/hatch.png\"/>";
    } else if (dynamic_cast<const render_style_line_image*>(style) != nullptr) {
        r << "<LinePatternSymbolizer file=\"" << images << "/rail_ties.png\"/>";
    } else if (dynamic_cast<const render_style_image*>(style) != nullptr) {
        r << "<PointSymbolizer file=\"" << images << "/poi.png\"/>";
    } else {
        return "";
    }
    r << "</Rule>";
    return r.str();
}

// The style sheet of one image: the chosen layers in drawing order,
// geometry first; then the labels, the last layer first.
std::string write_style_sheet(const data_set& set, ozm_renderer& renderer, unsigned level, const std::string& path) {
    std::ostringstream xml;
    uint32_t bg = renderer.layers().empty() ? 0xFFFFFFFF : renderer.layers().front()->get_bg_color();
    xml << "<Map srs=\"+proj=longlat +datum=WGS84 +no_defs\" background-color=\"" << hex(bg)
        << "\" buffer-size=\"64\">\n";
    std::vector<std::string> sources;
    for (ozm_map* map : renderer.maps())
        sources.push_back(export_map(map));
    std::string images = set.render + "/images";
    // One Mapnik layer per map and pass, holding the styles in drawing
    // order, so each GeoJSON file is read twice, not once per style.
    std::vector<std::string> pass_styles[2];
    int n = 0;
    auto add = [&](renderer_layer* layer, unsigned pass) {
        for (const auto& style : layer->styles(pass)) {
            std::string rule = rule_of(style.get(), level, renderer.detail_class(), images);
            if (rule.empty())
                continue;
            std::string name = "s" + std::to_string(n++);
            xml << "<Style name=\"" << name << "\">" << rule << "</Style>\n";
            pass_styles[pass == 0 ? 0 : 1].push_back(name);
        }
    };
    for (renderer_layer* layer : renderer.layers())
        add(layer, 0);
    for (auto it = renderer.layers().rbegin(); it != renderer.layers().rend(); ++it)
        add(*it, 1);
    std::ostringstream layers;
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < sources.size(); ++i) {
            if (pass_styles[pass].empty())
                continue;
            layers << "<Layer name=\"p" << pass << "m" << i << "\" srs=\"+proj=longlat +datum=WGS84 +no_defs\">";
            for (const std::string& name : pass_styles[pass])
                layers << "<StyleName>" << name << "</StyleName>";
            layers << "<Datasource><Parameter name=\"type\">geojson</Parameter><Parameter name=\"file\">"
                   << sources[i] << "</Parameter></Datasource></Layer>\n";
        }
    }
    xml << layers.str() << "</Map>\n";
    std::ofstream out(path);
    out << xml.str();
    return path;
}

// Whether two pictures agree on how much ink (pixels away from the
// background) each 32 x 32 tile holds: within 20 percentage points for at
// least 90 % of the tiles. Tiles, not pixels, so that the half-pixel
// differences of two rasterisers in a dense street grid do not count.
bool pictures_agree(i_image* ours, i_image* theirs, uint32_t bg, double* agreement) {
    if (ours == nullptr || theirs == nullptr || ours->get_width() != theirs->get_width() ||
        ours->get_height() != theirs->get_height())
        return false;
    const uint8_t* a = static_cast<const uint8_t*>(ours->get_data());
    const uint8_t* b = static_cast<const uint8_t*>(theirs->get_data());
    unsigned w = ours->get_width(), h = ours->get_height();
    auto ink = [&](const uint8_t* p) {
        int d = std::abs(int(p[0]) - int(bg & 0xFF)) + std::abs(int(p[1]) - int((bg >> 8) & 0xFF)) +
                std::abs(int(p[2]) - int((bg >> 16) & 0xFF));
        return d > 30 ? 1 : 0;
    };
    const unsigned tile = 32;
    unsigned tiles = 0, same = 0;
    for (unsigned ty = 0; ty + tile <= h; ty += tile) {
        for (unsigned tx = 0; tx + tile <= w; tx += tile) {
            int ink_a = 0, ink_b = 0;
            for (unsigned y = ty; y < ty + tile; ++y) {
                for (unsigned x = tx; x < tx + tile; ++x) {
                    ink_a += ink(a + 4 * (size_t(y) * w + x));
                    ink_b += ink(b + 4 * (size_t(y) * w + x));
                }
            }
            ++tiles;
            same += std::abs(ink_a - ink_b) <= int(tile * tile / 5) ? 1 : 0;
        }
    }
    *agreement = tiles == 0 ? 0 : double(same) / double(tiles);
    return *agreement >= 0.9;
}

// Mapnik's milliseconds per image for one case, or a negative number.
double mapnik_ms(const data_set& set, unsigned level, auto_ptr_t<i_image>& picture) {
    auto_ptr_t<ozm_driver> driver = start_driver(set);
    auto_ptr_t<i_gis_viewport> vp = view(set, level);
    auto_ptr_t<i_gis_renderer> r(driver ? driver->create_renderer(vp, "", "") : nullptr);
    auto* renderer = dynamic_cast<ozm_renderer*>(r.get());
    geo_point min{0, 0}, max{0, 0};
    if (renderer == nullptr || !vp->get_geo_extents(min, max))
        return -1;
    std::string tag = set.name + "_" + std::to_string(level);
    std::string sheet = write_style_sheet(set, *renderer, level, work_dir + "/" + tag + ".xml");
    std::string png = work_dir + "/" + tag + ".png";
    char command[2048];
    std::snprintf(command, sizeof command, "/usr/bin/python3 '%s' '%s' %.9f %.9f %.9f %.9f %d '%s'", OZM_MAPNIK_SCRIPT,
                  sheet.c_str(), min.lon, min.lat, max.lon, max.lat, 5, png.c_str());
    FILE* pipe = popen(command, "r");
    if (pipe == nullptr)
        return -1;
    double ms = -1;
    if (std::fscanf(pipe, "%lf", &ms) != 1)
        ms = -1;
    pclose(pipe);
    picture.reset(kiv_image_load(png.c_str()));
    return picture ? ms : -1;
}

void render_case(benchmark::State& state, const data_set& set, unsigned level, bool cold) {
    auto_ptr_t<ozm_driver> driver = start_driver(set);
    auto_ptr_t<i_gis_viewport> vp = view(set, level);
    auto_ptr_t<i_gis_renderer> renderer(driver ? driver->create_renderer(vp, "", "") : nullptr);
    if (!renderer) {
        state.SkipWithError("no renderer");
        return;
    }
    auto_ptr_t<i_image> last;
    double total_ms = 0;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            renderer.reset();
            driver = start_driver(set);
            renderer.reset(driver->create_renderer(vp, "", ""));
            state.ResumeTiming();
        }
        auto start = std::chrono::steady_clock::now();
        last.reset(renderer->render_image(false));
        total_ms += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(last.get());
    }
    double ours = total_ms / double(state.iterations());
    state.counters["ours_ms"] = ours;
    if (!mapnik_ok)
        return;
    auto_ptr_t<i_image> theirs;
    double ms = mapnik_ms(set, level, theirs);
    if (ms <= 0) {
        state.SkipWithError("Mapnik drew nothing");
        results_agree = false;
        return;
    }
    double agreement = 0;
    uint32_t bg = dynamic_cast<ozm_renderer&>(*renderer).layers().front()->get_bg_color();
    if (!pictures_agree(last, theirs, bg, &agreement)) {
        results_agree = false;
        // Both pictures stay for a look.
        std::string tag = work_dir + "/" + set.name + "_" + std::to_string(level);
        last->save_image((tag + "_ours.png").c_str(), image_format_png, 100);
        std::fprintf(stderr, "%s: ours and Mapnik's pictures agree on %.1f %% of the tiles; both are in %s\n",
                     tag.c_str(), 100 * agreement, work_dir.c_str());
        keep_work_dir = true;
        state.SkipWithError("the pictures disagree");
    }
    state.counters["mapnik_ms"] = ms;
    state.counters["ratio"] = ours / ms;
    state.counters["agree"] = agreement;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    char tmpl[] = "/tmp/ozm_mapnik_bench_XXXXXX";
    if (mkdtemp(tmpl) == nullptr)
        return 1;
    work_dir = tmpl;
    kiv_set_env("KIV_FONT_PATH", "/usr/share/fonts/truetype/dejavu");
    kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", OZM_DEMO_DIR "/render");
    if (!kiv_initialize())
        return 1;
    int rc = 0;
    {
        mapnik_ok = std::system("/usr/bin/python3 -c 'import mapnik' >/dev/null 2>&1") == 0;
        if (!mapnik_ok)
            std::fprintf(stderr, "python3-mapnik is not installed (apt-get install python3-mapnik): "
                                 "only our side is timed\n");
        std::string big_maps = work_dir + "/big";
        mkdir(big_maps.c_str(), 0700);
        if (!write_big_town(big_maps + "/big.ozm")) {
            std::fprintf(stderr, "cannot write the big town\n");
            rc = 1;
        }
        static std::vector<data_set> sets = {{"demo", OZM_DEMO_DIR "/maps", OZM_DEMO_DIR "/render", 53.90, 27.552},
                                             {"big", big_maps, OZM_DEMO_DIR "/render", 53.90, 27.55}};
        for (const data_set& set : sets) {
            for (unsigned level : levels) {
                if (set.name == "big" && level > 8)
                    continue;  // the big town has no overview map
                for (bool cold : {false, true}) {
                    std::string name = "render/" + set.name + "/level_" + std::to_string(level) + (cold ? "/cold" : "/warm");
                    benchmark::RegisterBenchmark(name.c_str(), [&set, level, cold](benchmark::State& st) {
                        render_case(st, set, level, cold);
                    })->Unit(benchmark::kMillisecond)->Iterations(cold ? 3 : 10);
                }
            }
        }
        if (rc == 0)
            benchmark::RunSpecifiedBenchmarks();
    }
    kiv_terminate();
    if (!keep_work_dir)
        std::system(("rm -rf '" + work_dir + "'").c_str());
    if (!results_agree) {
        std::fprintf(stderr, "ours and Mapnik's pictures disagree\n");
        return 1;
    }
    return rc;
}
