// mdi.h --
//
//     MDI child frames and the MDI service ("svc_gui_mdi") for
//     applications whose top frame is a wxMDIParentFrame. A child frame
//     opens one MDI child window with a docking manager of its own and
//     tells the service when it becomes active and when it closes; the
//     service keeps the open children and the active one. Applications
//     derive from mdi_child_frame to fill the window, to decide whether it
//     may close and to bind their commands while it is active. GUI thread
//     only.
//
//         auto_ptr_t<my_child> child(new my_child("Map 1", icon));
//         child->addref();
//         child->initialize();
//         mdi->add_child_frame(child.get());

#ifndef KIV_GUI_MDI_H
#define KIV_GUI_MDI_H

#include <kiv/core/export.h>
#include <kiv/core/auto_ptr.h>
#include <kiv/core/object.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>

#include <wx/aui/framemanager.h>
#include <wx/icon.h>
#include <wx/mdi.h>

namespace kiv {

class i_mdi_child_frame : public virtual i_object {
public:
    // Returns: the child window, or null when none could be made.
    virtual wxMDIChildFrame* get_child_wnd() = 0;
    // Returns: the child window's docking manager, owned by the frame.
    virtual wxAuiManager* get_frame_layout() = 0;

protected:
    ~i_mdi_child_frame() = default;
};

class i_mdi_service : public virtual i_object {
public:
    // Keeps `frame` (a reference); null is ignored.
    virtual void add_child_frame(i_mdi_child_frame* frame) = 0;
    // Forgets `frame` and the active frame (whichever it is); with
    // `close`, asks its window to close first (a close it may veto).
    // Frames without a window are ignored.
    virtual void remove_child_frame(i_mdi_child_frame* frame, bool close) = 0;
    // Returns: the active frame with one reference for the caller, or null.
    virtual i_mdi_child_frame* get_active_child_frame() = 0;
    // Holds `frame` (a reference) as the active one; null clears.
    virtual void set_active_child_frame(i_mdi_child_frame* frame) = 0;
    // Returns: a new collection of the open frames, one reference for
    //     the caller.
    virtual i_object_col* get_child_frames() = 0;

protected:
    ~i_mdi_service() = default;
};

class KIV_EXPORT mdi_child_frame : public wxEvtHandler, public object, public virtual i_mdi_child_frame {
public:
    // Opens the child window under the frame service's top frame when
    // that is a wxMDIParentFrame; otherwise no window is made.
    mdi_child_frame(const wxString& title, const wxIcon& icon);
    ~mdi_child_frame() override;
    mdi_child_frame(const mdi_child_frame&) = delete;
    mdi_child_frame& operator=(const mdi_child_frame&) = delete;

    // Answers "i_mdi_child_frame", and "mdi_child_frame" with the object.
    bool get_interface(const char* name, void** out) override;

    wxMDIChildFrame* get_child_wnd() override { return child_; }
    wxAuiManager* get_frame_layout() override { return &layout_; }

    // Updates the docking manager. Returns: true.
    virtual bool initialize();
    // Asked when the window is to close. Returns: true to let it close;
    // false keeps it open.
    virtual bool close();
    // Called when the child becomes active: bind the commands it serves.
    virtual void install_global_handlers();
    // Called on every activation change and on close: unbind them.
    virtual void uninstall_global_handlers();

protected:
    void on_close_panel(wxAuiManagerEvent& event);

private:
    void on_activate(wxActivateEvent& event);
    void on_close(wxCloseEvent& event);
    void on_destroy(wxWindowDestroyEvent& event);

    wxMDIChildFrame* child_ = nullptr;  // owned by wxWidgets as a window; null: none
    wxAuiManager layout_;               // manages child_ while it lives
};

class KIV_EXPORT mdi_service : public object, public i_named_object_impl, public virtual i_mdi_service {
public:
    // Name "MDI service"; no frames, none active.
    mdi_service();
    ~mdi_service() override;
    // A copy shares the other's collection of frames (a frame added
    // through one is a frame of both) and holds its active frame with a
    // reference of its own; it has the same name and a count of its own.
    // Assignment releases what this service held and takes the other's
    // the same way.
    mdi_service(const mdi_service& other);
    mdi_service& operator=(const mdi_service& other);

    // Answers "i_mdi_service" and "i_named_object".
    bool get_interface(const char* name, void** out) override;

    void add_child_frame(i_mdi_child_frame* frame) override;
    void remove_child_frame(i_mdi_child_frame* frame, bool close) override;
    i_mdi_child_frame* get_active_child_frame() override;
    void set_active_child_frame(i_mdi_child_frame* frame) override;
    i_object_col* get_child_frames() override;

private:
    auto_ptr_t<object_col> frames_;          // one reference; shared with copies of this service
    auto_ptr_t<i_mdi_child_frame> active_;   // one reference; null: none
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_mdi_service* kiv_cast_i_mdi_service(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_mdi_child_frame* kiv_cast_i_mdi_child_frame(kiv::i_object* obj);
KIV_EXTERN_C kiv::mdi_child_frame* kiv_cast_mdi_child_frame(kiv::i_object* obj);

#endif
