// map_mode_base.h --
//
//     What every map mode shares: the bases (a wxEvtHandler, a counted
//     object, a name), the interface names it answers, the view it was
//     begun on (kept without a reference) and the bodies most modes keep:
//     procedures that let the view go on, no tooltip, no handlers, no
//     drawing, always enabled. A mode derives from it and overrides what
//     it does differently.

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

protected:
    // Returns: the view's map window, or null without a view or window.
    wxWindow* map_wnd() const;
    // Returns: the view's viewport with one reference, or null.
    i_gis_viewport* viewport() const;
    // Releases the map window's mouse capture when it holds it.
    void release_capture() const;

    i_map_view* view_ = nullptr;  // the view begun on, not owned; null: not begun
};

}  // namespace kiv

#endif
