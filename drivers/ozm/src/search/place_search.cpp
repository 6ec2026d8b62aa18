// place_search.cpp --
//
//     The three search levels over the maps' search indexes. A pattern
//     matches the keys from the first one not less than it, in key
//     order, while their first bytes equal it. Record indexes are
//     checked against the records the map really read (a search index
//     may end on its byte count with fewer cities than its header
//     announced), and a name outside the string pool gives no item.
//     Running out of memory ends a search with null; no exception
//     leaves these functions.

#include <kiv/core/auto_ptr.h>

#include "map/ozm_map.h"
#include "search/ozm_search_result.h"
#include "search/place_search.h"

#include <tcl.h>

#include <cstring>
#include <map>
#include <new>
#include <vector>

namespace kiv {
namespace ozm {

namespace {

// Street or house listing of one record of `map`; `id` names it.
i_gis_search_result* search_children(ozm_map* map, long long id, const char* name, bool houses) {
    if (name == nullptr || map == nullptr)
        return nullptr;
    const uint32_t load_number = uint32_t(uint64_t(id) >> 32);
    const uint32_t index = uint32_t(uint64_t(id) & 0xFFFFFFFFu);
    if (map->load_number() != load_number)
        return nullptr;
    try {
        std::string pattern = search_pattern(name);
        auto_ptr_t<ozm_search_result> result(new ozm_search_result);
        result->addref();
        result->add_map(map);
        std::vector<listing_entry> found;
        const size_t records = houses ? map->file().streets().size() : map->file().cities().size();
        if (index < records) {
            if (houses)
                map->list_houses(index, pattern.c_str(), found);
            else
                map->list_streets(index, pattern.c_str(), found);
        }
        std::vector<search_item> items;
        items.reserve(found.size());
        for (const listing_entry& e : found) {
            if (e.name != nullptr)
                items.push_back(search_item{make_search_id(e.load_number, e.index), e.name, e.lat, e.lon});
        }
        result->add_items(items);
        return result.detach();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

std::string search_pattern(const char* name) {
    if (name == nullptr)
        return std::string();
    std::vector<char> buffer(name, name + std::strlen(name) + 1);
    // Upper-casing never lengthens a UTF-8 text in Tcl's tables; the
    // result is terminated inside the copy.
    int length = Tcl_UtfToUpper(buffer.data());
    return std::string(buffer.data(), size_t(length));
}

i_gis_search_result* search_cities(const map_list& maps, const char* name, const char* map_tags) {
    if (name == nullptr || map_tags == nullptr)
        return nullptr;
    try {
        map_list chosen;
        for (ozm_map* map : maps) {
            if (map->matches_tags(map_tags))
                chosen.add(map);
        }
        const std::string pattern = search_pattern(name);
        const size_t length = pattern.size();
        // Items by name: the first found of a name stays.
        std::map<const char*, search_item, text_less> unique;
        for (ozm_map* map : chosen) {
            const key_index& keys = map->city_keys();
            const std::vector<search_place>& cities = map->file().cities();
            for (auto it = keys.lower_bound(pattern.c_str());
                 it != keys.end() && std::strncmp(it->first, pattern.c_str(), length) == 0; ++it) {
                if (it->second >= cities.size())
                    continue;
                const search_place& city = cities[it->second];
                const char* text = map->file().text_at(city.name);
                if (text == nullptr)
                    continue;
                unique.emplace(text, search_item{make_search_id(map->load_number(), it->second), text, city.lat,
                                                 city.lon});
            }
        }
        if (unique.empty())
            chosen.clear();
        std::vector<search_item> items;
        items.reserve(unique.size());
        for (const auto& entry : unique)
            items.push_back(entry.second);
        auto_ptr_t<ozm_search_result> result(new ozm_search_result);
        result->addref();
        result->adopt_maps(chosen);
        result->add_items(items);
        return result.detach();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

i_gis_search_result* search_streets(ozm_map* map, long long city_id, const char* name) {
    return search_children(map, city_id, name, false);
}

i_gis_search_result* search_houses(ozm_map* map, long long street_id, const char* name) {
    return search_children(map, street_id, name, true);
}

}  // namespace ozm
}  // namespace kiv
