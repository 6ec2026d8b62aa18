// map_view.h --
//
//     The map window (see i_map_view.h): a panel holding one plain window
//     on which the map picture of "svc_gis" is painted, with the active
//     mode's drawing, the found-feature marker and the scale bar. The
//     picture is rendered only on paint and only when marked out of date
//     (render); a mode's overlay costs one copy of the picture and one
//     conversion to a bitmap (redraw). A program may derive from it and
//     override the protected drawing and mouse steps.

#ifndef KIV_GUI_ADDIN_MAP_VIEW_H
#define KIV_GUI_ADDIN_MAP_VIEW_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/object_col.h>
#include <kiv/gis/i_gis_viewport.h>
#include <kiv/gui/i_gui_event.h>
#include <kiv/gui_addin/i_map_mode.h>
#include <kiv/gui_addin/i_map_view.h>
#include <kiv/gui_addin/panel.h>
#include <kiv/image/i_image.h>

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/font.h>

#include <memory>
#include <string>
#include <vector>

namespace kiv {

class tooltip_wnd;

class KIV_EXPORT map_view : public panel, public virtual i_map_view {
public:
    // Centre (0, 0), scale 100000, no window yet. GUI thread.
    explicit map_view(wxWindow* parent);
    ~map_view() override;

    // Answers "i_map_view", "map_view" (this class) and "i_panel".
    bool get_interface(const char* name, void** out) override;

    bool initialize_sdi() override;
    bool close() override;
    wxWindow* get_map_wnd() override { return map_wnd_; }
    i_gis_viewport* get_viewport() override;
    void enable_modes(bool flag) override;
    i_map_mode* get_active_mode() override;
    void add_mode(i_map_mode* mode) override;
    void remove_mode(i_map_mode* mode) override;
    void activate_mode(i_map_mode* mode) override;
    void activate_mode_by_name(const char* name) override;
    void render() override;
    void redraw() override;
    bool set_center(double lat, double lon, unsigned scale) override;
    bool get_center(geo_point& pt) override;
    unsigned get_scale() override { return scale_; }
    void set_best_view(geo_point p1, geo_point p2) override;
    void install_handlers() override;
    void uninstall_handlers() override;
    void set_status_text(const wxString& text, int field) override;
    void set_renderer(const char* layers) override;
    const char* get_renderer() override { return renderer_.c_str(); }
    void set_driver(const char* name) override;
    void set_tags(const char* tags) override;
    const char* get_tags() override { return tags_.c_str(); }

    // Returns: the position of the scale in the scale table, -1 when it
    //     is not there.
    int get_scale_index() const { return scale_index_; }
    // Returns: the tooltip window over the map window, or null.
    tooltip_wnd* get_tooltip() const { return tooltip_; }
    // Returns: the found-feature location; -99999 in both means none.
    geo_point get_found_location() const { return found_; }

protected:
    // Drawing on the RGBA copy of the picture, between the active mode's
    // two steps. Empty here.
    virtual void draw_agg(i_image* image);
    // Drawing on the bitmap: the found-feature marker.
    virtual void draw_gdi(wxDC* dc);
    // Drawing on the paint context after the map: the scale bar.
    virtual void draw_end(wxDC* dc);
    // Renders the picture of the current centre and scale (the viewport
    // fitted to the window), then redraws.
    virtual void prepare_image();
    virtual void tooltip_proc(const wxPoint& pt);
    // Empty here.
    virtual void db_click_proc(const wxPoint& pt);
    // Centres the map on the clicked point.
    virtual void context_menu_proc(const wxPoint& pt);
    // Map tags := every tag of the driver's maps, each followed by ",".
    void set_default_tags(const char* driver);

private:
    void bind_window(bool bind);
    void on_paint(wxPaintEvent& event);
    void on_erase_background(wxEraseEvent& event);
    void on_size(wxSizeEvent& event);
    void on_left_down(wxMouseEvent& event);
    void on_left_up(wxMouseEvent& event);
    void on_motion(wxMouseEvent& event);
    void on_left_dclick(wxMouseEvent& event);
    void on_right_down(wxMouseEvent& event);
    void on_wheel(wxMouseEvent& event);
    void on_enter_leave(wxMouseEvent& event);
    void on_key_down(wxKeyEvent& event);
    void on_capture_lost(wxMouseCaptureLostEvent& event);
    // The map window is going away with its parent: forget it.
    void on_window_destroy(wxWindowDestroyEvent& event);
    void on_redraw_event(i_gui_event& event);
    void on_feature_found(i_gui_event& event);
    void on_mode_command(wxCommandEvent& event);
    void on_mode_update(wxUpdateUIEvent& event);
    // The mode of the collection named `name`, with one reference, or null.
    i_map_mode* find_mode(const char* name);
    // Fits the viewport to the window, centre and scale (it is fitted
    // at paint otherwise). Returns: false without a viewport or window.
    bool sync_viewport();
    // Returns: the pixels along row `row` of the map window over which the
    //     map draws `metres` (measured over 100 pixels of that row), 0
    //     when the viewport cannot tell.
    int scale_bar_pixels(double metres, int row);
    // Returns: whether the view's driver offers render layers, so that an
    //     empty layer list means none ticked rather than "every layer".
    bool driver_has_layers();
    // Fires a map-mode event at once with `mode` as its object.
    void fire_mode_event(const char* event_name, i_map_mode* mode);

    bool center_set_ = false;         // a valid set_center has happened since the last failed one
    bool dirty_ = false;              // the picture must be rendered at the next paint
    bool painting_ = false;           // a paint is preparing the picture it will show
    tooltip_wnd* tooltip_ = nullptr;  // child popup of map_wnd_; null before initialize_sdi
    wxWindow* map_wnd_ = nullptr;     // child of the panel's window; null: none
    std::unique_ptr<wxMemoryDC> map_dc_;  // holds the shown bitmap; null until a redraw made one
    wxBitmap map_bitmap_;                 // selected into map_dc_
    auto_ptr_t<i_image> image_;           // the picture the renderer gave last; null: none
    auto_ptr_t<i_image> overlay_;         // the copy the modes drew on; null: none
    double center_lat_ = 0, center_lon_ = 0;
    unsigned scale_ = 100000;             // scale denominator
    int scale_index_ = 0;                 // position of scale_ in the table; -1: not in it
    auto_ptr_t<object_col> modes_;        // the modes, found by name; null before initialize_sdi
    auto_ptr_t<i_gis_viewport> viewport_; // made by the first prepare_image; null before
    auto_ptr_t<i_map_mode> active_;       // null: no mode active
    std::string renderer_, driver_, tags_;  // layer list, driver name, map tags (UTF-8)
    geo_point found_{-99999, -99999};     // found-feature location; -99999, -99999: none
    wxBitmap marker_;                     // 64 x 64 marker, centred on found_
    wxPoint last_mouse_{0, 0};            // last motion position, map-window pixels
    wxFont scale_font_;                   // bold default GUI font of the scale bar
    bool handlers_installed_ = false;     // the two GUI event handlers are connected
    std::vector<int> command_ids_;        // the mode commands bound by install_handlers
};

}  // namespace kiv

// Returns: the map_view class of `obj`, or null. No reference added.
KIV_EXTERN_C kiv::map_view* kiv_cast_map_view(kiv::i_object* obj);

#endif
