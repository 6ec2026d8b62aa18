// gis_flat.cpp --
//
//     The flat functions behind gis_lib.h: each looks up "svc_gis", does
//     its work through it and releases it. kiv_gis_get_image adds the
//     rendered-image cache around the default driver's renderer; the list
//     functions turn text lists into the arrays the service takes; the
//     search-result JSON is written with the HTTP library's JSON writer.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/service_ref.h>
#include <kiv/gis/gis_lib.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/http/i_http_json_writer.h>
#include <kiv/image/i_image.h>
#include <kiv/image/image_lib.h>

#include "coord_list.h"
#include "image_cache.h"

#include <string>
#include <vector>

using namespace kiv;

namespace {

// Returns: whether `img` exists and has the size `size` gives.
bool has_size(i_image* img, const view_point& size) {
    return img != nullptr && img->get_width() == static_cast<unsigned>(size.x) &&
           img->get_height() == static_cast<unsigned>(size.y);
}

}  // namespace

i_image* kiv_gis_get_image(i_gis_viewport* vp, const char* layers, const char* map_tags, bool use_cache) {
    if (vp == nullptr || layers == nullptr || map_tags == nullptr)
        return nullptr;
    auto_ptr_t<i_gis_service> gis = service_ref("svc_gis", kiv_cast_i_gis_service);
    if (!gis)
        return nullptr;
    auto_ptr_t<i_gis_renderer> renderer(gis->create_renderer("", vp, layers, map_tags));
    if (!renderer)
        return nullptr;
    view_point size{0, 0};
    geo_point north_west{0, 0}, south_east{0, 0};
    if (!vp->get_viewport_size(size) || !vp->dp_to_lc(0, 0, north_west) ||
        !vp->dp_to_lc(size.x, size.y, south_east))
        return nullptr;
    std::string root;
    std::string folder, file;
    const bool cached = use_cache && image_cache_root(root);
    if (cached) {
        folder = image_cache_folder(root, renderer->get_version(), vp->get_scale(), layers, map_tags);
        file = image_cache_file(folder, north_west, south_east, size.x, size.y);
        // A file of another size (a damaged or foreign one) is rendered
        // again and replaced below.
        if (kiv_file_exists(file.c_str())) {
            auto_ptr_t<i_image> found(kiv_image_load(file.c_str()));
            if (has_size(found, size))
                return found.detach();
        }
    }
    auto_ptr_t<i_image> img(renderer->render_image(use_cache));
    if (!img)
        return nullptr;
    // A picture that does not fill the viewport would be refused when
    // read back, so it is not stored. Saving writes a temporary file
    // beside the target and renames it, so readers on other threads see
    // the old file or the whole new one; a failure only costs the cache.
    if (cached && has_size(img, size) && kiv_make_path(folder.c_str()))
        img->save_image(file.c_str(), 2, 100);
    return img.detach();
}

char* kiv_gis_get_loc_text(double lat, double lon, double max_range, const char* text) {
    auto_ptr_t<i_gis_service> gis = service_ref("svc_gis", kiv_cast_i_gis_service);
    return gis ? gis->get_location_text("", lat, lon, max_range, text) : nullptr;
}

i_object_col* kiv_gis_get_locations_text(const char* driver_name, const char* lats, const char* lons,
                                         unsigned point_count, double max_range, const char* text) {
    if (driver_name == nullptr || text == nullptr)
        return nullptr;
    std::vector<double> lat_values, lon_values;
    if (!parse_coord_lists(lats, lons, point_count, lat_values, lon_values))
        return nullptr;
    auto_ptr_t<i_gis_service> gis = service_ref("svc_gis", kiv_cast_i_gis_service);
    return gis ? gis->get_locations_text(driver_name, lat_values.data(), lon_values.data(), point_count, max_range,
                                         text)
               : nullptr;
}

i_gis_road_lock* kiv_gis_lock_points_to_road(const char* driver_name, const char* lats, const char* lons,
                                             unsigned point_count, double max_range, bool simulate) {
    if (driver_name == nullptr)
        return nullptr;
    std::vector<double> lat_values, lon_values;
    if (!parse_coord_lists(lats, lons, point_count, lat_values, lon_values))
        return nullptr;
    auto_ptr_t<i_gis_service> gis = service_ref("svc_gis", kiv_cast_i_gis_service);
    return gis ? gis->lock_points_to_road(driver_name, lat_values.data(), lon_values.data(), point_count,
                                          max_range, simulate)
               : nullptr;
}

char* kiv_gis_get_maps_state() {
    auto_ptr_t<i_gis_service> gis = service_ref("svc_gis", kiv_cast_i_gis_service);
    return gis ? gis->get_maps_state() : nullptr;
}

char* kiv_gis_get_search_result_json(i_gis_search_result* sres) {
    if (sres == nullptr)
        return nullptr;
    auto_ptr_t<i_http_json_writer> json(kiv_http_create_json_writer(true));
    if (!json)
        return nullptr;
    sres->first();
    while (sres->is_valid()) {
        const char* text = sres->get_result_text();
        geo_point pt{0, 0};
        if (text == nullptr || !sres->get_result_point(pt))
            return nullptr;
        json->start_object("");
        json->add_property_long("id", sres->get_result_id());
        json->add_property("text", text);
        json->add_property_double("lat", pt.lat);
        json->add_property_double("lon", pt.lon);
        json->stop_element();
        if (!sres->next())
            break;
    }
    return json->get_json(true);
}
