// search_fixtures.h --
//
//     Helpers of the search and snapping tests: maps written by the
//     writer into a private folder and loaded with the load numbers the
//     test chooses, collected in a map list as the driver hands them to
//     the searches, and small builders of roads and places.

#ifndef KIV_TESTS_OZM_SEARCH_FIXTURES_H
#define KIV_TESTS_OZM_SEARCH_FIXTURES_H

#include <kiv/core/string_impl.h>
#include <kiv/ozm_writer/map_writer.h>

#include "../core/test_util.h"
#include "map/ozm_map.h"
#include "search/map_list.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace ozm_search_test {

namespace w = kiv::ozm_writer;

// Maps loaded from a private folder, kept in a list in the order loaded.
class loaded_maps {
public:
    // Writes `writer` as `file`, loads it with `load_number` and appends
    // it to the list. Returns: the map (the list holds it), null on failure.
    kiv::ozm_map* add(const w::map_writer& writer, const std::string& file, uint32_t load_number) {
        std::string error;
        std::string path = dir.file(file);
        EXPECT_TRUE(writer.write(path, error)) << error;
        return load(path, load_number);
    }
    // The same for the bytes of a map file.
    kiv::ozm_map* add_bytes(const std::vector<uint8_t>& bytes, const std::string& file, uint32_t load_number) {
        std::string path = dir.file(file);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        out.close();
        return load(path, load_number);
    }

    kiv_test::temp_dir dir;
    kiv::ozm::map_list list;

private:
    kiv::ozm_map* load(const std::string& path, uint32_t load_number) {
        kiv::ozm_map* map = new kiv::ozm_map;
        map->addref();
        kiv::string error_text;
        bool ok = map->load(path.c_str(), &error_text, load_number, false);
        EXPECT_TRUE(ok) << error_text.get_value();
        if (ok)
            list.add(map);
        map->release();
        return ok ? map : nullptr;
    }
};

// A road (a line flagged 0x40) through `points`.
inline w::feature road(std::vector<w::point> points, bool forward_only = false) {
    w::feature f;
    f.code = 10;
    f.flags = 0x40;
    f.record_flags = forward_only ? 0x08 : 0;
    f.anchor = points.front();
    f.points = std::move(points);
    return f;
}

// A straight road from (lat, lon) in `steps` equal steps of (dlat, dlon).
inline w::feature straight_road(float lat, float lon, float dlat, float dlon, int steps, bool forward_only = false) {
    std::vector<w::point> pts;
    for (int i = 0; i <= steps; ++i)
        pts.push_back({lat + dlat * float(i), lon + dlon * float(i)});
    return road(pts, forward_only);
}

// A place point named `name`.
inline w::feature place_point(float lat, float lon, const std::string& name) {
    w::feature f;
    f.code = 20;
    f.flags = 0x01;
    f.anchor = {lat, lon};
    f.place = name;
    return f;
}

inline w::map_writer writer_named(const char* name, uint8_t priority = 0, uint32_t flags = 0,
                                  const char* tags = "") {
    w::map_info info;
    info.name = name;
    info.priority = priority;
    info.flags = flags;
    info.tags = tags;
    return w::map_writer(info);
}

}  // namespace ozm_search_test

#endif
