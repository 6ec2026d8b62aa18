// gwx_map.h --
//
//     One "*.chart" file of the maps folder as a map of the "gwx"
//     driver: known from the folder scan, loaded into the control when
//     KIV_GWX_MAPS_LIST names it (or later through set_loaded). Its state
//     is guarded by its own lock, since the maps collection is handed to
//     callers on any thread.

#ifndef KIV_GWX_GWX_MAP_H
#define KIV_GWX_GWX_MAP_H

#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>
#include "gwx_control.h"
#include <kiv/gwx/i_gwx_driver.h>

#include <memory>
#include <string>

namespace kiv {

class gwx_map : public object, public i_named_object_impl, public virtual i_gwx_map {
public:
    // `control` is the driver's control (null: the driver has none).
    explicit gwx_map(std::shared_ptr<gwx_control> control);

    // Answers "i_named_object", "i_gis_map" and "i_gwx_map".
    bool get_interface(const char* name, void** out) override;

    // Returns: "" (the control gives no tags).
    const char* get_tags() override;
    // Returns: "".
    const char* get_copyright() override;
    // Returns: 0.
    unsigned get_version() override;
    // Returns: false until a load succeeded; then the chart's bounds.
    bool get_envelope(geo_point& min, geo_point& max) override;

    bool set_loaded(bool value) override;
    bool is_loaded() override;
    bool load_failed() override;

    // Takes the map's file: the path keeps its letter case (file systems
    // here tell cases apart) with "\" turned into "/"; the name is the
    // file name before ".chart" (any case), lower-cased. Then, when
    // KIV_GWX_MAPS_LIST (comma-separated names, letter case and
    // surrounding blanks ignored) names the map, loads it.
    // Returns: false without a control, for a path without "/" or not
    //     ending in ".chart", or when the listed map fails to load; true
    //     otherwise (the map is known, loaded or not).
    bool pre_load_map(const char* path);

    // Returns: the load code's text ("OK", "invalid map file", ...;
    //     "unknown error" for a code not in the table).
    static const char* load_code_text(long code);

private:
    // Loads the map into the control and takes its bounds; the caller
    // holds state_lock_.
    bool load_map();

    std::shared_ptr<gwx_control> control_;  // shared with the driver; null: none
    mutex state_lock_;                      // guards everything below
    std::string path_;                      // UTF-8 with "/" separators; empty until pre_load_map
    bool loaded_ = false;
    bool load_failed_ = false;
    bool has_envelope_ = false;             // true once a load gave the bounds
    double min_lat_ = 0, min_lon_ = 0, max_lat_ = 0, max_lon_ = 0;
};

}  // namespace kiv

#endif
