// dir_dlg.cpp --
//
//     The modal directory dialog: the folder tree from "/", opened as far
//     down the default path as its parts name folders, with an optional
//     "New folder..." button that adds a folder node under the selection
//     and starts editing its label.

#include <kiv/core/files.h>
#include <kiv/core/i_translator.h>
#include <kiv/gui/folder_object.h>

#include <wx/sizer.h>
#include <wx/statline.h>
#include <wx/tokenzr.h>

namespace kiv {

dir_dlg::dir_dlg(wxWindow* parent, const wxString& title, const wxString& default_path, bool new_folder_button,
                 const wxString& icon)
    : wxDialog(parent, wxID_ANY, title), icon_(icon), default_path_(default_path) {
    tree_.reset(new tree_ctrl);
    tree_->addref();
    wxTreeCtrl* tree = tree_->create(this, wxSize(300, 300), wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT);

    wxBoxSizer* column = new wxBoxSizer(wxVERTICAL);
    column->Add(tree, 1, wxLEFT | wxRIGHT | wxTOP | wxEXPAND, 10);
    if (new_folder_button) {
        new_folder_ = new wxButton(this, wxID_ANY, wxString::FromUTF8(kiv_translate("New folder...", "")));
        new_folder_->Bind(wxEVT_BUTTON, &dir_dlg::on_make_folder, this);
        column->Add(new_folder_, 0, wxLEFT | wxRIGHT | wxTOP | wxALIGN_RIGHT, 10);
    }
    column->AddSpacer(15);
    column->Add(new wxStaticLine(this, wxID_ANY), 0, wxALL | wxEXPAND, 10);
    column->Add(CreateButtonSizer(wxOK | wxCANCEL), 0, wxALL | wxALIGN_RIGHT, 10);
    SetSizerAndFit(column);
    Centre();
    show_default_folder();
}

dir_dlg::~dir_dlg() {
    // The window goes with the dialog; its items release their nodes.
    tree_.reset();
}

folder_object* dir_dlg::get_selection() {
    wxTreeCtrl* tree = tree_ ? tree_->get_tree_ctrl() : nullptr;
    if (tree == nullptr)
        return nullptr;
    wxTreeItemId item = tree->GetSelection();
    tree_item_id* data = item.IsOk() ? tree_->get_item_data(item) : nullptr;
    if (data == nullptr)
        return nullptr;
    auto_ptr_t<i_tree_object> node(data->get_object());
    folder_object* folder = kiv_cast_folder_object(node);
    if (folder != nullptr)
        folder->addref();
    return folder;
}

wxString dir_dlg::get_path() {
    auto_ptr_t<folder_object> folder(get_selection());
    return folder ? wxString::FromUTF8(folder->get_path()) : wxString();
}

wxString dir_dlg::get_name() {
    auto_ptr_t<folder_object> folder(get_selection());
    return folder ? wxString::FromUTF8(folder->get_name()) : wxString();
}

void dir_dlg::show_default_folder() {
    wxTreeCtrl* tree = tree_->get_tree_ctrl();
    if (tree == nullptr)
        return;
    wxScopedCharBuffer icon = icon_.utf8_str();
    auto_ptr_t<folder_object> root(new folder_object("/", icon));
    root->addref();
    root->insert_as_root(tree);
    wxTreeItemId root_item = root->get_tree_id();
    if (!root_item.IsOk())
        return;
    tree->SetItemHasChildren(root_item, true);
    tree->Expand(root_item);
    if (default_path_.empty() || !kiv_dir_exists(default_path_.utf8_str()))
        return;
    auto_ptr_t<folder_object> current(root);
    wxStringTokenizer parts(default_path_, "/\\", wxTOKEN_STRTOK);
    while (parts.HasMoreTokens()) {
        if (!current->select_child(parts.GetNextToken().utf8_str()))
            break;
        auto_ptr_t<folder_object> next(get_selection());
        if (!next)
            break;
        current = next;
    }
}

void dir_dlg::on_make_folder(wxCommandEvent&) {
    auto_ptr_t<folder_object> selected(get_selection());
    wxTreeCtrl* tree = tree_->get_tree_ctrl();
    if (!selected || tree == nullptr)
        return;
    wxString path = wxString::FromUTF8(selected->get_path());
    bool root = selected->get_tree_id() == tree->GetRootItem();
    wxString new_path = path + (root ? "New Folder" : "/New Folder");
    // The children must be there before the new node joins them, or the
    // first expansion would list them after it.
    if (!tree->IsExpanded(selected->get_tree_id()))
        tree->Expand(selected->get_tree_id());
    auto_ptr_t<folder_object> folder(new folder_object(new_path.utf8_str(), icon_.utf8_str()));
    folder->addref();
    folder->insert_as_child(selected.get());
    wxTreeItemId item = folder->get_tree_id();
    if (!item.IsOk())
        return;
    folder->set_tree_flags(KIV_TREE_EDITABLE);
    tree->SetItemHasChildren(item, true);
    tree->EnsureVisible(item);
    tree->SelectItem(item, true);
    tree->EditLabel(item);
}

}  // namespace kiv
