// i_gui_event.h --
//
//     GUI events: one object that is a core event (a type name resolved
//     to a number by "svc_event", a 64-bit id and a payload object) and a
//     wxWidgets event at the same time. Its wxWidgets type is the core's
//     type number (100000 upwards, clear of wxWidgets' own types) and its
//     wxWidgets id the low 32 bits of the core id, so handlers connected
//     on the application object by id and type receive it through
//     wxWidgets' own dispatch and still read the core's fields.
//
//     Handlers are wxWidgets member functions written as taking
//     i_gui_event&; kiv_gui_event_handler turns one into the form the
//     connecting calls take:
//
//         kiv_install_gui_handler(0, "AVL_EVT_FEATURE_FOUND",
//                                 kiv_gui_event_handler(my_panel::on_found), this);
//         void my_panel::on_found(kiv::i_gui_event& evt) {
//             auto_ptr_t<kiv::i_object> found(evt.get_event_object());
//             ...
//         }

#ifndef KIV_GUI_I_GUI_EVENT_H
#define KIV_GUI_I_GUI_EVENT_H

#include <kiv/core/export.h>
#include <kiv/core/i_event.h>

#include <wx/event.h>

#include <cstdint>

namespace kiv {

// wxEvent comes first, so a handler taking i_gui_event& sees the same
// address wxWidgets passes as wxEvent&.
class i_gui_event : public wxEvent, public virtual i_event {
public:
    // id 0, the null wxWidgets event type.
    i_gui_event() : wxEvent(0, wxEVT_NULL) {}
    // Copies the wxWidgets part.
    i_gui_event(const i_gui_event& other) : i_object(), i_event(), wxEvent(other) {}
};

// The GUI event class. A gui_event on the stack or the heap lives like any
// wxWidgets event; its core part holds one reference to the payload. A
// queued copy (Clone) holds its own reference, so the original may be
// destroyed as soon as it has been fired.
class KIV_EXPORT gui_event : public i_gui_event, public event {
public:
    // Resolves `event_name` through "svc_event" (type 0 when the service
    // or the core is missing) and stores the id and the payload (a
    // reference is added; null allowed).
    gui_event(const char* event_name, unsigned int id, i_object* obj);
    // Stores the type number, the id and the payload.
    gui_event(unsigned int type, unsigned int id, i_object* obj);
    // Copies both parts; the copy holds its own payload reference.
    gui_event(const gui_event& other);
    gui_event& operator=(const gui_event&) = delete;
    // Releases the payload.
    ~gui_event() override;

    // Answers "i_gui_event" and the core event's names.
    bool get_interface(const char* name, void** out) override;

    // Sets the core type, id (high half 0) and payload, then the
    // wxWidgets type and id to match.
    void init_event(unsigned int type, unsigned int id, i_object* obj);
    // Sets the core id (high half 0) and the wxWidgets id; the type is
    // unchanged.
    void set_event_id(unsigned int id);

    // Returns: a new gui_event with the same type, id and payload (its
    //     own reference); wxWidgets owns and deletes it.
    wxEvent* Clone() const override;
};

// The form of a GUI event handler before it is cast for connecting.
typedef void (wxEvtHandler::*gui_event_function)(i_gui_event&);

}  // namespace kiv

// The handler form the connecting functions take (wxObjectEventFunction)
// made from a member function taking i_gui_event&.
#define kiv_gui_event_handler(func) wxEVENT_HANDLER_CAST(kiv::gui_event_function, func)

// Returns: the GUI event interface of `obj`, or null for null or an
//     object that is no GUI event. No reference is added.
KIV_EXTERN_C kiv::i_gui_event* kiv_cast_i_gui_event(kiv::i_object* obj);

#endif
