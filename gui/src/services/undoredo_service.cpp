// undoredo_service.cpp --
//
//     The undo/redo history and its two Edit-menu commands. The history
//     is a core collection; its own recursive mutex also guards the
//     position, and is held across a command's own step so two threads
//     never move along the history at once.

#include <kiv/gui/undoredo_service.h>

#include <kiv/core/i_core.h>
#include <kiv/core/i_translator.h>
#include <kiv/core/log.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/gui/i_gui_frame.h>

#include <wx/frame.h>
#include <wx/menu.h>

namespace kiv {

namespace {

wxString tr(const char* text) {
    return wxString::FromUTF8(kiv_translate(text, ""));
}

}  // namespace

bool undoredo_command::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_undoredo_command", static_cast<i_undoredo_command*>(this), out))
        return true;
    return object::get_interface(name, out);
}

undoredo_service::undoredo_service(bool add_menu) : history_(new object_col) {
    kiv_trace("undoredo_service::undoredo_service(%d)", add_menu ? 1 : 0);
    set_name("undoredo_service");
    history_->addref();
    if (add_menu)
        add_menu_items();
}

undoredo_service::~undoredo_service() {
    kiv_trace("undoredo_service::~undoredo_service()");
    if (bound_)
        bind(false);
}

bool undoredo_service::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_undoredo_service", static_cast<i_undoredo_service*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool undoredo_service::push_command(i_undoredo_command* command) {
    if (command == nullptr)
        return false;
    // Holds the caller's command while it runs: a command pushed with no
    // reference of its own would otherwise die inside the first release.
    command->addref();
    auto_ptr_t<i_undoredo_command> held(command);
    mutex_locker lock(history_.get());
    if (!command->redo())
        return false;
    // The redo tail goes, newest first.
    for (unsigned count = history_->get_count(); count > position_; count = history_->get_count()) {
        auto_ptr_t<i_object> last(history_->get_item_by_pos(count - 1));
        history_->remove_item(last.get());
        if (history_->get_count() == count)
            break;  // cannot happen with a sound collection; never loop forever
    }
    history_->add_item(command, false);
    position_ = history_->get_count();
    return true;
}

bool undoredo_service::undo() {
    mutex_locker lock(history_.get());
    if (position_ == 0)
        return false;
    auto_ptr_t<i_object> item(history_->get_item_by_pos(position_ - 1));
    i_undoredo_command* command = kiv_cast_i_undoredo_command(item);
    --position_;
    if (command == nullptr || !command->undo()) {
        ++position_;
        return false;
    }
    return true;
}

bool undoredo_service::redo() {
    mutex_locker lock(history_.get());
    if (position_ >= history_->get_count())
        return false;
    auto_ptr_t<i_object> item(history_->get_item_by_pos(position_));
    i_undoredo_command* command = kiv_cast_i_undoredo_command(item);
    ++position_;
    if (command == nullptr || !command->redo()) {
        --position_;
        return false;
    }
    return true;
}

bool undoredo_service::can_undo() {
    mutex_locker lock(history_.get());
    return position_ != 0;
}

bool undoredo_service::can_redo() {
    mutex_locker lock(history_.get());
    return position_ < history_->get_count();
}

void undoredo_service::add_menu_items() {
    auto_ptr_t<i_object> frame_service(find_service("svc_gui_frame"));
    auto_ptr_t<i_object> event_service(find_service("svc_gui_event"));
    i_gui_frame* frames = kiv_cast_i_gui_frame(frame_service);
    i_gui_event_proc* events = kiv_cast_i_gui_event_proc(event_service);
    if (frames == nullptr || events == nullptr)
        return;
    wxFrame* frame = frames->get_frame();
    wxMenuBar* bar = frame != nullptr ? frame->GetMenuBar() : nullptr;
    if (bar == nullptr)
        return;
    int index = bar->FindMenu(tr("&Edit"));
    wxMenu* edit = index != wxNOT_FOUND ? bar->GetMenu(static_cast<size_t>(index)) : nullptr;
    if (edit == nullptr)
        return;
    const int undo_id = events->get_cmd_id("CMD_EDIT_UNDO");
    const int redo_id = events->get_cmd_id("CMD_EDIT_REDO");
    if (edit->FindItem(undo_id) != nullptr || edit->FindItem(redo_id) != nullptr)
        return;
    edit->Insert(0, undo_id, tr("Undo\tCtrl-Z"), tr("Undoes the last action"));
    edit->Insert(1, redo_id, tr("Redo\tCtrl-Y"), tr("Redoes the previously undone action"));
    edit->InsertSeparator(2);
    bind(true);
}

// Installs or removes the four bindings through "svc_gui_event".
void undoredo_service::bind(bool on) {
    auto_ptr_t<i_object> event_service(find_service("svc_gui_event"));
    i_gui_event_proc* events = kiv_cast_i_gui_event_proc(event_service);
    if (events == nullptr)
        return;
    const int undo_id = events->get_cmd_id("CMD_EDIT_UNDO");
    const int redo_id = events->get_cmd_id("CMD_EDIT_REDO");
    struct binding {
        int id;
        int type;
        wxObjectEventFunction handler;
    } bindings[] = {
        {undo_id, wxEVT_COMMAND_MENU_SELECTED, wxCommandEventHandler(undoredo_service::on_undo)},
        {undo_id, wxEVT_UPDATE_UI, wxUpdateUIEventHandler(undoredo_service::on_undo_update)},
        {redo_id, wxEVT_COMMAND_MENU_SELECTED, wxCommandEventHandler(undoredo_service::on_redo)},
        {redo_id, wxEVT_UPDATE_UI, wxUpdateUIEventHandler(undoredo_service::on_redo_update)},
    };
    for (const binding& b : bindings) {
        if (on)
            events->install_gui_handler(b.id, b.type, b.handler, this);
        else
            events->uninstall_gui_handler(b.id, b.type, b.handler, this);
    }
    bound_ = on;
}

void undoredo_service::on_undo(wxCommandEvent&) {
    kiv_trace("undoredo_service::on_undo");
    undo();
}

void undoredo_service::on_undo_update(wxUpdateUIEvent& event) {
    event.Enable(can_undo());
}

void undoredo_service::on_redo(wxCommandEvent&) {
    kiv_trace("undoredo_service::on_redo");
    redo();
}

void undoredo_service::on_redo_update(wxUpdateUIEvent& event) {
    event.Enable(can_redo());
}

}  // namespace kiv

extern "C" kiv::i_undoredo_command* kiv_cast_i_undoredo_command(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_undoredo_command>(obj, "i_undoredo_command");
}

extern "C" kiv::i_undoredo_service* kiv_cast_i_undoredo_service(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_undoredo_service>(obj, "i_undoredo_service");
}
