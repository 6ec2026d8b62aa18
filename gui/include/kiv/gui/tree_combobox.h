// tree_combobox.h --
//
//     A read-only combo box whose drop-down is an object tree. The
//     application inserts root nodes (add_root) and sets the shown text
//     itself (set_value), typically from the chosen node. The popup's
//     tree exists only once wxWidgets has created the popup (lazily, or
//     on first show); add_root before that inserts nothing.
//
//     GUI thread only.

#ifndef KIV_GUI_TREE_COMBOBOX_H
#define KIV_GUI_TREE_COMBOBOX_H

#include <kiv/core/export.h>
#include <kiv/gui/tree_ctrl.h>

#include <wx/combo.h>

namespace kiv {

// The drop-down part: a tree_ctrl and the value text the combo box shows.
class KIV_EXPORT tree_popup : public wxComboPopup {
public:
    tree_popup() = default;
    // Releases the tree control; the window goes with the popup.
    ~tree_popup() override;
    // Owns its tree control and belongs to one combo box: not copied.
    tree_popup(const tree_popup&) = delete;
    tree_popup& operator=(const tree_popup&) = delete;

    void Init() override {}
    // Makes a new tree control on `parent`. Returns: whether it gave a window.
    bool Create(wxWindow* parent) override;
    wxWindow* GetControl() override;
    void SetStringValue(const wxString& value) override { value_ = value; }
    wxString GetStringValue() const override { return value_; }
    // Returns: `min_width` wide and 200 pixels high, whatever the items.
    wxSize GetAdjustedSize(int min_width, int pref_height, int max_height) override;

    // Returns: the tree control, or null before Create; no reference added.
    tree_ctrl* get_tree() { return tree_.get(); }

private:
    auto_ptr_t<tree_ctrl> tree_;  // one reference held; null: not created
    wxString value_;
};

class KIV_EXPORT tree_combobox : public wxComboCtrl {
public:
    // A bare combo control, to be created by the caller.
    tree_combobox() = default;
    // A read-only combo box on `parent` with a tree_popup.
    tree_combobox(wxWindow* parent, const wxSize& size);

    // Sets the popup's value and the shown text.
    void set_value(const wxString& text);
    // Closes the popup.
    void dismiss() { Dismiss(); }
    // Inserts `node` as the popup tree's root; nothing for null or before
    // the popup tree exists.
    void add_root(tree_object* node);
    // Deletes every item of the popup tree (releasing the nodes) and
    // empties the popup's value; the shown text stays.
    void clear();

    // Returns: the popup, or null when none is installed.
    tree_popup* get_tree_popup();
};

}  // namespace kiv

#endif
