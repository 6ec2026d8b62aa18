// tree_combobox_test.cpp --
//
//     The tree combo box: nothing inserted before its popup exists, a
//     drop-down 200 pixels high and as wide as the box, and clear()
//     emptying the tree and the popup's value but not the shown text.

#include <kiv/gui/tree_combobox.h>

#include "gui_session.h"

#include <gtest/gtest.h>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

// Makes the popup as wxWidgets does before its first show.
class probe_combobox : public tree_combobox {
public:
    using tree_combobox::tree_combobox;
    void make_popup() { EnsurePopupControl(); }
};

TEST(tree_combobox_test, roots_go_into_the_popup_tree_once_it_exists_and_clear_empties_it) {
    gui_session session;
    session.open_frame();
    // A bare box has no popup and so no tree: nothing is inserted.
    probe_combobox* bare = new probe_combobox;
    auto_ptr_t<tree_object> early(new tree_object);
    early->addref();
    early->set_name("early");
    bare->add_root(early);
    bare->clear();
    EXPECT_FALSE(early->get_tree_id().IsOk());
    delete bare;

    probe_combobox* combo = new probe_combobox(session.frame, wxSize(180, -1));
    combo->add_root(nullptr);

    combo->make_popup();
    tree_popup* popup = combo->get_tree_popup();
    ASSERT_NE(popup, nullptr);
    ASSERT_NE(popup->get_tree(), nullptr);
    wxTreeCtrl* tree = popup->get_tree()->get_tree_ctrl();
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(popup->GetControl(), tree);
    EXPECT_EQ(popup->GetAdjustedSize(180, 40, 900), wxSize(180, 200));
    EXPECT_EQ(popup->GetAdjustedSize(90, 400, 900), wxSize(90, 200));

    auto_ptr_t<tree_object> node(new tree_object);
    node->addref();
    node->set_name("Minsk");
    combo->add_root(node);
    ASSERT_TRUE(node->get_tree_id().IsOk());
    EXPECT_EQ(tree->GetItemText(tree->GetRootItem()), "Minsk");
    EXPECT_EQ(node->get_ref_count(), 2);

    combo->set_value("Minsk");
    EXPECT_EQ(combo->GetValue(), "Minsk");
    EXPECT_EQ(popup->GetStringValue(), "Minsk");
    combo->clear();
    EXPECT_FALSE(tree->GetRootItem().IsOk());
    EXPECT_FALSE(node->get_tree_id().IsOk());
    EXPECT_EQ(node->get_ref_count(), 1);  // the item let go of it
    EXPECT_EQ(popup->GetStringValue(), "");
    EXPECT_EQ(combo->GetValue(), "Minsk");
}

TEST(tree_combobox_test, the_drop_down_is_as_wide_as_the_box_and_200_pixels_high) {
    gui_session session;
    session.open_frame();
    tree_combobox* combo = new tree_combobox(session.frame, wxSize(220, -1));
    session.frame->Layout();
    pump();
    combo->Popup();
    tree_popup* popup = combo->get_tree_popup();
    pump_until([&] { return popup->GetControl() != nullptr && popup->GetControl()->IsShownOnScreen(); });
    wxSize size = popup->GetControl()->GetSize();
    EXPECT_EQ(size.y, 200);
    EXPECT_GE(size.x, combo->GetSize().x - 4);
    combo->dismiss();
    pump_until([&] { return !popup->GetControl()->IsShownOnScreen(); });
}

}  // namespace
