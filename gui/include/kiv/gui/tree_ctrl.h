// tree_ctrl.h --
//
//     The object tree: a tree window whose items each stand for one node
//     object (i_tree_object). An item carries only a tree_item_id, which
//     holds a counted reference to its node; the control turns the
//     window's notifications into calls on the nodes and into GUI events:
//     - the selection reaches the nodes as "KIV_GUI_SELECT_TREE_ITEM",
//       processed at once with the selected node as payload (no payload:
//       nothing selected); every node of the tree hears it and compares;
//     - activation is queued as "KIV_GUI_ACTIVATE_TREE_ITEM";
//     - children are loaded on the first expansion and dropped on collapse;
//     - rename, drag and drop and the context menu are decided by the
//       nodes through their tree flags and hooks;
//     - the control keeps a one-entry clipboard (copy or cut).
//
//     Everything here runs on the GUI thread.

#ifndef KIV_GUI_TREE_CTRL_H
#define KIV_GUI_TREE_CTRL_H

#include <kiv/core/export.h>
#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>
#include <kiv/gui/i_gui_event.h>

#include <wx/menu.h>
#include <wx/treectrl.h>
#include <wx/weakref.h>

#include <string>

// Tree flags of a node.
enum : unsigned int {
    KIV_TREE_EDITABLE = 0x1,   // the label may be edited ("Rename")
    KIV_TREE_DRAGGABLE = 0x2,  // the node may be dragged
    KIV_TREE_CHECKBOX = 0x4,   // the node has a check box
};

// Drop effect passed to on_drop: a copy (Ctrl held); 0 is a move.
#define KIV_TREE_DROP_COPY 308
// Copy flags of tree_ctrl::set_copy_object: the object was cut.
#define KIV_TREE_COPY_CUT 0x2

namespace kiv {

class i_tree_object : public virtual i_named_object {
public:
    // Returns: the node's item, an invalid id when it is in no tree.
    virtual wxTreeItemId get_tree_id() = 0;
    // Returns: the image index, -1 for none.
    virtual int get_image() = 0;
    // Returns: the tree window holding the node, or null.
    virtual wxTreeCtrl* get_tree_ctrl() = 0;
    // Sets the "children loaded" mark.
    virtual void set_expanded_once(bool expanded) = 0;
    // Fills the context menu. Returns: true when it is to be shown.
    virtual bool populate_tree_menu(wxMenu* menu) = 0;
    virtual unsigned int get_tree_flags() = 0;
    // Returns: true.
    virtual bool set_tree_flags(unsigned int flags) = 0;
    // Called when the item is about to expand / after it collapsed.
    virtual void on_tree_expand() = 0;
    virtual void on_tree_collapse() = 0;
    // The dragged node (this) was dropped on `target`; `effect` is
    // KIV_TREE_DROP_COPY or 0 (move) and may be changed. Returns: true
    // when the drop was done.
    virtual bool on_drop(i_tree_object* target, int& effect) = 0;
    // Returns: true when the node agrees to be dragged.
    virtual bool on_begin_drop() = 0;
    // Hooks the control never calls; false in the base.
    virtual bool on_end_drop() = 0;
    virtual bool on_paste(i_tree_object* source, int flags) = 0;
    // Shows or clears the "cut" look of the item (greyed text).
    virtual void set_item_as_cut(bool cut) = 0;
    // Expands the item and selects its first direct child labelled `name`.
    // Returns: true when one was found.
    virtual bool select_child(const char* name) = 0;
    // Returns: the child nodes in item order, one reference for the caller.
    virtual i_object_col* get_childs() = 0;

protected:
    ~i_tree_object() = default;
};

// The data of one item: a counted reference to its node. Deleting it
// (the window deletes it with its item) also tells the node that it has
// no item any more, so a node that outlives its item never reads the
// freed data.
class KIV_EXPORT tree_item_id : public wxTreeItemData {
public:
    // Adds a reference to a non-null node.
    explicit tree_item_id(i_tree_object* node);
    tree_item_id(const tree_item_id& other);
    tree_item_id& operator=(const tree_item_id& other);
    ~tree_item_id() override;

    // Returns: the node with one reference for the caller, or null.
    i_tree_object* get_object() const;

private:
    i_tree_object* node_ = nullptr;  // one reference held; null: none
};

class tree_ctrl;

// The reusable base of all nodes.
class KIV_EXPORT tree_object : public wxEvtHandler,
                               public object,
                               public i_named_object_impl,
                               public virtual i_tree_object {
public:
    tree_object() = default;
    // Unselects a selected node and removes its selection handler.
    ~tree_object() override;

    // Adds the root item of `tree` for this node; nothing for null.
    virtual void insert_as_root(wxTreeCtrl* tree);
    // Appends an item under `parent`'s item; nothing when the parent is
    // null or in no tree.
    virtual void insert_as_child(i_tree_object* parent);
    // Activates the node's renderer ("svc_gui_renderer"), when there is one.
    virtual void render();
    virtual void on_select();
    virtual void on_unselect();
    virtual void on_activate() {}
    virtual void initial_event_registration();
    // Adds the child nodes; called on the first expansion. Empty here.
    virtual void load_children() {}

    bool set_name(const char* name) override;
    bool get_interface(const char* name, void** out) override;

    wxTreeItemId get_tree_id() override;
    int get_image() override;
    wxTreeCtrl* get_tree_ctrl() override { return tree_; }
    void set_expanded_once(bool expanded) override { expanded_once_ = expanded; }
    bool populate_tree_menu(wxMenu* menu) override;
    unsigned int get_tree_flags() override { return tree_flags_; }
    bool set_tree_flags(unsigned int flags) override {
        tree_flags_ = flags;
        return true;
    }
    void on_tree_expand() override;
    void on_tree_collapse() override;
    bool on_drop(i_tree_object*, int&) override { return false; }
    bool on_begin_drop() override { return false; }
    bool on_end_drop() override { return false; }
    bool on_paste(i_tree_object*, int) override { return false; }
    void set_item_as_cut(bool cut) override;
    bool select_child(const char* name) override;
    i_object_col* get_childs() override;

    // Called by the item data when it is deleted: forgets the item and
    // the window (unselecting the node and removing its handler first).
    void item_deleted(tree_item_id* data);

    void on_select_node(i_gui_event& event);
    void on_activate_node(wxTreeEvent& event);
    void on_cmd_update(wxUpdateUIEvent& event) { event.Enable(true); }
    void on_rename_cmd_update(wxUpdateUIEvent& event);
    void on_rename_cmd(wxCommandEvent& event);

protected:
    // The image name under which the image manager knows the node's image.
    void set_image_name(const char* name) { image_name_ = name != nullptr ? name : ""; }
    void set_renderer_name(const char* name) { renderer_name_ = name != nullptr ? name : ""; }
    bool is_selected() const { return selected_; }

private:
    void uninstall_select_handler();

    unsigned int tree_flags_ = 0;
    tree_item_id* item_data_ = nullptr;  // owned by the window; null: not in a tree
    wxTreeCtrl* tree_ = nullptr;         // not owned; null: not in a tree
    std::string image_name_;             // empty: no image
    bool selected_ = false;
    bool expanded_once_ = false;         // children loaded
    bool select_handler_ = false;        // the selection handler is installed
    std::string renderer_name_;          // passed to "svc_gui_renderer"
};

class KIV_EXPORT tree_ctrl : public wxEvtHandler, public object, public i_named_object_impl {
public:
    tree_ctrl() = default;
    // Releases the clipboard and the drag source; the window stays.
    ~tree_ctrl() override;

    // Makes the tree window on `parent` (style 0: buttons, lines at the
    // root, editable labels) and connects the handlers.
    // Returns: the window, owned by its parent; null when it exists already.
    virtual wxTreeCtrl* create(wxWindow* parent, const wxSize& size, unsigned int style);
    virtual void register_handlers();
    // Returns: the item's data (owned by the window), or null.
    virtual tree_item_id* get_item_data(const wxTreeItemId& item);
    // Returns: the tree window, or null (before create, or once destroyed).
    virtual wxTreeCtrl* get_tree_ctrl();
    // Holds `object` as copied (flags KIV_TREE_COPY_CUT: cut) from `node`;
    // null clears. The previous cut node loses its cut look.
    virtual void set_copy_object(i_tree_object* node, i_object* object, int flags);
    // Returns: the copied object with one reference for the caller, or
    //     null; `flags` receives the copy flags.
    virtual i_object* get_copy_object(int& flags);
    // Returns: the node the copy came from, one reference, or null.
    virtual i_tree_object* get_copy_tree_object();
    // Shows or hides the window, announcing the selection first (hidden:
    // no node stays selected). Returns: the window's Show result.
    virtual bool Show(bool show);

    bool get_interface(const char* name, void** out) override;

    void on_delete_item(wxTreeEvent& event);
    void on_sel_changed(wxTreeEvent& event);
    void on_activate_item(wxTreeEvent& event);
    void on_right_click(wxTreeEvent& event);
    void on_end_label_edit(wxTreeEvent& event);
    void on_begin_label_edit(wxTreeEvent& event);
    void on_expanding_item(wxTreeEvent& event);
    void on_collapsing_item(wxTreeEvent& event);
    void on_begin_drag(wxTreeEvent& event);
    void on_end_drag(wxTreeEvent& event);
    void on_key_down(wxTreeEvent& event) { event.Skip(); }

protected:
    // For controls that make another kind of tree window.
    void set_tree_window(wxTreeCtrl* tree) { tree_ = tree; }
    // Returns: the item's node with one reference, or null.
    i_tree_object* node_of(const wxTreeItemId& item);

private:
    wxWeakRef<wxTreeCtrl> tree_;           // owned by its parent; null: none
    auto_ptr_t<i_tree_object> drag_source_;  // the node being dragged
    auto_ptr_t<i_tree_object> copy_node_;    // the node showing the copy or cut
    auto_ptr_t<i_object> copy_object_;       // the copied or cut object
    int copy_flags_ = 0;                     // KIV_TREE_COPY_CUT: cut
};

}  // namespace kiv

// Returns: the tree_object of `obj`, or null (null object, or none).
//     No reference is added.
KIV_EXTERN_C kiv::tree_object* kiv_cast_tree_object(kiv::i_object* obj);
// Returns: the node interface of `obj`, or null. No reference is added.
KIV_EXTERN_C kiv::i_tree_object* kiv_cast_i_tree_object(kiv::i_object* obj);

#endif
