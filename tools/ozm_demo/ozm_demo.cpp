// ozm_demo.cpp --
//
//     Generates the demo data of the vector map driver: an invented town
//     ("Novy Dvor", about 8 x 8 km around 53.90 N, 27.55 E) with water, a
//     river, parks, an industrial area, a street grid with named streets
//     in Latin and Cyrillic, a ring road, a motorway, footpaths, a
//     railway, buildings with house numbers, points of interest and one
//     coverage polygon; a regional overview map for the coarse levels
//     with the town, four neighbours, a large lake, rivers and motorways;
//     and the pictures the render styles use. The search indexes hold
//     every town the overview shows: the town (under its Cyrillic and
//     Latin names) with its streets and houses, the neighbours by name. Everything comes from a
//     fixed pseudo-random sequence, so every build writes the same bytes.
//
//         ozm_demo FOLDER
//
//     writes FOLDER/maps/town.ozm, FOLDER/maps/region.ozm and
//     FOLDER/render/images/*.png. The layer files are text and live in
//     the repository (demo/ozm/render/layers).
//
//     Feature codes (the layer files select by them):
//         1 water area      2 river          3 park           5 industrial
//        10 motorway       11 ring road     12 avenue        13 street
//        14 footpath       20 railway       30 building      40 house number
//        50 point of interest                60 town (town map)
//        61 town (overview) 62 town area (overview)

#include <kiv/core/i_core.h>
#include <kiv/image/i_image.h>
#include <kiv/image/image_lib.h>
#include <kiv/ozm_writer/map_writer.h>

#include "command_line.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const char usage_text[] =
    "usage: ozm_demo FOLDER\n"
    "Writes the demo town, the regional overview map and their style pictures under FOLDER.\n";

using kiv::ozm_writer::feature;
using kiv::ozm_writer::map_info;
using kiv::ozm_writer::map_writer;
using kiv::ozm_writer::point;

// Feature flags.
constexpr uint8_t point_flag = 0x01;
constexpr uint8_t class1 = 0x02;
constexpr uint8_t class2 = 0x04;
constexpr uint8_t road_flag = 0x40;
constexpr uint8_t closed_flag = 0x80;

// The town's street grid.
constexpr double grid_lat0 = 53.870, grid_lat_step = 0.005;
constexpr double grid_lon0 = 27.500, grid_lon_step = 0.008;
constexpr int grid_rows = 13, grid_cols = 13;  // streets each way
// The block left empty (the market square): row and column of its
// south-west corner street crossing.
constexpr int square_row = 3, square_col = 6;

// A fixed linear congruential sequence: the same numbers on every build.
class sequence {
public:
    double next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return double(state_ >> 11) / double(1ULL << 53);
    }
    double range(double lo, double hi) { return lo + (hi - lo) * next(); }

private:
    uint64_t state_ = 0x5EED0F0DEC0DEULL;
};

point pt(double lat, double lon) {
    return point{float(lat), float(lon)};
}

feature area(uint8_t code, uint8_t flags, const std::vector<point>& ring, const std::string& label = "") {
    feature f;
    f.code = code;
    f.flags = uint8_t(flags | closed_flag);
    f.points = ring;
    double lat = 0, lon = 0;
    for (const point& p : ring) {
        lat += p.lat;
        lon += p.lon;
    }
    f.anchor = pt(lat / double(ring.size()), lon / double(ring.size()));
    f.label = label;
    return f;
}

feature line(uint8_t code, uint8_t flags, const std::vector<point>& points, const std::string& label = "") {
    feature f;
    f.code = code;
    f.flags = flags;
    f.points = points;
    f.anchor = points[points.size() / 2];
    f.label = label;
    return f;
}

feature spot(uint8_t code, uint8_t flags, double lat, double lon, const std::string& label) {
    feature f;
    f.code = code;
    f.flags = uint8_t(flags | point_flag);
    f.anchor = pt(lat, lon);
    f.label = label;
    return f;
}

// A blob-like ring around a centre: radii in degrees of latitude, the
// longitude widened for the latitude.
std::vector<point> blob(sequence& seq, double lat, double lon, double radius, int count, double wobble) {
    std::vector<point> ring;
    double widen = 1.0 / std::cos(lat * M_PI / 180.0);
    for (int i = 0; i < count; ++i) {
        double a = 2 * M_PI * i / count;
        double r = radius * (1.0 + seq.range(-wobble, wobble));
        ring.push_back(pt(lat + r * std::sin(a), lon + r * widen * std::cos(a)));
    }
    return ring;
}

// Distance from (lat, lon) to a polyline, in degrees of latitude (the
// longitude shrunk for the latitude).
double distance_to(const std::vector<point>& line, double lat, double lon) {
    double shrink = std::cos(lat * M_PI / 180.0);
    double best = 1e9;
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        double ax = line[i].lon * shrink, ay = line[i].lat;
        double bx = line[i + 1].lon * shrink, by = line[i + 1].lat;
        double px = lon * shrink, py = lat;
        double dx = bx - ax, dy = by - ay;
        double len = dx * dx + dy * dy;
        double t = len > 0 ? ((px - ax) * dx + (py - ay) * dy) / len : 0;
        t = t < 0 ? 0 : (t > 1 ? 1 : t);
        double ex = ax + t * dx - px, ey = ay + t * dy - py;
        best = std::min(best, std::sqrt(ex * ex + ey * ey));
    }
    return best;
}

std::vector<point> rect(double lat0, double lon0, double lat1, double lon1) {
    return {pt(lat0, lon0), pt(lat0, lon1), pt(lat1, lon1), pt(lat1, lon0)};
}

double street_lat(int row) {
    return grid_lat0 + grid_lat_step * row;
}
double street_lon(int col) {
    return grid_lon0 + grid_lon_step * col;
}

const char* const east_west_names[grid_rows] = {
    "Mill Lane",          "улица Садовая",    "Birch Street",     "улица Школьная",  "Harbour Road",
    "проспект Победы",    "Linden Avenue",    "улица Рыночная",   "Quarry Street",   "улица Лесная",
    "Orchard Road",       "улица Кленовая",   "North Street"};
const char* const north_south_names[grid_cols] = {
    "West Street",        "улица Полевая",    "Church Lane",      "улица Мира",      "Market Street",
    "проспект Независимости", "Station Road", "улица Озёрная",    "Cedar Street",    "улица Заводская",
    "Bridge Street",      "улица Речная",     "East Street"};

void add_town(map_writer& w) {
    sequence seq;
    // Where the map has data.
    feature cover = area(0, 0, rect(53.855, 27.470, 53.950, 27.640));
    cover.flags = 0;
    w.add_feature(cover);

    // The lake fills the block of row 8, column 1.
    std::vector<point> lake = blob(seq, 53.9125, 27.5120, 0.0018, 40, 0.12);
    w.add_feature(area(1, class1, lake, "Озеро Светлое"));
    // The river, from the north-west through the town to the south-east.
    std::vector<point> river;
    for (int i = 0; i <= 60; ++i) {
        double t = i / 60.0;
        double lat = 53.940 - 0.080 * t + 0.004 * std::sin(t * 9.0);
        double lon = 27.470 + 0.170 * t;
        river.push_back(pt(lat, lon));
    }
    w.add_feature(line(2, class1, river, "River Svisla"));

    // Parks: whole blocks.
    const int parks[][2] = {{2, 9}, {3, 9}, {10, 7}, {4, 1}};
    for (const auto& p : parks) {
        int row = p[0], col = p[1];
        w.add_feature(area(3, class1,
                           rect(street_lat(row) + 0.0004, street_lon(col) + 0.0006, street_lat(row + 1) - 0.0004,
                                street_lon(col + 1) - 0.0006),
                           row == 2 ? "Central Park" : ""));
    }
    // The industrial area, south-east.
    w.add_feature(area(5, class1, rect(street_lat(0) + 0.0004, street_lon(10) + 0.0006, street_lat(2) - 0.0004,
                                       street_lon(12) - 0.0006)));

    // Streets: every third one an avenue.
    for (int row = 0; row < grid_rows; ++row) {
        bool avenue = row % 3 == 0;
        std::vector<point> pts;
        for (int col = 0; col < grid_cols; ++col)
            pts.push_back(pt(street_lat(row), street_lon(col)));
        w.add_feature(line(avenue ? 12 : 13, uint8_t((avenue ? class1 : 0) | road_flag), pts, east_west_names[row]));
    }
    for (int col = 0; col < grid_cols; ++col) {
        bool avenue = col % 3 == 0;
        std::vector<point> pts;
        for (int row = 0; row < grid_rows; ++row)
            pts.push_back(pt(street_lat(row), street_lon(col)));
        w.add_feature(line(avenue ? 12 : 13, uint8_t((avenue ? class1 : 0) | road_flag), pts, north_south_names[col]));
    }
    // The ring road around the grid.
    std::vector<point> ring;
    for (int i = 0; i < 64; ++i) {
        double a = 2 * M_PI * i / 64;
        ring.push_back(pt(53.900 + 0.040 * std::sin(a), 27.548 + 0.066 * std::cos(a)));
    }
    feature ring_road = line(11, uint8_t(class1 | road_flag | closed_flag), ring);
    w.add_feature(ring_road);
    // The motorway north of the ring, with a gentle bend.
    std::vector<point> motorway;
    for (int i = 0; i <= 40; ++i) {
        double t = i / 40.0;
        motorway.push_back(pt(53.9465 + 0.003 * std::sin(t * M_PI), 27.400 + 0.300 * t));
    }
    w.add_feature(line(10, uint8_t(class1 | road_flag), motorway, "M1"));
    // Footpaths across the parks.
    for (const auto& p : parks) {
        int row = p[0], col = p[1];
        w.add_feature(line(14, 0,
                           {pt(street_lat(row), street_lon(col)), pt(street_lat(row) + 0.0022, street_lon(col) + 0.0035),
                            pt(street_lat(row + 1), street_lon(col + 1))}));
        w.add_feature(line(14, 0, {pt(street_lat(row + 1), street_lon(col)), pt(street_lat(row), street_lon(col + 1))}));
    }
    // The railway: south-west to north-east, bending through the town.
    std::vector<point> rail;
    for (int i = 0; i <= 50; ++i) {
        double t = i / 50.0;
        rail.push_back(pt(53.858 + 0.090 * t, 27.475 + 0.150 * t + 0.010 * std::sin(t * M_PI)));
    }
    w.add_feature(line(20, class1, rail));

    // Buildings and their numbers, block by block; parks, the lake, the
    // industrial area and the market square stay free.
    for (int row = 0; row + 1 < grid_rows; ++row) {
        for (int col = 0; col + 1 < grid_cols; ++col) {
            bool park = false;
            for (const auto& p : parks)
                park = park || (p[0] == row && p[1] == col);
            bool lake_block = row == 8 && col == 1;
            bool industrial = row <= 1 && col >= 10;
            if (park || lake_block || industrial || (row == square_row && col == square_col))
                continue;
            int number = 1;
            for (int side = 0; side < 2; ++side) {
                int count = 2 + int(seq.range(0, 2.99));
                for (int k = 0; k < count; ++k) {
                    double lon0 = street_lon(col) + 0.0012 + k * (grid_lon_step - 0.0020) / count;
                    double lon1 = lon0 + (grid_lon_step - 0.0020) / count - seq.range(0.0003, 0.0008);
                    double lat0 = side == 0 ? street_lat(row) + 0.0006 : street_lat(row + 1) - 0.0006 - 0.0016;
                    double lat1 = lat0 + seq.range(0.0010, 0.0016);
                    // No house stands in the river or on the railway.
                    double clat = (lat0 + lat1) / 2, clon = (lon0 + lon1) / 2;
                    if (distance_to(river, clat, clon) < 0.0013 || distance_to(rail, clat, clon) < 0.0013)
                        continue;
                    w.add_feature(area(30, 0, rect(lat0, lon0, lat1, lon1)));
                    w.add_feature(spot(40, 0, (lat0 + lat1) / 2, (lon0 + lon1) / 2, std::to_string(number)));
                    number += 2;
                }
            }
        }
    }

    // Points of interest.
    struct poi {
        int row, col;
        const char* name;
    };
    const poi pois[] = {{5, 6, "Café Luna"},  {3, 3, "Аптека"},         {6, 8, "School No 3"}, {2, 5, "Почта"},
                        {9, 5, "Museum"},     {4, 10, "Библиотека"},    {11, 3, "Bakery"},     {7, 10, "Вокзал"},
                        {1, 2, "Clinic"},     {10, 10, "Театр"},        {5, 11, "Hotel Dvor"}, {8, 7, "Стадион"}};
    for (const poi& p : pois)
        w.add_feature(spot(50, 0, street_lat(p.row) + 0.0025, street_lon(p.col) + 0.0040, p.name));
    // The town itself.
    w.add_feature(spot(60, class1, 53.9020, 27.5520, "Новы Двор"));

    // The search index: the town under the name its label shows and the
    // name the maps list gives it, so a first search finds it in either
    // alphabet; both with the streets and their houses.
    kiv::ozm_writer::city town{"Новы Двор", pt(53.902, 27.552), {}};
    for (int row = 0; row < grid_rows; ++row) {
        kiv::ozm_writer::street s{east_west_names[row], pt(street_lat(row), street_lon(6)), {}};
        for (int n = 1; n <= 9; n += 2)
            s.houses.push_back({std::to_string(n), pt(street_lat(row) + 0.0010, street_lon(n / 2) + 0.003)});
        town.streets.push_back(s);
    }
    w.add_city(town);
    town.name = "Novy Dvor";
    w.add_city(town);
}

void add_region(map_writer& w) {
    sequence seq;
    struct town {
        double lat, lon;
        const char* name;
        double size;
    };
    const town towns[] = {{53.902, 27.552, "Новы Двор", 0.07},
                          {54.310, 26.880, "Белый Бор", 0.035},
                          {53.420, 28.310, "Kamenka", 0.03},
                          {54.120, 28.640, "Zarechye", 0.025},
                          {53.510, 26.580, "Лесной", 0.025}};
    for (const town& t : towns) {
        w.add_feature(area(62, class2, blob(seq, t.lat, t.lon, t.size, 24, 0.25)));
        w.add_feature(spot(61, class2, t.lat, t.lon, t.name));
    }
    // The search index: the neighbours by their names (the town itself,
    // with its streets, is in the town map's index).
    for (size_t i = 1; i < sizeof towns / sizeof towns[0]; ++i)
        w.add_city({towns[i].name, pt(towns[i].lat, towns[i].lon), {}});
    // A large lake north-west of the town.
    w.add_feature(area(1, class2, blob(seq, 54.620, 27.050, 0.120, 48, 0.22), "Вялікае возера"));
    // Rivers and motorways between the towns.
    std::vector<point> river;
    for (int i = 0; i <= 80; ++i) {
        double t = i / 80.0;
        river.push_back(pt(54.50 - 1.30 * t + 0.05 * std::sin(t * 13), 27.10 + 1.60 * t));
    }
    w.add_feature(line(2, class2, river, "River Svisla"));
    for (size_t i = 1; i < sizeof towns / sizeof towns[0]; ++i) {
        std::vector<point> road;
        for (int k = 0; k <= 20; ++k) {
            double t = k / 20.0;
            double bend = 0.04 * std::sin(t * M_PI) * (i % 2 == 0 ? 1 : -1);
            road.push_back(pt(towns[0].lat + (towns[i].lat - towns[0].lat) * t + bend,
                              towns[0].lon + (towns[i].lon - towns[0].lon) * t - bend));
        }
        w.add_feature(line(10, uint8_t(class2 | road_flag), road, i == 2 ? "M1" : ""));
    }
}

// Draws a style picture with `paint`(x, y) -> RGBA value and writes it.
template <class Paint>
bool write_picture(const std::string& path, unsigned width, unsigned height, Paint paint) {
    kiv::i_image* img = kiv_image_create(width, height, 0);  // one reference
    if (img == nullptr)
        return false;
    uint8_t* pixels = static_cast<uint8_t*>(const_cast<void*>(img->get_data()));
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            uint32_t c = paint(x, y);
            uint8_t* p = pixels + (size_t(y) * width + x) * 4;
            p[0] = uint8_t(c >> 24);
            p[1] = uint8_t(c >> 16);
            p[2] = uint8_t(c >> 8);
            p[3] = uint8_t(c);
        }
    }
    bool ok = img->save_image(path.c_str(), kiv::image_format_png, 100);
    img->release();
    return ok;
}

bool write_pictures(const std::string& dir) {
    // A point-of-interest marker: a dark red disc with a white rim.
    bool ok = write_picture(dir + "/poi.png", 13, 13, [](unsigned x, unsigned y) -> uint32_t {
        double dx = x - 6.0, dy = y - 6.0, r = std::sqrt(dx * dx + dy * dy);
        if (r <= 4.2)
            return 0xB02828FF;
        if (r <= 6.2)
            return 0xFFFFFFFF;
        return 0x00000000;
    });
    // Diagonal hatching for the industrial area.
    ok = write_picture(dir + "/hatch.png", 8, 8, [](unsigned x, unsigned y) -> uint32_t {
        return (x + y) % 8 < 2 ? 0xB8A8C8FF : 0xDCD4E4FF;
    }) && ok;
    // Railway ties drawn along the line.
    ok = write_picture(dir + "/rail_ties.png", 8, 7, [](unsigned x, unsigned y) -> uint32_t {
        if (y == 3)
            return 0x505050FF;
        return x < 2 ? 0x606060FF : 0x00000000;
    }) && ok;
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const kiv::tools::command_line line("ozm_demo", usage_text);
    std::vector<std::string> operands;
    int status = line.read(argc, argv, {}, 1, 1, &operands);
    if (status >= 0)
        return status;
    const std::string& out = operands[0];
    // The image library resolves the pictures' paths through the core.
    struct core_guard {
        bool started = kiv_initialize();
        ~core_guard() {
            if (started)
                kiv_terminate();
        }
    } core;
    if (!core.started)
        return line.fail("the framework does not start");
    for (const std::string& folder : {out, out + "/maps", out + "/render", out + "/render/images"})
        if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
            return line.fail_on("make", folder, errno);

    map_info town_info;
    town_info.name = "Novy Dvor";
    town_info.tags = "town,demo";
    town_info.copyright = "Demo data, invented";
    town_info.map_version = 1;
    town_info.priority = 10;
    town_info.min_level = 0;
    town_info.max_level = 8;
    town_info.flags = 0x01;  // covering: inside its coverage it hides maps stacked before it
    map_writer town(town_info);
    town.set_page_limit(16384);
    add_town(town);

    map_info region_info;
    region_info.name = "Region overview";
    region_info.tags = "region,demo";
    region_info.copyright = "Demo data, invented";
    region_info.map_version = 1;
    region_info.priority = 1;
    region_info.min_level = 9;
    region_info.max_level = 16;
    map_writer region(region_info);
    add_region(region);

    std::string error;
    if (!town.write(out + "/maps/town.ozm", error) || !region.write(out + "/maps/region.ozm", error))
        return line.fail(error);
    if (!write_pictures(out + "/render/images"))
        return line.fail("cannot write the style pictures in " + out + "/render/images");
    return 0;
}
