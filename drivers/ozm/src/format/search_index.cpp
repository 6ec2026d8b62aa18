// search_index.cpp --
//
//     The city/street/house search index of a map file, parsed front to
//     back: each city record (20 bytes) is followed by its streets (20
//     bytes each), each street by its houses (16 bytes each). The parse
//     stops at a record that would cross the end, at a name or key
//     outside the string pool, at a record beyond the header's counts,
//     or as soon as a city or street got fewer children than it
//     announced. A record read and then refused still counts as
//     consumed. The parse succeeds when it consumed the whole index or
//     read exactly the header's counts, and no city or street came up
//     short of what it announced (a last city announcing more streets
//     than follow it fails, though every byte was consumed).

#include <kiv/core/le_bytes.h>

#include "format/map_file.h"

namespace kiv {
namespace ozm {

namespace {

constexpr size_t place_record_size = 20;
constexpr size_t house_record_size = 16;

struct search_parser {
    const uint8_t* data;
    size_t size;
    size_t pos;
    uint32_t pool_size;

    // Reads the common part of a record at pos and moves past it.
    // Returns: false when the record does not fit before the end (pos
    //     unchanged) or names a text outside the pool.
    bool read(size_t record_size, float& lat, float& lon, uint32_t& name, uint32_t& key, uint32_t* count) {
        if (size - pos < record_size)
            return false;
        const uint8_t* p = data + pos;
        pos += record_size;
        lat = le_f32(p);
        lon = le_f32(p + 4);
        name = le_u32(p + 8);
        key = le_u32(p + 12);
        if (count != nullptr)
            *count = le_u32(p + 16);
        return name < pool_size && key < pool_size;
    }
};

}  // namespace

bool parse_search_index(const uint8_t* data, size_t size, const map_header& h, std::vector<search_place>& cities,
                        std::vector<search_place>& streets, std::vector<search_house>& houses) {
    cities.clear();
    streets.clear();
    houses.clear();
    search_parser in{data, data != nullptr ? size : 0, 0, h.resources_size};
    bool stopped = false;
    bool short_group = false;  // a city or street got fewer children than announced
    while (!stopped && in.size - in.pos >= place_record_size) {
        search_place city{};
        uint32_t announced_streets = 0;
        if (!in.read(place_record_size, city.lat, city.lon, city.name, city.key, &announced_streets) ||
            cities.size() >= h.city_count)
            break;
        city.first_child = uint32_t(streets.size());
        for (uint32_t s = 0; s < announced_streets && !stopped; ++s) {
            search_place street{};
            uint32_t announced_houses = 0;
            if (!in.read(place_record_size, street.lat, street.lon, street.name, street.key, &announced_houses) ||
                streets.size() >= h.street_count) {
                stopped = true;
                break;
            }
            street.first_child = uint32_t(houses.size());
            for (uint32_t k = 0; k < announced_houses && !stopped; ++k) {
                search_house house{};
                if (!in.read(house_record_size, house.lat, house.lon, house.name, house.key, nullptr) ||
                    houses.size() >= h.house_count) {
                    stopped = true;
                    break;
                }
                houses.push_back(house);
                ++street.child_count;
            }
            streets.push_back(street);
            ++city.child_count;
            if (street.child_count < announced_houses)
                short_group = true;
        }
        cities.push_back(city);
        if (city.child_count < announced_streets) {
            short_group = true;
            stopped = true;
        }
    }
    if (short_group)
        return false;
    return in.pos == size || (cities.size() == h.city_count && streets.size() == h.street_count &&
                              houses.size() == h.house_count);
}

}  // namespace ozm
}  // namespace kiv
