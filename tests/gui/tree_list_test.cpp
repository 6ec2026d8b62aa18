// tree_list_test.cpp --
//
//     The multi-column tree window driven as a plain wxTreeCtrl*: the object
//     tree's lazy children, selection and rename on it, column texts painted
//     beside the labels, the icon click and its double click that does not
//     activate, the 250 ms rename on a click at the current item, in-place
//     editing of the other columns' cells, column images in the header and
//     the sideways scroll range covering the columns.

#include <kiv/gui/tree_ctrl_ex.h>
#include <kiv/gui/tree_list_ctrl.h>

#include "gui_session.h"
#include "test_trees.h"

#include <gtest/gtest.h>

#include <wx/imaglist.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

class list_node : public listed_node<list_node, tree_object_ex> {
public:
    list_node(const char* name, unsigned int flags) : listed_node(name, flags) {}
    void on_check(bool checked) override { checks.push_back(checked); }

    std::vector<bool> checks;
};

class tree_list_fixture : public ::testing::Test {
protected:
    void SetUp() override {
        session.open_frame();
        control.reset(new tree_ctrl_ex);
        control->addref();
        tree = control->create(session.frame, wxSize(400, 300));
        ASSERT_NE(tree, nullptr);
        list = dynamic_cast<tree_list_ctrl*>(tree);
        ASSERT_NE(list, nullptr);
        session.frame->Layout();
        root.reset(new list_node("root", KIV_TREE_EDITABLE | KIV_TREE_CHECKBOX));
        root->addref();
        root->children = {"a", "b", "c"};
        root->insert_as_root(tree);
        tree->SetItemHasChildren(root->get_tree_id(), true);
        ASSERT_TRUE(show_and_wait(session.frame));
        pump();
    }
    void TearDown() override {
        if (tree != nullptr)
            tree->DeleteAllItems();
        control.reset();
        root.reset();
    }
    list_node* node_of(const wxTreeItemId& item) {
        auto_ptr_t<i_tree_object> node(control->get_item_data(item)->get_object());
        return dynamic_cast<list_node*>(node.get());
    }
    wxTreeItemId child(const wxTreeItemId& parent, const char* name) {
        wxTreeItemIdValue cookie;
        for (wxTreeItemId c = tree->GetFirstChild(parent, cookie); c.IsOk(); c = tree->GetNextChild(parent, cookie))
            if (tree->GetItemText(c) == name)
                return c;
        return wxTreeItemId();
    }
    // Gives every item an icon so that the main window has one to hit.
    void give_icons() {
        images.reset(new wxImageList(16, 16));
        wxBitmap bitmap(16, 16);
        images->Add(bitmap);
        tree->SetImageList(images.get());
        EXPECT_EQ(list->GetImageList(), images.get());
        tree->SetItemImage(root->get_tree_id(), 0);
        pump();
    }

    gui_session session;
    auto_ptr_t<tree_ctrl_ex> control;
    wxTreeCtrl* tree = nullptr;
    tree_list_ctrl* list = nullptr;
    auto_ptr_t<list_node> root;
    std::unique_ptr<wxImageList> images;
};

TEST_F(tree_list_fixture, lazy_children_selection_and_walks_work_through_the_tree_interface) {
    wxTreeItemId item = root->get_tree_id();
    EXPECT_EQ(tree->GetRootItem(), item);
    tree->Expand(item);
    EXPECT_EQ(root->loads, 1);
    EXPECT_EQ(tree->GetChildrenCount(item, false), 3u);
    wxTreeItemId b = child(item, "b");
    ASSERT_TRUE(b.IsOk());
    EXPECT_EQ(tree->GetItemParent(b), item);
    EXPECT_EQ(tree->GetItemText(tree->GetNextSibling(b)), "c");
    EXPECT_EQ(tree->GetItemText(tree->GetPrevSibling(b)), "a");

    tree->SelectItem(b, true);
    EXPECT_EQ(tree->GetSelection(), b);
    EXPECT_EQ(node_of(b)->selects, 1);

    tree->Collapse(item);
    EXPECT_EQ(tree->GetChildrenCount(item, true), 0u);
    EXPECT_TRUE(tree->ItemHasChildren(item));
    tree->Expand(item);
    EXPECT_EQ(root->loads, 2);
    EXPECT_EQ(tree->GetChildrenCount(item, false), 3u);

    // A node without children loses its expander on the first expansion.
    wxTreeItemId a = child(item, "a");
    tree->SetItemHasChildren(a, true);
    tree->Expand(a);
    EXPECT_FALSE(tree->ItemHasChildren(a));

    tree->Delete(a);
    EXPECT_EQ(tree->GetChildrenCount(item, false), 2u);
}

TEST_F(tree_list_fixture, rename_through_the_tree_interface_reaches_the_node) {
    wxTreeItemId item = root->get_tree_id();
    struct step {
        const char* typed;
        const char* label_after;
    } steps[] = {{"alpha", "alpha"}, {"", "alpha"}};
    for (const step& s : steps) {
        tree->EditLabel(item);
        ASSERT_TRUE(pump_until([&] { return tree->GetEditControl() != nullptr; }));
        tree->GetEditControl()->SetValue(s.typed);
        tree->EndEditLabel(item, false);
        pump_until([&] { return tree->GetEditControl() == nullptr; });
        EXPECT_EQ(tree->GetItemText(item), s.label_after) << "typed '" << s.typed << "'";
        EXPECT_STREQ(root->get_name(), s.label_after);
    }
}

TEST_F(tree_list_fixture, column_texts_are_kept_per_item_and_painted_in_their_column) {
    list->AddColumn("name", 120);
    list->AddColumn("size", 120);
    list->AddColumn("size", 120);  // a second of the same header
    EXPECT_EQ(list->GetColumnCount(), 3);
    EXPECT_EQ(list->GetColumnText(1), "size");
    EXPECT_EQ(list->GetColumn(7).width, 100);  // the invalid column
    pump();
    wxTreeItemId item = root->get_tree_id();

    wxRect row;
    ASSERT_TRUE(list->main_window()->GetBoundingRect(item, row, false));
    wxRect cell(list->header_window()->column_x(1), row.y, 120, row.height);
    wxImage before = capture(list->main_window()).GetSubImage(cell);

    struct step {
        const char* column;
        const char* value;
        bool result;
        const char* column1_after;
    } steps[] = {
        {"size", "1234", true, "1234"},
        {"size", "", false, "1234"},     // empty value refused, text kept
        {"weight", "7", false, "1234"},  // no such header
        {"", "7", false, "1234"},
    };
    for (const step& s : steps) {
        EXPECT_EQ(root->set_field_value(s.column, s.value), s.result) << s.column << "=" << s.value;
        EXPECT_EQ(list->GetItemText(item, 1), s.column1_after);
    }
    EXPECT_EQ(list->GetItemText(item, 2), "");
    EXPECT_EQ(root->get_field_value("size"), "1234");
    EXPECT_EQ(root->get_field_value("weight"), "");
    EXPECT_EQ(list->GetItemText(item, 0), "root");  // the main column is the label

    ASSERT_TRUE(pump_until([&] {
        wxImage after = capture(list->main_window()).GetSubImage(cell);
        return memcmp(after.GetData(), before.GetData(), static_cast<size_t>(cell.width) * cell.height * 3) != 0;
    })) << "the column text was not painted";

    // A node not in a tree has no field values.
    auto_ptr_t<list_node> loose(new list_node("loose", KIV_TREE_CHECKBOX));
    loose->addref();
    EXPECT_EQ(loose->get_field_value("size"), "");
    EXPECT_FALSE(loose->set_field_value("size", "1"));

    // The values go with the item.
    tree->Collapse(item);
    tree->Expand(item);
    wxTreeItemId a = child(item, "a");
    EXPECT_TRUE(node_of(a)->set_field_value("size", "9"));
    tree->Collapse(item);
    tree->Expand(item);
    EXPECT_EQ(list->GetItemText(child(item, "a"), 1), "");
}

TEST_F(tree_list_fixture, an_icon_click_toggles_the_check_and_a_label_click_does_not) {
    give_icons();
    wxTreeItemId item = root->get_tree_id();
    click(list->main_window(), point_on(list, item, wxTREE_HITTEST_ONITEMICON));
    ASSERT_TRUE(pump_until([&] { return root->checks.size() == 1; }));
    EXPECT_TRUE(root->get_is_checked());
    EXPECT_EQ(tree->GetSelection(), item);  // selected as by a label click

    click(list->main_window(), point_on(list, item, wxTREE_HITTEST_ONITEMLABEL));
    click(list->main_window(), point_on(list, item, wxTREE_HITTEST_ONITEMICON));
    ASSERT_TRUE(pump_until([&] { return root->checks.size() == 2; }));
    EXPECT_EQ(root->checks, (std::vector<bool>{true, false}));

    // Without the check-box flag the click changes nothing and goes on.
    int passed_on = 0;
    session.frame->Bind(KIV_EVT_TREE_ICON_CLICK, [&](wxTreeEvent& event) {
        ++passed_on;
        EXPECT_EQ(event.GetInt(), list->GetMainColumn());
        EXPECT_EQ(event.GetItem(), item);
    });
    root->set_tree_flags(KIV_TREE_EDITABLE);
    click(list->main_window(), point_on(list, item, wxTREE_HITTEST_ONITEMICON));
    ASSERT_TRUE(pump_until([&] { return passed_on == 1; }));
    EXPECT_EQ(root->checks.size(), 2u);
    EXPECT_FALSE(root->get_is_checked());
    root->set_is_checked(true);  // flag cleared: no change
    EXPECT_FALSE(root->get_is_checked());
}

TEST_F(tree_list_fixture, a_double_click_on_the_icon_does_not_activate_but_on_the_label_does) {
    give_icons();
    wxTreeItemId item = root->get_tree_id();
    int activations = 0;
    tree->Bind(wxEVT_TREE_ITEM_ACTIVATED, [&](wxTreeEvent& event) {
        ++activations;
        event.Skip();
    });
    wxUIActionSimulator simulator;
    simulator.MouseMove(list->main_window()->ClientToScreen(point_on(list, item, wxTREE_HITTEST_ONITEMICON)));
    pump();
    simulator.MouseDblClick();
    ASSERT_TRUE(pump_until([&] { return root->checks.size() == 2; }));
    simulator.MouseMove(list->main_window()->ClientToScreen(point_on(list, item, wxTREE_HITTEST_ONITEMLABEL)));
    pump();
    simulator.MouseDblClick();
    ASSERT_TRUE(pump_until([&] { return activations >= 1; }));
    pump();
    EXPECT_EQ(activations, 1);
    EXPECT_EQ(root->checks.size(), 2u);
}

TEST_F(tree_list_fixture, a_click_on_the_current_label_of_an_editable_column_opens_the_editor) {
    list->AddColumn("name", 150);
    list->SetColumnEditable(0, true);
    wxTreeItemId item = root->get_tree_id();
    tree->SelectItem(item, true);
    pump();
    click(list->main_window(), point_on(list, item, wxTREE_HITTEST_ONITEMLABEL));
    ASSERT_TRUE(pump_until([&] { return tree->GetEditControl() != nullptr; }));
    tree->GetEditControl()->SetValue("renamed");
    tree->EndEditLabel(item, false);
    pump_until([&] { return tree->GetEditControl() == nullptr; });
    EXPECT_STREQ(root->get_name(), "renamed");
    EXPECT_EQ(list->GetItemText(item, 0), "renamed");
}

TEST_F(tree_list_fixture, a_cell_of_another_column_is_edited_in_place_and_keeps_the_label) {
    list->AddColumn("name", 120);
    list->AddColumn("size", 120);
    wxTreeItemId item = root->get_tree_id();
    list->SetItemText(item, 1, "old");
    std::vector<int> ended;  // the column of every end-label-edit event
    tree->Bind(wxEVT_TREE_END_LABEL_EDIT, [&](wxTreeEvent& event) {
        ended.push_back(event.GetInt());
        event.Skip();
    });
    pump();

    enum class how { end, discard, enter, escape };
    struct step {
        const char* typed;
        how ending;
        const char* column1_after;
    } steps[] = {
        {"12", how::end, "12"},   {"34", how::enter, "34"}, {"56", how::escape, "34"},
        {"78", how::discard, "34"}, {"", how::enter, "34"},  // an empty text is vetoed
    };
    for (const step& s : steps) {
        ASSERT_TRUE(list->EditLabel(item, 1)) << s.typed;
        ASSERT_TRUE(pump_until([&] { return tree->GetEditControl() != nullptr; }));
        auto* editor = dynamic_cast<tree_list_edit_ctrl*>(tree->GetEditControl());
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->GetPosition().x, list->header_window()->column_x(1));
        editor->SetValue(s.typed);
        switch (s.ending) {
        case how::end: tree->EndEditLabel(item, false); break;
        case how::discard: tree->EndEditLabel(item, true); break;
        case how::enter: send_key(editor, WXK_RETURN); break;
        case how::escape: send_key(editor, WXK_ESCAPE); break;
        }
        ASSERT_TRUE(pump_until([&] { return tree->GetEditControl() == nullptr; })) << s.typed;
        EXPECT_EQ(list->GetItemText(item, 1), s.column1_after) << "typed '" << s.typed << "'";
        EXPECT_EQ(root->get_field_value("size"), s.column1_after);  // the node's field is the cell
        EXPECT_EQ(list->GetItemText(item, 0), "root");
        EXPECT_STREQ(root->get_name(), "root");
    }
    EXPECT_EQ(ended, std::vector<int>(5, 1));

    // No editor for a column that is not there, nor on a node that may not
    // be edited.
    EXPECT_FALSE(list->EditLabel(item, 2));
    root->set_tree_flags(KIV_TREE_CHECKBOX);
    EXPECT_FALSE(list->EditLabel(item, 1));
    EXPECT_EQ(tree->GetEditControl(), nullptr);
}

TEST_F(tree_list_fixture, a_cell_edit_whose_item_goes_meanwhile_writes_nothing) {
    list->AddColumn("name", 120);
    list->AddColumn("size", 120);
    wxTreeItemId item = root->get_tree_id();
    tree->Expand(item);
    wxTreeItemId a = child(item, "a"), b = child(item, "b");
    // The item goes while its editor is open, or from the handler that
    // hears the end of the edit.
    ASSERT_TRUE(list->EditLabel(a, 1));
    tree->Delete(a);
    EXPECT_EQ(tree->GetEditControl(), nullptr);
    tree->Bind(wxEVT_TREE_END_LABEL_EDIT, [&](wxTreeEvent& event) {
        tree->Delete(event.GetItem());
        event.Skip();
    });
    ASSERT_TRUE(list->EditLabel(b, 1));
    tree->GetEditControl()->SetValue("gone");
    tree->EndEditLabel(b, false);
    pump_until([&] { return tree->GetEditControl() == nullptr; });
    EXPECT_EQ(tree->GetChildrenCount(item, false), 1u);
}

TEST_F(tree_list_fixture, a_click_on_an_editable_cell_of_the_current_item_opens_its_editor) {
    list->AddColumn("name", 150);
    list->AddColumn("size", 150, wxALIGN_LEFT, true, true);
    wxTreeItemId item = root->get_tree_id();
    tree->SelectItem(item, true);
    pump();
    wxRect row;
    ASSERT_TRUE(list->main_window()->GetBoundingRect(item, row, false));
    click(list->main_window(), wxPoint(list->header_window()->column_x(1) + 20, row.y + row.height / 2));
    ASSERT_TRUE(pump_until([&] { return tree->GetEditControl() != nullptr; }));
    auto* editor = dynamic_cast<tree_list_edit_ctrl*>(tree->GetEditControl());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->column(), 1);
    editor->SetValue("5 kB");
    tree->EndEditLabel(item, false);
    pump_until([&] { return tree->GetEditControl() == nullptr; });
    EXPECT_EQ(list->GetItemText(item, 1), "5 kB");
    EXPECT_EQ(list->GetItemText(item, 0), "root");
}

TEST_F(tree_list_fixture, the_header_shows_column_images_and_the_scroll_range_covers_the_columns) {
    give_icons();
    const int width = 400;  // each wider than half the window
    ASSERT_LT(list->main_window()->GetClientSize().x, 2 * width);
    list->AddColumn("name", width);
    for (int i = 0; i < 5; ++i)
        list->AddColumn(wxString::Format("c%d", i), width);
    list->SetColumnImage(2, 0);
    list->SetColumnImage(3, 7);  // no such image
    EXPECT_TRUE(list->header_window()->shown_image(2).IsOk());
    EXPECT_FALSE(list->header_window()->shown_image(1).IsOk());
    EXPECT_FALSE(list->header_window()->shown_image(3).IsOk());

    ASSERT_TRUE(pump_until([&] { return list->main_window()->GetVirtualSize().x >= 6 * width; }))
        << list->main_window()->GetVirtualSize().x;
    // A hidden column and removed ones no longer count.
    list->SetColumnShown(5, false);
    EXPECT_LT(list->main_window()->GetVirtualSize().x, 6 * width);
    EXPECT_GE(list->main_window()->GetVirtualSize().x, 5 * width);
    while (list->GetColumnCount() > 1)
        list->RemoveColumn(list->GetColumnCount() - 1);
    EXPECT_LT(list->main_window()->GetVirtualSize().x, 2 * width);
}

}  // namespace
