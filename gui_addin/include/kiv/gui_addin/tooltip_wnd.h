// tooltip_wnd.h --
//
//     A transient popup with multi-line text that the map view creates
//     over its map window and hands to the active mode's tooltip_proc.
//     Text is broken into lines at line feeds, and a line longer than
//     the maximum width (pixels) at the next blank or tab. A click on the
//     popup hides it and goes through to the window under it; with a
//     bounding rectangle set, leaving the rectangle hides it. GUI thread.

#ifndef KIV_GUI_ADDIN_TOOLTIP_WND_H
#define KIV_GUI_ADDIN_TOOLTIP_WND_H

#include <kiv/core/export.h>

#include <wx/arrstr.h>
#include <wx/popupwin.h>

namespace kiv {

class tip_window_view;

class KIV_EXPORT tooltip_wnd : public wxPopupTransientWindow {
public:
    // `bounds`: a screen rectangle the mouse must stay in, or null.
    // Positioned below the mouse, not shown yet.
    tooltip_wnd(wxWindow* parent, const wxString& text, int max_length, wxRect* bounds);

    // Lays out a new text (and resizes the popup).
    void set_text(const wxString& text, int max_length);
    // Shows the popup at (x, y + half the cursor height), screen pixels.
    void move(int x, int y);
    // Hides the popup.
    void hide();
    void set_bounding_rect(const wxRect& rect) { bounds_ = rect; }
    const wxRect& get_bounding_rect() const { return bounds_; }
    // Returns: the lines of the current text.
    const wxArrayString& get_lines() const { return lines_; }
    int get_line_height() const { return line_height_; }

    // Hides the popup and posts a copy of `event` (a click) to the
    // parent, at the same screen point in the parent's coordinates.
    void pass_click(wxMouseEvent& event, wxWindow* from);

    void Dismiss() override { hide(); }

private:
    void layout_text(const wxString& text, int max_length);
    void on_mouse(wxMouseEvent& event);

    wxArrayString lines_;
    int line_height_ = 0;
    wxRect bounds_;                    // all zero: none
    tip_window_view* view_ = nullptr;  // child window that paints the text
};

}  // namespace kiv

#endif
