// gwx_search_result.cpp --
//
//     The cursor and getters of a search result.

#include "gwx_search_result.h"

namespace kiv {

gwx_search_result::gwx_search_result(const item_map& items) {
    items_.reserve(items.size());
    for (const auto& entry : items)
        items_.push_back(entry.second);
}

bool gwx_search_result::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_gis_search_result", static_cast<i_gis_search_result*>(this), out))
        return true;
    if (out != nullptr)
        *out = nullptr;
    return false;
}

unsigned gwx_search_result::get_count() {
    return static_cast<unsigned>(items_.size());
}

bool gwx_search_result::next() {
    if (pos_ >= items_.size())
        return false;
    ++pos_;
    return pos_ < items_.size();
}

bool gwx_search_result::is_valid() {
    return pos_ < items_.size();
}

bool gwx_search_result::first() {
    pos_ = 0;
    return !items_.empty();
}

bool gwx_search_result::at(unsigned index) {
    if (index >= items_.size())
        return false;
    pos_ = index;
    return true;
}

const char* gwx_search_result::get_result_text() {
    const item* it = current();
    return it != nullptr ? it->text.c_str() : nullptr;
}

bool gwx_search_result::get_result_point(geo_point& pt) {
    const item* it = current();
    if (it == nullptr)
        return false;
    pt.lat = it->lat;
    pt.lon = it->lon;
    return true;
}

double gwx_search_result::get_result_lat() {
    const item* it = current();
    return it != nullptr ? it->lat : 0.0;
}

double gwx_search_result::get_result_lon() {
    const item* it = current();
    return it != nullptr ? it->lon : 0.0;
}

long long gwx_search_result::get_result_id() {
    const item* it = current();
    return it != nullptr ? it->id : 0;
}

}  // namespace kiv
