// i_gui_frame.h --
//
//     The frame service "svc_gui_frame": what every GUI component needs of
//     the application around it, the application object (where all GUI
//     event bindings live), the top frame, the HTML help controller and
//     the docking manager of the frame's panes, and View-menu items that
//     show and hide those panes. GUI thread only.

#ifndef KIV_GUI_I_GUI_FRAME_H
#define KIV_GUI_I_GUI_FRAME_H

#include <kiv/core/export.h>
#include <kiv/core/i_object.h>

class wxApp;
class wxFrame;
class wxHtmlHelpController;
class wxAuiManager;

namespace kiv {

class i_gui_frame : public virtual i_object {
public:
    // Returns: the application object, not owned.
    virtual wxApp* get_app() = 0;
    // Returns: the application's top window when it is a frame, else
    //     null. Not owned.
    virtual wxFrame* get_frame() = 0;
    // Returns: the help controller, owned by the service.
    virtual wxHtmlHelpController* get_help() = 0;
    // Returns: the docking manager, owned by the service; the application
    //     attaches its frame to it and detaches it (UnInit) before the
    //     frame is destroyed.
    virtual wxAuiManager* get_frame_manager() = 0;
    // Appends to the frame's "&View" menu (to its "&Toolbars" submenu
    // when it has one) a check item that shows and hides the docking pane
    // named `pane_name` (UTF-8); the item's id is the command id of that
    // name (i_gui_event_proc::get_cmd_id) and its label the name's
    // translation. Needs "svc_gui_event"; does nothing without a View
    // menu, for an empty name, or once kiv_gui_terminate has run.
    virtual void add_view_menu_cmd(const char* pane_name) = 0;

protected:
    ~i_gui_frame() = default;
};

}  // namespace kiv

// Returns: the frame service interface of `obj`, or null. No reference
//     is added.
KIV_EXTERN_C kiv::i_gui_frame* kiv_cast_i_gui_frame(kiv::i_object* obj);

#endif
