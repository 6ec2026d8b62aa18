// tree_ctrl_ex.h --
//
//     The check-box tree: the object tree shown in a tree_list_ctrl, whose
//     nodes carry a check state drawn as their item image and field values
//     held in the window's named columns. A click on a node's icon toggles
//     its check box when the node has one.

#ifndef KIV_GUI_TREE_CTRL_EX_H
#define KIV_GUI_TREE_CTRL_EX_H

#include <kiv/core/export.h>
#include <kiv/gui/tree_ctrl.h>
#include <kiv/gui/tree_list_ctrl.h>

namespace kiv {

class i_tree_object_ex : public virtual i_tree_object {
public:
    virtual bool get_is_checked() = 0;
    virtual void set_is_checked(bool checked) = 0;
    virtual wxString get_field_value(const wxString& column) const = 0;
    virtual bool set_field_value(const wxString& column, const wxString& value) = 0;
    virtual void on_check(bool checked) = 0;

protected:
    ~i_tree_object_ex() = default;
};

class KIV_EXPORT tree_object_ex : public tree_object, public i_tree_object_ex {
public:
    tree_object_ex();

    bool get_interface(const char* name, void** out) override;

    using tree_object::set_name;
    bool set_name(const wxString& name);

    bool get_is_checked() override { return checked_; }
    // Sets the state (only with the check-box flag); with a registered
    // image manager the item's images become "check_on.gif" or
    // "check_off.gif". The node's on_check is not called.
    void set_is_checked(bool checked) override;
    wxString get_field_value(const wxString& column) const override;
    bool set_field_value(const wxString& column, const wxString& value) override;
    void on_check(bool) override {}

private:
    // The window's column of that header text (the first of equals), -1
    // for none or when the node is not in a tree-list.
    int column_of(const wxString& column) const;

    bool checked_ = false;
};

class KIV_EXPORT tree_ctrl_ex : public tree_ctrl {
public:
    using tree_ctrl::create;
    virtual wxTreeCtrl* create(wxWindow* parent, const wxSize& size);
    void register_handlers() override;

    void on_checked(wxTreeEvent& event);
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_tree_object_ex* kiv_cast_i_tree_object_ex(kiv::i_object* obj);

#endif
