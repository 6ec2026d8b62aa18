// undoredo_service.h --
//
//     A linear history of undoable commands. An application derives one
//     undoredo_command per action, pushes it once the action is to be
//     done (the push does it by calling redo()), and undoes and redoes
//     along the history. On request the service puts "Undo" and "Redo"
//     at the top of the frame's Edit menu and keeps them enabled only
//     while there is something to undo or redo.
//
//         auto_ptr_t<kiv::undoredo_service> history(new kiv::undoredo_service(true));
//         history->addref();
//         history->push_command(new rename_command(node, "new name"));

#ifndef KIV_GUI_UNDOREDO_SERVICE_H
#define KIV_GUI_UNDOREDO_SERVICE_H

#include <kiv/core/export.h>
#include <kiv/core/auto_ptr.h>
#include <kiv/core/object.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>

#include <wx/event.h>

namespace kiv {

class i_undoredo_command : public virtual i_object {
public:
    // Undoes the action. Returns: false when it refused (nothing changed).
    virtual bool undo() = 0;
    // Does the action (again). Returns: false when it refused.
    virtual bool redo() = 0;

protected:
    ~i_undoredo_command() = default;
};

class i_undoredo_service : public virtual i_object {
public:
    // Undoes the last done command. Returns: false when there is none or
    //     it refused (the history is then unchanged).
    virtual bool undo() = 0;
    // Redoes the first undone command. Returns: false when there is none
    //     or it refused.
    virtual bool redo() = 0;
    // Does `command` (its redo()) and, when that succeeds, drops every
    // undone command and appends it with a reference of the history.
    // Returns: false for null or a refused command, which is not kept.
    virtual bool push_command(i_undoredo_command* command) = 0;
    virtual bool can_undo() = 0;
    virtual bool can_redo() = 0;

protected:
    ~i_undoredo_service() = default;
};

// Base of an application's commands: holds the object it acts on.
// Both steps refuse here, so a bare command is never kept.
class KIV_EXPORT undoredo_command : public object, public virtual i_undoredo_command {
public:
    // Holds a reference to `acted_on` (null allowed).
    explicit undoredo_command(i_object* acted_on = nullptr) : target(acted_on) {
        if (acted_on != nullptr)
            acted_on->addref();
    }
    ~undoredo_command() override = default;
    // A copy acts on the same target and holds a reference of its own;
    // assignment releases the old target and takes the other's. The
    // reference count is not copied.
    undoredo_command(const undoredo_command&) = default;
    undoredo_command& operator=(const undoredo_command&) = default;

    // Answers "i_undoredo_command".
    bool get_interface(const char* name, void** out) override;
    bool undo() override { return false; }
    bool redo() override { return false; }

protected:
    auto_ptr_t<i_object> target;  // one reference; null when none
};

class KIV_EXPORT undoredo_service : public wxEvtHandler,
                                   public object,
                                   public i_named_object_impl,
                                   public virtual i_undoredo_service {
public:
    // Name "undoredo_service", an empty history. With `add_menu`, adds the
    // Undo and Redo items to the frame's Edit menu and binds them through
    // "svc_gui_event" (nothing when a service, the menu bar or the Edit
    // menu is missing, or the menu holds either command already). GUI
    // thread.
    explicit undoredo_service(bool add_menu = true);
    // Unbinds the menu commands (the items stay) and releases the history.
    ~undoredo_service() override;
    undoredo_service(const undoredo_service&) = delete;
    undoredo_service& operator=(const undoredo_service&) = delete;

    // Answers "i_undoredo_service" and "i_named_object".
    bool get_interface(const char* name, void** out) override;

    // Each holds the history's mutex for its whole run, the command's own
    // step included. Any thread.
    bool undo() override;
    bool redo() override;
    bool push_command(i_undoredo_command* command) override;
    bool can_undo() override;
    bool can_redo() override;

private:
    void add_menu_items();
    void bind(bool on);
    void on_undo(wxCommandEvent& event);
    void on_undo_update(wxUpdateUIEvent& event);
    void on_redo(wxCommandEvent& event);
    void on_redo_update(wxUpdateUIEvent& event);

    auto_ptr_t<object_col> history_;  // done commands first; owned
    unsigned position_ = 0;           // commands below it are done; guarded by history_
    bool bound_ = false;              // the menu commands are bound (GUI thread)
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_undoredo_command* kiv_cast_i_undoredo_command(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_undoredo_service* kiv_cast_i_undoredo_service(kiv::i_object* obj);

#endif
