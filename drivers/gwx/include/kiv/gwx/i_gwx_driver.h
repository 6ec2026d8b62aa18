// i_gwx_driver.h --
//
//     What the "gwx" map driver offers beyond the GIS contract: the
//     layers of the control's maps (listed, shown and hidden by name) and
//     the loading of single maps. The map view recognises the driver by
//     kiv_cast_i_gwx_driver and then passes the street's name to house
//     searches.
//
//         auto_ptr_t<kiv::i_gis_driver> drv(gis->get_driver_by_name("gwx"));
//         if (kiv::i_gwx_driver* gwx = kiv_cast_i_gwx_driver(drv))
//             auto_ptr_t<kiv::i_object_col> layers(gwx->get_layer_names());
//
//     Callers come from any thread.

#ifndef KIV_GWX_I_GWX_DRIVER_H
#define KIV_GWX_I_GWX_DRIVER_H

#include <kiv/core/i_object_col.h>
#include <kiv/gis/i_gis_driver.h>

namespace kiv {

class i_gwx_driver : public virtual i_gis_driver {
public:
    // Returns: a new collection (one reference for the caller) of
    //     `string` items, the names of the layers of every loaded map
    //     (the control's "{topo}" and "{plan}" records left out), in
    //     record order; empty when the control gives none.
    virtual i_object_col* get_layer_names() = 0;
    // Shows every layer whose name is one of `names` (strings) and hides
    // every other one ("{topo}" and "{plan}" untouched).
    // Returns: false for a null or empty collection; true otherwise.
    virtual bool set_visible_layers(i_object_col* names) = 0;
    // Returns: the visibility of the first layer named exactly `name`
    //     (hidden when the two low bits of its state are 2); false when
    //     no layer has that name.
    virtual bool is_layer_visible(const char* name) = 0;

protected:
    ~i_gwx_driver() = default;
};

// A map of the driver: one "*.chart" file, known from the maps folder
// and loaded into the control when KIV_GWX_MAPS_LIST names it.
class i_gwx_map : public virtual i_gis_map {
public:
    // Loads (true) or unloads (false) the map in the control.
    // Returns: false when it is in that state already, there is no
    //     control, or the control refuses.
    virtual bool set_loaded(bool value) = 0;
    virtual bool is_loaded() = 0;
    // Returns: true when the last load was refused by the control.
    virtual bool load_failed() = 0;

protected:
    ~i_gwx_map() = default;
};

}  // namespace kiv

// Each returns the named interface of obj, or null for a null object or
// one without it. No reference is added.
KIV_EXTERN_C kiv::i_gwx_driver* kiv_cast_i_gwx_driver(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_gwx_map* kiv_cast_i_gwx_map(kiv::i_object* obj);

#endif
