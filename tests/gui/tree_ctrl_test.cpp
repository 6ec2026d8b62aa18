// tree_ctrl_test.cpp --
//
//     The object tree on a real tree window: selection reaching the nodes
//     through "KIV_GUI_SELECT_TREE_ITEM", queued activation, lazy children
//     (collapse then expand loads again), rename through the label editor,
//     drag and drop decided by the nodes, the context menu and the
//     one-entry clipboard with its cut look, and a node that outlives its
//     item (cut, collapse, cut) reading no freed item data, and the
//     icons and renderers that come from the registered image manager and
//     renderer service (and their absence).

#include <kiv/core/i_event_proc.h>
#include <kiv/core/object_col.h>
#include <kiv/gui/folder_object.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/gui/property_sheet.h>
#include <kiv/gui/renderer_service.h>
#include <kiv/gui/tree_ctrl.h>

#include "gui_session.h"
#include "test_images.h"
#include "test_trees.h"

#include <gtest/gtest.h>

#include <wx/imaglist.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/settings.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <functional>
#include <string>
#include <vector>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

// A node whose hooks record what the tree did to it.
class test_node : public listed_node<test_node, tree_object> {
public:
    explicit test_node(const char* name, unsigned int flags = 0) : listed_node(name, flags) {}
    void on_unselect() override {
        ++unselects;
        tree_object::on_unselect();
    }
    bool on_begin_drop() override { return accept_drag; }
    bool on_drop(i_tree_object* target, int& effect) override {
        drops.push_back(target);
        effects.push_back(effect);
        return drop_result;
    }
    bool is_selected_now() const { return is_selected(); }
    using tree_object::set_image_name;
    using tree_object::set_renderer_name;

    int unselects = 0;
    bool accept_drag = true;
    bool drop_result = true;
    std::vector<i_tree_object*> drops;  // targets, not held
    std::vector<int> effects;
};

// A tree on the session's frame, its root node and helpers to reach items.
class tree_ctrl_fixture : public ::testing::Test {
protected:
    void SetUp() override {
        session.open_frame();
        control.reset(new tree_ctrl);
        control->addref();
        tree = control->create(session.frame, wxSize(300, 300), 0);
        ASSERT_NE(tree, nullptr);
        session.frame->Layout();
        root.reset(new test_node("root", KIV_TREE_EDITABLE | KIV_TREE_DRAGGABLE));
        root->addref();
        root->children = {"a", "b", "c"};
        root->insert_as_root(tree);
        tree->SetItemHasChildren(root->get_tree_id(), true);
        pump();
    }
    void TearDown() override {
        if (tree != nullptr)
            tree->DeleteAllItems();
        control.reset();
        root.reset();
    }
    // The child node of `parent` labelled `name`, with a reference.
    auto_ptr_t<test_node> child(test_node* parent, const char* name) {
        wxTreeItemIdValue cookie;
        wxTreeItemId item = parent->get_tree_id();
        for (wxTreeItemId c = tree->GetFirstChild(item, cookie); c.IsOk(); c = tree->GetNextChild(item, cookie))
            if (tree->GetItemText(c) == name) {
                auto_ptr_t<i_tree_object> node(control->get_item_data(c)->get_object());
                auto* found = dynamic_cast<test_node*>(node.get());
                found->addref();
                return auto_ptr_t<test_node>(found);
            }
        return auto_ptr_t<test_node>(nullptr);
    }
    // Sends a tree event of `type` for `item` as the window would.
    wxTreeEvent send(wxEventType type, const wxTreeItemId& item) {
        wxTreeEvent event(type, tree, item);
        if (type == wxEVT_TREE_BEGIN_DRAG)
            event.Veto();  // as the window does: the handler must allow it
        tree->GetEventHandler()->ProcessEvent(event);
        return event;
    }
    void drag(test_node* source, test_node* target) {
        wxTreeEvent begin = send(wxEVT_TREE_BEGIN_DRAG, source->get_tree_id());
        EXPECT_TRUE(begin.IsAllowed());
        send(wxEVT_TREE_END_DRAG, target->get_tree_id());
    }

    gui_session session;
    auto_ptr_t<tree_ctrl> control;
    wxTreeCtrl* tree = nullptr;
    auto_ptr_t<test_node> root;
};

// Counts the GUI events of one name on the application object.
class event_counter : public wxEvtHandler {
public:
    explicit event_counter(const char* name) : name_(name) {
        kiv_install_gui_handler(-1, name_, kiv_gui_event_handler(event_counter::on_event), this);
    }
    ~event_counter() override {
        kiv_uninstall_gui_handler(-1, name_, kiv_gui_event_handler(event_counter::on_event), this);
    }
    void on_event(i_gui_event& event) {
        auto_ptr_t<i_object> payload(event.get_event_object());
        payloads.push_back(payload.get());
        event.Skip();
    }
    std::vector<i_object*> payloads;  // not held

private:
    const char* name_;
};

i_object* as_object(test_node* node) {
    return static_cast<i_object*>(static_cast<i_tree_object*>(node));
}

TEST_F(tree_ctrl_fixture, selection_reaches_the_nodes_at_once_and_show_false_unselects_them) {
    tree->Expand(root->get_tree_id());
    auto_ptr_t<test_node> a = child(root, "a"), b = child(root, "b");
    event_counter selections("KIV_GUI_SELECT_TREE_ITEM");
    tree->SelectItem(a->get_tree_id());
    EXPECT_TRUE(a->is_selected_now());
    EXPECT_EQ(a->selects, 1);
    tree->SelectItem(b->get_tree_id());
    EXPECT_FALSE(a->is_selected_now());
    EXPECT_TRUE(b->is_selected_now());
    EXPECT_EQ(a->unselects, 1);
    ASSERT_EQ(selections.payloads.size(), 2u);
    EXPECT_EQ(selections.payloads[1], as_object(b));

    control->Show(false);
    EXPECT_FALSE(b->is_selected_now());
    EXPECT_FALSE(tree->IsShown());
    control->Show(true);  // re-announces the selection
    EXPECT_TRUE(b->is_selected_now());
    EXPECT_EQ(b->selects, 2);
}

TEST_F(tree_ctrl_fixture, show_true_without_a_selection_selects_the_root) {
    tree->UnselectAll();
    control->Show(true);
    EXPECT_TRUE(root->is_selected_now());
}

TEST_F(tree_ctrl_fixture, activation_is_queued_and_runs_the_selected_nodes_hook) {
    tree->Expand(root->get_tree_id());
    auto_ptr_t<test_node> a = child(root, "a");
    tree->SelectItem(a->get_tree_id());
    event_counter activations("KIV_GUI_ACTIVATE_TREE_ITEM");
    send(wxEVT_TREE_ITEM_ACTIVATED, a->get_tree_id());
    EXPECT_TRUE(activations.payloads.empty());  // not yet: queued
    pump_until([&] { return !activations.payloads.empty(); });
    EXPECT_EQ(activations.payloads[0], as_object(a));
}

TEST_F(tree_ctrl_fixture, children_load_on_expansion_and_again_after_a_collapse) {
    wxTreeItemId item = root->get_tree_id();
    tree->Expand(item);
    EXPECT_EQ(root->loads, 1);
    EXPECT_EQ(tree->GetChildrenCount(item, false), 3u);
    tree->Collapse(item);
    EXPECT_EQ(tree->GetChildrenCount(item, false), 0u);
    EXPECT_TRUE(tree->ItemHasChildren(item));  // the expander stays
    tree->Expand(item);
    EXPECT_EQ(root->loads, 2);
    EXPECT_EQ(tree->GetChildrenCount(item, false), 3u);

    auto_ptr_t<test_node> a = child(root, "a");  // a leaf: no children to load
    tree->SetItemHasChildren(a->get_tree_id(), true);
    tree->Expand(a->get_tree_id());
    EXPECT_EQ(a->loads, 1);
    EXPECT_FALSE(tree->ItemHasChildren(a->get_tree_id()));

    auto_ptr_t<i_object_col> childs(root->get_childs());
    ASSERT_EQ(childs->get_count(), 3u);
    auto_ptr_t<i_object> first(childs->get_item_by_pos(0));
    EXPECT_EQ(first.get(), as_object(a));
}

TEST_F(tree_ctrl_fixture, select_child_matches_exact_labels_only) {
    EXPECT_TRUE(root->select_child("b"));
    EXPECT_EQ(tree->GetItemText(tree->GetSelection()), "b");
    EXPECT_FALSE(root->select_child("B"));
    EXPECT_FALSE(root->select_child(nullptr));
    EXPECT_EQ(tree->GetItemText(tree->GetSelection()), "b");
    EXPECT_TRUE(tree->IsExpanded(root->get_tree_id()));
}

TEST_F(tree_ctrl_fixture, rename_sets_the_name_and_an_empty_label_is_vetoed) {
    tree->Expand(root->get_tree_id());
    auto_ptr_t<test_node> a = child(root, "a");
    struct step {
        const char* typed;
        const char* label_after;
    } steps[] = {{"alpha", "alpha"}, {"", "alpha"}};
    for (const step& s : steps) {
        tree->EditLabel(a->get_tree_id());
        pump_until([&] { return tree->GetEditControl() != nullptr; });
        tree->GetEditControl()->SetValue(s.typed);
        tree->EndEditLabel(a->get_tree_id(), false);
        pump_until([&] { return tree->GetEditControl() == nullptr; });
        EXPECT_EQ(tree->GetItemText(a->get_tree_id()), s.label_after) << "typed '" << s.typed << "'";
        EXPECT_STREQ(a->get_name(), s.label_after);
    }
}

TEST_F(tree_ctrl_fixture, a_node_without_the_editable_flag_gets_no_editor_and_a_disabled_rename_command) {
    tree->Expand(root->get_tree_id());
    auto_ptr_t<test_node> a = child(root, "a");
    a->set_tree_flags(0);
    EXPECT_EQ(tree->EditLabel(a->get_tree_id()), nullptr);
    pump();
    EXPECT_EQ(tree->GetEditControl(), nullptr);

    // The rename command is bound to the selected node: its update-UI
    // handler follows the flag.
    tree->SelectItem(a->get_tree_id());
    int rename = session.event_service->get_cmd_id("TQR_CMD_RENAME");
    wxUpdateUIEvent update(rename);
    wxTheApp->ProcessEvent(update);
    EXPECT_FALSE(update.GetEnabled());
    a->set_tree_flags(KIV_TREE_EDITABLE);
    wxUpdateUIEvent update2(rename);
    wxTheApp->ProcessEvent(update2);
    EXPECT_TRUE(update2.GetEnabled());
}

TEST_F(tree_ctrl_fixture, a_right_click_selects_the_node_and_pops_its_menu_up) {
    tree->Expand(root->get_tree_id());
    auto_ptr_t<test_node> c = child(root, "c");
    close_next_popup();
    send(wxEVT_TREE_ITEM_RIGHT_CLICK, c->get_tree_id());
    EXPECT_TRUE(c->is_selected_now());
    wxMenu menu;
    EXPECT_TRUE(c->populate_tree_menu(&menu));
    ASSERT_EQ(menu.GetMenuItemCount(), 2u);
    EXPECT_EQ(menu.FindItemByPosition(0)->GetId(), session.event_service->get_cmd_id("TQR_CMD_RENAME"));
    EXPECT_EQ(menu.FindItemByPosition(1)->GetItemLabelText(), "Delete");
}

TEST_F(tree_ctrl_fixture, a_drop_on_itself_or_a_descendant_does_nothing) {
    root->children = {"a"};
    tree->Expand(root->get_tree_id());
    auto_ptr_t<test_node> a = child(root, "a");
    a->children = {"a1"};
    tree->SetItemHasChildren(a->get_tree_id(), true);
    tree->Expand(a->get_tree_id());
    auto_ptr_t<test_node> a1 = child(a, "a1");
    drag(a, a);
    drag(a, a1);
    EXPECT_TRUE(a->drops.empty());
    EXPECT_TRUE(a->get_tree_id().IsOk());
    EXPECT_EQ(tree->GetChildrenCount(root->get_tree_id(), false), 1u);
}

TEST_F(tree_ctrl_fixture, a_move_deletes_the_source_item_and_the_last_child_takes_the_expander) {
    tree->Expand(root->get_tree_id());
    auto_ptr_t<test_node> a = child(root, "a"), b = child(root, "b");
    b->children = {"b1"};
    tree->SetItemHasChildren(b->get_tree_id(), true);
    tree->Expand(b->get_tree_id());
    auto_ptr_t<test_node> b1 = child(b, "b1");

    drag(a, b);  // one of three: the root keeps its expander
    ASSERT_EQ(a->effects.size(), 1u);
    EXPECT_EQ(a->effects[0], 0);
    EXPECT_EQ(a->drops[0], static_cast<i_tree_object*>(b.get()));
    EXPECT_FALSE(a->get_tree_id().IsOk());
    EXPECT_TRUE(tree->ItemHasChildren(root->get_tree_id()));

    auto_ptr_t<test_node> c = child(root, "c");
    drag(b1, c);  // the only child of b
    EXPECT_FALSE(b1->get_tree_id().IsOk());
    EXPECT_FALSE(tree->ItemHasChildren(b->get_tree_id()));
}

TEST_F(tree_ctrl_fixture, a_refused_drop_or_a_refused_drag_changes_nothing) {
    tree->Expand(root->get_tree_id());
    auto_ptr_t<test_node> a = child(root, "a"), b = child(root, "b");
    a->drop_result = false;
    drag(a, b);
    EXPECT_TRUE(a->get_tree_id().IsOk());

    b->accept_drag = false;
    EXPECT_FALSE(send(wxEVT_TREE_BEGIN_DRAG, b->get_tree_id()).IsAllowed());
    b->accept_drag = true;
    b->set_tree_flags(0);
    EXPECT_FALSE(send(wxEVT_TREE_BEGIN_DRAG, b->get_tree_id()).IsAllowed());
    send(wxEVT_TREE_END_DRAG, a->get_tree_id());
    EXPECT_TRUE(b->drops.empty());
}

TEST_F(tree_ctrl_fixture, a_drop_with_ctrl_held_copies_and_keeps_the_source) {
    tree->Expand(root->get_tree_id());
    auto_ptr_t<test_node> a = child(root, "a"), b = child(root, "b");
    {
        held_ctrl ctrl;
        pump_until([] { return wxGetKeyState(WXK_CONTROL); });
        drag(a, b);
    }
    pump_until([] { return !wxGetKeyState(WXK_CONTROL); });
    ASSERT_EQ(a->effects.size(), 1u);
    EXPECT_EQ(a->effects[0], KIV_TREE_DROP_COPY);
    EXPECT_TRUE(a->get_tree_id().IsOk());
}

TEST_F(tree_ctrl_fixture, cutting_greys_the_node_and_a_second_cut_clears_the_first) {
    tree->Expand(root->get_tree_id());
    auto_ptr_t<test_node> a = child(root, "a"), b = child(root, "b");
    wxColour grey = wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT);
    auto_ptr_t<i_object> payload(new test_node("payload"));
    payload->addref();
    control->set_copy_object(a, payload, KIV_TREE_COPY_CUT);
    EXPECT_EQ(tree->GetItemTextColour(a->get_tree_id()), grey);
    control->set_copy_object(b, payload, KIV_TREE_COPY_CUT);
    EXPECT_NE(tree->GetItemTextColour(a->get_tree_id()), grey);
    EXPECT_EQ(tree->GetItemTextColour(b->get_tree_id()), grey);

    int flags = 0;
    auto_ptr_t<i_object> held(control->get_copy_object(flags));
    EXPECT_EQ(held.get(), payload.get());
    EXPECT_EQ(flags, KIV_TREE_COPY_CUT);
    auto_ptr_t<i_tree_object> node(control->get_copy_tree_object());
    EXPECT_EQ(node.get(), static_cast<i_tree_object*>(b.get()));
    control->set_copy_object(nullptr, nullptr, 0);
    auto_ptr_t<i_object> none(control->get_copy_object(flags));
    EXPECT_EQ(none.get(), nullptr);
    EXPECT_EQ(flags, 0);
}

TEST_F(tree_ctrl_fixture, a_cut_node_whose_item_went_with_a_collapse_is_left_alone) {
    tree->Expand(root->get_tree_id());
    auto_ptr_t<test_node> a = child(root, "a");
    auto_ptr_t<i_object> payload(new test_node("payload"));
    payload->addref();
    control->set_copy_object(a, payload, KIV_TREE_COPY_CUT);
    tree->Collapse(root->get_tree_id());  // deletes a's item; the clipboard keeps a
    EXPECT_FALSE(a->get_tree_id().IsOk());
    EXPECT_EQ(a->get_tree_ctrl(), nullptr);
    EXPECT_EQ(a->get_ref_count(), 2);  // ours and the clipboard's
    control->set_copy_object(root, payload, KIV_TREE_COPY_CUT);
    EXPECT_EQ(tree->GetItemTextColour(root->get_tree_id()), wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT));
}

TEST(tree_object_test, casts_and_insertion_into_no_tree) {
    gui_session session;
    auto_ptr_t<test_node> node(new test_node("n"));
    node->addref();
    EXPECT_EQ(kiv_cast_tree_object(node.get()), static_cast<tree_object*>(node.get()));
    EXPECT_EQ(kiv_cast_tree_object(nullptr), nullptr);
    EXPECT_EQ(kiv_cast_i_tree_object(node.get()), static_cast<i_tree_object*>(node.get()));
    node->insert_as_root(nullptr);
    node->insert_as_child(nullptr);
    EXPECT_FALSE(node->get_tree_id().IsOk());
    EXPECT_EQ(node->get_image(), -1);
    EXPECT_FALSE(node->select_child("x"));
    auto_ptr_t<i_object_col> childs(node->get_childs());
    EXPECT_EQ(childs->get_count(), 0u);
}

// What one tree shows of a node named "n" with the image name
// "folder.gif", a folder node under it, and a property sheet.
struct shown_images {
    wxImageList* tree_list;
    int node_image;
    int node_item_image;
    int folder_item_image;
    wxImageList* sheet_list;
};

shown_images show_images(gui_session& session) {
    auto_ptr_t<tree_ctrl> control(new tree_ctrl);
    control->addref();
    wxTreeCtrl* tree = control->create(session.frame, wxSize(200, 200), 0);
    auto_ptr_t<test_node> node(new test_node("n"));
    node->addref();
    node->set_image_name("folder.gif");
    node->insert_as_root(tree);
    auto_ptr_t<folder_object> folder(new folder_object("/tmp", "folder.gif"));
    folder->addref();
    folder->insert_as_child(node.get());
    auto_ptr_t<object_col> pages(new object_col);
    pages->addref();
    property_sheet sheet(session.frame, pages.get(), "sheet", wxOK);
    shown_images shown{tree->GetImageList(), node->get_image(), tree->GetItemImage(node->get_tree_id()),
                       tree->GetItemImage(folder->get_tree_id()), sheet.get_notebook()->GetImageList()};
    tree->Destroy();
    return shown;
}

TEST(tree_services_test, icons_come_from_the_registered_image_manager_and_none_without_it) {
    gui_session session;
    session.open_frame();
    shown_images none = show_images(session);
    EXPECT_EQ(none.tree_list, nullptr);
    EXPECT_EQ(none.node_image, -1);
    EXPECT_EQ(none.node_item_image, -1);
    EXPECT_EQ(none.folder_item_image, -1);
    EXPECT_EQ(none.sheet_list, nullptr);
    {
        registered_images images(session.core.root.path() + "/images", {"check_on.gif", "folder.gif"});
        int folder = images.index("folder.gif");
        ASSERT_EQ(folder, 1);  // names are listed in order
        shown_images with = show_images(session);
        EXPECT_EQ(with.tree_list, images.manager->get_image_list());
        EXPECT_EQ(with.node_image, folder);
        EXPECT_EQ(with.node_item_image, folder);
        EXPECT_EQ(with.folder_item_image, folder);
        EXPECT_EQ(with.sheet_list, images.manager->get_image_list());
    }
    session.close_frame();
}

TEST(tree_services_test, selecting_a_node_activates_its_renderer_and_nothing_breaks_without_the_service) {
    gui_session session;
    session.open_frame();
    auto_ptr_t<tree_ctrl> control(new tree_ctrl);
    control->addref();
    wxTreeCtrl* tree = control->create(session.frame, wxSize(200, 200), 0);
    auto_ptr_t<test_node> root(new test_node("root"));
    root->addref();
    root->insert_as_root(tree);
    auto_ptr_t<test_node> mapped(new test_node("mapped"));
    mapped->addref();
    mapped->set_renderer_name("map");
    mapped->insert_as_child(root.get());
    tree->Expand(root->get_tree_id());

    tree->SelectItem(mapped->get_tree_id());  // no renderer service yet
    EXPECT_TRUE(mapped->is_selected_now());
    tree->SelectItem(root->get_tree_id());

    wxPanel* parent = new wxPanel(session.frame, wxID_ANY);
    auto_ptr_t<renderer_service> service(new renderer_service(session.frame, parent));
    service->addref();
    auto_ptr_t<recording_renderer> map(new recording_renderer("map", parent));
    map->addref();
    service->register_renderer(map.get());
    kiv_core()->register_service(service.get(), "svc_gui_renderer");

    tree->SelectItem(mapped->get_tree_id());
    ASSERT_EQ(map->given.size(), 1u);
    EXPECT_EQ(map->given[0], as_object(mapped.get()));
    EXPECT_EQ(service->get_current(), static_cast<i_object_renderer*>(map.get()));
    EXPECT_TRUE(map->window->IsShown());
    // The root has no renderer name: selecting it hides the map.
    tree->SelectItem(root->get_tree_id());
    EXPECT_EQ(service->get_current(), nullptr);
    EXPECT_FALSE(map->window->IsShown());
    EXPECT_EQ(map->given.size(), 1u);

    kiv_core()->unregister_service("svc_gui_renderer");
    service.reset();
    tree->DeleteAllItems();
    session.close_frame();
}

}  // namespace
