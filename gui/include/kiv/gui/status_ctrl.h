// status_ctrl.h --
//
//     The status icons of the status bar: status_image (one picture and
//     its animation step), status_item (an icon: pictures, tooltip,
//     right-click menu, double-click action) and status_ctrl (lays the
//     icons out in one field of a status bar, puts those that do not fit
//     into a pop-up behind a "more" button, and animates them on a thread
//     with a 100 ms tick).
//
//     Threads: the animation thread only reads the statuses and calls
//     set_image; every window change is carried to the GUI thread. Items
//     queue the GUI events "STATUS_EVT_CHANGE" and "STATUS_EVT_BEGIN_THREAD"
//     through "svc_gui_event"; the control handles them, installed by
//     name, on the GUI thread.
//
//         auto_ptr_t<kiv::object_col> icons(new kiv::object_col);  // + addref
//         kiv::status_item* net = new kiv::status_item("net", net_xpm, 1, 500);
//         icons->add_item(net, false);
//         kiv::status_ctrl* ctrl = new kiv::status_ctrl(frame->GetStatusBar(), 1, icons);

#ifndef KIV_GUI_STATUS_CTRL_H
#define KIV_GUI_STATUS_CTRL_H

#include <kiv/core/export.h>
#include <kiv/core/auto_ptr.h>
#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>
#include <kiv/core/threads.h>
#include <kiv/gui/i_status.h>
#include <kiv/image/i_image.h>

#include <wx/event.h>
#include <wx/weakref.h>

#include <atomic>
#include <map>
#include <string>

class wxBitmapButton;
class wxDialog;
class wxImage;
class wxMouseEvent;
class wxStatusBar;

namespace kiv {

class KIV_EXPORT status_image : public object, public virtual i_status_image {
public:
    // Holds a reference to `image` (may be null).
    status_image(i_image* image, unsigned next, unsigned period);

    bool get_interface(const char* name, void** out) override;
    i_image* get_image() override;
    void set_image(i_image* image) override;
    unsigned get_next() override { return next_.load(); }
    void set_next(unsigned next) override { next_.store(next); }
    unsigned get_period() override { return period_.load(); }
    void set_period(unsigned period) override { period_.store(period); }

private:
    mutex lock_;                  // guards image_ (read by the animation thread)
    auto_ptr_t<i_image> image_;   // one reference; null when none
    std::atomic<unsigned> next_;
    std::atomic<unsigned> period_;  // milliseconds; 0: no animation
};

class KIV_EXPORT status_item : public wxEvtHandler,
                               public object,
                               public i_named_object_impl,
                               public virtual i_status {
public:
    // `name`: null or "" gives no name. With `xpm` the first picture is
    // added with `next` and `period`. GUI thread.
    status_item(const char* name, const char* const* xpm, unsigned next, unsigned period);
    // Destroys the icon's window when it still exists. GUI thread.
    ~status_item() override;

    // Converts XPM data to an image.
    // Returns: a new image (one reference for the caller), or null for
    //     null data or a picture wxWidgets cannot read. GUI thread.
    static i_image* xpm2image(const char* const* xpm);

    bool get_interface(const char* name, void** out) override;
    void add_image(const char* const* xpm, unsigned position, unsigned next, unsigned period) override;
    void add_image(i_image* image, unsigned position, unsigned next, unsigned period) override;
    void set_image(unsigned index) override;
    unsigned get_image() override { return current_.load(); }
    wxWindow* get_ctrl() override;
    bool create_ctrl(wxWindow* parent) override;
    void set_tooltip(const char* text) override;
    void add_menu(wxMenu* menu) override;
    void set_image_action(unsigned first, unsigned count, unsigned* nexts, unsigned* periods) override;
    i_object_col* get_images() override;
    void show(bool shown) override;
    void hide() override;
    void enable(bool enabled) override;
    void disable() override;
    bool is_shown() override { return shown_.load(); }
    bool is_enabled() override { return enabled_.load(); }
    void on_activate(wxWindow* target, status_action handler, wxEvent* event) override;
    bool is_active() override { return active_.load(); }
    void set_active(bool active) override { active_.store(active); }

    // The tooltip as kept (at most 10239 bytes of UTF-8).
    const std::string& get_tooltip() const { return tooltip_; }

private:
    // Puts the PNG picture `png` on the window, unless a later change
    // was applied already. GUI thread.
    void apply_picture(const std::string& png, unsigned sequence);
    void on_default_menu(wxMouseEvent& event);
    void on_menu(wxMouseEvent& event);

    auto_ptr_t<object_col> images_;       // the pictures (status_image); owned
    wxWeakRef<wxBitmapButton> ctrl_;      // the icon's window; GUI thread only
    std::atomic<bool> has_ctrl_{false};   // ctrl_ was created (for other threads)
    std::string tooltip_;                 // UTF-8; empty: none
    wxMenu* menu_ = nullptr;              // not owned; null: no menu
    std::atomic<unsigned> current_{0};    // index of the current picture
    std::atomic<bool> shown_{true};
    std::atomic<bool> enabled_{true};
    std::atomic<bool> active_{false};     // the current picture animates
    std::atomic<unsigned> changes_{0};    // picture changes asked for
    unsigned applied_ = 0;                // the latest change shown; GUI thread
    wxWeakRef<wxWindow> target_;          // double-click target; null: none
    status_action handler_ = nullptr;
    wxEvent* action_event_ = nullptr;     // not owned; null: pass the mouse event
};

class KIV_EXPORT status_ctrl : public wxEvtHandler,
                               public object,
                               public thread_creator,
                               public virtual i_status_ctrl {
public:
    // Lays `statuses` (i_status items; copied) out in field `field` of
    // `bar`, and starts the animation thread. GUI thread.
    status_ctrl(wxStatusBar* bar, unsigned field, i_object_col* statuses);
    // Stops the animation thread (20 s at most), then releases the
    // statuses. GUI thread.
    ~status_ctrl() override;

    bool get_interface(const char* name, void** out) override;
    void add_status(i_status* status, int position) override;
    i_object_col* get_statuses() override;
    void remove_status(i_status* status) override;

    // Places every status window again. GUI thread.
    void resize();

    // For diagnostics and tests: the schedule entry of a position (0: not
    // scheduled), the tick clock, whether an animation thread is alive,
    // the "more" button and the pop-up.
    unsigned get_schedule(unsigned position);
    unsigned get_tick() const { return tick_.load(); }
    bool is_animating();
    wxWindow* get_more_button();
    wxWindow* get_popup();

private:
    void start_thread();
    void image_thread(void* arg);
    void place_popup();
    void on_size(wxSizeEvent& event);
    void on_change(wxEvent& event);
    void on_begin_thread(wxEvent& event);
    void on_show_hide_items(wxCommandEvent& event);
    void on_kill_focus(wxActivateEvent& event);

    auto_ptr_t<object_col> statuses_;        // owned; entries are i_status
    wxWeakRef<wxStatusBar> bar_;             // not owned
    unsigned field_;
    mutex mutex_;                            // guards schedule_, thread_alive_, restart_
    std::map<unsigned, unsigned> schedule_;  // position -> tick of next change; 0: none
    std::atomic<unsigned> tick_{0};          // milliseconds; written by the thread
    bool thread_alive_ = false;              // an animation thread runs or is starting
    bool restart_ = false;                   // the running thread must make another pass
    wxWeakRef<wxDialog> popup_;              // child of the bar's parent
    wxWeakRef<wxBitmapButton> more_;         // child of the bar
};

}  // namespace kiv

#endif
