// tree_combobox.cpp --
//
//     The tree combo box: a wxComboCtrl with an object tree as its popup.

#include <kiv/gui/tree_combobox.h>

namespace kiv {

tree_popup::~tree_popup() {
    tree_.reset();
}

bool tree_popup::Create(wxWindow* parent) {
    tree_ctrl* tree = new tree_ctrl;
    tree->addref();
    tree_.reset(tree);
    return tree->create(parent, wxDefaultSize, 0) != nullptr;
}

wxWindow* tree_popup::GetControl() {
    return tree_ ? tree_->get_tree_ctrl() : nullptr;
}

wxSize tree_popup::GetAdjustedSize(int min_width, int, int) {
    return wxSize(min_width, 200);
}

tree_combobox::tree_combobox(wxWindow* parent, const wxSize& size)
    : wxComboCtrl(parent, wxID_ANY, wxString(), wxDefaultPosition, size, wxCB_READONLY) {
    SetPopupControl(new tree_popup);
}

tree_popup* tree_combobox::get_tree_popup() {
    // Not GetPopupControl: that would make a popup, and asserts on a box
    // that was never created.
    return dynamic_cast<tree_popup*>(m_popupInterface);
}

void tree_combobox::set_value(const wxString& text) {
    if (tree_popup* popup = get_tree_popup())
        popup->SetStringValue(text);
    SetValue(text);
}

void tree_combobox::add_root(tree_object* node) {
    if (node == nullptr)
        return;
    tree_popup* popup = get_tree_popup();
    tree_ctrl* tree = popup != nullptr ? popup->get_tree() : nullptr;
    node->insert_as_root(tree != nullptr ? tree->get_tree_ctrl() : nullptr);
}

void tree_combobox::clear() {
    tree_popup* popup = get_tree_popup();
    if (popup == nullptr)
        return;
    tree_ctrl* tree = popup->get_tree();
    if (tree != nullptr && tree->get_tree_ctrl() != nullptr)
        tree->get_tree_ctrl()->DeleteAllItems();
    popup->SetStringValue(wxString());
}

}  // namespace kiv
