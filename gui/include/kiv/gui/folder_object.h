// folder_object.h --
//
//     A directory chooser on the object tree: folder_object is a node
//     for one directory, which lists its subdirectories as child nodes on
//     its first expansion; dir_dlg is a modal dialog showing the tree
//     from "/", opened at a default path, with an optional "New folder..."
//     button. A new folder is a node whose label is being edited; its
//     directory is created when the edit ends with a valid name.
//
//     GUI thread only.

#ifndef KIV_GUI_FOLDER_OBJECT_H
#define KIV_GUI_FOLDER_OBJECT_H

#include <kiv/core/export.h>
#include <kiv/gui/tree_ctrl.h>

#include <wx/button.h>
#include <wx/dialog.h>

namespace kiv {

class KIV_EXPORT folder_object : public tree_object {
public:
    // `path` and `icon` are UTF-8 (null: empty); an empty path stands
    // for "c:\". The name is the directory name, or the whole path when
    // that is empty; a non-empty icon becomes the image name.
    folder_object(const char* path, const char* icon);

    // Answers "folder_object", then as tree_object.
    bool get_interface(const char* name, void** out) override;

    // Returns: the path / the icon name as UTF-8, owned by the node and
    //     valid until it changes.
    const char* get_path();
    const char* get_icon();

    // A node in "new folder" state (editable) creates its directory
    // first: a name that is empty, holds "/" or "\", or is "." or ".."
    // is refused, as is a failed creation (a message says so and the
    // node keeps its label). Returns: false for null or a refusal.
    bool set_name(const char* name) override;
    // Adds one child node for each subdirectory.
    void load_children() override;

protected:
    // The text after the last "/" (else "\"); the whole path without one.
    wxString get_dir_name();
    // The text before the last "/" (else "\"); "" without one.
    wxString get_path_without_name();

private:
    // Ends "new folder" state after a failed creation.
    void creation_failed();

    wxString path_;
    wxString icon_;
    std::string path_utf8_;  // get_path's text
    std::string icon_utf8_;  // get_icon's text
};

class KIV_EXPORT dir_dlg : public wxDialog {
public:
    dir_dlg(wxWindow* parent, const wxString& title, const wxString& default_path, bool new_folder_button,
            const wxString& icon);
    ~dir_dlg() override;

    // Returns: the path / the name of the selected folder, "" for none.
    wxString get_path();
    wxString get_name();

    // Returns: the tree control, no reference added.
    tree_ctrl* get_tree() { return tree_.get(); }
    // Returns: the "New folder..." button, or null.
    wxButton* get_new_folder_button() { return new_folder_; }

protected:
    // Returns: the selected folder with one reference, or null.
    folder_object* get_selection();

private:
    void show_default_folder();
    void on_make_folder(wxCommandEvent& event);

    auto_ptr_t<tree_ctrl> tree_;   // one reference held
    wxButton* new_folder_ = nullptr;  // owned by the dialog; null: none
    wxString icon_;
    wxString default_path_;
};

}  // namespace kiv

// Returns: the folder node of `obj`, or null. No reference is added.
KIV_EXTERN_C kiv::folder_object* kiv_cast_folder_object(kiv::i_object* obj);

#endif
