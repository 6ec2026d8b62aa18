// gis_search_list.h --
//
//     The cursor a driver's search result keeps over its found places:
//     the items in their final order, a position that walks them and the
//     getters of the item it stands on. Drivers differ only in what an
//     item holds, so the cursor is a template over the item, which needs
//     the fields `id`, `lat`, `lon` and `text` (a std::string or a
//     borrowed const char*, never null).
//
//     Built whole by a search, then read by one caller at a time; it
//     does not lock.

#ifndef KIV_GIS_GIS_SEARCH_LIST_H
#define KIV_GIS_GIS_SEARCH_LIST_H

#include <kiv/core/object.h>
#include <kiv/gis/i_gis_driver.h>

#include <string>
#include <vector>

namespace kiv {

template <class item_t>
class gis_search_list : public object, public virtual i_gis_search_result {
public:
    // A result is shared through references, never copied by value (its
    // items may borrow texts from the map that made them).
    gis_search_list(const gis_search_list&) = delete;
    gis_search_list& operator=(const gis_search_list&) = delete;

    // Answers "i_gis_search_result" only ("i_object" included gives false).
    bool get_interface(const char* name, void** out) override {
        if (answer_interface(name, "i_gis_search_result", static_cast<i_gis_search_result*>(this), out))
            return true;
        if (out != nullptr)
            *out = nullptr;
        return false;
    }

    unsigned get_count() override { return static_cast<unsigned>(items_.size()); }
    // Returns: false at the end position (no move); else moves one item
    //     on and tells whether the cursor stands on an item.
    bool next() override {
        if (pos_ >= items_.size())
            return false;
        ++pos_;
        return pos_ < items_.size();
    }
    bool is_valid() override { return pos_ < items_.size(); }
    bool first() override {
        pos_ = 0;
        return !items_.empty();
    }
    // Returns: false (cursor unchanged) for an index not below the count.
    bool at(unsigned index) override {
        if (index >= items_.size())
            return false;
        pos_ = index;
        return true;
    }
    // Returns: the item's text (borrowed, valid while the result lives),
    //     null at the end position.
    const char* get_result_text() override {
        const item_t* it = current();
        return it != nullptr ? text_of(it->text) : nullptr;
    }
    // Returns: false (pt unchanged) at the end position.
    bool get_result_point(geo_point& pt) override {
        const item_t* it = current();
        if (it == nullptr)
            return false;
        pt.lat = it->lat;
        pt.lon = it->lon;
        return true;
    }
    // Returns: 0.0 at the end position.
    double get_result_lat() override {
        const item_t* it = current();
        return it != nullptr ? it->lat : 0.0;
    }
    double get_result_lon() override {
        const item_t* it = current();
        return it != nullptr ? it->lon : 0.0;
    }
    // Returns: 0 at the end position.
    long long get_result_id() override {
        const item_t* it = current();
        return it != nullptr ? it->id : 0;
    }

protected:
    gis_search_list() = default;
    ~gis_search_list() override = default;

    // Returns: the item under the cursor, null at the end position.
    const item_t* current() const { return pos_ < items_.size() ? &items_[pos_] : nullptr; }

    std::vector<item_t> items_;  // in result order
    size_t pos_ = 0;             // the cursor; items_.size() is the end position

private:
    static const char* text_of(const std::string& text) { return text.c_str(); }
    static const char* text_of(const char* text) { return text; }
};

}  // namespace kiv

#endif
