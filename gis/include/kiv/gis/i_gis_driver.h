// i_gis_driver.h --
//
//     The driver side of the GIS contract: what a map driver ("ozm",
//     "gwx") implements and registers with the service "svc_gis", and
//     the objects it hands out: maps, renderers bound to a viewport, and
//     search results.
//
//     Ownership, as everywhere in the contract: an operation returning
//     an interface pointer has added one reference for the caller;
//     returned texts stay owned by the object (valid while it lives),
//     except location texts, which are malloc-ed blocks the receiver
//     frees with free(). Failures are reported by the result alone
//     (false, null, 0, 0.0); nothing is thrown across the contract.
//
//     Drivers are called from any thread and guard themselves.

#ifndef KIV_GIS_I_GIS_DRIVER_H
#define KIV_GIS_I_GIS_DRIVER_H

#include <kiv/core/i_object.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_string.h>
#include <kiv/gis/gis_types.h>

namespace kiv {

class i_image;
class i_gis_viewport;
class i_gis_road_lock;

// One map of a driver; get_name gives the map's name. Its get_interface
// answers "i_named_object" as well as "i_gis_map": the service orders
// maps by name through that interface and leaves out maps without it.
class i_gis_map : public virtual i_named_object {
public:
    // Returns: the map's tags, comma-separated (borrowed).
    virtual const char* get_tags() = 0;
    // Returns: the copyright text (borrowed).
    virtual const char* get_copyright() = 0;
    virtual unsigned get_version() = 0;
    // min gets the south-west, max the north-east corner of the map.
    // Returns: false when the map has no known area.
    virtual bool get_envelope(geo_point& min, geo_point& max) = 0;

protected:
    ~i_gis_map() = default;
};

// Draws one picture of a driver's maps for the viewport it was made for.
class i_gis_renderer : public virtual i_object {
public:
    // Returns: the data version the picture depends on (a key of the
    //     rendered-image cache).
    virtual unsigned get_version() = 0;
    // Returns: a new RGBA image of the viewport's size with one
    //     reference for the caller, or null.
    virtual i_image* render_image(bool allow_cache) = 0;

protected:
    ~i_gis_renderer() = default;
};

// Found places with a cursor; the getters read the item under it.
class i_gis_search_result : public virtual i_object {
public:
    virtual unsigned get_count() = 0;
    // Returns: false when the cursor passes the last item.
    virtual bool next() = 0;
    // Returns: true when the cursor stands on an item.
    virtual bool is_valid() = 0;
    virtual bool first() = 0;
    // Moves the cursor. Returns: false when index is not below the count.
    virtual bool at(unsigned index) = 0;
    // Returns: the item's text (borrowed), null without an item.
    virtual const char* get_result_text() = 0;
    virtual bool get_result_point(geo_point& pt) = 0;
    virtual double get_result_lat() = 0;
    virtual double get_result_lon() = 0;
    // Returns: the item's opaque id, which search_streets takes for a
    //     city and search_houses for a street.
    virtual long long get_result_id() = 0;

protected:
    ~i_gis_search_result() = default;
};

// A map driver; get_name gives its name, unique among the registered.
class i_gis_driver : public virtual i_named_object {
public:
    // Returns: a new renderer bound to vp, or null when nothing can be
    //     drawn.
    virtual i_gis_renderer* create_renderer(i_gis_viewport* vp, const char* layers,
                                            const char* map_tags) = 0;
    // Names the place nearest to the point within max_range metres;
    // *range receives that place's distance in metres.
    // Returns: a malloc-ed text the caller frees, or null.
    virtual char* get_location_text(double lat, double lon, double max_range, double* range) = 0;
    // Returns: a new collection with one named string per point, in point
    //     order (empty for a point without a location): the value is the
    //     location text, the name the place's distance in metres ("%f");
    //     or null.
    virtual i_object_col* get_locations_text(double* lats, double* lons, unsigned point_count,
                                             double max_range) = 0;
    // Returns: a new road lock (a gis_road_lock) or null.
    virtual i_gis_road_lock* lock_points_to_road(double* lats, double* lons, unsigned point_count,
                                                 double max_range, bool simulate) = 0;
    // pt receives the snapped point. Returns: false when none was found.
    virtual bool lock_point_to_road(double lat, double lon, double max_range, geo_point& pt) = 0;
    virtual i_gis_search_result* search_cities(const char* name, const char* map_tags) = 0;
    virtual i_gis_search_result* search_streets(long long city_id, const char* name) = 0;
    virtual i_gis_search_result* search_houses(long long street_id, const char* name) = 0;
    // Returns: a number that changes whenever the driver's maps or render
    //     data change.
    virtual unsigned get_render_version() = 0;
    // Returns: a new collection of i_gis_map carrying map_tags, or null.
    virtual i_object_col* get_maps(const char* map_tags) = 0;
    // Returns: the layer names, comma-separated (borrowed).
    virtual const char* get_layers() = 0;

protected:
    ~i_gis_driver() = default;
};

}  // namespace kiv

// Each returns the named interface of obj, or null for a null object or
// one without it. No reference is added.
KIV_EXTERN_C kiv::i_gis_map* kiv_cast_i_gis_map(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_gis_driver* kiv_cast_i_gis_driver(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_gis_renderer* kiv_cast_i_gis_renderer(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_gis_search_result* kiv_cast_i_gis_search_result(kiv::i_object* obj);

#endif
