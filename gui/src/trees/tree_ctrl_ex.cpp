// tree_ctrl_ex.cpp --
//
//     The check-box tree: a tree_ctrl on a tree_list_ctrl whose icon click
//     toggles the check box of the node hit, and the node with a check
//     state and field values kept in the window's columns.

#include <kiv/gui/tree_ctrl_ex.h>

#include "../images/shared_images.h"

namespace kiv {

// --- tree_object_ex ----------------------------------------------------------

tree_object_ex::tree_object_ex() {
    set_image_name("check_off.gif");
    set_tree_flags(KIV_TREE_CHECKBOX);
}

bool tree_object_ex::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_tree_object_ex", static_cast<i_tree_object_ex*>(this), out))
        return true;
    return tree_object::get_interface(name, out);
}

bool tree_object_ex::set_name(const wxString& name) {
    return tree_object::set_name(name.utf8_str().data());
}

void tree_object_ex::set_is_checked(bool checked) {
    if ((get_tree_flags() & KIV_TREE_CHECKBOX) == 0)
        return;
    checked_ = checked;
    wxTreeCtrl* tree = get_tree_ctrl();
    wxTreeItemId item = get_tree_id();
    if (tree == nullptr || !item.IsOk() || shared_image_list() == nullptr)
        return;
    int image = shared_image_index(checked ? "check_on.gif" : "check_off.gif");
    for (wxTreeItemIcon which : {wxTreeItemIcon_Normal, wxTreeItemIcon_Selected, wxTreeItemIcon_Expanded})
        tree->SetItemImage(item, image, which);
}

int tree_object_ex::column_of(const wxString& column) const {
    auto* self = const_cast<tree_object_ex*>(this);
    auto* list = dynamic_cast<tree_list_ctrl*>(self->get_tree_ctrl());
    if (list == nullptr || column.empty())
        return -1;
    for (int c = 0; c < list->GetColumnCount(); ++c)
        if (list->GetColumnText(c) == column)
            return c;
    return -1;
}

wxString tree_object_ex::get_field_value(const wxString& column) const {
    int c = column_of(column);
    wxTreeItemId item = const_cast<tree_object_ex*>(this)->get_tree_id();
    if (c < 0 || !item.IsOk())
        return wxString();
    return static_cast<tree_list_ctrl*>(const_cast<tree_object_ex*>(this)->get_tree_ctrl())->GetItemText(item, c);
}

bool tree_object_ex::set_field_value(const wxString& column, const wxString& value) {
    if (value.empty())
        return false;
    int c = column_of(column);
    wxTreeItemId item = get_tree_id();
    if (c < 0 || !item.IsOk())
        return false;
    static_cast<tree_list_ctrl*>(get_tree_ctrl())->SetItemText(item, c, value);
    return true;
}

// --- tree_ctrl_ex ------------------------------------------------------------

wxTreeCtrl* tree_ctrl_ex::create(wxWindow* parent, const wxSize&) {
    if (get_tree_ctrl() != nullptr)
        return nullptr;
    set_name("tree_ex");
    auto* list = new tree_list_ctrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                    wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT, wxDefaultValidator, "treelistctrl");
    list->SetWindowStyleFlag(wxBORDER_NONE | wxTR_EDIT_LABELS | wxTR_LINES_AT_ROOT | wxTR_HAS_BUTTONS);
    if (wxImageList* images = shared_image_list()) {
        list->SetImageList(images);
        list->SetStateImageList(images);
    }
    set_tree_window(list);
    register_handlers();
    return list;
}

void tree_ctrl_ex::register_handlers() {
    wxTreeCtrl* tree = get_tree_ctrl();
    if (tree == nullptr)
        return;
    tree_ctrl::register_handlers();
    tree->Connect(tree->GetId(), KIV_EVT_TREE_ICON_CLICK, wxTreeEventHandler(tree_ctrl_ex::on_checked), nullptr,
                  this);
}

void tree_ctrl_ex::on_checked(wxTreeEvent& event) {
    wxTreeItemId item = event.GetItem();
    tree_item_id* data = item.IsOk() ? get_item_data(item) : nullptr;
    if (data == nullptr)
        return;
    auto_ptr_t<i_tree_object> node(data->get_object());
    i_tree_object_ex* node_ex = kiv_cast_i_tree_object_ex(node.get());
    if (node_ex != nullptr && (node_ex->get_tree_flags() & KIV_TREE_CHECKBOX) != 0) {
        bool checked = !node_ex->get_is_checked();
        node_ex->set_is_checked(checked);
        node_ex->on_check(checked);
        return;
    }
    event.Skip();
}

}  // namespace kiv

kiv::i_tree_object_ex* kiv_cast_i_tree_object_ex(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_tree_object_ex>(obj, "i_tree_object_ex");
}
