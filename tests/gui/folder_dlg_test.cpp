// folder_dlg_test.cpp --
//
//     The folder nodes and the directory dialog over a temporary tree:
//     node names and child paths, opening at a default path, reloading
//     after a collapse, "New folder" turning an edited label into a
//     directory, names that would leave the parent refused, and the
//     dialog's icon shown on every folder node.

#include <kiv/core/files.h>
#include <kiv/gui/folder_object.h>

#include "gui_session.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <wx/textctrl.h>

#include <string>
#include <sys/stat.h>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

class folder_probe : public folder_object {
public:
    using folder_object::folder_object;
    using folder_object::get_dir_name;
    using folder_object::get_path_without_name;
};

bool is_dir(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(folder_object_test, names_come_from_the_last_path_part) {
    gui_session session;
    struct row {
        const char* path;
        const char* name;
        const char* head;
    } rows[] = {
        {"c:/data/maps", "maps", "c:/data"}, {"/", "/", ""},          {"c:\\data", "c:\\data", "c:"},
        {"/data", "data", ""},               {"", "c:\\", "c:"},       {"/a/b/", "/a/b/", "/a/b"},
    };
    for (const row& r : rows) {
        auto_ptr_t<folder_probe> node(new folder_probe(r.path, "folder.gif"));
        node->addref();
        EXPECT_STREQ(node->get_name(), r.name) << r.path;
        EXPECT_EQ(node->get_path_without_name(), wxString::FromUTF8(r.head)) << r.path;
        EXPECT_STREQ(node->get_icon(), "folder.gif");
        EXPECT_EQ(kiv_cast_folder_object(node.get()), static_cast<folder_object*>(node.get()));
    }
    EXPECT_EQ(kiv_cast_folder_object(nullptr), nullptr);
}

// A dialog over <root>/data/{maps,x} opened at <root>/data/maps.
class folder_dlg_fixture : public ::testing::Test {
protected:
    void SetUp() override {
        session.open_frame();
        base = session.core.root.path();
        ASSERT_TRUE(kiv_mkdir((base + "/data").c_str()));
        ASSERT_TRUE(kiv_mkdir((base + "/data/maps").c_str()));
        ASSERT_TRUE(kiv_mkdir((base + "/data/x").c_str()));
    }
    void TearDown() override {
        if (dialog != nullptr)
            dialog->Destroy();
        pump();
    }
    void open(const std::string& default_path) {
        dialog = new dir_dlg(session.frame, "Choose", wxString::FromUTF8(default_path), true, "folder.gif");
    }
    wxTreeCtrl* tree() { return dialog->get_tree()->get_tree_ctrl(); }
    // Presses "New folder..." and types `name` into the label editor.
    void new_folder(const char* name) {
        wxCommandEvent press(wxEVT_BUTTON, dialog->get_new_folder_button()->GetId());
        press.SetEventObject(dialog->get_new_folder_button());
        dialog->get_new_folder_button()->ProcessWindowEvent(press);
        pump_until([&] { return tree()->GetEditControl() != nullptr; });
        wxTreeItemId item = tree()->GetSelection();
        EXPECT_EQ(tree()->GetItemText(item), "New Folder");
        tree()->GetEditControl()->SetValue(wxString::FromUTF8(name));
        tree()->EndEditLabel(item, false);
        pump_until([&] { return tree()->GetEditControl() == nullptr; });
    }

    gui_session session;
    std::string base;
    dir_dlg* dialog = nullptr;
};

TEST_F(folder_dlg_fixture, opens_at_the_default_path_and_reports_it) {
    open(base + "/data/maps");
    EXPECT_EQ(dialog->get_path(), wxString::FromUTF8(base + "/data/maps"));
    EXPECT_EQ(dialog->get_name(), "maps");
    answer_next_dialog(wxID_OK);
    EXPECT_EQ(dialog->ShowModal(), wxID_OK);
    EXPECT_EQ(dialog->get_path(), wxString::FromUTF8(base + "/data/maps"));
}

TEST_F(folder_dlg_fixture, every_folder_node_shows_the_dialogs_icon_from_the_image_manager) {
    registered_images images(base + "/images", {"a.gif", "folder.gif"});
    const int icon = images.index("folder.gif");
    ASSERT_EQ(icon, 1);
    open(base + "/data/maps");
    EXPECT_EQ(tree()->GetImageList(), images.manager->get_image_list());
    new_folder("made");
    std::vector<wxTreeItemId> shown;  // the root, the open path, the new folder
    for (wxTreeItemId item = tree()->GetSelection(); item.IsOk(); item = tree()->GetItemParent(item))
        shown.push_back(item);
    EXPECT_GE(shown.size(), 4u);
    for (const wxTreeItemId& item : shown) {
        EXPECT_EQ(tree()->GetItemImage(item, wxTreeItemIcon_Normal), icon) << tree()->GetItemText(item);
        EXPECT_EQ(tree()->GetItemImage(item, wxTreeItemIcon_Selected), icon) << tree()->GetItemText(item);
    }
    // The window borrows the manager's list: it goes before the manager.
    dialog->Destroy();
    dialog = nullptr;
    pump();
}

TEST_F(folder_dlg_fixture, a_missing_default_path_leaves_the_root_open_with_nothing_below_selected) {
    open(base + "/nowhere");
    wxTreeItemId root = tree()->GetRootItem();
    EXPECT_TRUE(tree()->IsExpanded(root));
    EXPECT_EQ(tree()->GetItemText(root), "/");
    wxTreeItemId selected = tree()->GetSelection();
    EXPECT_TRUE(!selected.IsOk() || selected == root);
}

TEST_F(folder_dlg_fixture, a_collapse_drops_the_children_and_the_next_expansion_lists_the_disk_again) {
    open(base + "/data/maps");
    ASSERT_TRUE(tree()->GetSelection().IsOk());
    wxTreeItemId data = tree()->GetItemParent(tree()->GetSelection());
    EXPECT_EQ(tree()->GetChildrenCount(data, false), 2u);
    ASSERT_TRUE(kiv_mkdir((base + "/data/y").c_str()));
    tree()->Collapse(data);
    EXPECT_EQ(tree()->GetChildrenCount(data, false), 0u);
    tree()->Expand(data);
    EXPECT_EQ(tree()->GetChildrenCount(data, false), 3u);
}

TEST_F(folder_dlg_fixture, new_folder_creates_the_directory_named_by_the_edit) {
    open(base + "/data/maps");
    new_folder("fresh");
    EXPECT_TRUE(is_dir(base + "/data/maps/fresh"));
    EXPECT_EQ(dialog->get_path(), wxString::FromUTF8(base + "/data/maps/fresh"));
    EXPECT_EQ(dialog->get_name(), "fresh");
    EXPECT_TRUE(dialogs_seen().empty());
    // No longer a new folder: a second name changes only the label.
    wxTreeItemId item = tree()->GetSelection();
    tree_item_id* data = dialog->get_tree()->get_item_data(item);
    auto_ptr_t<i_tree_object> node(data->get_object());
    EXPECT_EQ(node->get_tree_flags(), 0u);
    EXPECT_TRUE(node->set_name("other"));
    EXPECT_EQ(tree()->GetItemText(item), "other");
    EXPECT_FALSE(is_dir(base + "/data/maps/other"));
}

TEST_F(folder_dlg_fixture, names_leaving_the_parent_are_refused_with_a_message) {
    open(base + "/data/maps");
    const char* bad[] = {"a/b", "..", "x\\y"};
    for (const char* name : bad) {
        answer_next_dialog(wxID_OK);
        new_folder(name);
        EXPECT_EQ(unused_answers(), 0u) << name;
        ASSERT_FALSE(dialogs_seen().empty());
        EXPECT_EQ(dialogs_seen().back().message, "Can not create directory.");
        EXPECT_EQ(dialog->get_path(), wxString::FromUTF8(base + "/data/maps")) << name;  // the parent
    }
    EXPECT_FALSE(is_dir(base + "/data/maps/a"));
    EXPECT_FALSE(is_dir(base + "/data/maps/a/b"));
    EXPECT_FALSE(is_dir(base + "/data/maps/x\\y"));
    // The refused nodes keep their label and are no new folders any more.
    wxTreeItemId maps = tree()->GetSelection();
    wxTreeItemIdValue cookie;
    int refused = 0;
    for (wxTreeItemId c = tree()->GetFirstChild(maps, cookie); c.IsOk(); c = tree()->GetNextChild(maps, cookie)) {
        auto_ptr_t<i_tree_object> node(dialog->get_tree()->get_item_data(c)->get_object());
        EXPECT_EQ(tree()->GetItemText(c), "New Folder");
        EXPECT_EQ(node->get_tree_flags(), 0u);
        ++refused;
    }
    EXPECT_EQ(refused, 3);
}

TEST_F(folder_dlg_fixture, children_of_the_root_item_join_without_a_second_slash) {
    open(base + "/nowhere");
    wxTreeItemId root = tree()->GetRootItem();
    wxTreeItemIdValue cookie;
    wxTreeItemId first = tree()->GetFirstChild(root, cookie);
    ASSERT_TRUE(first.IsOk());
    auto_ptr_t<i_tree_object> child(dialog->get_tree()->get_item_data(first)->get_object());
    EXPECT_EQ(wxString::FromUTF8(kiv_cast_folder_object(child)->get_path()), "/" + tree()->GetItemText(first));

    // A new folder under "/": its path, then the edit is cancelled, so
    // nothing is written to the real root.
    tree()->SelectItem(root);
    wxCommandEvent press(wxEVT_BUTTON, dialog->get_new_folder_button()->GetId());
    dialog->get_new_folder_button()->ProcessWindowEvent(press);
    pump_until([&] { return tree()->GetEditControl() != nullptr; });
    wxTreeItemId item = tree()->GetSelection();
    auto_ptr_t<i_tree_object> made(dialog->get_tree()->get_item_data(item)->get_object());
    EXPECT_STREQ(kiv_cast_folder_object(made)->get_path(), "/New Folder");
    tree()->EndEditLabel(item, true);
    pump_until([&] { return tree()->GetEditControl() == nullptr; });
    EXPECT_EQ(tree()->GetItemText(item), "New Folder");
    EXPECT_TRUE(dialogs_seen().empty());
}

}  // namespace
