// ozm_driver.h --
//
//     The map driver "ozm": the one object through which the GIS service
//     reaches the loaded ozm maps and the render layers. It loads every
//     "*.ozm" file of its maps folder (ordered by the header's priority,
//     each with a load number that is never reused), loads the "*.xml"
//     layer files of "<render config>/layers", keeps both current from
//     the core's background task (at most every 5 seconds: changed layer
//     files reloaded, the maps folder rescanned, idle pages freed), and
//     decides for each image which maps and layers take part at which
//     render level and detail class.
//
//         auto_ptr_t<ozm_driver> driver(new ozm_driver);
//         driver->addref();
//         if (driver->init("/data/maps", "/data/render"))
//             gis->add_driver(driver.get());
//
//     Threads: every operation may come from any thread; the maps guard
//     covers the map collections. Layers are loaded by init and changed
//     afterwards only in place by their own reload.

#ifndef KIV_OZM_OZM_DRIVER_H
#define KIV_OZM_OZM_DRIVER_H

#include <kiv/core/i_event.h>
#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>
#include <kiv/gis/i_gis_driver.h>
#include <kiv/gis/i_gis_viewport.h>

#include "map/ozm_map.h"
#include "render/renderer_layer.h"
#include "search/map_list.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kiv {

class render_tool_pool;

// Returns: the render level of a scale denominator: the first k in 0..16
//     with scale <= 1500 x 2^k; 16 for a larger scale.
unsigned char level_from_scale(unsigned scale);
// Returns: the detail class of a scale denominator: 0 up to 50,000, 1 up
//     to 2,000,000, else 2.
unsigned char detail_class_from_scale(unsigned scale);

class ozm_driver : public object, public i_named_object_impl, public virtual i_gis_driver {
public:
    // An empty driver named "ozm"; the first map loaded gets load number 1.
    ozm_driver();
    // Uninstalls the background handler (waiting for a tick under way),
    // releases every map and deletes every layer.
    ~ozm_driver() override;

    // Answers "i_named_object" and "i_gis_driver".
    bool get_interface(const char* name, void** out) override;

    // Loads the maps of `maps_path` (silently: a map that fails is
    // skipped) and the layer files of "<render_config_path>/layers", then
    // installs the background handler.
    // Returns: false for a null argument, a maps folder without any map
    //     file, a missing layers folder (traced) or one without "*.xml"
    //     files. A layer file that fails to load is skipped.
    // Call once, before the driver is shared.
    bool init(const char* maps_path, const char* render_config_path);

    // Rescans the maps folder: maps whose file vanished or whose header
    // changed are unloaded, files not loaded yet are loaded. With
    // `verbose` every change and every failure is traced.
    // Returns: false (changing nothing) when the folder lists no map file.
    bool load_maps(bool verbose);

    // The background task: at most every 5 seconds (on the core's clock,
    // shared by the library) reloads changed layer files, rescans the
    // maps and frees idle pages. A tick that finds another still running
    // does nothing. Returns: true.
    bool on_bg_task(i_event* event);

    // i_gis_driver. Searches, location texts and snapping work on the
    // maps taken (with references) under the maps guard, in ascending
    // priority; see src/search/ for their rules.
    i_gis_renderer* create_renderer(i_gis_viewport* vp, const char* layers, const char* map_tags) override;
    char* get_location_text(double lat, double lon, double max_range, double* range) override;
    i_object_col* get_locations_text(double* lats, double* lons, unsigned point_count, double max_range) override;
    i_gis_road_lock* lock_points_to_road(double* lats, double* lons, unsigned point_count, double max_range,
                                         bool simulate) override;
    bool lock_point_to_road(double lat, double lon, double max_range, geo_point& pt) override;
    i_gis_search_result* search_cities(const char* name, const char* map_tags) override;
    i_gis_search_result* search_streets(long long city_id, const char* name) override;
    i_gis_search_result* search_houses(long long street_id, const char* name) override;
    // Returns: the sum (mod 2^32) of every loaded map's version and every
    //     layer's version.
    unsigned get_render_version() override;
    // Returns: a new collection of the maps passing the tag filter, by
    //     ascending priority; null for null tags.
    i_object_col* get_maps(const char* map_tags) override;
    // Returns: the names of the layers init loaded, in load order, joined
    //     by "," (borrowed, fixed after init).
    const char* get_layers() override { return layer_names_.c_str(); }

    // Returns: the loaded map with this load number with one reference
    //     for the caller, or null (a map since unloaded finds nothing).
    ozm_map* map_by_load_number(uint32_t load_number);
    // Returns: the layers by ascending priority (borrowed; they live as
    //     long as the driver).
    std::vector<renderer_layer*> layers_by_priority() const;

private:
    // Appends every loaded map, by ascending priority, to `out` (each
    // with a reference the list holds). Returns: false when memory ran
    // out (what was appended stays in `out`).
    bool take_maps(ozm::map_list& out);
    // Loads the layer files of `dir` in listing order. Returns: false
    // when the folder lists no "*.xml" file.
    bool load_layers(const std::string& dir);
    // Reports a map file that failed to load, with its reason, in the
    // trace on every scan and in the log once per file and reason.
    // Called under scan_guard_.
    void report_refused(const std::string& path, const std::string& reason);

    std::multimap<uint8_t, ozm_map*> maps_;          // one reference each; equal priorities in load order
    std::map<uint32_t, ozm_map*> maps_by_number_;    // the same maps, borrowed
    mutable mutex guard_;                            // guards both map containers
    mutex scan_guard_;                               // one load_maps at a time; guards next_load_number_
    uint32_t next_load_number_ = 1;                  // 0 stays "no map"
    std::string maps_dir_;                           // absolute; set by init
    std::map<std::string, std::string> refused_;     // path -> reason logged; guarded by scan_guard_
    std::multimap<uint32_t, renderer_layer*> layers_;  // owned; keyed by priority as unsigned
    std::shared_ptr<render_tool_pool> render_tools_;   // lent to the renderers, one set per image
    std::string layer_names_;                        // comma-joined, load order
    bool handler_installed_ = false;                 // init installed the background handler
    std::atomic<bool> bg_running_{false};            // a background task is under way
};

}  // namespace kiv

#endif
