// map_file.h --
//
//     An ozm map file as the driver reads it: the 583-byte header, the
//     pages index, the feature directory, the string pool, the R-tree
//     over the features and the city/street/house search index, checked
//     and held in memory; the geometry pages stay in the file and are
//     read one by one through the descriptor the map keeps from its load
//     (so a file replaced on disk stays readable until the next rescan).
//
//     All numbers in the file are little-endian, coordinates f32 degrees,
//     latitude first. Texts are UTF-8; a search key is the name upper-
//     cased as Tcl_UtfToUpper does. Nothing in the file is aligned.
//
//     A loaded map_file is read-only and may be read from many threads.

#ifndef KIV_OZM_MAP_FILE_H
#define KIV_OZM_MAP_FILE_H

#include "format/rtree.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kiv {
namespace ozm {

constexpr uint32_t map_format_version = 13;
constexpr size_t map_header_size = 583;
// The header checksum covers the bytes before it.
constexpr size_t map_header_crc_offset = 0x243;
// A feature names its page in 16 bits: pages past this many exist in the
// file but nothing can reach them, so no memory is kept for them.
constexpr uint32_t max_addressable_pages = 65536;

// Map flags (header field `flags`).
constexpr uint32_t map_flag_covering = 0x01;     // hides the maps below it inside its coverage
constexpr uint32_t map_flag_no_render = 0x08;    // left out of rendering and road snapping
constexpr uint32_t map_flag_no_location = 0x10;  // left out of location texts
constexpr uint32_t map_flag_hidden = 0x20;       // passes a tag filter only when named by it

// Feature flags (features info).
constexpr uint8_t feature_flag_point = 0x01;     // geometry record without a point list
constexpr uint8_t feature_class_mask = 0x06;     // detail class 0..3, shifted left by one
constexpr uint8_t feature_flag_labelled = 0x10;  // the record carries a label name
constexpr uint8_t feature_flag_place = 0x20;     // candidate for location texts
constexpr uint8_t feature_flag_road = 0x40;      // candidate for road snapping
constexpr uint8_t feature_flag_closed = 0x80;    // the point list is a ring

// Record flags (first byte of a geometry record).
constexpr uint8_t record_flag_forward_only = 0x08;  // a road that is driven in point order only
constexpr uint8_t record_flag_name = 0x10;          // a name offset follows the point count
constexpr uint8_t record_flag_place_name = 0x20;    // a place name offset follows

// The header fields. Texts are copies terminated inside their arrays.
struct map_header {
    uint32_t format_version = 0;
    uint32_t map_version = 0;
    uint8_t priority = 0;
    char name[128] = {};
    char tags[128] = {};
    char copyright[256] = {};
    uint8_t max_level = 0;  // coarsest render level of the map's band
    uint8_t min_level = 0;  // most detailed render level of the band
    float min_lat = 0, min_lon = 0, max_lat = 0, max_lon = 0;
    uint32_t flags = 0;
    uint32_t page_count = 0;
    uint32_t feature_count = 0;
    uint32_t resources_size = 0;
    uint32_t index_pool_nodes = 0;  // nodes in the node stream, root included
    uint32_t nodes_index_size = 0;
    uint32_t city_count = 0;
    uint32_t street_count = 0;
    uint32_t house_count = 0;
    uint32_t search_index_size = 0;
    uint32_t header_crc = 0;
};

// Decodes the 583 bytes at `raw` (nothing is checked).
void decode_map_header(const uint8_t* raw, map_header& out);
// Returns: the checksum the header must carry: kiv_crc32 of its first
//     0x243 bytes, started at 0 (no inversions).
uint32_t map_header_checksum(const uint8_t* raw);

struct feature_info {
    uint32_t offset;  // of the geometry record within its page
    uint16_t page;
    uint8_t flags;  // feature_flag_*
    uint8_t code;   // 1..255 select the render styles; 0 marks a coverage area
};

struct page_entry {
    uint64_t offset;  // in the file
    uint32_t size;    // bytes
};

// A city or a street of the search index. The children (a city's
// streets, a street's houses) are the records first_child .. first_child
// + child_count - 1 of the next array. Texts are resources offsets, each
// checked below resources_size.
struct search_place {
    float lat, lon;
    uint32_t name;
    uint32_t key;
    uint32_t first_child;
    uint32_t child_count;  // children really read (the record may announce more)
};

struct search_house {
    float lat, lon;
    uint32_t name;
    uint32_t key;
};

// The map index: feature numbers under their rectangles
// (dimension 0 latitude, 1 longitude).
typedef RTree<unsigned int, float, float, 8, 4> map_index;

// Parses a search index (the city groups of the file) into the three
// arrays (cleared first).
// Returns: true when the bytes consumed equal `size` or the records
//     read equal the header's counts; false: the parse failed.
bool parse_search_index(const uint8_t* data, size_t size, const map_header& header,
                        std::vector<search_place>& cities, std::vector<search_place>& streets,
                        std::vector<search_house>& houses);

class map_file {
public:
    map_file() = default;
    map_file(const map_file&) = delete;
    map_file& operator=(const map_file&) = delete;
    // Closes the descriptor.
    ~map_file();

    // Reads and checks the map file at `path`: every block, and that
    // every page the index names ends inside the file (no page is read).
    // Returns: true when loaded; else false with the cause in `error`
    //     (never empty). A failed load leaves this object empty.
    //     Call once per object.
    bool load(const char* path, std::string& error);
    // As load, from an open descriptor that this object takes over (it
    // is closed on failure too).
    bool load_fd(int fd, std::string& error);

    bool loaded() const { return fd_ >= 0; }
    const map_header& header() const { return header_; }
    // The header bytes as read, map_header_size of them.
    const uint8_t* raw_header() const { return raw_header_; }
    uint64_t file_size() const { return file_size_; }

    // The pages a feature can name: the first min(page_count,
    // max_addressable_pages) of the file.
    const std::vector<page_entry>& pages() const { return pages_; }
    const std::vector<feature_info>& features() const { return features_; }
    // The string pool, followed by one zero byte of our own; null when
    // the map has none.
    const char* resources() const { return resources_.empty() ? nullptr : resources_.data(); }
    uint32_t resources_size() const { return header_.resources_size; }
    // Returns: the text at `offset` of the string pool (always
    //     terminated inside the pool), null when it lies outside.
    const char* text_at(uint32_t offset) const {
        return offset < header_.resources_size ? resources_.data() + offset : nullptr;
    }
    const map_index* index() const { return index_.get(); }

    const std::vector<search_place>& cities() const { return cities_; }
    const std::vector<search_place>& streets() const { return streets_; }
    const std::vector<search_house>& houses() const { return houses_; }

    // Reads page `page` whole into `buffer` (pages()[page].size bytes).
    // Returns: false for a page out of range or a short read. Safe from
    //     many threads at once.
    bool read_page(uint32_t page, uint8_t* buffer) const;
    // Returns: true when the file at `path` still opens and its first
    //     map_header_size bytes are the header read by load.
    bool same_header(const char* path) const;

private:
    bool fail(std::string& error, std::string message);
    bool read_block(uint64_t offset, size_t size, void* out) const;
    bool read_search_index(uint64_t offset, std::string& error);

    int fd_ = -1;  // owned; -1 until a load succeeds
    uint64_t file_size_ = 0;
    uint8_t raw_header_[map_header_size] = {};
    map_header header_;
    std::vector<page_entry> pages_;
    uint64_t unreachable_pages_bytes_ = 0;  // sizes of the pages past max_addressable_pages
    std::vector<feature_info> features_;
    std::vector<char> resources_;      // resources_size + 1 bytes; empty when the map has none
    std::unique_ptr<map_index> index_;  // null until loaded
    std::vector<search_place> cities_;
    std::vector<search_place> streets_;
    std::vector<search_house> houses_;
};

}  // namespace ozm
}  // namespace kiv

#endif
