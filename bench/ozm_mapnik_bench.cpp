// ozm_mapnik_bench.cpp --
//
//     Whole map images of the ozm driver against Mapnik drawing the same
//     features with a comparable style sheet, per render level, as a
//     ratio (ours / Mapnik's milliseconds per 1024 x 768 image).
//
//     Two data sets: the demo town of the build (levels 1 to 12, one
//     round) and a generated town of just over 500,000 features (a grid
//     of streets, buildings and house numbers drawn with the demo's layer
//     files), levels 1 to 9 (past which it draws nothing) in several
//     rounds, every level once a round (OZM_BENCH_ROUNDS, 3 by default).
//     Ours is timed warm (one renderer drawing again and again, 8 images
//     before Mapnik's and 8 after, median) and cold (a freshly started
//     driver for every image, so every page is read from the file and the
//     fonts are opened again; median of 3). The core's library is loaded
//     as the viewer loads it, so its worker pool runs and the renderer
//     sweeps the rows of large fills on the CPUs the process may use
//     (taskset limits them); Mapnik draws one image on one thread. Per level the ratio of every round is printed, then the
//     worst round and the median round: the worst is the one that counts,
//     since it is what a user on a busy machine meets.
//
//     Mapnik gets what a Mapnik user's style sheet would give it: the
//     maps our renderer chose, every ozm style of the chosen layers as a
//     Mapnik layer of its own reading a GeoJSON datasource of only that
//     style's features (its codes, at least the view's detail class),
//     shown between the minimum and maximum scale denominators of the
//     style's level range; srs longlat, the viewport's extents with
//     aspect_fix_mode RESPECT, buffer-size 64, the same DejaVu faces,
//     sizes and label spacing (Mapnik, like ours, places floor(length /
//     (width + spacing)) copies, at least one, so a spacing of 0 is one
//     copy) and the fast halo rasteriser. Its datasources are built
//     outside the timed loop; only mapnik.render is timed (median of 15
//     after one warm-up).
//
//     Before a ratio counts: both pictures must agree on how much ink
//     (pixels away from the background) each 32 x 32 tile holds for 90 %
//     of the tiles (the total ink of both is printed too), and Mapnik's
//     visible layers must read no more features in the view than ours.
//     A ratio below 0.2 or above 5 gets a note saying why. A failed check
//     makes the run exit with 1 and leaves both pictures in its
//     temporary folder.
//
//     The Mapnik side runs through /usr/bin/python3 when python3-mapnik is
//     installed (apt-get install python3-mapnik; used by this benchmark
//     alone). Without it the benchmark says so and exits with 0 after
//     timing ours. OZM_BENCH_ONLY=big (or demo, or big:5) runs one data
//     set or one case; OZM_BENCH_PROFILE=N then draws N warm images of
//     each case and nothing else (for perf record), printing their median
//     and worst time (to compare two builds); OZM_BENCH_SAVE=DIR
//     keeps our picture of every case there (to compare two builds).

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/process.h>
#include <kiv/gis/i_gis_viewport.h>
#include <kiv/image/i_image.h>
#include <kiv/image/image_lib.h>
#include <kiv/ozm_writer/map_writer.h>

#include "driver/ozm_driver.h"
#include "driver/ozm_renderer.h"
#include "format/map_record.h"
#include "ozm_town.h"
#include "ratio_main.h"
#include "render/geometry_styles.h"
#include "render/image_styles.h"
#include "render/label_style.h"
#include "render/render_context.h"

#include <algorithm>
#include <chrono>
#include <iterator>
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

struct data_set {
    std::string name;
    std::string maps, render;  // folders
    double lat, lon;           // centre of the views
};

std::string work_dir;       // private temporary folder of the run
bool mapnik_ok = false;     // python3-mapnik answers
bool keep_work_dir = false; // a disagreement leaves the pictures

std::string hex(uint32_t rgba) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", rgba & 0xFF, (rgba >> 8) & 0xFF, (rgba >> 16) & 0xFF);
    return text;
}

double opacity(uint32_t rgba) {
    return ((rgba >> 24) & 0xFF) / 255.0;
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

// One feature of a map as Mapnik gets it: its code, detail class, box
// (degrees) and its GeoJSON text.
struct exported_feature {
    uint8_t code;
    uint8_t cls;
    float min_lat, min_lon, max_lat, max_lon;
    std::string json;
};

// Every drawn feature of `map` (coverage areas left out), decoded once
// per map.
const std::vector<exported_feature>& features_of(ozm_map* map) {
    static std::map<std::string, std::vector<exported_feature>> done;
    auto known = done.find(map->path());
    if (known != done.end())
        return known->second;
    std::vector<exported_feature>& list = done[map->path()];
    ozm::feature_table table;
    const float min[2] = {-90, -180}, max[2] = {90, 180};
    map->query(min, max, 0, table);
    ozm::page_set pages;
    char number[64];
    for (auto& item : table) {
        ozm::feature_record rec;
        if (item.first == 0 || !resolve(item.second, pages, rec))
            continue;
        exported_feature f{item.first, uint8_t((item.second.flags >> 1) & 3), rec.lat, rec.lon, rec.lat, rec.lon, ""};
        std::ostringstream out;
        out << "{\"type\":\"Feature\",\"properties\":{\"name\":\"";
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
                f.min_lat = std::min(f.min_lat, la);
                f.max_lat = std::max(f.max_lat, la);
                f.min_lon = std::min(f.min_lon, lo);
                f.max_lon = std::max(f.max_lon, lo);
                std::snprintf(number, sizeof number, "%s[%.7f,%.7f]", i == 0 ? "" : ",", lo, la);
                out << number;
            }
            out << (closed ? "]]}}" : "]}}");
        }
        f.json = out.str();
        list.push_back(std::move(f));
    }
    return list;
}

// The GeoJSON file of the features of `map` with a code in [first, last]
// and a detail class of at least `cls`: what one Mapnik layer reads.
// Written once per map, code range and class.
std::string export_features(ozm_map* map, uint8_t first, uint8_t last, unsigned cls) {
    static std::map<std::string, std::string> done;
    std::string key = std::string(map->path()) + "|" + std::to_string(first) + "-" + std::to_string(last) + "|" + std::to_string(cls);
    auto known = done.find(key);
    if (known != done.end())
        return known->second;
    std::string path = work_dir + "/source" + std::to_string(done.size()) + ".geojson";
    std::ofstream out(path);
    out << "{\"type\":\"FeatureCollection\",\"features\":[\n";
    bool first_out = true;
    for (const exported_feature& f : features_of(map)) {
        if (f.code < first || f.code > last || f.cls < cls)
            continue;
        out << (first_out ? "" : ",\n") << f.json;
        first_out = false;
    }
    out << "]}\n";
    done[key] = path;
    return path;
}

// Features of `map` a layer for codes [first, last] and class `cls` finds
// in the box.
unsigned features_in_box(ozm_map* map, uint8_t first, uint8_t last, unsigned cls, const geo_point& min,
                         const geo_point& max) {
    unsigned n = 0;
    for (const exported_feature& f : features_of(map))
        n += f.code >= first && f.code <= last && f.cls >= cls && f.max_lat >= min.lat && f.min_lat <= max.lat &&
             f.max_lon >= min.lon && f.min_lon <= max.lon;
    return n;
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

// One Mapnik rule for an ozm style at `level` (its widths and sizes
// there); empty for a style Mapnik has no symbolizer for. The layer's
// datasource holds only the style's features, so the rule needs no
// filter.
std::string rule_of(const render_style* style, unsigned level, const std::string& images) {
    const auto* base = dynamic_cast<const render_style_base*>(style);
    if (base == nullptr)
        return "";
    std::ostringstream r;
    r << "<Rule>";
    uint32_t color = base->color();
    if (const auto* label = dynamic_cast<const render_style_label*>(style)) {
        r << "<TextSymbolizer face-name=\"" << face_name(label->face()) << "\" size=\"" << label->size(level)
          << "\" fill=\"" << hex(color) << "\" halo-rasterizer=\"fast\"";
        if (label->halo_size() > 0)
            r << " halo-fill=\"" << hex(label->halo_color()) << "\" halo-radius=\"" << label->halo_size() << "\"";
        // Both place floor(length / (text width + spacing)) copies along
        // a line, at least one; a spacing of 0 means one copy.
        if (label->align() == render_style_label::align_center)
            r << " placement=\"point\" dy=\"" << label->offset() << "\"";
        else
            r << " placement=\"line\" spacing=\"" << std::max(label->label_spacing(), 0) << "\"";
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

// Mapnik's own scale denominator for the view over these extents, or 0.
double mapnik_scale_denominator(const geo_point& min, const geo_point& max) {
    char command[1024];
    std::snprintf(command, sizeof command, "/usr/bin/python3 '%s' --scale %.9f %.9f %.9f %.9f", OZM_MAPNIK_SCRIPT,
                  min.lon, min.lat, max.lon, max.lat);
    FILE* pipe = popen(command, "r");
    if (pipe == nullptr)
        return 0;
    double scale = 0;
    if (std::fscanf(pipe, "%lf", &scale) != 1)
        scale = 0;
    pclose(pipe);
    return scale;
}

// The style sheet of one image, as a Mapnik user would write it: every
// ozm style of the chosen layers is a Mapnik layer of its own, reading a
// datasource of only its features (its codes, at least the image's
// detail class) and shown only between the scale denominators of its
// level range; geometry first, in drawing order, then the labels, the
// last layer first. `features` gets the features the layers visible at
// `level` find in the box `min`-`max`.
std::string write_style_sheet(const data_set& set, ozm_renderer& renderer, unsigned level, double level_scale,
                              const geo_point& min, const geo_point& max, const std::string& path,
                              unsigned& features) {
    std::ostringstream xml, layers;
    uint32_t bg = renderer.layers().empty() ? 0xFFFFFFFF : renderer.layers().front()->get_bg_color();
    xml << "<Map srs=\"+proj=longlat +datum=WGS84 +no_defs\" background-color=\"" << hex(bg)
        << "\" buffer-size=\"64\">\n";
    std::string images = set.render + "/images";
    // Level k holds the scales from halfway (geometrically) between
    // levels k-1 and k to halfway between k and k+1.
    auto scale_of = [&](double k) { return level_scale * std::pow(2.0, k - double(level)); };
    features = 0;
    int n = 0;
    auto add = [&](renderer_layer* layer, unsigned pass) {
        for (const auto& style : layer->styles(pass)) {
            const auto* base = dynamic_cast<const render_style_base*>(style.get());
            std::string rule = base != nullptr ? rule_of(style.get(), level, images) : "";
            if (rule.empty())
                continue;
            // The levels both the style and its layer show.
            unsigned first = 17, last = 0;
            for (unsigned k = base->first_level(); k <= base->last_level(); ++k) {
                if (layer->is_visible(uint8_t(k))) {
                    first = std::min(first, k);
                    last = std::max(last, k);
                }
            }
            if (first > last)
                continue;
            std::string name = "s" + std::to_string(n++);
            xml << "<Style name=\"" << name << "\">" << rule << "</Style>\n";
            bool visible = first <= level && level <= last;
            for (ozm_map* map : renderer.maps()) {
                std::string source = export_features(map, base->first_code(), base->last_code(), renderer.detail_class());
                if (visible)
                    features += features_in_box(map, base->first_code(), base->last_code(), renderer.detail_class(),
                                                min, max);
                layers << "<Layer name=\"" << name << "_" << n << "\" srs=\"+proj=longlat +datum=WGS84 +no_defs\"";
                if (first > 0)
                    layers << " minimum-scale-denominator=\"" << scale_of(first - 0.5) << "\"";
                if (last < 16)
                    layers << " maximum-scale-denominator=\"" << scale_of(last + 0.5) << "\"";
                layers << "><StyleName>" << name << "</StyleName><Datasource><Parameter name=\"type\">geojson"
                       << "</Parameter><Parameter name=\"file\">" << source << "</Parameter></Datasource></Layer>\n";
            }
        }
    };
    for (renderer_layer* layer : renderer.layers())
        add(layer, 0);
    for (auto it = renderer.layers().rbegin(); it != renderer.layers().rend(); ++it)
        add(*it, 1);
    xml << layers.str() << "</Map>\n";
    std::ofstream out(path);
    out << xml.str();
    return path;
}

// Pixels away from the background (sum of the channel differences above
// 30).
bool inked(const uint8_t* p, uint32_t bg) {
    int d = std::abs(int(p[0]) - int(bg & 0xFF)) + std::abs(int(p[1]) - int((bg >> 8) & 0xFF)) +
            std::abs(int(p[2]) - int((bg >> 16) & 0xFF));
    return d > 30;
}

// Whether two pictures agree on how much ink each 32 x 32 tile holds:
// within 20 percentage points for at least 90 % of the tiles. Tiles, not
// pixels, so that the half-pixel differences of two rasterisers in a
// dense street grid do not count. `ink_ratio` gets ours over theirs for
// the whole picture.
bool pictures_agree(i_image* ours, i_image* theirs, uint32_t bg, double* agreement, double* ink_ratio) {
    if (ours == nullptr || theirs == nullptr || ours->get_width() != theirs->get_width() ||
        ours->get_height() != theirs->get_height())
        return false;
    const uint8_t* a = static_cast<const uint8_t*>(ours->get_data());
    const uint8_t* b = static_cast<const uint8_t*>(theirs->get_data());
    unsigned w = ours->get_width(), h = ours->get_height();
    const unsigned tile = 32;
    unsigned tiles = 0, same = 0;
    uint64_t total_a = 0, total_b = 0;
    for (unsigned ty = 0; ty + tile <= h; ty += tile) {
        for (unsigned tx = 0; tx + tile <= w; tx += tile) {
            int ink_a = 0, ink_b = 0;
            for (unsigned y = ty; y < ty + tile; ++y) {
                for (unsigned x = tx; x < tx + tile; ++x) {
                    ink_a += inked(a + 4 * (size_t(y) * w + x), bg);
                    ink_b += inked(b + 4 * (size_t(y) * w + x), bg);
                }
            }
            ++tiles;
            total_a += unsigned(ink_a);
            total_b += unsigned(ink_b);
            same += std::abs(ink_a - ink_b) <= int(tile * tile / 5) ? 1 : 0;
        }
    }
    *agreement = tiles == 0 ? 0 : double(same) / double(tiles);
    *ink_ratio = total_b == 0 ? (total_a == 0 ? 1 : 1e9) : double(total_a) / double(total_b);
    return *agreement >= 0.9;
}

// What Mapnik did for one case.
struct mapnik_result {
    double ms = -1;        // per image; negative when it drew nothing
    double scale = 0;      // its scale denominator while drawing
    unsigned features = 0; // features its visible layers find in the view
    double empty_ms = -1;  // per image of the same sheet over a view without features
};

// Mapnik's side of one case: the style sheet, then its timing.
mapnik_result run_mapnik(const data_set& set, ozm_renderer& renderer, i_gis_viewport* vp, unsigned level,
                         auto_ptr_t<i_image>& picture) {
    mapnik_result out;
    geo_point min{0, 0}, max{0, 0};
    if (!vp->get_geo_extents(min, max))
        return out;
    double expected_scale = mapnik_scale_denominator(min, max);
    if (expected_scale <= 0)
        return out;
    // The box Mapnik reads: the view and its 64-pixel buffer.
    double mx = (max.lon - min.lon) * 64 / image_w, my = (max.lat - min.lat) * 64 / image_h;
    geo_point bmin{min.lat - my, min.lon - mx}, bmax{max.lat + my, max.lon + mx};
    std::string tag = set.name + "_" + std::to_string(level);
    std::string sheet = write_style_sheet(set, renderer, level, expected_scale, bmin, bmax,
                                          work_dir + "/" + tag + ".xml", out.features);
    std::string png = work_dir + "/" + tag + ".png";
    char command[2048];
    std::snprintf(command, sizeof command, "/usr/bin/python3 '%s' '%s' %.9f %.9f %.9f %.9f %d '%s'", OZM_MAPNIK_SCRIPT,
                  sheet.c_str(), min.lon, min.lat, max.lon, max.lat, 15, png.c_str());
    FILE* pipe = popen(command, "r");
    if (pipe == nullptr)
        return out;
    if (std::fscanf(pipe, "%lf %lf", &out.ms, &out.scale) != 2)
        out.ms = -1;
    pclose(pipe);
    picture.reset(kiv_image_load(png.c_str()));
    if (!picture)
        out.ms = -1;
    // The same sheet over a view 10 degrees south, where no feature lies:
    // what Mapnik spends on an image whatever it holds.
    std::snprintf(command, sizeof command, "/usr/bin/python3 '%s' '%s' %.9f %.9f %.9f %.9f %d '%s'", OZM_MAPNIK_SCRIPT,
                  sheet.c_str(), min.lon, min.lat - 10, max.lon, max.lat - 10, 7, (png + ".empty.png").c_str());
    pipe = popen(command, "r");
    double unused = 0;
    if (pipe != nullptr) {
        if (std::fscanf(pipe, "%lf %lf", &out.empty_ms, &unused) != 2)
            out.empty_ms = -1;
        pclose(pipe);
    }
    // The layers' scale ranges were computed for this scale.
    if (out.ms > 0 && std::fabs(out.scale / expected_scale - 1) > 1e-6)
        kiv_bench::fail(tag + ": Mapnik's scale denominator " + std::to_string(out.scale) + " is not the " +
                        std::to_string(expected_scale) + " its layers' ranges assume");
    return out;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double ms_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// What one case gave in one round.
struct case_result {
    bool ok = false;       // both sides drew and the pictures were checked
    double warm_ms = 0;    // ours, one renderer drawing again and again (median)
    double cold_ms = 0;    // ours, a fresh driver for every image (median)
    double mapnik_ms = 0;  // Mapnik's median
};

// One data set at one level in one round: ours warm (one driver, pages
// loaded; 8 images before Mapnik's and 8 after, median of the 16, so a
// change of the machine's load during the case falls on both sides),
// ours cold (a fresh driver for each image, median of 3), Mapnik (median
// of 15 after one warm-up), the picture checks (first round only) and
// the ratios.
case_result run_case(const data_set& set, unsigned level, unsigned round) {
    case_result result;
    std::string tag = set.name + " level " + std::to_string(level);
    auto_ptr_t<ozm_driver> driver = start_driver(set);
    auto_ptr_t<i_gis_viewport> vp = view(set, level);
    auto_ptr_t<i_gis_renderer> r(driver ? driver->create_renderer(vp, "", "") : nullptr);
    auto* renderer = dynamic_cast<ozm_renderer*>(r.get());
    if (renderer == nullptr) {
        kiv_bench::fail(tag + ": no renderer");
        return result;
    }
    auto_ptr_t<i_image> ours(renderer->render_image(false));  // loads the pages
    // OZM_BENCH_SAVE=DIR: our picture of every case, for a comparison of
    // two builds.
    const char* save = std::getenv("OZM_BENCH_SAVE");
    if (round == 1 && save != nullptr && *save != '\0' && ours)
        ours->save_image((std::string(save) + "/" + set.name + "_" + std::to_string(level) + ".png").c_str(),
                         image_format_png, 100);
    // OZM_BENCH_PROFILE=N: N more warm images and nothing else, for perf.
    // Their median and worst times are printed, for comparing two builds
    // without Mapnik's side.
    if (const char* repeat = std::getenv("OZM_BENCH_PROFILE")) {
        std::vector<double> times;
        for (int i = std::atoi(repeat); i > 0; --i) {
            auto start = std::chrono::steady_clock::now();
            ours.reset(renderer->render_image(false));
            times.push_back(ms_since(start));
        }
        if (!times.empty())
            std::printf("%s: %zu images, %.2f ms median, %.2f ms worst\n", tag.c_str(), times.size(), median(times),
                        *std::max_element(times.begin(), times.end()));
        return result;
    }
    std::vector<double> warm, cold;
    auto time_warm = [&](int n) {
        for (int i = 0; i < n; ++i) {
            auto start = std::chrono::steady_clock::now();
            ours.reset(renderer->render_image(false));
            warm.push_back(ms_since(start));
        }
    };
    time_warm(8);
    for (int i = 0; i < 3; ++i) {
        auto_ptr_t<ozm_driver> fresh = start_driver(set);
        auto_ptr_t<i_gis_renderer> fr(fresh ? fresh->create_renderer(vp, "", "") : nullptr);
        if (!fr)
            continue;
        auto start = std::chrono::steady_clock::now();
        auto_ptr_t<i_image> img(fr->render_image(false));
        cold.push_back(ms_since(start));
    }
    // What our renderer reads: the features in view of its maps.
    ozm::feature_table table;
    const float qmin[2] = {float(renderer->box_min().lat), float(renderer->box_min().lon)};
    const float qmax[2] = {float(renderer->box_max().lat), float(renderer->box_max().lon)};
    for (ozm_map* map : renderer->maps())
        map->query(qmin, qmax, renderer->detail_class(), table);
    unsigned ours_features = 0;
    for (renderer_layer* layer : renderer->layers()) {
        if (!layer->is_visible(uint8_t(level)))
            continue;
        for (unsigned pass = 0; pass < 2; ++pass) {
            for (const auto& style : layer->styles(pass)) {
                const auto* base = dynamic_cast<const render_style_base*>(style.get());
                if (base == nullptr || !base->is_visible(uint8_t(level)) || rule_of(style.get(), level, "").empty())
                    continue;
                auto lo = table.lower_bound(base->first_code()), hi = table.upper_bound(base->last_code());
                ours_features += unsigned(std::distance(lo, hi));
            }
        }
    }
    if (!mapnik_ok) {
        time_warm(8);
        result.warm_ms = median(warm);
        result.cold_ms = median(cold);
        std::printf("%-16s round %u: ours warm %8.2f ms, cold %8.2f ms\n", tag.c_str(), round, result.warm_ms,
                    result.cold_ms);
        return result;
    }
    auto_ptr_t<i_image> theirs;
    mapnik_result m = run_mapnik(set, *renderer, vp, level, theirs);
    time_warm(8);
    result.warm_ms = median(warm); if (getenv("DBG_W")) { for (double w : warm) fprintf(stderr, "%.2f ", w); fprintf(stderr, "\n"); }
    result.cold_ms = median(cold);
    result.mapnik_ms = m.ms;
    std::printf("%-16s round %u: ours warm %8.2f ms, cold %8.2f ms", tag.c_str(), round, result.warm_ms,
                result.cold_ms);
    if (m.ms <= 0) {
        std::printf("\n");
        kiv_bench::fail(tag + ": Mapnik drew nothing");
        return result;
    }
    std::printf(", Mapnik %8.2f ms; ours/Mapnik warm %.2f, cold %.2f\n", m.ms, result.warm_ms / m.ms,
                result.cold_ms / m.ms);
    result.ok = true;
    double ratio = result.warm_ms / m.ms;
    if (round > 1) {
        std::fflush(stdout);
        return result;
    }
    double agreement = 0, ink = 0;
    uint32_t bg = renderer->layers().front()->get_bg_color();
    bool agree = pictures_agree(ours, theirs, bg, &agreement, &ink);
    char what[256];
    std::snprintf(what, sizeof what, "%s pictures (ink per 32 x 32 tile agrees on %.1f %% of the tiles, ink ours/Mapnik %.2f)",
                  tag.c_str(), 100 * agreement, ink);
    if (!kiv_bench::check(agree, what)) {
        std::string stem = work_dir + "/" + set.name + "_" + std::to_string(level);
        ours->save_image((stem + "_ours.png").c_str(), image_format_png, 100);
        std::printf("    both pictures are in %s\n", work_dir.c_str());
        keep_work_dir = true;
        result.ok = false;
    }
    // Both sides must read the same features, or the ratio measures what
    // one of them was given.
    std::snprintf(what, sizeof what, "%s features read (ours %u, Mapnik %u)", tag.c_str(), ours_features,
                  m.features);
    if (!kiv_bench::check(m.features <= ours_features + ours_features / 10 + 10, what))
        result.ok = false;
    if (ratio < 0.2 || ratio > 5) {
        std::printf("    note: ratio %.2f at %s: both read the same %u features and ours draws %.2f times "
                    "Mapnik's ink; Mapnik takes %.1f ms for an image of this style sheet with no feature in view "
                    "(%.0f %% of its %.1f ms), ours %.1f ms for everything, shared out on %u CPUs where Mapnik "
                    "draws on one\n",
                    ratio, tag.c_str(), m.features, ink, m.empty_ms, 100 * m.empty_ms / m.ms, m.ms, result.warm_ms,
                    kiv_usable_cpus());
    }
    std::fflush(stdout);
    return result;
}

// The rounds of one data set: every level once per round, so a busy
// spell of the machine falls on one round of every level, not on every
// round of one level. Prints, per level, each round's ratio and the
// worst and median round: the worst is what a user may meet.
void run_set(const data_set& set, unsigned first, unsigned last, unsigned rounds, const char* only) {
    std::map<unsigned, std::vector<case_result>> results;
    for (unsigned round = 1; round <= rounds; ++round) {
        for (unsigned level = first; level <= last; ++level) {
            std::string key = set.name + ":" + std::to_string(level);
            if (only != nullptr && *only != '\0' && set.name != only && key != only)
                continue;
            results[level].push_back(run_case(set, level, round));
            if (std::getenv("OZM_BENCH_PROFILE") != nullptr)
                results[level].pop_back();
        }
    }
    for (const auto& item : results) {
        const std::vector<case_result>& rs = item.second;
        std::vector<double> warm, cold, ours_ms;
        bool all = !rs.empty();
        for (const case_result& c : rs) {
            all = all && c.ok;
            ours_ms.push_back(c.warm_ms);
            if (c.ok) {
                warm.push_back(c.warm_ms / c.mapnik_ms);
                cold.push_back(c.cold_ms / c.mapnik_ms);
            }
        }
        if (ours_ms.empty())
            continue;
        std::string tag = set.name + " level " + std::to_string(item.first);
        std::printf("%-16s ours warm %.2f ms median, %.2f ms worst of %zu rounds", tag.c_str(), median(ours_ms),
                    *std::max_element(ours_ms.begin(), ours_ms.end()), ours_ms.size());
        if (!all || warm.empty()) {
            std::printf("\n");
            continue;
        }
        std::printf("; ours/Mapnik warm by round");
        for (double v : warm)
            std::printf(" %.2f", v);
        std::printf("\n");
        double worst = *std::max_element(warm.begin(), warm.end());
        std::printf("ratio %s warm worst round: %.2f\n", tag.c_str(), worst);
        std::printf("ratio %s warm median round: %.2f\n", tag.c_str(), median(warm));
        std::printf("ratio %s cold worst round: %.2f\n", tag.c_str(), *std::max_element(cold.begin(), cold.end()));
    }
    std::fflush(stdout);
}

}  // namespace

int main(int, char**) {
    work_dir = kiv_test::make_temp_folder("ozm_mapnik_bench_");
    if (work_dir.empty())
        return 1;
    kiv_set_env("KIV_FONT_PATH", "/usr/share/fonts/truetype/dejavu");
    kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", OZM_DEMO_DIR "/render");
    if (!kiv_initialize())
        return 1;
    // The core's library, loaded through its loader as the viewer's
    // configuration loads it, starts the core's threads and the worker
    // pool: the renderer hands blocks of rows of large fills to pool
    // workers.
    if (kiv_core()->load_library(KIV_CORE_LIBRARY) == nullptr) {
        std::printf("the core's library did not start\n");
        return 1;
    }
    {
        mapnik_ok = std::system("/usr/bin/python3 -c 'import mapnik' >/dev/null 2>&1") == 0;
        if (!mapnik_ok)
            std::printf("python3-mapnik is not installed (apt-get install python3-mapnik): only our side is timed\n");
        std::string big_maps = work_dir + "/big";
        mkdir(big_maps.c_str(), 0700);
        if (!kiv_bench::write_generated_town(big_maps + "/big.ozm", 177)) {
            kiv_bench::fail("cannot write the big town");
        } else {
            const data_set demo{"demo", OZM_DEMO_DIR "/maps", OZM_DEMO_DIR "/render", 53.90, 27.552};
            const data_set big{"big", big_maps, OZM_DEMO_DIR "/render", 53.90, 27.55};
            // OZM_BENCH_ROUNDS: rounds of the big town (3 when unset).
            unsigned rounds = 3;
            if (const char* text = std::getenv("OZM_BENCH_ROUNDS"))
                rounds = unsigned(std::max(1, std::min(50, std::atoi(text))));
            {
                auto_ptr_t<ozm_driver> d = start_driver(big);
                ozm_map* map = d ? d->map_by_load_number(1) : nullptr;
                ozm::feature_table all;
                const float min[2] = {-90, -180}, max[2] = {90, 180};
                if (map != nullptr) {
                    map->query(min, max, 0, all);
                    map->release();
                }
                std::printf("big town: %zu features; ours shares each image out on %u CPUs, Mapnik draws on one\n",
                            all.size(), kiv_usable_cpus());
                if (all.size() < 500000)
                    kiv_bench::fail("the big town has fewer than 500,000 features");
            }
            const char* only = std::getenv("OZM_BENCH_ONLY");  // "big", "demo" or "big:5"
            run_set(demo, 1, 12, 1, only);
            // Past level 9 the big town draws nothing.
            run_set(big, 1, 9, rounds, only);
        }
    }
    kiv_terminate();
    if (!keep_work_dir)
        std::system(("rm -rf '" + work_dir + "'").c_str());
    return kiv_bench::exit_code();
}
