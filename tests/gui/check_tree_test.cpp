// check_tree_test.cpp --
//
//     The check-box tree's own rules: its window, the node's interface and
//     check state, and an icon click on a node that is not a check-box node
//     going on untouched, and the check images of the registered image
//     manager following the state (none without a manager). Most clicks on
//     real icons are in tree_list_test.cpp.

#include <kiv/gui/tree_ctrl_ex.h>

#include "gui_session.h"
#include "test_images.h"
#include "test_trees.h"

#include <gtest/gtest.h>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

class check_node : public tree_object_ex {
public:
    void on_check(bool checked) override { checks.push_back(checked); }
    std::vector<bool> checks;
};

TEST(check_tree, create_makes_one_tree_list_window_with_the_check_tree_style) {
    gui_session session;
    session.open_frame();
    auto_ptr_t<tree_ctrl_ex> control(new tree_ctrl_ex);
    control->addref();
    wxTreeCtrl* tree = control->create(session.frame, wxSize(200, 200));
    ASSERT_NE(tree, nullptr);
    EXPECT_NE(dynamic_cast<tree_list_ctrl*>(tree), nullptr);
    EXPECT_STREQ(control->get_name(), "tree_ex");
    EXPECT_EQ(tree->GetName(), "treelistctrl");
    EXPECT_TRUE(tree->HasFlag(wxTR_EDIT_LABELS));
    EXPECT_TRUE(tree->HasFlag(wxTR_HAS_BUTTONS));
    EXPECT_EQ(dynamic_cast<tree_list_ctrl*>(tree)->GetColumnCount(), 0);
    EXPECT_EQ(control->create(session.frame, wxSize(200, 200)), nullptr);
    EXPECT_EQ(control->get_tree_ctrl(), tree);
}

TEST(check_tree, a_node_answers_its_interface_and_checks_only_with_the_check_box_flag) {
    gui_session session;
    auto_ptr_t<check_node> node(new check_node);
    node->addref();
    EXPECT_EQ(node->get_tree_flags(), static_cast<unsigned int>(KIV_TREE_CHECKBOX));
    EXPECT_EQ(kiv_cast_i_tree_object_ex(static_cast<i_object*>(static_cast<i_tree_object*>(node.get()))),
              static_cast<i_tree_object_ex*>(node.get()));
    EXPECT_EQ(kiv_cast_i_tree_object_ex(nullptr), nullptr);

    node->set_is_checked(true);
    EXPECT_TRUE(node->get_is_checked());
    EXPECT_TRUE(node->checks.empty());  // code switching the box is not told
    node->set_tree_flags(0);
    node->set_is_checked(false);
    EXPECT_TRUE(node->get_is_checked());

    EXPECT_TRUE(node->set_name(wxString::FromUTF8("\xc3\xa9t\xc3\xa9")));
    EXPECT_STREQ(node->get_name(), "\xc3\xa9t\xc3\xa9");
}

TEST(check_tree, an_icon_click_on_a_plain_node_or_no_item_goes_on) {
    gui_session session;
    session.open_frame();
    auto_ptr_t<tree_ctrl_ex> control(new tree_ctrl_ex);
    control->addref();
    wxTreeCtrl* tree = control->create(session.frame, wxSize(200, 200));
    ASSERT_NE(tree, nullptr);
    auto_ptr_t<tree_object> plain(new tree_object);
    plain->addref();
    plain->set_name("plain");
    plain->set_tree_flags(KIV_TREE_CHECKBOX);
    plain->insert_as_root(tree);

    int passed_on = 0;
    session.frame->Bind(KIV_EVT_TREE_ICON_CLICK, [&](wxTreeEvent&) { ++passed_on; });
    for (wxTreeItemId item : {plain->get_tree_id(), wxTreeItemId()}) {
        wxTreeEvent click(KIV_EVT_TREE_ICON_CLICK, tree->GetId());
        click.SetEventObject(tree);
        click.SetItem(item);
        tree->GetEventHandler()->ProcessEvent(click);
    }
    // The plain node's click goes on to the frame; a click without an item
    // ends in the handler.
    EXPECT_EQ(passed_on, 1);
    tree->DeleteAllItems();
}

// The three images of an item, normal, selected and expanded.
std::vector<int> images_of(wxTreeCtrl* tree, const wxTreeItemId& item) {
    return {tree->GetItemImage(item, wxTreeItemIcon_Normal), tree->GetItemImage(item, wxTreeItemIcon_Selected),
            tree->GetItemImage(item, wxTreeItemIcon_Expanded)};
}

TEST(check_tree, the_check_images_follow_the_state_and_are_none_without_an_image_manager) {
    gui_session session;
    session.open_frame();
    {
        auto_ptr_t<tree_ctrl_ex> control(new tree_ctrl_ex);
        control->addref();
        auto* list = dynamic_cast<tree_list_ctrl*>(control->create(session.frame, wxSize(200, 200)));
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->GetImageList(), nullptr);
        auto_ptr_t<check_node> node(new check_node);
        node->addref();
        node->insert_as_root(list);
        node->set_is_checked(true);
        EXPECT_TRUE(node->get_is_checked());
        EXPECT_EQ(images_of(list, node->get_tree_id()), (std::vector<int>{-1, -1, -1}));
        list->Destroy();
    }

    registered_images images(session.core.root.path() + "/images", {"a.gif", "check_off.gif", "check_on.gif"});
    const int off = images.index("check_off.gif"), on = images.index("check_on.gif");
    ASSERT_EQ(off, 1);
    ASSERT_EQ(on, 2);
    auto_ptr_t<tree_ctrl_ex> control(new tree_ctrl_ex);
    control->addref();
    auto* list = dynamic_cast<tree_list_ctrl*>(control->create(session.frame, wxSize(200, 200)));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->GetImageList(), images.manager->get_image_list());
    EXPECT_EQ(list->GetStateImageList(), images.manager->get_image_list());
    session.frame->Layout();
    auto_ptr_t<check_node> node(new check_node);
    node->addref();
    node->insert_as_root(list);
    wxTreeItemId item = node->get_tree_id();
    EXPECT_EQ(list->GetItemImage(item), off);
    pump_until([&] { return list->main_window()->IsShownOnScreen(); });
    pump();

    click(list->main_window(), point_on(list, item, wxTREE_HITTEST_ONITEMICON));
    pump_until([&] { return node->checks.size() == 1; });
    EXPECT_TRUE(node->get_is_checked());
    EXPECT_EQ(images_of(list, item), (std::vector<int>{on, on, on}));
    node->set_is_checked(false);
    EXPECT_EQ(images_of(list, item), (std::vector<int>{off, off, off}));
    EXPECT_EQ(node->checks.size(), 1u);  // code switching the box is not told
    list->DeleteAllItems();
    list->Destroy();
}

}  // namespace
