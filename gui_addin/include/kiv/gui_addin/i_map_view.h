// i_map_view.h --
//
//     The interactive map window: it shows the default map driver's
//     picture at a centre and scale, hands mouse and key input to its
//     active map mode first, zooms with the wheel through the table of 17
//     scales (get_scale_values), and fits itself to a box. The viewer
//     registers its map view as "SVC_MAP".
//
//         kiv::map_view* view = new kiv::map_view(parent);
//         view->addref();
//         view->initialize_sdi();               // window, bindings, driver "ozm"
//         view->add_mode(move_mode);
//         view->activate_mode_by_name("MAP_MODE_MOVE");
//         view->install_handlers();             // modes as menu commands
//         view->set_center(53.9, 27.56, 100000);
//
//     Everything here runs on the GUI thread and locks nothing.

#ifndef KIV_GUI_ADDIN_I_MAP_VIEW_H
#define KIV_GUI_ADDIN_I_MAP_VIEW_H

#include <kiv/gis/gis_types.h>
#include <kiv/gui_addin/i_panel.h>

#include <wx/string.h>

namespace kiv {

class i_gis_viewport;
class i_map_mode;

class i_map_view : public virtual i_panel {
public:
    // Creates the map window inside the panel's window, the mode
    // collection and the tooltip window; takes driver "ozm" with its
    // layers and map tags from "svc_gis"; connects the window's events
    // and the handlers of "AVL_EVT_MAP_REDRAW" and
    // "AVL_EVT_FEATURE_FOUND".
    // Returns: false without a panel window or "svc_gis" (the window and
    //     the collection made so far stay).
    virtual bool initialize_sdi() = 0;
    // Ends the active mode, disconnects everything initialize_sdi
    // connected and destroys the map window. Returns: true.
    virtual bool close() = 0;
    // Returns: the map window, null before initialize_sdi and after close.
    virtual wxWindow* get_map_wnd() = 0;
    // Returns: the viewport with one reference for the caller; null until
    //     the first picture was prepared.
    virtual i_gis_viewport* get_viewport() = 0;
    // set_enable(flag) on every mode.
    virtual void enable_modes(bool flag) = 0;
    // Returns: the active mode with one reference, or null.
    virtual i_map_mode* get_active_mode() = 0;
    // Adds a mode unless one of the same name is there; null is ignored.
    virtual void add_mode(i_map_mode* mode) = 0;
    // Removes a mode from the collection; null is ignored.
    virtual void remove_mode(i_map_mode* mode) = 0;
    // activate_mode_by_name of the mode's name; null is ignored.
    virtual void activate_mode(i_map_mode* mode) = 0;
    // Ends the active mode (firing "AVL_EVT_MAP_MODE_DISABLED") and
    // begins the mode of that name (firing "AVL_EVT_MAP_MODE_ENABLED");
    // an unknown name leaves no mode active. The active mode's own name,
    // a null or an empty name change nothing.
    virtual void activate_mode_by_name(const char* name) = 0;
    // Marks the picture out of date and refreshes the window: the next
    // paint renders it again.
    virtual void render() = 0;
    // Rebuilds the shown bitmap from the current picture and the modes'
    // drawings, without rendering.
    virtual void redraw() = 0;
    // Centres the view. Returns: false (only the centre-set flag is
    //     cleared) for a latitude outside [-90, 90] or a longitude
    //     outside [-180, 180]; true otherwise, rendering when anything
    //     changed.
    virtual bool set_center(double lat, double lon, unsigned scale) = 0;
    // Returns: false (pt untouched) when the stored centre is out of range.
    virtual bool get_center(geo_point& pt) = 0;
    // Returns: the scale denominator.
    virtual unsigned get_scale() = 0;
    // Shows the box from p1 (south-west) to p2 (north-east) at the table
    // scale that fits it, with a margin at the coarser scales.
    virtual void set_best_view(geo_point p1, geo_point p2) = 0;
    // Binds every mode's name as a menu command (select and update-UI)
    // through "svc_gui_event"; earlier bindings are removed first.
    virtual void install_handlers() = 0;
    virtual void uninstall_handlers() = 0;
    // Sets a field of the top frame's status bar; nothing without a
    // frame, a status bar or that field.
    virtual void set_status_text(const wxString& text, int field) = 0;
    // The comma-separated layer names handed to rendering; renders.
    virtual void set_renderer(const char* layers) = 0;
    // Returns: the layer names, owned by the view.
    virtual const char* get_renderer() = 0;
    // Makes `name` the driver of "svc_gis" and takes its map tags; renders.
    virtual void set_driver(const char* name) = 0;
    // The map tags handed to rendering; renders.
    virtual void set_tags(const char* tags) = 0;
    // Returns: the map tags, owned by the view.
    virtual const char* get_tags() = 0;

protected:
    ~i_map_view() = default;
};

}  // namespace kiv

// Returns: the map-view interface of `obj`, or null. No reference added.
KIV_EXTERN_C kiv::i_map_view* kiv_cast_i_map_view(kiv::i_object* obj);

#endif
