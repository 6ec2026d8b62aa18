// workspace_manager.cpp --
//
//     "svc_gui_workspace_manager": the workspaces of the left docking
//     pane. The manager keeps the workspaces (a name, a panel window and
//     perhaps the object tree inside it) and drives the shortcuts bar,
//     which owns the windows. The bar belongs to the frame and may be
//     destroyed before the manager is released; the manager only holds
//     weak references to it and to the panels, and every operation
//     fails cleanly once they are gone.

#include <kiv/gui/workspace_manager.h>

#include <kiv/core/i_core.h>
#include <kiv/core/i_string.h>
#include <kiv/core/log.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/gui/i_gui_frame.h>
#include <kiv/gui/image_manager.h>

#include <wx/aui/framemanager.h>
#include <wx/frame.h>

namespace kiv {

namespace {

const char* const select_tree_item_event = "KIV_GUI_SELECT_TREE_ITEM";

}  // namespace

// --- workspace ----------------------------------------------------------

workspace::workspace(wxWindow* window, tree_ctrl* tree) : window_(window), tree_(tree) {
    if (tree != nullptr)
        tree->addref();
}

workspace::~workspace() = default;

bool workspace::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_workspace", static_cast<i_workspace*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

wxTreeCtrl* workspace::get_tree() {
    return tree_ ? tree_->get_tree_ctrl() : nullptr;
}

wxWindow* workspace::get_window() {
    return window_.get();
}

// --- workspace_manager --------------------------------------------------

workspace_manager::workspace_manager(const char* name, const char* caption, const wxSize& size)
    : workspaces_(new object_col), names_(new object_col) {
    set_name("GUI workspace manager");
    workspaces_->addref();
    names_->addref();

    auto_ptr_t<i_object> frame_service(find_service("svc_gui_frame"));
    auto_ptr_t<i_object> image_service(find_service("svc_gui_image_manager"));
    i_gui_frame* frame = kiv_cast_i_gui_frame(frame_service);
    wxAuiManager* docking = frame != nullptr ? frame->get_frame_manager() : nullptr;
    wxFrame* top = frame != nullptr ? frame->get_frame() : nullptr;
    if (docking == nullptr || top == nullptr || kiv_cast_i_image_manager(image_service) == nullptr) {
        kiv_log(0, "workspace_manager: no frame, docking manager or image manager; no workspace pane");
        return;
    }

    const wxString pane_caption = wxString::FromUTF8(caption != nullptr ? caption : "");
    shortcuts_bar* bar = new shortcuts_bar(top, pane_caption);
    bar->set_animate(false);
    bar->set_stacked(false);
    bar_ = bar;
    docking->AddPane(bar, wxAuiPaneInfo()
                              .Name(wxString::FromUTF8(name != nullptr ? name : ""))
                              .Caption(pane_caption)
                              .CaptionVisible(true)
                              .Left()
                              .TopDockable(false)
                              .BottomDockable(false)
                              .MinSize(size)
                              .FloatingSize(size));
    // Before the application attached its frame, its own Update lays the pane out.
    if (docking->GetManagedWindow() != nullptr)
        docking->Update();

    kiv_install_gui_handler(-1, select_tree_item_event,
                            kiv_gui_event_handler(workspace_manager::on_select_tree_item), this);
    handler_installed_ = true;
}

workspace_manager::~workspace_manager() {
    // Without the event service any more, wxWidgets itself drops the
    // binding as this handler dies.
    if (handler_installed_)
        kiv_uninstall_gui_handler(-1, select_tree_item_event,
                                  kiv_gui_event_handler(workspace_manager::on_select_tree_item), this);
}

bool workspace_manager::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_workspace_manager", static_cast<i_workspace_manager*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

void workspace_manager::on_select_tree_item(i_gui_event& event) {
    event.Skip();
}

i_workspace* workspace_manager::create_workspace(const char* name, int image, wxWindow* window, long tree_style) {
    shortcuts_bar* bar = bar_.get();
    if (bar == nullptr)
        return nullptr;
    if (name == nullptr || *name == '\0') {
        kiv_log(0, "workspace_manager: a workspace needs a name");
        return nullptr;
    }
    if (auto_ptr_t<i_object> known{workspaces_->get_item_by_name(name)}) {
        kiv_log(0, "workspace_manager: there is a workspace '%s' already", name);
        return nullptr;
    }
    if (window != nullptr && bar->find(window) >= 0) {
        kiv_log(0, "workspace_manager: the window of '%s' shows another workspace", name);
        return nullptr;
    }

    auto_ptr_t<tree_ctrl> tree;
    wxWindow* panel = window;
    if (panel == nullptr) {
        tree.reset(new tree_ctrl);
        tree->addref();
        panel = tree->create(bar, wxDefaultSize, static_cast<unsigned int>(tree_style));
        if (panel == nullptr)
            return nullptr;
    }
    if (!bar->add_panel(wxString::FromUTF8(name), image, panel)) {
        if (tree)
            panel->Destroy();
        return nullptr;
    }

    auto_ptr_t<workspace> created(new workspace(panel, tree.get()));
    created->addref();
    created->set_name(name);
    workspaces_->add_item(created.get(), false);
    bar->SendSizeEvent();
    return created.detach();
}

bool workspace_manager::remove_workspace(i_workspace* workspace) {
    if (workspace == nullptr || workspaces_->get_item_pos(workspace) < 0)
        return false;
    // The collection's reference may be the last one: keep the workspace
    // alive until the removal is complete.
    auto_ptr_t<i_workspace> held(workspace);
    workspace->addref();
    if (shortcuts_bar* bar = bar_.get()) {
        // A panel destroyed by someone else leaves its caption behind,
        // found by the workspace's name (names are unique here).
        wxWindow* window = workspace->get_window();
        int position = window != nullptr ? bar->find(window)
                                         : bar->find_caption(wxString::FromUTF8(workspace->get_name()));
        bar->remove(position);
    }
    workspaces_->remove_item(workspace);
    return true;
}

i_object_col* workspace_manager::get_workspaces() {
    return workspaces_->copy();
}

wxWindow* workspace_manager::get_pane_window() {
    return bar_.get();
}

bool workspace_manager::select_workspace(const char* name) {
    shortcuts_bar* bar = bar_.get();
    if (name == nullptr || bar == nullptr)
        return false;
    auto_ptr_t<i_object> found(workspaces_->get_item_by_name(name));
    i_workspace* workspace = kiv_cast_i_workspace(found);
    if (workspace == nullptr)
        return false;
    wxWindow* panel = workspace->get_tree();
    if (panel == nullptr)
        panel = workspace->get_window();
    return bar->select(panel);
}

bool workspace_manager::select_workspace(i_workspace* workspace) {
    if (workspace == nullptr)
        return false;
    return select_workspace(workspace->get_name());
}

i_workspace* workspace_manager::get_active_workspace() {
    shortcuts_bar* bar = bar_.get();
    if (bar == nullptr || !bar->has_current())
        return nullptr;
    auto_ptr_t<i_object> found(workspaces_->get_item_by_name(bar->get_current_text().utf8_str()));
    i_workspace* workspace = kiv_cast_i_workspace(found);
    if (workspace == nullptr)
        return nullptr;
    found.detach();
    return workspace;
}

bool workspace_manager::has_previous() {
    return index_ > 0;
}

bool workspace_manager::has_next() {
    return index_ != -1 && static_cast<long>(index_) < static_cast<long>(names_->get_count()) - 1;
}

bool workspace_manager::select_previous() {
    return has_previous() && select_step(-1);
}

bool workspace_manager::select_next() {
    return has_next() && select_step(1);
}

bool workspace_manager::select_step(int delta) {
    index_ += delta;
    auto_ptr_t<i_object> item(names_->get_item_by_pos(static_cast<unsigned>(index_)));
    i_string* name = kiv_cast_i_string(item);
    if (name == nullptr || name->get_value() == nullptr)
        return false;
    current_name_ = name->get_value();
    return select_workspace(current_name_.c_str());
}

}  // namespace kiv

bool kiv_gui_create_workspace_manager(const char* name, const char* caption, const wxSize& size) {
    using namespace kiv;
    i_core* core = kiv_core();
    if (core == nullptr)
        return false;
    auto_ptr_t<i_object> frame_service(core->get_service("svc_gui_frame"));
    auto_ptr_t<i_object> image_service(core->get_service("svc_gui_image_manager"));
    i_gui_frame* frame = kiv_cast_i_gui_frame(frame_service);
    if (frame == nullptr || frame->get_frame_manager() == nullptr || frame->get_frame() == nullptr ||
        kiv_cast_i_image_manager(image_service) == nullptr)
        return false;
    if (auto_ptr_t<i_object> known{core->get_service("svc_gui_workspace_manager")}) {
        kiv_log(0, "kiv_gui_create_workspace_manager: a workspace manager is registered already");
        return false;
    }

    auto_ptr_t<workspace_manager> manager(new workspace_manager(name, caption, size));
    manager->addref();
    if (!core->register_service(manager.get(), "svc_gui_workspace_manager")) {
        // The pane goes with the manager that could not be registered.
        if (wxWindow* bar = manager->get_pane_window()) {
            frame->get_frame_manager()->DetachPane(bar);
            bar->Destroy();
            if (frame->get_frame_manager()->GetManagedWindow() != nullptr)
                frame->get_frame_manager()->Update();
        }
        return false;
    }
    return true;
}

kiv::i_workspace_manager* kiv_cast_i_workspace_manager(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_workspace_manager>(obj, "i_workspace_manager");
}

kiv::i_workspace* kiv_cast_i_workspace(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_workspace>(obj, "i_workspace");
}
