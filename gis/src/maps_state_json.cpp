// maps_state_json.cpp --
//
//     Builds the maps-state JSON. The text follows the HTTP library's
//     JSON writer to the byte (unquoted names unless they hold a blank,
//     "%u" versions, "%f" coordinates, an empty object written as null
//     and non-finite numbers written as null), because pages and scripts
//     compare and parse it as that writer makes it. json_text below
//     offers the writer's operations under the writer's names, so this
//     file can move onto kiv_http's writer (kiv_http_create_json_writer
//     with false) without touching its caller.

#include "maps_state_json.h"

#include "number_text.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/gis/i_gis_driver.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace kiv {

namespace {

// The subset of the JSON writer that the maps state uses; the top level
// is an object.
class json_text {
public:
    json_text() { start(); }

    bool start_collection(const char* name) { return open_element(name, '[', ']'); }
    bool start_object(const char* name) { return open_element(name, '{', '}'); }
    bool stop_element() {
        if (open_.size() < 2)
            return false;
        level top = open_.back();
        open_.pop_back();
        if (top.close == '}' && !top.has_members)
            text_.replace(top.start, std::string::npos, "null");
        else
            text_ += top.close;
        return true;
    }
    bool add_property(const char* name, const char* value) {
        if (name == nullptr || value == nullptr)
            return false;
        begin_member(name, false);
        text_ += '"';
        for (const char* p = value; *p != '\0'; ++p) {
            switch (*p) {
            case '"': text_ += "\\\""; break;
            case '\n': text_ += "\\n"; break;
            case '\r': text_ += "\\r"; break;
            case '\\': text_ += "\\\\"; break;
            default: text_ += *p;
            }
        }
        text_ += '"';
        return true;
    }
    bool add_property_int(const char* name, int value, bool unsigned_value = false) {
        if (name == nullptr)
            return false;
        begin_member(name, false);
        text_ += unsigned_value ? std::to_string(static_cast<unsigned>(value)) : std::to_string(value);
        return true;
    }
    // Six decimals; a number that is not finite is written as null.
    bool add_property_double(const char* name, double value) {
        if (name == nullptr)
            return false;
        begin_member(name, false);
        text_ += std::isfinite(value) ? format_fixed(value, 6) : "null";
        return true;
    }
    bool add_json(const char* name, const char* json) {
        if (name == nullptr || json == nullptr)
            return false;
        begin_member(name, true);
        text_ += json;
        return true;
    }
    // Returns: the finished text (malloc-ed), null unless only the top
    //     level is open or when memory fails. With `reset` the writer
    //     then starts a new, empty text.
    char* get_json(bool reset = true) {
        if (open_.size() != 1)
            return nullptr;
        std::string done = text_ + open_.front().close;
        char* out = static_cast<char*>(std::malloc(done.size() + 1));
        if (out != nullptr)
            std::memcpy(out, done.c_str(), done.size() + 1);
        if (reset)
            start();
        return out;
    }

private:
    void start() {
        text_ = "{";
        open_.assign(1, level{'}', 0, false});
    }

    struct level {
        char close;           // ']' or '}'
        size_t start;         // where its opening bracket stands in text_
        bool has_members;     // something was written inside
    };

    void begin_member(const char* name, bool raw_name) {
        level& top = open_.back();
        if (top.has_members)
            text_ += ',';
        top.has_members = true;
        if (top.close == ']')
            return;  // array elements have no name
        bool quote = !raw_name && std::strchr(name, ' ') != nullptr;
        if (quote)
            text_ += '"';
        text_ += name;
        if (quote)
            text_ += '"';
        text_ += ':';
    }
    bool open_element(const char* name, char open, char close) {
        if (name == nullptr)
            return false;
        begin_member(name, false);
        open_.push_back(level{close, text_.size(), false});
        text_ += open;
        return true;
    }

    std::string text_;
    std::vector<level> open_;  // the top level first; never empty
};

}  // namespace

char* build_maps_state_json(i_object_col* maps) {
    if (maps == nullptr)
        return nullptr;
    json_text json;
    json.start_collection("maps");
    for (unsigned i = 0; i < maps->get_count(); ++i) {
        auto_ptr_t<i_object> item(maps->get_item_by_pos(i));
        i_gis_map* map = kiv_cast_i_gis_map(item);
        if (map == nullptr)
            continue;
        json.start_object("");
        json.add_property("n", map->get_name());
        json.add_property("t", map->get_tags());
        json.add_property("c", map->get_copyright());
        json.add_property_int("v", static_cast<int>(map->get_version()), true);
        geo_point min{0, 0}, max{0, 0};
        if (map->get_envelope(min, max)) {
            json.start_object("e");
            json.add_property_double("x0", min.lon);
            json.add_property_double("y0", min.lat);
            json.add_property_double("x1", max.lon);
            json.add_property_double("y1", max.lat);
            json.stop_element();
        } else {
            json.add_json("e", "null");
        }
        json.stop_element();
    }
    json.stop_element();
    return json.get_json();
}

}  // namespace kiv
