// folder_object.cpp --
//
//     The directory node of the folder tree. Its children are listed on
//     the first expansion (directories only, sorted by name). A node in
//     "new folder" state (editable label) turns the edited label into a
//     directory; names that would leave the parent directory are refused.

#include <kiv/core/files.h>
#include <kiv/core/i_string.h>
#include <kiv/core/i_translator.h>
#include <kiv/gui/folder_object.h>

#include <wx/msgdlg.h>

namespace kiv {

namespace {

// A new folder's name must name one entry inside its parent.
bool valid_folder_name(const wxString& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == wxString::npos;
}

}  // namespace

folder_object::folder_object(const char* path, const char* icon)
    : path_(wxString::FromUTF8(path != nullptr ? path : "")), icon_(wxString::FromUTF8(icon != nullptr ? icon : "")) {
    if (path_.empty())
        path_ = "c:\\";
    wxString name = get_dir_name();
    tree_object::set_name(name.empty() ? path_.utf8_str() : name.utf8_str());
    if (!icon_.empty())
        set_image_name(icon_.utf8_str());
}

bool folder_object::get_interface(const char* name, void** out) {
    if (answer_interface(name, "folder_object", this, out))
        return true;
    return tree_object::get_interface(name, out);
}

const char* folder_object::get_path() {
    path_utf8_ = path_.utf8_str().data();
    return path_utf8_.c_str();
}

const char* folder_object::get_icon() {
    icon_utf8_ = icon_.utf8_str().data();
    return icon_utf8_.c_str();
}

wxString folder_object::get_dir_name() {
    wxString name = path_.AfterLast('/');
    if (name.empty())
        name = path_.AfterLast('\\');
    return name;
}

wxString folder_object::get_path_without_name() {
    wxString head = path_.Find('/', true) != wxNOT_FOUND ? path_.BeforeLast('/') : wxString();
    if (head.empty() && path_.Find('\\', true) != wxNOT_FOUND)
        head = path_.BeforeLast('\\');
    return head;
}

bool folder_object::set_name(const char* name) {
    if (name == nullptr)
        return false;
    if ((get_tree_flags() & KIV_TREE_EDITABLE) == 0)
        return tree_object::set_name(name);
    wxString new_name = wxString::FromUTF8(name);
    wxString new_path = get_path_without_name() + "/" + new_name;
    if (!valid_folder_name(new_name) || !kiv_mkdir(new_path.utf8_str())) {
        creation_failed();
        return false;
    }
    path_ = new_path;
    set_tree_flags(0);
    return tree_object::set_name(name);
}

void folder_object::creation_failed() {
    set_tree_flags(0);
    wxTreeCtrl* tree = get_tree_ctrl();
    wxTreeItemId item = get_tree_id();
    wxTreeItemId parent = tree != nullptr && item.IsOk() ? tree->GetItemParent(item) : wxTreeItemId();
    if (parent.IsOk())
        tree->SelectItem(parent, true);
    wxMessageBox(wxString::FromUTF8(kiv_translate("Can not create directory.", "")), wxMessageBoxCaptionStr,
                 wxOK | wxCENTRE);
    // The window may have dropped the item meanwhile: look it up again.
    tree = get_tree_ctrl();
    item = get_tree_id();
    if (tree != nullptr && item.IsOk()) {
        tree->Collapse(item);
        tree->Expand(item);
    }
}

void folder_object::load_children() {
    wxTreeCtrl* tree = get_tree_ctrl();
    wxTreeItemId item = get_tree_id();
    if (tree == nullptr || !item.IsOk())
        return;
    auto_ptr_t<i_object_col> dirs(kiv_scan_dir(path_.utf8_str(), "*", 2));
    if (!dirs)
        return;
    bool root = item == tree->GetRootItem();
    std::string icon(get_icon());
    for (unsigned i = 0; i < dirs->get_count(); ++i) {
        auto_ptr_t<i_object> entry(dirs->get_item_by_pos(i));
        i_string* name = kiv_cast_i_string(entry);
        if (name == nullptr || std::string(name->get_value()) == "." || std::string(name->get_value()) == "..")
            continue;
        // Whole paths, however long: a cut path would name another folder.
        wxString child_path = path_ + (root ? "" : "/") + wxString::FromUTF8(name->get_value());
        auto_ptr_t<folder_object> child(new folder_object(child_path.utf8_str(), icon.c_str()));
        child->addref();
        child->insert_as_child(this);
        wxTreeItemId child_item = child->get_tree_id();
        if (child_item.IsOk())
            tree->SetItemHasChildren(child_item, true);
    }
}

}  // namespace kiv

using namespace kiv;

folder_object* kiv_cast_folder_object(i_object* obj) {
    return cast_interface<folder_object>(obj, "folder_object");
}
