// map_writer.h --
//
//     Writes ozm map files: the header with its checksum, the string pool,
//     the feature directory, the geometry records packed into pages in
//     spatial order, an R-tree bulk-loaded with at most 8 branches a node
//     and the city/street/house search index, keys upper-cased the way
//     the search upper-cases its patterns. The system itself writes no
//     maps: this serves tests, fuzz seeds and the demo map, and is not
//     part of the driver.
//
//     Example:
//         kiv::ozm_writer::map_info info;
//         info.name = "Demo";
//         kiv::ozm_writer::map_writer w(info);
//         kiv::ozm_writer::feature f;
//         f.flags = 0x01;  // a point
//         f.anchor = {55.75f, 37.62f};
//         f.label = "Centre";
//         w.add_feature(f);
//         std::string error;
//         if (!w.write("demo.ozm", error)) ...
//
//     A writer is used by one thread at a time.

#ifndef KIV_OZM_WRITER_MAP_WRITER_H
#define KIV_OZM_WRITER_MAP_WRITER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kiv {
namespace ozm_writer {

struct point {
    float lat;
    float lon;
};

struct feature {
    uint8_t code = 1;          // 1..255 for drawn features; 0 for a coverage area
    uint8_t flags = 0;         // feature flags; 0x10 and 0x20 are added for a label and a place name
    uint8_t record_flags = 0;  // extra record flags (0x08: forward-only road); the name flags are the writer's
    point anchor{0, 0};        // the anchor (label) point
    std::string label;         // the label; empty: none unless flags asks for 0x10
    std::string place;         // the place name for location texts; empty: none unless flags asks for 0x20
    std::vector<point> points; // lines (2 or more) and polygons (3 or more); empty for a point feature
};

struct house {
    std::string name;
    point at;
};
struct street {
    std::string name;
    point at;
    std::vector<house> houses;
};
struct city {
    std::string name;
    point at;
    std::vector<street> streets;
};

struct map_info {
    std::string name;       // at most 127 bytes
    std::string tags;       // comma-separated, at most 127 bytes
    std::string copyright;  // at most 255 bytes
    uint32_t map_version = 1;
    uint8_t priority = 0;
    uint8_t max_level = 16;
    uint8_t min_level = 0;
    uint32_t flags = 0;
    bool envelope_given = false;  // false: the union of the features' boxes
    point envelope_min{0, 0};
    point envelope_max{0, 0};
};

// One box of a bulk-loaded index.
struct index_box {
    float min_lat, min_lon, max_lat, max_lon;
    uint32_t data;
};

// Builds the node stream of an R-tree over `boxes`: sort-tile-recursive
// packing, every node between 4 and 8 branches once there are 4 boxes or
// more.
// Returns: the stream ("RTRE", the parameters, the nodes depth-first);
//     `node_count` gets the nodes written, root included; `leaf_order`
//     (may be null) the data values in the order the leaves hold them.
//     Empty for no boxes.
std::vector<uint8_t> build_index_stream(std::vector<index_box> boxes, uint32_t& node_count,
                                        std::vector<uint32_t>* leaf_order = nullptr);

// Returns: the search key of a name: the name upper-cased by
//     Tcl_UtfToUpper.
std::string search_key(const std::string& name);

class map_writer {
public:
    explicit map_writer(map_info info) : info_(std::move(info)) {}

    // Returns: the feature's number (its index in the feature directory).
    uint32_t add_feature(const feature& f);
    void add_city(const city& c) { cities_.push_back(c); }
    // Pages are filled up to this many bytes (a larger record gets a page
    // of its own). Default 32 KiB.
    void set_page_limit(uint32_t bytes) { page_limit_ = bytes; }

    // Builds the file's bytes.
    // Returns: false with the cause in `error` for a map without
    //     features, a feature without the points its kind needs, texts
    //     too long for the header, or more than 65,536 pages.
    bool build(std::vector<uint8_t>& out, std::string& error) const;
    // Builds and writes the file through a temporary file renamed into
    // place. Returns: false with the cause in `error`; the target is then
    //     untouched.
    bool write(const std::string& path, std::string& error) const;

private:
    map_info info_;
    std::vector<feature> features_;
    std::vector<city> cities_;
    uint32_t page_limit_ = 32768;
};

// Reads a map description (one item per line, fields separated by tabs,
// "#" starts a comment line):
//     map        name  tags  copyright  priority  min_level  max_level  flags  version
//     page_limit bytes
//     point      code  flags  lat  lon  label  place
//     line       code  flags  record_flags  anchor_lat  anchor_lon  "lat,lon lat,lon ..."  label  place
//     city       name  lat  lon
//     street     name  lat  lon         (of the last city)
//     house      name  lat  lon         (of the last street)
// Numbers may be decimal or 0x-hexadecimal; trailing fields may be left out.
// Returns: a writer for the description, or null with "line N: cause"
//     in `error`.
std::unique_ptr<map_writer> read_description(const std::string& text, std::string& error);

}  // namespace ozm_writer
}  // namespace kiv

#endif
