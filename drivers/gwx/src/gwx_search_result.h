// gwx_search_result.h --
//
//     The places a search of the "gwx" driver found, in byte order of
//     their texts, each text once (the first record with a text wins),
//     with a cursor over them. Built whole by the search, then read by
//     one caller; it does not lock.

#ifndef KIV_GWX_GWX_SEARCH_RESULT_H
#define KIV_GWX_GWX_SEARCH_RESULT_H

#include <kiv/core/object.h>
#include <kiv/gis/i_gis_driver.h>

#include <map>
#include <string>
#include <vector>

namespace kiv {

class gwx_search_result : public object, public virtual i_gis_search_result {
public:
    struct item {
        long long id = 0;
        std::string text;  // UTF-8
        double lat = 0, lon = 0;
    };
    // Items keyed by their text: the order and uniqueness of a result.
    using item_map = std::map<std::string, item>;

    // Takes the items in key order; the cursor stands on the first one.
    explicit gwx_search_result(const item_map& items);

    // Answers "i_gis_search_result" only.
    bool get_interface(const char* name, void** out) override;

    unsigned get_count() override;
    bool next() override;
    bool is_valid() override;
    bool first() override;
    bool at(unsigned index) override;
    const char* get_result_text() override;
    bool get_result_point(geo_point& pt) override;
    double get_result_lat() override;
    double get_result_lon() override;
    long long get_result_id() override;

private:
    const item* current() const { return pos_ < items_.size() ? &items_[pos_] : nullptr; }

    std::vector<item> items_;
    size_t pos_ = 0;  // the cursor; items_.size() means past the end
};

}  // namespace kiv

#endif
