// tree_list_test.cpp --
//
//     The multi-column tree window driven as a plain wxTreeCtrl*: the object
//     tree's lazy children, selection and rename on it, column texts painted
//     beside the labels, the icon click and its double click that does not
//     activate, the 250 ms rename on a click at the current item, in-place
//     editing of the other columns' cells, column images in the header and
//     the sideways scroll range covering the columns; a main column other
//     than the first (drawn, clicked and edited there, every column keeping
//     its texts), the expand buttons' image list, virtual mode's texts and
//     items inserted with the texts of every column, and sorting in the
//     order the control (or a class derived from it) compares items.

#include <kiv/gui/tree_ctrl_ex.h>
#include <kiv/gui/tree_list_ctrl.h>

#include "gui_session.h"
#include "test_trees.h"

#include <gtest/gtest.h>

#include <wx/dcmemory.h>
#include <wx/imaglist.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

// A picture of one colour.
wxBitmap solid(const wxColour& colour, int side = 16) {
    wxBitmap bitmap(side, side, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(colour));
    dc.Clear();
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

// Returns: the left-most x in `area` of `image` with the colour `rgb`
//     (0xRRGGBB), -1 when there is none.
int find_colour(const wxImage& image, const wxRect& area, unsigned rgb) {
    for (int x = std::max(area.x, 0); x < area.GetRight() && x < image.GetWidth(); ++x)
        for (int y = std::max(area.y, 0); y <= area.GetBottom() && y < image.GetHeight(); ++y)
            if (pixel(image, x, y) == rgb)
                return x;
    return -1;
}

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
        show_and_wait(session.frame);
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
        pump_until([&] { return tree->GetEditControl() != nullptr; });
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

    pump_until([&] {
        wxImage after = capture(list->main_window()).GetSubImage(cell);
        return memcmp(after.GetData(), before.GetData(), static_cast<size_t>(cell.width) * cell.height * 3) != 0;
    });

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
    pump_until([&] { return root->checks.size() == 1; });
    EXPECT_TRUE(root->get_is_checked());
    EXPECT_EQ(tree->GetSelection(), item);  // selected as by a label click

    click(list->main_window(), point_on(list, item, wxTREE_HITTEST_ONITEMLABEL));
    click(list->main_window(), point_on(list, item, wxTREE_HITTEST_ONITEMICON));
    pump_until([&] { return root->checks.size() == 2; });
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
    pump_until([&] { return passed_on == 1; });
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
    pump_until([&] { return root->checks.size() == 2; });
    simulator.MouseMove(list->main_window()->ClientToScreen(point_on(list, item, wxTREE_HITTEST_ONITEMLABEL)));
    pump();
    simulator.MouseDblClick();
    pump_until([&] { return activations >= 1; });
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
    pump_until([&] { return tree->GetEditControl() != nullptr; });
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
        pump_until([&] { return tree->GetEditControl() != nullptr; });
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
        pump_until([&] { return tree->GetEditControl() == nullptr; });
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
    pump_until([&] { return tree->GetEditControl() != nullptr; });
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

    pump_until([&] { return list->main_window()->GetVirtualSize().x >= 6 * width; });
    // A hidden column and removed ones no longer count.
    list->SetColumnShown(5, false);
    EXPECT_LT(list->main_window()->GetVirtualSize().x, 6 * width);
    EXPECT_GE(list->main_window()->GetVirtualSize().x, 5 * width);
    while (list->GetColumnCount() > 1)
        list->RemoveColumn(list->GetColumnCount() - 1);
    EXPECT_LT(list->main_window()->GetVirtualSize().x, 2 * width);
}

TEST_F(tree_list_fixture, another_main_column_draws_clicks_and_edits_the_tree_there_and_keeps_every_text) {
    images.reset(new wxImageList(16, 16));
    images->Add(solid(wxColour(255, 0, 0)));
    tree->SetImageList(images.get());
    wxTreeItemId item = root->get_tree_id();
    tree->SetItemImage(item, 0);
    list->AddColumn("name", 120);
    list->AddColumn("size", 120);
    list->AddColumn("kind", 120);
    list->SetItemText(item, 1, "5 kB");
    list->SetItemText(item, 2, "folder");

    list->SetMainColumn(7);  // no such column: nothing changes
    EXPECT_EQ(list->GetMainColumn(), 0);
    list->SetMainColumn(1);
    EXPECT_EQ(list->GetMainColumn(), 1);
    EXPECT_EQ(tree->GetItemText(item), "5 kB");  // the label is the main column's
    EXPECT_EQ(list->GetItemText(item, 0), "root");
    EXPECT_EQ(list->GetItemText(item, 1), "5 kB");
    EXPECT_EQ(list->GetItemText(item, 2), "folder");
    EXPECT_EQ(list->GetItemImage(item, 0, wxTreeItemIcon_Normal), 0);
    EXPECT_EQ(list->GetItemImage(item, 1, wxTreeItemIcon_Normal), -1);
    list->SetItemImage(item, 1, 0);
    EXPECT_EQ(tree->GetItemImage(item), 0);
    list->SetItemImage(item, 0, -1);  // the first column shows no picture

    // The tree stands in the main column: its rectangle, its icon painted
    // there and nowhere left of it.
    const int main_x = list->header_window()->column_x(1);
    wxRect row;
    ASSERT_TRUE(list->main_window()->GetBoundingRect(item, row, false));
    EXPECT_GE(row.x, main_x);
    const wxRect left(0, row.y, main_x, row.height);
    const wxRect rest(main_x, row.y, list->main_window()->GetClientSize().x - main_x, row.height);
    pump_until([&] { return find_colour(capture(list->main_window()), rest, 0xFF0000) >= 0; });
    EXPECT_EQ(find_colour(capture(list->main_window()), left, 0xFF0000), -1);

    // A click on the icon there is the icon click, with the main column:
    // the check tree toggles the check; without the check flag the event
    // goes on to the frame.
    wxPoint icon = point_on(list, item, wxTREE_HITTEST_ONITEMICON);
    EXPECT_GE(icon.x, main_x);
    click(list->main_window(), icon);
    pump_until([&] { return root->checks.size() == 1; });
    EXPECT_EQ(tree->GetSelection(), item);
    std::vector<int> clicked;
    session.frame->Bind(KIV_EVT_TREE_ICON_CLICK, [&](wxTreeEvent& event) { clicked.push_back(event.GetInt()); });
    root->set_tree_flags(KIV_TREE_EDITABLE);
    click(list->main_window(), icon);
    pump_until([&] { return clicked.size() == 1; });
    EXPECT_EQ(clicked[0], 1);
    // A point in the first column names the item and that column.
    int flags = 0;
    EXPECT_EQ(tree->HitTest(wxPoint(10, row.y + row.height / 2) + list->main_window()->GetPosition(), flags), item);
    EXPECT_NE(flags & KIV_TREE_HITTEST_ONITEMCOLUMN, 0);
    EXPECT_EQ(flags & (wxTREE_HITTEST_ONITEMICON | wxTREE_HITTEST_ONITEMLABEL), 0);

    // The label editor opens over the main column.
    wxTextCtrl* editor = tree->EditLabel(item);
    ASSERT_NE(editor, nullptr);
    EXPECT_GE(editor->GetPosition().x, main_x);
    tree->EndEditLabel(item, true);
    pump();

    // Columns inserted or removed before it: the cells and the main
    // column keep their places; removing the main column makes the next
    // one main.
    list->InsertColumn(0, "first", 60);
    EXPECT_EQ(list->GetMainColumn(), 2);
    EXPECT_EQ(list->GetItemText(item, 1), "root");
    EXPECT_EQ(list->GetItemText(item, 2), "5 kB");
    EXPECT_EQ(list->GetItemText(item, 3), "folder");
    list->RemoveColumn(2);
    EXPECT_EQ(list->GetMainColumn(), 2);
    EXPECT_EQ(tree->GetItemText(item), "folder");
    EXPECT_EQ(list->GetItemText(item, 1), "root");

    list->SetMainColumn(1);
    EXPECT_EQ(tree->GetItemText(item), "root");
    EXPECT_EQ(list->GetItemText(item, 2), "folder");
}

TEST_F(tree_list_fixture, the_buttons_image_list_draws_the_expand_buttons) {
    // Normal, selected, expanded, selected expanded.
    const unsigned colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
    auto make_list = [&] {
        wxImageList* buttons = new wxImageList(11, 11);
        for (unsigned rgb : colours)
            buttons->Add(solid(wxColour((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF), 11));
        return buttons;
    };
    std::unique_ptr<wxImageList> buttons(make_list());
    list->SetButtonsImageList(buttons.get());
    EXPECT_EQ(list->GetButtonsImageList(), buttons.get());
    wxTreeItemId item = root->get_tree_id();
    tree->Collapse(item);
    tree->UnselectAll();
    wxRect row;
    ASSERT_TRUE(list->main_window()->GetBoundingRect(item, row, false));
    wxRect line(0, row.y, list->main_window()->GetClientSize().x, row.height);
    struct state {
        bool expanded;
        unsigned shown;
    } states[] = {{false, colours[0]}, {true, colours[2]}};
    for (const state& st : states) {
        if (st.expanded)
            tree->Expand(item);
        pump_until([&] { return find_colour(capture(list->main_window()), line, st.shown) >= 0; });
    }
    // An assigned list belongs to the control (the sanitizer build sees it
    // deleted with it).
    list->SetButtonsImageList(nullptr);
    wxImageList* owned = make_list();
    list->AssignButtonsImageList(owned);
    EXPECT_EQ(list->GetButtonsImageList(), owned);
}

// A tree-list whose texts come from its items' data.
class virtual_tree_list : public tree_list_ctrl {
public:
    explicit virtual_tree_list(wxWindow* parent)
        : tree_list_ctrl(parent, wxID_ANY, wxDefaultPosition, wxSize(300, 200), wxTR_DEFAULT_STYLE | KIV_TR_VIRTUAL) {}
    struct data : wxTreeItemData {
        explicit data(int number) : number(number) {}
        int number;
    };
    wxString OnGetItemText(wxTreeItemData* item, long column) const override {
        ++asked;
        auto* d = dynamic_cast<data*>(item);
        return d != nullptr ? wxString::Format("%d/%ld", d->number, column) : wxString("?");
    }
    mutable int asked = 0;
};

TEST(tree_list_virtual, every_columns_text_comes_from_on_get_item_text) {
    gui_session session;
    wxFrame* frame = session.open_frame({});
    virtual_tree_list* list = new virtual_tree_list(frame);
    list->AddColumn("a", 100);
    list->AddColumn("b", 100);
    wxTreeItemId root = list->AddRoot("stored", -1, -1, new virtual_tree_list::data(7));
    wxTreeItemId child = list->AppendItem(root, "stored too", -1, -1, new virtual_tree_list::data(8));
    list->SetItemText(child, 1, "stored cell");
    list->Expand(root);
    EXPECT_EQ(list->GetItemText(root, 0), "7/0");
    EXPECT_EQ(list->GetItemText(root, 1), "7/1");
    EXPECT_EQ(list->GetItemText(child, 1), "8/1");
    wxTreeCtrl* tree = list;
    EXPECT_EQ(tree->GetItemText(child), "8/0");
    // What the tree paints as the label is asked for too.
    frame->SetSize(400, 300);
    show_and_wait(frame);
    pump_until([&] { return list->main_window()->wxGenericTreeCtrl::GetItemText(child) == "8/0"; });
    EXPECT_GT(list->asked, 0);

    // The plain control answers with empty texts.
    tree_list_ctrl* plain = new tree_list_ctrl(frame, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                               wxTR_DEFAULT_STYLE | KIV_TR_VIRTUAL);
    plain->AddColumn("a");
    EXPECT_EQ(plain->GetItemText(plain->AddRoot("stored"), 0), "");
}

TEST(tree_list_items, items_are_inserted_with_the_texts_of_every_column) {
    gui_session session;
    wxFrame* frame = session.open_frame({});
    tree_list_ctrl* list = new tree_list_ctrl(frame);
    list->AddColumn("name");
    list->AddColumn("size");
    list->AddColumn("kind");
    wxTreeItemId root = list->AddRoot("root");
    wxTreeItemId middle = list->AppendItem(root, "middle");
    auto texts = [](const char* name) {
        wxArrayString out;
        out.Add(name);
        out.Add(wxString(name) + " size");
        return out;  // no kind: it stays empty
    };
    struct row {
        const char* name;
        std::function<wxTreeItemId()> insert;
        const char* order;  // the children's labels afterwards
    } rows[] = {
        {"append", [&] { return list->AppendItem(root, texts("last")); }, "middle last"},
        {"prepend", [&] { return list->PrependItem(root, texts("first")); }, "first middle last"},
        {"insert at 1", [&] { return list->InsertItem(root, size_t(1), texts("second")); }, "first second middle last"},
        {"insert after", [&] { return list->InsertItem(root, middle, texts("after")); },
         "first second middle after last"},
    };
    for (const row& r : rows) {
        wxTreeItemId item = r.insert();
        ASSERT_TRUE(item.IsOk()) << r.name;
        wxString name = list->GetItemText(item, 0);
        EXPECT_EQ(list->GetItemText(item, 1), name + " size") << r.name;
        EXPECT_EQ(list->GetItemText(item, 2), "") << r.name;
        wxString order;
        wxTreeItemIdValue cookie;
        for (wxTreeItemId c = list->GetFirstChild(root, cookie); c.IsOk(); c = list->GetNextChild(root, cookie))
            order += (order.empty() ? "" : " ") + list->GetItemText(c);
        EXPECT_EQ(order, r.order) << r.name;
    }
    // With another main column the label is that column's text.
    list->SetMainColumn(1);
    wxTreeItemId item = list->AppendItem(root, texts("moved"));
    EXPECT_EQ(static_cast<wxTreeCtrl*>(list)->GetItemText(item), "moved size");
    EXPECT_EQ(list->GetItemText(item, 0), "moved");
}

// A tree-list that sorts by the number at the end of the label, highest
// first.
class number_sorted_list : public tree_list_ctrl {
public:
    explicit number_sorted_list(wxWindow* parent) : tree_list_ctrl(parent) {}
    int OnCompareItems(const wxTreeItemId& a, const wxTreeItemId& b) override {
        long x = 0, y = 0;
        GetItemText(a).AfterLast(' ').ToLong(&x);
        GetItemText(b).AfterLast(' ').ToLong(&y);
        return x < y ? 1 : x > y ? -1 : 0;
    }
};

TEST(tree_list_items, sorting_follows_on_compare_items_of_the_control) {
    gui_session session;
    wxFrame* frame = session.open_frame({});
    struct row {
        const char* name;
        tree_list_ctrl* list;
        const char* order;  // the children's labels after SortChildren
    } rows[] = {
        {"by text", new tree_list_ctrl(frame), "item 10 item 2 item 9"},
        {"derived order", new number_sorted_list(frame), "item 10 item 9 item 2"},
    };
    for (const row& r : rows) {
        r.list->AddColumn("name");
        wxTreeItemId root = r.list->AddRoot("root");
        for (const char* label : {"item 9", "item 10", "item 2"})
            r.list->AppendItem(root, label);
        // Code holding it as a plain tree sorts the same way.
        static_cast<wxTreeCtrl*>(r.list)->SortChildren(root);
        wxString order;
        wxTreeItemIdValue cookie;
        for (wxTreeItemId c = r.list->GetFirstChild(root, cookie); c.IsOk(); c = r.list->GetNextChild(root, cookie))
            order += (order.empty() ? "" : " ") + r.list->GetItemText(c);
        EXPECT_EQ(order, r.order) << r.name;
    }
}

}  // namespace
