// map_mode_base.h --
//
//     What every map mode shares: the bases (a wxEvtHandler, a counted
//     object, a name), the interface names it answers, the view it was
//     begun on (kept without a reference) and the bodies most modes keep:
//     procedures that let the view go on, no tooltip, no handlers, no
//     drawing, always enabled. A mode derives from it and overrides what
//     it does differently. It also keeps the steps the modes take alike:
//     beginning and ending on a view, a drag with the mouse captured,
//     and copying the map picture onto the window.

#ifndef KIV_GUI_ADDIN_MAP_MODE_BASE_H
#define KIV_GUI_ADDIN_MAP_MODE_BASE_H

#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>
#include <kiv/gis/i_gis_viewport.h>
#include <kiv/gui_addin/i_map_mode.h>
#include <kiv/gui_addin/i_map_view.h>

#include <wx/cursor.h>
#include <wx/event.h>

namespace kiv {

class KIV_EXPORT map_mode_base : public wxEvtHandler,
                                 public object,
                                 public i_named_object_impl,
                                 public virtual i_map_mode {
public:
    explicit map_mode_base(const char* name) { set_name(name); }
    map_mode_base(const map_mode_base&) = delete;
    map_mode_base& operator=(const map_mode_base&) = delete;

    // Answers "i_named_object" and "i_map_mode".
    bool get_interface(const char* name, void** out) override;

    bool context_menu_proc(const wxPoint&) override { return true; }
    bool db_click_proc(const wxPoint&) override { return true; }
    bool key_down_proc(int) override { return true; }
    void tooltip_proc(const wxPoint&, tooltip_wnd*) override {}
    void install_handlers() override {}
    void uninstall_handlers() override {}
    void draw_agg_before(i_image*) override {}
    void draw_agg_after(i_image*) override {}
    bool get_enable() override { return true; }
    void set_enable(bool) override {}

    // Returns: whether a drag is under way (always false in the modes
    //     that do not drag).
    bool is_dragging() const { return dragging_; }

protected:
    // Returns: the view's map window, or null without a view or window.
    wxWindow* map_wnd() const;
    // Returns: the view's viewport with one reference, or null.
    i_gis_viewport* viewport() const;
    // Releases the map window's mouse capture when it holds it.
    void release_capture() const;

    // Takes `view` as the view begun on. When it has a map window, also
    // ends any drag, shows `cursor` on the window, installs the handlers
    // and redraws the view; without one nothing else is done.
    void begin_on_view(i_map_view* view, const wxCursor& cursor);
    // Removes the handlers, ends any drag, releases the mouse capture and
    // empties status field 3 (when there is a map window).
    void end_on_view();
    // Starts a drag at `pt`: shows `cursor` first when not null, then
    // captures the mouse. Returns: false without a map window.
    bool start_drag(const wxPoint& pt, const wxCursor* cursor);
    // Ends any drag without acting on it.
    void clear_drag() {
        dragging_ = false;
        start_ = end_ = wxPoint(0, 0);
    }
    // Returns: whether a drag is under way and has left its start.
    bool drag_moved() const { return dragging_ && end_ != start_; }
    // Copies the whole map picture `map_dc` onto `dc`, shifted by
    // `offset` pixels. Returns: false without a map window or either DC.
    bool blit_map(wxDC* dc, wxDC* map_dc, const wxPoint& offset) const;

    i_map_view* view_ = nullptr;  // the view begun on, not owned; null: not begun
    bool dragging_ = false;       // the button went down and has not come up
    wxPoint start_{0, 0}, end_{0, 0};  // drag ends, map-window pixels; 0, 0 when idle
};

}  // namespace kiv

#endif
