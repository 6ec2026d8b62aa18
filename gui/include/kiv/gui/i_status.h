// i_status.h --
//
//     Status icons in a field of the status bar: one picture of an icon
//     (i_status_image), an icon with its pictures and actions (i_status)
//     and the control that lays the icons out and animates them
//     (i_status_ctrl). A picture with a non-zero period animates: after
//     that many milliseconds the icon moves on to the picture's `next`.

#ifndef KIV_GUI_I_STATUS_H
#define KIV_GUI_I_STATUS_H

#include <kiv/core/export.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_string.h>

class wxEvent;
class wxEvtHandler;
class wxMenu;
class wxWindow;

namespace kiv {

class i_image;

class i_status_image : public virtual i_object {
public:
    // Returns: the picture with one reference for the caller, or null.
    virtual i_image* get_image() = 0;
    // Holds a reference to `image` (may be null) and drops the old one.
    virtual void set_image(i_image* image) = 0;
    // The index of the picture that follows this one.
    virtual unsigned get_next() = 0;
    virtual void set_next(unsigned next) = 0;
    // Milliseconds this picture shows; 0: it does not animate.
    virtual unsigned get_period() = 0;
    virtual void set_period(unsigned period) = 0;

protected:
    ~i_status_image() = default;
};

// A double-click action: a member function of a wxWidgets event handler.
typedef void (wxEvtHandler::*status_action)(wxEvent&);

class i_status : public virtual i_named_object {
public:
    // Adds a picture from XPM data (nothing when wxWidgets cannot read
    // it). Position 0 appends; another position inserts before it, or
    // appends when past the end. GUI thread.
    virtual void add_image(const char* const* xpm, unsigned position, unsigned next,
                           unsigned period) = 0;
    // The same for an image (null: nothing); a reference is kept.
    virtual void add_image(i_image* image, unsigned position, unsigned next, unsigned period) = 0;
    // Shows picture `index` (none such: nothing). Any thread: the window
    // changes on the GUI thread, in the order of the calls.
    virtual void set_image(unsigned index) = 0;
    // Returns: the index of the current picture.
    virtual unsigned get_image() = 0;
    // Returns: the icon's window, null before create_ctrl or once gone.
    virtual wxWindow* get_ctrl() = 0;
    // Creates the icon's window on `parent`. Returns: false when the
    // first picture cannot be shown (then nothing is created). GUI thread.
    virtual bool create_ctrl(wxWindow* parent) = 0;
    // Sets the tooltip (UTF-8; kept for a window made later).
    virtual void set_tooltip(const char* text) = 0;
    // The menu shown on right-click; not owned, must outlive the icon.
    virtual void add_menu(wxMenu* menu) = 0;
    // For each picture index i in [first, first + count): next and period
    // from nexts[i] and periods[i] (indexed by picture index).
    virtual void set_image_action(unsigned first, unsigned count, unsigned* nexts,
                                  unsigned* periods) = 0;
    // Returns: the pictures (i_status_image) with one reference.
    virtual i_object_col* get_images() = 0;
    virtual void show(bool shown) = 0;
    virtual void hide() = 0;
    virtual void enable(bool enabled) = 0;
    virtual void disable() = 0;
    virtual bool is_shown() = 0;
    virtual bool is_enabled() = 0;
    // On double-click calls target->*handler with `event` (not owned,
    // may be null: the mouse event is passed).
    virtual void on_activate(wxWindow* target, status_action handler, wxEvent* event) = 0;
    // True while the current picture animates.
    virtual bool is_active() = 0;
    virtual void set_active(bool active) = 0;

protected:
    ~i_status() = default;
};

class i_status_ctrl : public virtual i_object {
public:
    // Inserts `status` before `position` (negative or past the end:
    // appends) and creates its window. GUI thread.
    virtual void add_status(i_status* status, int position) = 0;
    // Returns: the statuses with one reference.
    virtual i_object_col* get_statuses() = 0;
    // Removes `status` (absent: nothing) and hides its window. GUI thread.
    virtual void remove_status(i_status* status) = 0;

protected:
    ~i_status_ctrl() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_status* kiv_cast_i_status(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_status_image* kiv_cast_i_status_image(kiv::i_object* obj);

#endif
