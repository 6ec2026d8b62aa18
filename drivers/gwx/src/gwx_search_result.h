// gwx_search_result.h --
//
//     The places a search of the "gwx" driver found, in byte order of
//     their texts, each text once (the first record with a text wins),
//     with the cursor of gis_search_list over them. Built whole by the
//     search, then read by one caller; it does not lock.

#ifndef KIV_GWX_GWX_SEARCH_RESULT_H
#define KIV_GWX_GWX_SEARCH_RESULT_H

#include <kiv/gis/gis_search_list.h>

#include <map>
#include <string>

namespace kiv {

// One place a search found.
struct gwx_search_item {
    long long id = 0;
    std::string text;  // UTF-8
    double lat = 0, lon = 0;
};

class gwx_search_result : public gis_search_list<gwx_search_item> {
public:
    using item = gwx_search_item;
    // Items keyed by their text: the order and uniqueness of a result.
    using item_map = std::map<std::string, item>;

    // Takes the items in key order; the cursor stands on the first one.
    explicit gwx_search_result(const item_map& items);
};

}  // namespace kiv

#endif
