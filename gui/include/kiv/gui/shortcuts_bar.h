// shortcuts_bar.h --
//
//     The windows of the workspace pane: the shortcuts bar, a stack of
//     entries each made of a caption bar (a clickable strip with an icon
//     and a title) and a panel window, of which only the current entry's
//     panel is shown. Clicking another caption makes its entry current;
//     every change of the current entry is announced as the core events
//     "KIV_WORKSPACE_PANEL_BEFORE_CHANGE" and
//     "KIV_WORKSPACE_PANEL_CHANGED" (id 0, no object, delivered at once).
//
//     Caption icons come from the image list of "svc_gui_image_manager",
//     looked up at every paint, so a bar never draws from a list that has
//     gone with its service. The optional growing animation of a newly
//     shown panel runs on a timer of the bar, on the GUI thread.
//
//     Everything here runs on the GUI thread. The bar and its windows
//     belong to their parent window (the frame); nothing outside keeps
//     them alive.

#ifndef KIV_GUI_SHORTCUTS_BAR_H
#define KIV_GUI_SHORTCUTS_BAR_H

#include <kiv/core/export.h>
#include <kiv/gui/caption_bar.h>

#include <wx/font.h>
#include <wx/panel.h>
#include <wx/pen.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include <memory>
#include <vector>

class wxImageList;

namespace kiv {

// One entry of the bar. Both windows are children of the bar.
struct panel_info {
    caption_bar* caption = nullptr;  // owned by the bar as its child window
    wxWeakRef<wxWindow> panel;       // null once the window was destroyed
};

class KIV_EXPORT shortcuts_bar : public wxPanel {
public:
    // `text`: the bar's title (the pane's caption).
    shortcuts_bar(wxWindow* parent, const wxString& text);
    // Stops the animation; the child windows go with the bar.
    ~shortcuts_bar() override;
    shortcuts_bar(const shortcuts_bar&) = delete;
    shortcuts_bar& operator=(const shortcuts_bar&) = delete;

    // Appends an entry: a caption titled `caption` with icon `image` (-1:
    // none) above `window`, which is hidden until laid out as current.
    // The first entry becomes current. A window that is not the bar's
    // child is moved into it. Returns: false for a null window or one
    // that already has an entry.
    bool add_panel(const wxString& caption, int image, wxWindow* window);
    // Makes entry `position` current: fires the before-change event,
    // switches, lays the bar out and fires the changed event. Nothing
    // happens (no event) when it is current already.
    // Returns: `position`; -1 for a negative position; the entry count
    //     for one at or past the end (nothing changes then).
    int set_current(int position);
    // Makes current the first entry whose panel is `window`.
    // Returns: false for null or a window without an entry.
    bool select(wxWindow* window);
    // Removes entry `position` and destroys its caption and panel. When
    // it was current, the entry before it (the first one when it was the
    // first) becomes current through set_current; when none is left
    // there is no current entry, announced by the same two events.
    // Returns: false for a position out of range.
    bool remove(int position);
    // remove() of the first entry whose panel is `window`.
    bool remove(wxWindow* window);

    // Returns: the entry count.
    int get_count() const { return static_cast<int>(entries_.size()); }
    // Returns: the entry at `position`, or null out of range. Owned by
    //     the bar; valid until the entry is removed.
    const panel_info* get_entry(int position) const;
    // Returns: the position of the current entry, -1 when none.
    int get_current() const;
    // Returns: whether there is a current entry. While the current entry
    //     is being removed (its before-change event) it still counts.
    bool has_current() const { return current_ != nullptr; }
    // Returns: the current entry's caption text, "" when none.
    wxString get_current_text() const;
    // Returns: the position of the first entry whose panel is `window`,
    //     -1 when none.
    int find(wxWindow* window) const;
    // Returns: the position of the first entry captioned `text`, -1 when none.
    int find_caption(const wxString& text) const;

    const wxString& get_text() const { return text_; }
    void set_animate(bool animate) { animate_ = animate; }
    bool get_animate() const { return animate_; }
    void set_stacked(bool stacked) { stacked_ = stacked; }
    bool get_stacked() const { return stacked_; }
    // Set by a click on a caption; cleared once that switch was shown.
    bool is_clicked() const { return clicked_; }
    // Returns: true while a panel is growing into view.
    bool is_animating() const { return timer_.IsRunning(); }

    // Positions every caption and panel for the bar's client size.
    void layout();

private:
    void on_paint(wxPaintEvent& event);
    void on_size(wxSizeEvent& event);
    void on_left_up(wxMouseEvent& event);
    void on_timer(wxTimerEvent& event);

    void start_animation(wxWindow* panel, const wxRect& full);
    // Ends a running animation at once (the panel keeps what layout gave it).
    void stop_animation();
    void fire(const char* event_name);

    std::vector<std::unique_ptr<panel_info>> entries_;  // in caption order
    panel_info* current_ = nullptr;  // one of entries_ (or the entry being
                                     // removed, during its removal); null: none
    wxString text_;
    bool animate_ = false;  // a panel shown by a click grows into view
    bool stacked_ = false;  // current caption on top, the others at the bottom
    bool clicked_ = false;  // the pending switch came from a caption click

    // The animation: one step of growth every timer tick.
    wxTimer timer_;
    wxWeakRef<wxWindow> growing_;  // the panel growing; null: none or gone
    wxRect full_;                  // where the growing panel ends
    int grown_ = 0;                // its height reached so far
    int step_ = 0;                 // the next growth in pixels

    wxDECLARE_EVENT_TABLE();
};

}  // namespace kiv

#endif
