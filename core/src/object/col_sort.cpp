// col_sort.cpp --
//
//     Sorting a collection by the names of its items.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/col_sort.h>
#include <kiv/core/object_col.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using kiv::i_named_object;
using kiv::i_object;

kiv::i_object_col* kiv_sort_col(kiv::i_object_col* src_col, bool ascending) {
    if (src_col == nullptr)
        return nullptr;
    // Each kept item is held by one reference of ours until it is in the
    // new collection; names are copied, since an item's owner may rename
    // it meanwhile.
    std::vector<std::pair<std::string, i_object*>> items;
    unsigned count = src_col->get_count();
    items.reserve(count);
    for (unsigned pos = 0; pos < count; ++pos) {
        i_object* item = src_col->get_item_by_pos(pos);
        if (item == nullptr)
            continue;
        i_named_object* named = kiv::cast_interface<i_named_object>(item, "i_named_object");
        if (named == nullptr) {
            item->release();
            continue;
        }
        items.emplace_back(named->get_name(), item);
    }
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
        return std::strcmp(a.first.c_str(), b.first.c_str()) < 0;
    });
    if (!ascending)
        std::reverse(items.begin(), items.end());
    kiv::object_col* sorted = new kiv::object_col();
    sorted->addref();
    sorted->reserve(static_cast<unsigned>(items.size()));
    for (auto& entry : items) {
        sorted->add_item(entry.second, false);
        entry.second->release();
    }
    return sorted;
}
