// tree_object.cpp --
//
//     The base of all nodes of the object tree and the item data that
//     ties an item to its node. A node learns of its selection through
//     "KIV_GUI_SELECT_TREE_ITEM" (installed per node with the tree
//     window's id), binds its "Rename" command while selected, loads its
//     children on the first expansion and drops them on collapse.
//
//     When the window deletes an item, its data tells the node, which
//     then forgets the item and the window: a node kept alive elsewhere
//     (the clipboard, the drag source) never reads the freed item data.

#include <kiv/core/i_core.h>
#include <kiv/core/i_translator.h>
#include <kiv/core/object_col.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/gui/renderer_service.h>
#include <kiv/gui/tree_ctrl.h>

#include <wx/settings.h>
#include <wx/utils.h>

#include "../images/shared_images.h"

namespace kiv {

namespace {

const char* const select_event = "KIV_GUI_SELECT_TREE_ITEM";

}  // namespace

// --- tree_item_id ----------------------------------------------------------

tree_item_id::tree_item_id(i_tree_object* node) : node_(node) {
    if (node_ != nullptr)
        node_->addref();
}

tree_item_id::tree_item_id(const tree_item_id& other) : wxTreeItemData(), node_(other.node_) {
    if (node_ != nullptr)
        node_->addref();
}

tree_item_id& tree_item_id::operator=(const tree_item_id& other) {
    if (this != &other) {
        if (other.node_ != nullptr)
            other.node_->addref();
        if (node_ != nullptr)
            node_->release();
        node_ = other.node_;
    }
    return *this;
}

tree_item_id::~tree_item_id() {
    if (node_ == nullptr)
        return;
    if (tree_object* node = kiv_cast_tree_object(node_))
        node->item_deleted(this);
    node_->release();
}

i_tree_object* tree_item_id::get_object() const {
    if (node_ != nullptr)
        node_->addref();
    return node_;
}

// --- tree_object -------------------------------------------------------------

tree_object::~tree_object() {
    if (selected_)
        on_unselect();
    uninstall_select_handler();
}

bool tree_object::get_interface(const char* name, void** out) {
    if (answer_interface(name, "tree_object", this, out) ||
        answer_interface(name, "i_tree_object", static_cast<i_tree_object*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

void tree_object::insert_as_root(wxTreeCtrl* tree) {
    if (tree == nullptr)
        return;
    tree_ = tree;
    item_data_ = new tree_item_id(this);
    int image = get_image();
    tree->AddRoot(wxString::FromUTF8(get_name()), image, image, item_data_);
    initial_event_registration();
}

void tree_object::insert_as_child(i_tree_object* parent) {
    if (parent == nullptr || parent->get_tree_ctrl() == nullptr)
        return;
    wxTreeItemId parent_item = parent->get_tree_id();
    if (!parent_item.IsOk())
        return;
    tree_ = parent->get_tree_ctrl();
    item_data_ = new tree_item_id(this);
    int image = get_image();
    tree_->AppendItem(parent_item, wxString::FromUTF8(get_name()), image, image, item_data_);
    initial_event_registration();
}

void tree_object::item_deleted(tree_item_id* data) {
    if (data != item_data_)
        return;
    if (selected_) {
        selected_ = false;
        on_unselect();
    }
    uninstall_select_handler();
    item_data_ = nullptr;
    tree_ = nullptr;
    expanded_once_ = false;
}

wxTreeItemId tree_object::get_tree_id() {
    return item_data_ != nullptr ? item_data_->GetId() : wxTreeItemId();
}

int tree_object::get_image() {
    return shared_image_index(image_name_.c_str());
}

bool tree_object::set_name(const char* name) {
    if (!i_named_object_impl::set_name(name))
        return false;
    wxTreeItemId item = get_tree_id();
    if (tree_ != nullptr && item.IsOk())
        tree_->SetItemText(item, wxString::FromUTF8(get_name()));
    return true;
}

void tree_object::initial_event_registration() {
    if (tree_ == nullptr || !get_tree_id().IsOk() || select_handler_)
        return;
    auto_ptr_t<i_object> gui(find_service("svc_gui_event"));
    if (kiv_cast_i_gui_event_proc(gui) == nullptr)
        return;
    kiv_install_gui_handler(tree_->GetId(), select_event, kiv_gui_event_handler(tree_object::on_select_node), this);
    select_handler_ = true;
}

void tree_object::uninstall_select_handler() {
    if (!select_handler_ || tree_ == nullptr)
        return;
    kiv_uninstall_gui_handler(tree_->GetId(), select_event, kiv_gui_event_handler(tree_object::on_select_node),
                              this);
    select_handler_ = false;
}

void tree_object::on_select_node(i_gui_event& event) {
    event.Skip();
    auto_ptr_t<i_object> selected(event.get_event_object());
    bool me = selected.get() == static_cast<i_object*>(static_cast<i_tree_object*>(this));
    if (me && !selected_) {
        on_select();
        selected_ = true;
    } else if (!me && selected_) {
        on_unselect();
        selected_ = false;
    }
}

void tree_object::on_select() {
    auto_ptr_t<i_object> gui_service(find_service("svc_gui_event"));
    i_gui_event_proc* gui = kiv_cast_i_gui_event_proc(gui_service);
    if (gui != nullptr && tree_ != nullptr && get_tree_id().IsOk()) {
        int rename = gui->get_cmd_id("TQR_CMD_RENAME");
        gui->install_gui_handler(rename, wxEVT_MENU, wxCommandEventHandler(tree_object::on_rename_cmd), this);
        gui->install_gui_handler(rename, wxEVT_UPDATE_UI, wxUpdateUIEventHandler(tree_object::on_rename_cmd_update),
                                 this);
        tree_->Connect(tree_->GetId(), wxEVT_TREE_ITEM_ACTIVATED, wxTreeEventHandler(tree_object::on_activate_node),
                       nullptr, this);
    }
    render();
}

void tree_object::on_unselect() {
    auto_ptr_t<i_object> gui_service(find_service("svc_gui_event"));
    i_gui_event_proc* gui = kiv_cast_i_gui_event_proc(gui_service);
    if (gui != nullptr) {
        int rename = gui->get_cmd_id("TQR_CMD_RENAME");
        gui->uninstall_gui_handler(rename, wxEVT_MENU, wxCommandEventHandler(tree_object::on_rename_cmd), this);
        gui->uninstall_gui_handler(rename, wxEVT_UPDATE_UI,
                                   wxUpdateUIEventHandler(tree_object::on_rename_cmd_update), this);
    }
    if (tree_ != nullptr)
        tree_->Disconnect(tree_->GetId(), wxEVT_TREE_ITEM_ACTIVATED,
                          wxTreeEventHandler(tree_object::on_activate_node), nullptr, this);
}

void tree_object::render() {
    auto_ptr_t<i_object> renderers(find_service("svc_gui_renderer"));
    if (i_renderer_service* renderer = kiv_cast_i_renderer_service(renderers))
        renderer->activate_renderer(renderer_name_.c_str(), static_cast<i_object*>(static_cast<i_tree_object*>(this)));
}

void tree_object::on_activate_node(wxTreeEvent& event) {
    event.Skip();
    on_activate();
}

void tree_object::on_rename_cmd_update(wxUpdateUIEvent& event) {
    event.Enable((tree_flags_ & KIV_TREE_EDITABLE) != 0);
}

void tree_object::on_rename_cmd(wxCommandEvent&) {
    wxTreeItemId item = get_tree_id();
    if (tree_ != nullptr && item.IsOk())
        tree_->EditLabel(item);
}

bool tree_object::populate_tree_menu(wxMenu* menu) {
    auto_ptr_t<i_object> gui_service(find_service("svc_gui_event"));
    i_gui_event_proc* gui = kiv_cast_i_gui_event_proc(gui_service);
    if (gui == nullptr || menu == nullptr)
        return false;
    menu->Append(gui->get_cmd_id("TQR_CMD_RENAME"), wxString::FromUTF8(kiv_translate("Rename", "")), wxString());
    menu->Append(gui->get_cmd_id("TQR_CMD_DELETE"), wxString::FromUTF8(kiv_translate("Delete", "")), wxString());
    return true;
}

void tree_object::on_tree_expand() {
    if (expanded_once_)
        return;
    wxBusyCursor busy;
    load_children();
    expanded_once_ = true;
    wxTreeItemId item = get_tree_id();
    if (tree_ != nullptr && item.IsOk() && tree_->GetChildrenCount(item, false) == 0)
        tree_->SetItemHasChildren(item, false);
}

void tree_object::on_tree_collapse() {
    wxTreeItemId item = get_tree_id();
    if (tree_ == nullptr || !item.IsOk())
        return;
    wxTreeCtrl* tree = tree_;
    size_t count = tree->GetChildrenCount(item, true);
    tree->DeleteChildren(item);
    tree->SetItemHasChildren(item, count != 0);
    expanded_once_ = false;
}

void tree_object::set_item_as_cut(bool cut) {
    // GTK has no native "cut" state: the cut item shows greyed text.
    wxTreeItemId item = get_tree_id();
    if (tree_ == nullptr || !item.IsOk())
        return;
    tree_->SetItemTextColour(item, cut ? wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT) : wxNullColour);
}

bool tree_object::select_child(const char* name) {
    wxTreeItemId item = get_tree_id();
    if (name == nullptr || tree_ == nullptr || !item.IsOk())
        return false;
    if (!tree_->IsExpanded(item))
        tree_->Expand(item);
    wxString label = wxString::FromUTF8(name);
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = tree_->GetFirstChild(item, cookie); child.IsOk();
         child = tree_->GetNextChild(item, cookie)) {
        if (tree_->GetItemText(child) == label) {
            tree_->SelectItem(child, true);
            return true;
        }
    }
    return false;
}

i_object_col* tree_object::get_childs() {
    object_col* col = new object_col;
    col->addref();
    wxTreeItemId item = get_tree_id();
    if (tree_ == nullptr || !item.IsOk())
        return col;
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = tree_->GetFirstChild(item, cookie); child.IsOk();
         child = tree_->GetNextChild(item, cookie)) {
        auto* data = dynamic_cast<tree_item_id*>(tree_->GetItemData(child));
        if (data == nullptr)
            continue;
        auto_ptr_t<i_tree_object> node(data->get_object());
        if (node)
            col->add_item(node.get(), false);
    }
    return col;
}

}  // namespace kiv

using namespace kiv;

tree_object* kiv_cast_tree_object(i_object* obj) {
    return cast_interface<tree_object>(obj, "tree_object");
}

i_tree_object* kiv_cast_i_tree_object(i_object* obj) {
    return cast_interface<i_tree_object>(obj, "i_tree_object");
}
