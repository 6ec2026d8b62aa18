// ozm_fixtures.h --
//
//     Helpers of the map file tests: little-endian byte building, header
//     patches that keep (or break) the checksum, and loading bytes
//     through a file in a private folder.

#ifndef KIV_TESTS_OZM_OZM_FIXTURES_H
#define KIV_TESTS_OZM_OZM_FIXTURES_H

#include <kiv/core/checksum.h>

#include "../core/test_util.h"
#include "format/map_file.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace ozm_test {

typedef std::vector<uint8_t> bytes;

inline void put_u32(bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}
inline void put_f32(bytes& b, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    put_u32(b, v);
}
inline void set_u32(bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}
inline uint32_t get_u32(const bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
// Stores the header checksum the reader expects.
inline void fix_crc(bytes& b) {
    set_u32(b, 0x243, kiv_crc32(b.data(), 0x243, 0));
}
// Changes a header field and keeps the checksum right.
inline void patch_header(bytes& b, size_t at, uint32_t v) {
    set_u32(b, at, v);
    fix_crc(b);
}

// Header field offsets.
constexpr size_t at_page_count = 0x21F;
constexpr size_t at_feature_count = 0x223;
constexpr size_t at_resources_size = 0x227;
constexpr size_t at_pool_nodes = 0x22B;
constexpr size_t at_nodes_size = 0x22F;
constexpr size_t at_city_count = 0x233;
constexpr size_t at_street_count = 0x237;
constexpr size_t at_house_count = 0x23B;
constexpr size_t at_search_size = 0x23F;

// Where the blocks of a file start, from its own header.
struct layout {
    explicit layout(const bytes& b) {
        pages_index = 583;
        features = pages_index + 4 * uint64_t(get_u32(b, at_page_count));
        resources = features + 8 * uint64_t(get_u32(b, at_feature_count));
        nodes = resources + get_u32(b, at_resources_size);
        search = nodes + get_u32(b, at_nodes_size);
        pages = search + get_u32(b, at_search_size);
    }
    uint64_t pages_index, features, resources, nodes, search, pages;
};

inline void write_bytes(const std::string& path, const bytes& b) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// Loads `b` through a file. Returns: the error text (never empty for a
// failure) and "OK" for a successful load.
inline std::string load_error(const bytes& b, kiv::ozm::map_file* keep = nullptr) {
    kiv_test::temp_dir dir;
    std::string path = dir.file("map.ozm");
    write_bytes(path, b);
    kiv::ozm::map_file local;
    kiv::ozm::map_file& map = keep != nullptr ? *keep : local;
    std::string error = "unset";
    bool ok = map.load(path.c_str(), error);
    if (ok)
        return error.empty() ? "OK" : "OK with error text " + error;
    return error;
}

}  // namespace ozm_test

#endif
