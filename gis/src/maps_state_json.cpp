// maps_state_json.cpp --
//
//     Builds the maps-state JSON with the HTTP library's JSON writer, so
//     the text has that writer's form to the byte (unquoted names unless
//     they hold a blank, "%u" versions, "%f" coordinates, an empty
//     object written as null, non-finite numbers written as null): pages
//     and scripts compare and parse it as that writer makes it.

#include "maps_state_json.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/gis/i_gis_driver.h>
#include <kiv/http/i_http_json_writer.h>

namespace kiv {

char* build_maps_state_json(i_object_col* maps) {
    if (maps == nullptr)
        return nullptr;
    auto_ptr_t<i_http_json_writer> json(kiv_http_create_json_writer(false));
    if (!json)
        return nullptr;
    json->start_collection("maps");
    for (unsigned i = 0; i < maps->get_count(); ++i) {
        auto_ptr_t<i_object> item(maps->get_item_by_pos(i));
        i_gis_map* map = kiv_cast_i_gis_map(item);
        if (map == nullptr)
            continue;
        json->start_object("");
        json->add_property("n", map->get_name());
        json->add_property("t", map->get_tags());
        json->add_property("c", map->get_copyright());
        json->add_property_int("v", static_cast<int>(map->get_version()), true);
        geo_point min{0, 0}, max{0, 0};
        if (map->get_envelope(min, max)) {
            json->start_object("e");
            json->add_property_double("x0", min.lon);
            json->add_property_double("y0", min.lat);
            json->add_property_double("x1", max.lon);
            json->add_property_double("y1", max.lat);
            json->stop_element();
        } else {
            json->add_json("e", "null");
        }
        json->stop_element();
    }
    json->stop_element();
    return json->get_json(true);
}

}  // namespace kiv
