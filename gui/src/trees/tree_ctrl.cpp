// tree_ctrl.cpp --
//
//     The control of the object tree: makes the tree window, turns its
//     notifications into node calls and GUI events, and keeps the
//     one-entry clipboard. Nodes decide; the control only moves items
//     (a drop that moved its node deletes the source item).

#include <kiv/core/log.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/gui/tree_ctrl.h>
#include <kiv/gui/tree_list_ctrl.h>

#include <wx/utils.h>

#include "../images/shared_images.h"

namespace kiv {

namespace {

const char* const select_event = "KIV_GUI_SELECT_TREE_ITEM";
const char* const activate_event = "KIV_GUI_ACTIVATE_TREE_ITEM";

// Fires `name` for the tree window with `node` (null allowed) as payload.
void fire_tree_event(const char* name, wxTreeCtrl* tree, i_tree_object* node, bool now) {
    gui_event event(name, static_cast<unsigned int>(tree->GetId()), node);
    kiv_fire_gui_event(&event, now);
}

}  // namespace

tree_ctrl::~tree_ctrl() {
    copy_object_.reset();
    copy_node_.reset();
    drag_source_.reset();
}

bool tree_ctrl::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

wxTreeCtrl* tree_ctrl::create(wxWindow* parent, const wxSize& size, unsigned int style) {
    if (tree_ != nullptr)
        return nullptr;
    set_name("tree");
    if (style == 0)
        style = wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_EDIT_LABELS;
    tree_ = new wxTreeCtrl(parent, wxID_ANY, wxDefaultPosition, size, static_cast<long>(style));
    if (wxImageList* images = shared_image_list())
        tree_->SetImageList(images);
    register_handlers();
    return tree_;
}

void tree_ctrl::register_handlers() {
    wxTreeCtrl* tree = tree_;
    if (tree == nullptr)
        return;
    int id = tree->GetId();
    tree->Connect(id, wxEVT_TREE_DELETE_ITEM, wxTreeEventHandler(tree_ctrl::on_delete_item), nullptr, this);
    tree->Connect(id, wxEVT_TREE_SEL_CHANGED, wxTreeEventHandler(tree_ctrl::on_sel_changed), nullptr, this);
    tree->Connect(id, wxEVT_TREE_ITEM_ACTIVATED, wxTreeEventHandler(tree_ctrl::on_activate_item), nullptr, this);
    tree->Connect(id, wxEVT_TREE_ITEM_RIGHT_CLICK, wxTreeEventHandler(tree_ctrl::on_right_click), nullptr, this);
    tree->Connect(id, wxEVT_TREE_END_LABEL_EDIT, wxTreeEventHandler(tree_ctrl::on_end_label_edit), nullptr, this);
    tree->Connect(id, wxEVT_TREE_BEGIN_LABEL_EDIT, wxTreeEventHandler(tree_ctrl::on_begin_label_edit), nullptr,
                  this);
    tree->Connect(id, wxEVT_TREE_ITEM_EXPANDING, wxTreeEventHandler(tree_ctrl::on_expanding_item), nullptr, this);
    tree->Connect(id, wxEVT_TREE_ITEM_COLLAPSED, wxTreeEventHandler(tree_ctrl::on_collapsing_item), nullptr, this);
    tree->Connect(id, wxEVT_TREE_BEGIN_DRAG, wxTreeEventHandler(tree_ctrl::on_begin_drag), nullptr, this);
    tree->Connect(id, wxEVT_TREE_END_DRAG, wxTreeEventHandler(tree_ctrl::on_end_drag), nullptr, this);
}

tree_item_id* tree_ctrl::get_item_data(const wxTreeItemId& item) {
    if (tree_ == nullptr || !item.IsOk())
        return nullptr;
    return dynamic_cast<tree_item_id*>(tree_->GetItemData(item));
}

wxTreeCtrl* tree_ctrl::get_tree_ctrl() {
    return tree_;
}

i_tree_object* tree_ctrl::node_of(const wxTreeItemId& item) {
    tree_item_id* data = get_item_data(item);
    return data != nullptr ? data->get_object() : nullptr;
}

void tree_ctrl::set_copy_object(i_tree_object* node, i_object* object, int flags) {
    if (copy_object_ && copy_node_)
        copy_node_->set_item_as_cut(false);
    copy_flags_ = 0;
    if (node != nullptr)
        node->addref();
    copy_node_.reset(node);
    if (object != nullptr)
        object->addref();
    copy_object_.reset(object);
    if (object == nullptr || !copy_node_)
        return;
    copy_flags_ = flags;
    if ((flags & KIV_TREE_COPY_CUT) != 0)
        copy_node_->set_item_as_cut(true);
}

i_object* tree_ctrl::get_copy_object(int& flags) {
    flags = copy_flags_;
    if (copy_object_)
        copy_object_->addref();
    return copy_object_.get();
}

i_tree_object* tree_ctrl::get_copy_tree_object() {
    if (copy_node_)
        copy_node_->addref();
    return copy_node_.get();
}

bool tree_ctrl::Show(bool show) {
    wxTreeCtrl* tree = tree_;
    if (tree == nullptr)
        return false;
    if (show) {
        wxTreeItemId selected = tree->GetSelection();
        auto_ptr_t<i_tree_object> node(selected.IsOk() ? node_of(selected) : nullptr);
        if (node) {
            fire_tree_event(select_event, tree, node, true);
        } else if (!selected.IsOk()) {
            wxTreeItemId root = tree->GetRootItem();
            if (root.IsOk())
                tree->SelectItem(root, true);
        }
    } else {
        fire_tree_event(select_event, tree, nullptr, true);
    }
    return tree->Show(show);
}

void tree_ctrl::on_delete_item(wxTreeEvent& event) {
    if (event.GetItem().IsOk())
        event.Skip();
}

void tree_ctrl::on_sel_changed(wxTreeEvent& event) {
    wxTreeItemId item = event.GetItem();
    if (!item.IsOk() || tree_ == nullptr)
        return;
    auto_ptr_t<i_tree_object> node(node_of(item));
    if (node)
        fire_tree_event(select_event, tree_, node, true);
    event.Skip();
}

void tree_ctrl::on_activate_item(wxTreeEvent& event) {
    auto_ptr_t<i_tree_object> node(node_of(event.GetItem()));
    if (node && tree_ != nullptr)
        fire_tree_event(activate_event, tree_, node, false);
    event.Skip();
}

void tree_ctrl::on_right_click(wxTreeEvent& event) {
    wxTreeItemId item = event.GetItem();
    if (!item.IsOk() || tree_ == nullptr)
        return;
    auto_ptr_t<i_tree_object> node(node_of(item));
    if (node) {
        wxMenu menu;
        if (node->populate_tree_menu(&menu)) {
            wxTreeCtrl* tree = tree_;
            tree->SelectItem(item, true);
            tree->PopupMenu(&menu, event.GetPoint());
        }
    }
    event.Skip();
}

void tree_ctrl::on_begin_label_edit(wxTreeEvent& event) {
    auto_ptr_t<i_tree_object> node(node_of(event.GetItem()));
    if (!node || (node->get_tree_flags() & KIV_TREE_EDITABLE) == 0)
        event.Veto();
}

void tree_ctrl::on_end_label_edit(wxTreeEvent& event) {
    // A cancelled edit arrives with an empty label too.
    if (event.IsEditCancelled() || event.GetLabel().empty()) {
        event.Veto();
        return;
    }
    // The text of another column than a tree-list's main one is that
    // column's value, not the node's name: the tree-list keeps it.
    auto* list = dynamic_cast<tree_list_ctrl*>(tree_.get());
    if (list != nullptr && event.GetInt() != list->GetMainColumn()) {
        event.Skip();
        return;
    }
    auto_ptr_t<i_tree_object> node(node_of(event.GetItem()));
    if (node && !node->set_name(event.GetLabel().utf8_str())) {
        event.Veto();
        return;
    }
    event.Skip();
}

void tree_ctrl::on_expanding_item(wxTreeEvent& event) {
    auto_ptr_t<i_tree_object> node(node_of(event.GetItem()));
    if (node)
        node->on_tree_expand();
    event.Skip();
}

void tree_ctrl::on_collapsing_item(wxTreeEvent& event) {
    auto_ptr_t<i_tree_object> node(node_of(event.GetItem()));
    if (node)
        node->on_tree_collapse();
    event.Skip();
}

void tree_ctrl::on_begin_drag(wxTreeEvent& event) {
    tree_item_id* data = get_item_data(event.GetItem());
    // The window vetoes a drag before asking; refusing says so again,
    // for senders that do not.
    if (data == nullptr) {
        drag_source_.reset();
        event.Veto();
        return;
    }
    auto_ptr_t<i_tree_object> node(data->get_object());
    if (!node) {
        drag_source_.reset();
        event.Veto();
        return;
    }
    kiv_trace("tree_ctrl::on_begin_drag - %s", node->get_name());
    if ((node->get_tree_flags() & KIV_TREE_DRAGGABLE) != 0 && node->on_begin_drop()) {
        drag_source_ = std::move(node);
        event.Allow();
    } else {
        drag_source_.reset();
        event.Veto();
    }
}

void tree_ctrl::on_end_drag(wxTreeEvent& event) {
    wxTreeCtrl* tree = tree_;
    if (!drag_source_ || tree == nullptr)
        return;
    wxTreeItemId target_item = event.GetItem();
    tree_item_id* data = get_item_data(target_item);
    if (data == nullptr) {
        drag_source_.reset();
        return;
    }
    auto_ptr_t<i_tree_object> target(data->get_object());
    if (!target)
        return;
    kiv_trace("tree_ctrl::on_end_drag - %s", target->get_name());
    wxTreeItemId source_item = drag_source_->get_tree_id();
    bool inside = !source_item.IsOk();
    for (wxTreeItemId up = target_item; up.IsOk() && !inside; up = tree->GetItemParent(up))
        inside = up == source_item;
    if (!inside) {
        int effect = wxGetKeyState(WXK_CONTROL) ? KIV_TREE_DROP_COPY : 0;
        auto_ptr_t<i_tree_object> source(drag_source_);
        if (source->on_drop(target, effect) && effect != KIV_TREE_DROP_COPY) {
            source_item = source->get_tree_id();
            if (source_item.IsOk()) {
                wxTreeItemId parent = tree->GetItemParent(source_item);
                size_t count = parent.IsOk() ? tree->GetChildrenCount(parent, false) : 0;
                drag_source_.reset();
                tree->Delete(source_item);
                if (parent.IsOk() && count <= 1)
                    tree->SetItemHasChildren(parent, false);
            }
        }
    }
    drag_source_.reset();
}

}  // namespace kiv
