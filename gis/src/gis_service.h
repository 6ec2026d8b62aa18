// gis_service.h --
//
//     The service "svc_gis": the registry of map drivers, the default
//     driver and the forwarding of every map operation to a driver chosen
//     by name, plus its own two additions, the distance wording of
//     location texts and the cached maps-state JSON. The library entry
//     creates one and registers it; drivers add themselves from their own
//     entries.

#ifndef KIV_GIS_SRC_GIS_SERVICE_H
#define KIV_GIS_SRC_GIS_SERVICE_H

#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/core/object_col.h>
#include <kiv/gis/i_gis_service.h>

#include <memory>
#include <string>
#include <vector>

namespace kiv {

class gis_service : public object, public i_gis_service {
public:
    // Takes KIV_GIS_DEFAULT_DRIVER, when set, as the default driver's
    // name (whether or not such a driver ever comes).
    gis_service();
    ~gis_service() override;

    bool get_interface(const char* name, void** out) override;

    bool set_default_driver(const char* driver_name) override;
    const char* get_default_driver() override;
    i_object_col* get_drivers() override;
    bool add_driver(i_gis_driver* driver) override;
    bool remove_driver(i_gis_driver* driver) override;
    i_gis_driver* get_driver_by_name(const char* name) override;
    i_gis_renderer* create_renderer(const char* driver_name, i_gis_viewport* vp, const char* layers,
                                    const char* map_tags) override;
    i_image* get_image(const char* driver_name, i_gis_viewport* vp, const char* layers, const char* map_tags,
                       bool allow_cache) override;
    char* get_location_text(const char* driver_name, double lat, double lon, double max_range,
                            const char* text) override;
    i_object_col* get_locations_text(const char* driver_name, double* lats, double* lons, unsigned point_count,
                                     double max_range, const char* text) override;
    i_gis_road_lock* lock_points_to_road(const char* driver_name, double* lats, double* lons, unsigned point_count,
                                         double max_range, bool simulate) override;
    bool lock_point_to_road(const char* driver_name, double lat, double lon, double max_range,
                            geo_point& pt) override;
    i_gis_search_result* search_cities(const char* driver_name, const char* name, const char* map_tags) override;
    i_gis_search_result* search_streets(const char* driver_name, long long city_id, const char* name) override;
    i_gis_search_result* search_houses(const char* driver_name, long long street_id, const char* name) override;
    i_object_col* get_maps(const char* driver_name, const char* map_tags) override;
    const char* get_layers(const char* driver_name) override;
    char* get_maps_state() override;

private:
    // The driver named `name`, else the default one.
    // Returns: the driver with one reference for the caller; null for a
    //     null name or when neither is registered.
    i_gis_driver* get_driver(const char* name);
    // Returns: the copy of `text` in `kept`, added when none is there yet;
    //     the copies live as long as the service. The caller holds the
    //     mutex guarding `kept`.
    static const std::string* keep_text(std::vector<std::unique_ptr<const std::string>>& kept, const char* text);

    object_col drivers_;           // registered drivers, one reference each; guards itself
    mutex default_mutex_;  // guards default_names_ and default_driver_
    // Every default name ever set, each once. get_default_driver lends
    // one of these texts, and a caller on another thread may still read
    // it after the default changes, so none is freed before the service.
    std::vector<std::unique_ptr<const std::string>> default_names_;
    const std::string* default_driver_;  // one of default_names_; the empty name when none
    mutex layers_mutex_;  // guards layer_texts_
    // Copies of every distinct layers text a driver gave: get_layers lends
    // one, and the driver may be removed and freed while a caller still
    // reads it, so none is freed before the service.
    std::vector<std::unique_ptr<const std::string>> layer_texts_;
    mutex maps_state_mutex_;       // held from the version check to the end of get_maps_state
    std::string maps_state_;       // the last maps-state JSON; "" when none
    unsigned maps_state_version_ = 0xFFFFFFFFu;  // render version maps_state_ was built at
};

}  // namespace kiv

#endif
