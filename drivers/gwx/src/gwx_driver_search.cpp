// gwx_driver_search.cpp --
//
//     The "gwx" driver's place searches. Each asks the control by class
//     code (towns and villages; streets and roads within a town's area;
//     houses of a street), checks what comes back (ids that are numbers,
//     positions with as many values as used, names that really begin
//     with what was asked, letter case ignored), and keeps the first
//     place of each text, in byte order of the texts.

#include "gwx_driver.h"

#include "gwx_search_result.h"
#include "gwx_text.h"

#include <kiv/core/text_checks.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <new>

namespace kiv {

namespace {

const char* const city_classes = "{41100000,41200000,42100000,42200000,42300000}";
const char* const house_classes = "{BL}";

std::string field_text(gwx_record_set& records, int index) {
    std::u16string text;
    if (!records.get_field_text(index, text))
        return std::string();
    return from_control_text(text);
}

// Field 0 as an id. Returns: false unless it is a whole decimal number.
bool field_id(gwx_record_set& records, long long& id) {
    std::string text = field_text(records, 0);
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    id = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && end != text.c_str() && *end == '\0';
}

i_gis_search_result* make_result(const gwx_search_result::item_map& items) {
    gwx_search_result* r = new (std::nothrow) gwx_search_result(items);
    if (r == nullptr)
        return nullptr;
    r->addref();
    return r;
}

}  // namespace

bool gwx_driver::object_coords(long long id, size_t needed, std::vector<double>& values) {
    gwx_control* c = control();
    std::unique_ptr<gwx_object> obj;
    if (c == nullptr || !c->get_object(id, obj) || !obj || !obj->get_coords(values) || values.size() < needed)
        return false;
    for (size_t i = 0; i < needed; ++i)
        if (!std::isfinite(values[i]))
            return false;
    return true;
}

void gwx_driver::collect_places(gwx_record_set& records,
                                const std::function<bool(gwx_record_set& record, std::string& text)>& text_of,
                                gwx_search_result::item_map& items) {
    for (long pos = records.move_first(); pos >= 0; pos = records.move_next()) {
        long long id = 0;
        if (!field_id(records, id))
            continue;
        std::string text;
        if (!text_of(records, text) || items.count(text) != 0)
            continue;
        std::vector<double> at;
        if (!object_coords(id, 2, at))
            continue;
        items.emplace(text, gwx_search_result::item{id, text, at[0], at[1]});
    }
}

i_gis_search_result* gwx_driver::search_cities(const char* name, const char* map_tags) {
    (void)map_tags;
    gwx_search_result::item_map items;
    gwx_control* c = control();
    std::string query = name != nullptr ? name : "";
    std::unique_ptr<gwx_record_set> records;
    if (c != nullptr && c->query(to_control_text((city_classes + query).c_str()), records) && records) {
        // Names come back through the code page, so the query is compared
        // in the same form.
        std::string wanted = utf8_lower(from_control_text(to_control_text(query.c_str())));
        collect_places(*records, [&](gwx_record_set& record, std::string& text) {
            text = field_text(record, 3);
            return starts_with(utf8_lower(text), wanted);
        }, items);
    }
    return make_result(items);
}

i_gis_search_result* gwx_driver::search_streets(long long city_id, const char* name) {
    (void)name;
    gwx_search_result::item_map items;
    gwx_control* c = control();
    std::vector<double> area;
    std::unique_ptr<gwx_record_set> records;
    // A town known only as a point has no area to look in.
    if (c != nullptr && object_coords(city_id, 4, area) &&
        c->query_area(area[0], area[1], area[2], area[3], records) && records) {
        collect_places(*records, [](gwx_record_set& record, std::string& text) {
            std::string cls = field_text(record, 2);
            text = field_text(record, 3);
            return (starts_with(cls, "ST") || starts_with(cls, "RD") || starts_with(cls, "45100000")) &&
                   !text.empty();
        }, items);
    }
    return make_result(items);
}

i_gis_search_result* gwx_driver::search_houses(long long street_id, const char* name) {
    (void)street_id;
    if (name == nullptr)
        return nullptr;
    gwx_search_result::item_map items;
    gwx_control* c = control();
    std::unique_ptr<gwx_record_set> records;
    if (c != nullptr && c->query(to_control_text((std::string(house_classes) + name).c_str()), records) &&
        records) {
        std::string wanted = utf8_lower(from_control_text(to_control_text(name)));
        // The house number follows the ". " that ends the street's name
        // ("lenina st. 12"); a ". " inside the street's own name ("st.
        // peter ave. 5") is passed over.
        size_t from = wanted.empty() ? 0 : wanted.size() - 1;
        collect_places(*records, [&](gwx_record_set& record, std::string& text) {
            std::string lower = utf8_lower(field_text(record, 3));
            if (!starts_with(lower, wanted))
                return false;
            size_t dot = lower.find(". ", from);
            if (dot == std::string::npos || dot + 2 >= lower.size())
                return false;
            text = lower.substr(dot + 2);
            return true;
        }, items);
    }
    return make_result(items);
}

}  // namespace kiv
