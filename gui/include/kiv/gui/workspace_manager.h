// workspace_manager.h --
//
//     The workspace manager ("svc_gui_workspace_manager"): a docking pane
//     on the left of the main frame, the shortcuts bar (shortcuts_bar.h),
//     holding a stack of workspaces. A workspace is a named panel window,
//     normally an object tree of its own (tree_ctrl.h), under a caption;
//     one workspace is shown at a time, and every switch is announced as
//     "KIV_WORKSPACE_PANEL_BEFORE_CHANGE" and "KIV_WORKSPACE_PANEL_CHANGED".
//     Workspaces are told apart by name.
//
//     An application that wants the pane calls, once its frame is
//     attached to the frame service's docking manager:
//
//         if (kiv_gui_create_workspace_manager("workspace", "Workspace", wxSize(200, 300))) {
//             auto_ptr_t<kiv::i_object> svc(kiv_core()->get_service("svc_gui_workspace_manager"));
//             auto_ptr_t<kiv::i_workspace> maps(kiv_cast_i_workspace_manager(svc)
//                                                   ->create_workspace("Maps", -1, nullptr, 0));
//             ...
//         }
//
//     The pane's windows belong to the frame; the manager only points at
//     them and stops using them once they are destroyed. GUI thread only.

#ifndef KIV_GUI_WORKSPACE_MANAGER_H
#define KIV_GUI_WORKSPACE_MANAGER_H

#include <kiv/core/export.h>
#include <kiv/core/auto_ptr.h>
#include <kiv/core/object.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>
#include <kiv/gui/i_gui_event.h>
#include <kiv/gui/shortcuts_bar.h>
#include <kiv/gui/tree_ctrl.h>

#include <wx/gdicmn.h>
#include <wx/weakref.h>

#include <string>

class wxTreeCtrl;
class wxWindow;

namespace kiv {

class i_workspace : public virtual i_named_object {
public:
    // Returns: the workspace's tree window, or null when it was given a
    //     window of its own (or the tree window is gone). Not owned.
    virtual wxTreeCtrl* get_tree() = 0;
    // Returns: the panel window, or null once it was destroyed. Not owned.
    virtual wxWindow* get_window() = 0;

protected:
    ~i_workspace() = default;
};

class i_workspace_manager : public virtual i_object {
public:
    // Adds a workspace named `name` with the caption icon `image` (an
    // index of the shared image list, -1: none). `window` null: a new
    // object tree (tree_ctrl) is made on the bar with `tree_style` (0:
    // the tree's default) and becomes the panel; else `window` is the
    // panel (moved into the bar when it has another parent).
    // Returns: the workspace with one reference for the caller; null for
    //     a null or empty name, a name already used, a window already in
    //     the bar, or once the bar is gone.
    virtual i_workspace* create_workspace(const char* name, int image, wxWindow* window, long tree_style) = 0;
    // Removes a workspace of this manager, destroying its caption and
    // panel. Returns: false for null or a workspace of another manager.
    virtual bool remove_workspace(i_workspace* workspace) = 0;
    // Returns: a new collection of the workspaces in creation order, one
    //     reference for the caller.
    virtual i_object_col* get_workspaces() = 0;
    // Returns: the shortcuts bar, or null when there is none (any more).
    virtual wxWindow* get_pane_window() = 0;
    // Shows the workspace named `name` (no event when it is shown already).
    // Returns: false for null, an unknown name or without a bar.
    virtual bool select_workspace(const char* name) = 0;
    virtual bool select_workspace(i_workspace* workspace) = 0;
    // Returns: the workspace shown, one reference for the caller; null
    //     when there is none.
    virtual i_workspace* get_active_workspace() = 0;
    // Does nothing.
    virtual void ignore(int) = 0;
    // Walking the history of workspace names (it starts empty, before
    // its first position).
    virtual bool has_previous() = 0;
    virtual bool has_next() = 0;
    // Returns: the selection's result; false when there is no such step.
    virtual bool select_previous() = 0;
    virtual bool select_next() = 0;

protected:
    ~i_workspace_manager() = default;
};

class KIV_EXPORT workspace : public object, public i_named_object_impl, public virtual i_workspace {
public:
    // Points at `window` (not owned) and holds a reference to `tree` (may
    // be null).
    workspace(wxWindow* window, tree_ctrl* tree);
    ~workspace() override;
    workspace(const workspace&) = delete;
    workspace& operator=(const workspace&) = delete;

    // Answers "i_workspace" and "i_named_object".
    bool get_interface(const char* name, void** out) override;

    wxTreeCtrl* get_tree() override;
    wxWindow* get_window() override;

    // Returns: the object tree of the workspace (no reference added), or null.
    tree_ctrl* get_tree_ctrl() { return tree_.get(); }

private:
    wxWeakRef<wxWindow> window_;  // the panel, owned by the bar; null once destroyed
    auto_ptr_t<tree_ctrl> tree_;  // one reference; null: the panel was given
};

class KIV_EXPORT workspace_manager : public wxEvtHandler,
                                     public object,
                                     public i_named_object_impl,
                                     public virtual i_workspace_manager {
public:
    // With "svc_gui_frame" (its frame and docking manager) and
    // "svc_gui_image_manager" present, makes the bar on the frame and adds
    // it as the docking pane `name` captioned `caption`, on the left,
    // `size` its minimum and floating size. Without them the manager has
    // no bar and every workspace operation fails.
    workspace_manager(const char* name, const char* caption, const wxSize& size);
    // Uninstalls the tree-selection handler; the bar stays with the frame.
    ~workspace_manager() override;
    workspace_manager(const workspace_manager&) = delete;
    workspace_manager& operator=(const workspace_manager&) = delete;

    // Answers "i_workspace_manager" and "i_named_object".
    bool get_interface(const char* name, void** out) override;

    i_workspace* create_workspace(const char* name, int image, wxWindow* window, long tree_style) override;
    bool remove_workspace(i_workspace* workspace) override;
    i_object_col* get_workspaces() override;
    wxWindow* get_pane_window() override;
    bool select_workspace(const char* name) override;
    bool select_workspace(i_workspace* workspace) override;
    i_workspace* get_active_workspace() override;
    void ignore(int) override {}
    bool has_previous() override;
    bool has_next() override;
    bool select_previous() override;
    bool select_next() override;

    // Returns: the bar, or null (none made, or destroyed with the frame).
    shortcuts_bar* get_bar() { return bar_.get(); }

private:
    // Lets tree selections go on to other handlers.
    void on_select_tree_item(i_gui_event& event);
    bool select_step(int delta);

    wxWeakRef<shortcuts_bar> bar_;           // owned by the frame; null: none or gone
    auto_ptr_t<object_col> workspaces_;      // one reference; in creation order
    auto_ptr_t<object_col> names_;           // i_string names walked by previous/next
    int index_ = -1;                         // position in names_; -1: before the first
    std::string current_name_;               // the name last chosen by previous/next
    bool handler_installed_ = false;
};

}  // namespace kiv

// Creates the workspace manager and registers it as
// "svc_gui_workspace_manager" (see workspace_manager's constructor).
// Returns: false, registering nothing, without the frame service, its
//     frame or docking manager, or the image manager, or when a manager
//     is registered already. GUI thread.
KIV_EXTERN_C bool kiv_gui_create_workspace_manager(const char* name, const char* caption, const wxSize& size);

// Return: the interface of `obj`, or null (null object, or none). No
//     reference is added.
KIV_EXTERN_C kiv::i_workspace_manager* kiv_cast_i_workspace_manager(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_workspace* kiv_cast_i_workspace(kiv::i_object* obj);

#endif
