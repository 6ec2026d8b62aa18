// i_panel.h --
//
//     A dockable panel of the map add-in: a window of its own with its
//     own docking manager, inside a parent the application gives. The
//     map view and the search panel are panels. GUI thread only.

#ifndef KIV_GUI_ADDIN_I_PANEL_H
#define KIV_GUI_ADDIN_I_PANEL_H

#include <kiv/core/i_object.h>

class wxWindow;
class wxAuiManager;

namespace kiv {

class i_panel : public virtual i_object {
public:
    // Returns: the parent window given at construction, not owned.
    virtual wxWindow* get_parent_wnd() = 0;
    // Returns: the panel's own window (a child of the parent), or null
    //     when the panel was built without a parent.
    virtual wxWindow* get_wnd() = 0;
    // Returns: the panel's own docking manager, owned by the panel.
    virtual wxAuiManager* get_aui_mngr() = 0;
    // Hooks the panel into an application's docking manager.
    virtual void attach(wxAuiManager* manager) = 0;
    // Brings the panel's contents up to date.
    virtual void update() = 0;
    // Undoes what attach did.
    virtual void uninit() = 0;

protected:
    ~i_panel() = default;
};

}  // namespace kiv

// Returns: the panel interface of `obj`, or null. No reference added.
KIV_EXTERN_C kiv::i_panel* kiv_cast_i_panel(kiv::i_object* obj);

#endif
