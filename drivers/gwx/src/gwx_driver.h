// gwx_driver.h --
//
//     The map driver "gwx": the maps of the hosted control (the "*.chart"
//     files of KIV_GWX_MAPS_PATH) offered through the GIS contract, with
//     searches by the control's class codes, the control's place names
//     as location texts, the control's layers, and pictures that the
//     control draws into snapshot files (gwx_renderer.h).
//
//     Threads: init runs on the thread that loads the library; everything
//     else comes from any thread. The control serialises its own calls;
//     renderings are serialised by render_mutex, which each holds from
//     centring the view to reading the snapshot back.

#ifndef KIV_GWX_GWX_DRIVER_H
#define KIV_GWX_GWX_DRIVER_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>
#include "gwx_control.h"
#include <kiv/gwx/i_gwx_driver.h>

#include "gwx_host.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kiv {

struct gwx_search_item;

class gwx_driver : public object, public i_named_object_impl, public virtual i_gwx_driver {
public:
    // `factory` makes the control at init (null: the stand-in control).
    explicit gwx_driver(gwx_control_factory factory = nullptr);
    // Closes the control and drops the maps.
    ~gwx_driver() override;

    // Answers "i_gwx_driver", "i_gis_driver" and "i_named_object".
    bool get_interface(const char* name, void** out) override;

    // Creates the control and learns the maps of KIV_GWX_MAPS_PATH,
    // loading those that KIV_GWX_MAPS_LIST names when KIV_GWX_MAPS_LOAD
    // is 0 or more. Call once, before the driver is shared.
    // Returns: false when the control cannot be created or the maps
    //     folder is unset, missing or holds no chart.
    bool init();

    i_gis_renderer* create_renderer(i_gis_viewport* vp, const char* layers, const char* map_tags) override;
    // The control's place name; `max_range` is not used and `range` not
    // written (the control gives no distance).
    char* get_location_text(double lat, double lon, double max_range, double* range) override;
    // Returns: null (the control offers no such operation).
    i_object_col* get_locations_text(double* lats, double* lons, unsigned point_count, double max_range) override;
    // Returns: null (no road snapping).
    i_gis_road_lock* lock_points_to_road(double* lats, double* lons, unsigned point_count, double max_range,
                                         bool simulate) override;
    // Returns: false (no road snapping).
    bool lock_point_to_road(double lat, double lon, double max_range, geo_point& pt) override;
    // Towns and villages whose name begins with `name` (letter case
    // ignored); `map_tags` is not used.
    i_gis_search_result* search_cities(const char* name, const char* map_tags) override;
    // Streets and roads inside the area of the town `city_id`; `name` is
    // not used. A town known only as a point gives an empty result.
    i_gis_search_result* search_streets(long long city_id, const char* name) override;
    // Houses of the street named `name` (the map view passes the street's
    // name); `street_id` is not used. Returns: null for a null name.
    i_gis_search_result* search_houses(long long street_id, const char* name) override;
    // Returns: 0.
    unsigned get_render_version() override;
    // Returns: a copy of the maps collection; `map_tags` is not used.
    i_object_col* get_maps(const char* map_tags) override;
    // Returns: null (the layers are reached through i_gwx_driver).
    const char* get_layers() override;

    i_object_col* get_layer_names() override;
    bool set_visible_layers(i_object_col* names) override;
    bool is_layer_visible(const char* name) override;

    // For the renderer.
    // Returns: the control, null when there is none.
    gwx_control* control() const { return host_.control().get(); }
    mutex& render_mutex() { return render_mutex_; }
    // Gives the control its drawing size. Returns: false when refused.
    bool resize_host(unsigned width, unsigned height) { return host_.resize(width, height); }
    // A new snapshot file name in the temp folder, carrying the process
    // id and a counter; kept as the last name formed. The caller holds
    // render_mutex.
    // Returns: the name, "" when there is no temp folder.
    std::string next_snapshot_name();

private:
    bool load_maps();
    // Calls `fn` for each layer record of each map record other than
    // "{topo}" and "{plan}", until it returns false.
    void for_each_layer(const std::function<bool(gwx_record_set& layer)>& fn);
    // The object's position as get_coords gives it.
    // Returns: false when the control refuses or gives fewer than
    //     `needed` values.
    bool object_coords(long long id, size_t needed, std::vector<double>& values);
    // Walks `records` and adds to `items` each record whose id and
    // position read, under the text `text_of` gives it, unless the text
    // is there already; `text_of` returns false to pass a record over.
    void collect_places(gwx_record_set& records,
                        const std::function<bool(gwx_record_set& record, std::string& text)>& text_of,
                        std::map<std::string, gwx_search_item>& items);

    mutex render_mutex_;                  // serialises renderings
    auto_ptr_t<object_col> maps_;         // gwx_map items; never null
    std::string maps_path_;               // KIV_GWX_MAPS_PATH as read by init
    gwx_control_factory factory_;         // makes the control; null: the stand-in
    gwx_control_host host_;               // holds the control
    std::atomic<unsigned> snapshot_counter_{0};
    std::string last_snapshot_;           // guarded by render_mutex_
};

}  // namespace kiv

#endif
