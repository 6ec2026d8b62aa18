// geozone_map_mode.h --
//
//     The geozone editor "MAP_MODE_GEOZONE": a line corridor (types 1 and
//     4), a polygon (2) or a circle (3) made of geozone_point vertices,
//     drawn over the map and edited with the mouse. It builds on the move
//     mode, so dragging an empty spot still pans. The program embedding
//     the view drives it with GUI events ("AVL_EVT_MAP_MODE_SET_GEOZONE_
//     POINTS", "..._CENTER_GEOZONE_POINT", "..._SET_GEOZONE_TYPE",
//     "..._SET_GEOZONE_DEVIATION", "..._ENABLE_EDIT_GEOZONE") and hears of
//     every vertex added, inserted, removed or moved by queued GUI events
//     ("AVL_EVT_MAP_MODE_ADD_GEOZONE_POINT", "..._INSERT_...",
//     "..._REMOVE_...", "..._CHANGE_...") carrying the point. GUI thread.
//
//     Double click: a free spot appends a vertex, a segment inserts one,
//     Ctrl on a vertex removes it. Dragging a vertex moves it.

#ifndef KIV_GUI_ADDIN_GEOZONE_MAP_MODE_H
#define KIV_GUI_ADDIN_GEOZONE_MAP_MODE_H

#include <kiv/gui/i_gui_event.h>
#include <kiv/gui_addin/move_map_mode.h>

#include <string>
#include <vector>

namespace kiv {

// A vertex of a geozone. This library sets only the location, the
// location text and the index; the other fields travel unchanged between
// the component that supplies the points and the one that hears of them.
class KIV_EXPORT geozone_point : public object {
public:
    geozone_point() = default;
    // A point is shared by reference (the zone and the events hold the
    // same object), never copied by value.
    geozone_point(const geozone_point&) = delete;
    geozone_point& operator=(const geozone_point&) = delete;
    // Answers "geozone_point".
    bool get_interface(const char* name, void** out) override;
    // Null stores "".
    void set_location(const char* place) { location = place != nullptr ? place : ""; }

    double latitude = 0, longitude = 0;  // degrees
    int value = 100;
    int params[4] = {0, 0, 0, 0};
    std::string text;
    std::string location;  // UTF-8 description of the place
    int index = -1;        // position in the zone when inserted or moved
};

class KIV_EXPORT geozone_map_mode : public move_map_mode {
public:
    enum geozone_flags { hit_none = -1, hit_free = 0, hit_segment = 1, hit_vertex = 2 };

    geozone_map_mode();
    ~geozone_map_mode() override;

    // Answers "geozone_map_mode" and the move mode's names.
    bool get_interface(const char* name, void** out) override;

    void on_begin_mode(i_map_view* view) override;
    void on_end_mode() override;
    void install_handlers() override;
    void uninstall_handlers() override;
    bool get_enable() override { return enabled_; }
    void set_enable(bool flag) override { edit_ = enabled_ = flag; }
    bool click_down_proc(const wxPoint& pt) override;
    bool click_up_proc(const wxPoint& pt) override;
    bool motion_proc(const wxPoint& pt) override;
    bool db_click_proc(const wxPoint& pt) override;
    void tooltip_proc(const wxPoint& pt, tooltip_wnd* tooltip) override;
    void draw_agg_after(i_image* image) override;
    void on_capture_lost() override;

    // The zone's vertices in order, borrowed.
    const std::vector<geozone_point*>& get_zone() const { return zone_; }
    int get_type() const { return type_; }
    int get_deviation() const { return deviation_; }
    bool get_edit() const { return edit_; }

protected:
    // Returns: the vertex (kind 2) or insert position (kind 1) at the
    //     pixel, -1 otherwise.
    int hit_test_geozone(int x, int y, geozone_flags& kind);
    bool add_geozone_point(double lat, double lon);
    bool insert_geozone_point(int index, double lat, double lon);
    bool remove_geozone_point(int index);
    bool update_geozone_point(int index, double lat, double lon);

    void on_set_points(i_gui_event& event);
    void on_center_point(i_gui_event& event);
    void on_set_type(i_gui_event& event);
    void on_set_deviation(i_gui_event& event);
    void on_enable_edit(i_gui_event& event);
    // Sets `field` (the type or the deviation) to the number the event
    // carries and redraws the view when it changed; ignored unless editing.
    void set_from_event(i_gui_event& event, int& field);

    void clear_zone();
    // Returns: the deviation as a radius in pixels around the first vertex.
    int deviation_pixels(i_gis_viewport* vp);

    bool edit_ = false, enabled_ = true, coords_ = true;
    int type_ = 1, deviation_ = 0;
    wxCursor move_vertex_cursor_, delete_cursor_, insert_cursor_;
    std::vector<geozone_point*> zone_;  // one reference each
    int moved_index_ = -1;
    bool vertex_moved_ = false;         // the picked-up vertex followed a motion
    geozone_point* moved_ = nullptr;    // one reference; null when none
    wxPoint mouse_{0, 0};
};

}  // namespace kiv

// Returns: the interfaces of `obj`, or null. No reference added.
KIV_EXTERN_C kiv::geozone_point* kiv_cast_geozone_point(kiv::i_object* obj);
KIV_EXTERN_C kiv::geozone_map_mode* kiv_cast_geozone_map_mode(kiv::i_object* obj);

#endif
