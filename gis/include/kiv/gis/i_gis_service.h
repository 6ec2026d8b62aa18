// i_gis_service.h --
//
//     The service "svc_gis": the registry of map drivers, the default
//     driver, and every map operation forwarded to a driver chosen by
//     name. Map users (the map view, the viewer, scripts) reach maps only
//     through it:
//
//         auto_ptr_t<kiv::i_object> svc(kiv_core()->get_service("svc_gis"));
//         kiv::i_gis_service* gis = kiv_cast_i_gis_service(svc);
//         auto_ptr_t<kiv::i_object_col> maps(gis != nullptr ? gis->get_maps("", "") : nullptr);
//
//     A `driver_name` argument names a registered driver; "" or a name no
//     driver has means the default driver; null means none, and the
//     operation fails. With no driver the result is null, false or 0.
//
//     Ownership: returned interface pointers carry one reference for the
//     caller; get_default_driver and get_layers return borrowed text;
//     get_location_text and get_maps_state return malloc-ed text the
//     caller frees with free().
//
//     Callers come from any thread. Forwarded calls run on the caller's
//     thread without a lock of the service; each driver guards itself.

#ifndef KIV_GIS_I_GIS_SERVICE_H
#define KIV_GIS_I_GIS_SERVICE_H

#include <kiv/core/i_object.h>
#include <kiv/core/i_object_col.h>
#include <kiv/gis/gis_types.h>
#include <kiv/gis/i_gis_driver.h>
#include <kiv/gis/i_gis_road_lock.h>
#include <kiv/gis/i_gis_viewport.h>

namespace kiv {

class i_image;

class i_gis_service : public virtual i_object {
public:
    // Names the default driver; the name is not checked against the
    // registry (a driver of that name may come later).
    // Returns: false for null; true otherwise.
    virtual bool set_default_driver(const char* driver_name) = 0;
    // Returns: the default driver's name (borrowed; "" when none), valid
    //     until the next set_default_driver.
    virtual const char* get_default_driver() = 0;
    // Returns: a new collection of every registered driver, in the order
    //     added, with one reference for the caller.
    virtual i_object_col* get_drivers() = 0;
    // Registers a driver (adding a reference). The first driver added
    // while no default is named becomes the default.
    // Returns: false for null or when a driver of the same name
    //     (case-sensitive) is registered already; that one stays.
    virtual bool add_driver(i_gis_driver* driver) = 0;
    // Unregisters a driver; the default name is left as it is.
    // Returns: false for null; true otherwise, registered or not.
    virtual bool remove_driver(i_gis_driver* driver) = 0;
    // Returns: the driver of exactly that name with one reference for
    //     the caller, or null.
    virtual i_gis_driver* get_driver_by_name(const char* name) = 0;
    virtual i_gis_renderer* create_renderer(const char* driver_name, i_gis_viewport* vp,
                                            const char* layers, const char* map_tags) = 0;
    // Creates a renderer and renders one picture with it.
    // Returns: a new image with one reference, or null.
    virtual i_image* get_image(const char* driver_name, i_gis_viewport* vp, const char* layers,
                               const char* map_tags, bool allow_cache) = 0;
    // The place nearest to the point within max_range metres. A place
    // farther than 100 m is worded "<km with 2 decimals> <text> <place>",
    // `text` being the caller's joining word ("1.50 from Town"); a nearer
    // place, or an empty `text`, gives the place alone.
    // Returns: a malloc-ed text the caller frees; null for a null text,
    //     no driver or no place.
    virtual char* get_location_text(const char* driver_name, double lat, double lon,
                                    double max_range, const char* text) = 0;
    // get_location_text for each of point_count points.
    // Returns: a new collection of strings in point order (the value is
    //     the worded text), or null for a null text or array or when the
    //     driver gives none.
    virtual i_object_col* get_locations_text(const char* driver_name, double* lats, double* lons,
                                             unsigned point_count, double max_range,
                                             const char* text) = 0;
    // Returns: the driver's road lock, or null for a null array or a
    //     point_count of 0.
    virtual i_gis_road_lock* lock_points_to_road(const char* driver_name, double* lats,
                                                 double* lons, unsigned point_count,
                                                 double max_range, bool simulate) = 0;
    virtual bool lock_point_to_road(const char* driver_name, double lat, double lon,
                                    double max_range, geo_point& pt) = 0;
    virtual i_gis_search_result* search_cities(const char* driver_name, const char* name,
                                               const char* map_tags) = 0;
    virtual i_gis_search_result* search_streets(const char* driver_name, long long city_id,
                                                const char* name) = 0;
    virtual i_gis_search_result* search_houses(const char* driver_name, long long street_id,
                                               const char* name) = 0;
    // Returns: a new collection of i_gis_map, or null.
    virtual i_object_col* get_maps(const char* driver_name, const char* map_tags) = 0;
    // Returns: the driver's layer names, comma-separated (borrowed from
    //     the driver), or null.
    virtual const char* get_layers(const char* driver_name) = 0;
    // The default driver's maps as JSON, in ascending name order:
    //     {maps:[{n:"name",t:"tags",c:"copyright",v:1,
    //             e:{x0:min_lon,y0:min_lat,x1:max_lon,y1:max_lat}},...]}
    // with e:null for a map without an envelope. The text is kept and
    // reused while the driver's render version stays the same.
    // Returns: a malloc-ed copy the caller frees, or null without a
    //     default driver or maps.
    virtual char* get_maps_state() = 0;

protected:
    ~i_gis_service() = default;
};

}  // namespace kiv

// Returns: the interface of obj, or null; no reference added.
KIV_EXTERN_C kiv::i_gis_service* kiv_cast_i_gis_service(kiv::i_object* obj);

#endif
