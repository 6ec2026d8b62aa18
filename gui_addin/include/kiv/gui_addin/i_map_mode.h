// i_map_mode.h --
//
//     A map mode decides what the mouse and the keyboard do in the map
//     view. The view offers every mouse and key event to its active mode
//     first: a procedure returns true when the view is to go on with its
//     own handling and pass the event on, false when the mode consumed
//     it. A mode's name (get_name) is also its menu command name.
//
//     A mode keeps the view it was begun on without a reference; the
//     view ends the mode (on_end_mode) before it lets go of it. GUI
//     thread only.

#ifndef KIV_GUI_ADDIN_I_MAP_MODE_H
#define KIV_GUI_ADDIN_I_MAP_MODE_H

#include <kiv/core/i_string.h>

class wxDC;
class wxPoint;

namespace kiv {

class i_image;
class i_map_view;
class tooltip_wnd;

class i_map_mode : public virtual i_named_object {
public:
    // The mode becomes active on `view`.
    virtual void on_begin_mode(i_map_view* view) = 0;
    // The mode stops being active: a drag under way is dropped without
    // acting and a mouse capture it holds is released.
    virtual void on_end_mode() = 0;
    // Paints: `dc` is the paint context, `map_dc` holds the map bitmap.
    // Returns: true when the view is to draw its scale bar afterwards.
    virtual bool on_draw(wxDC* dc, wxDC* map_dc) = 0;
    virtual bool context_menu_proc(const wxPoint& pt) = 0;
    virtual bool db_click_proc(const wxPoint& pt) = 0;
    virtual bool click_down_proc(const wxPoint& pt) = 0;
    virtual bool click_up_proc(const wxPoint& pt) = 0;
    virtual bool motion_proc(const wxPoint& pt) = 0;
    virtual bool key_down_proc(int key_code) = 0;
    virtual void tooltip_proc(const wxPoint& pt, tooltip_wnd* tooltip) = 0;
    virtual void install_handlers() = 0;
    virtual void uninstall_handlers() = 0;
    // Draw on the RGBA copy of the map picture before and after the
    // view's own drawing.
    virtual void draw_agg_before(i_image* image) = 0;
    virtual void draw_agg_after(i_image* image) = 0;
    virtual bool get_enable() = 0;
    virtual void set_enable(bool flag) = 0;
    // The map window lost a mouse capture the mode took (another window
    // grabbed the pointer): a drag under way is dropped without acting.
    // Modes that never capture keep this empty body.
    virtual void on_capture_lost() {}

protected:
    ~i_map_mode() = default;
};

}  // namespace kiv

// Returns: the map-mode interface of `obj`, or null. No reference added.
KIV_EXTERN_C kiv::i_map_mode* kiv_cast_i_map_mode(kiv::i_object* obj);

#endif
