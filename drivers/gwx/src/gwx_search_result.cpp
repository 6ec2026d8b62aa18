// gwx_search_result.cpp --
//
//     The making of a search result from the items the search found.

#include "gwx_search_result.h"

namespace kiv {

gwx_search_result::gwx_search_result(const item_map& items) {
    items_.reserve(items.size());
    for (const auto& entry : items)
        items_.push_back(entry.second);
}

}  // namespace kiv
