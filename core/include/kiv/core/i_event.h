// i_event.h --
//
//     Events: the small reference-counted messages through which the
//     components talk. An event has a numeric type (the id that the event
//     service "svc_event" hands out for a type name such as
//     "KIV_CORE_EVT_BG_TASK", from 100000 upwards; 0 means no type), a
//     64-bit id handlers may filter on (the socket events carry the local
//     port there) and an optional payload object.
//
//     Firing, handler installation and the type-name table are in
//     i_event_proc.h.

#ifndef KIV_CORE_I_EVENT_H
#define KIV_CORE_I_EVENT_H

#include <kiv/core/object.h>

#include <cstdint>

namespace kiv {

class i_event : public virtual i_object {
public:
    virtual int64_t get_event_id() = 0;
    // Returns: the type id; 0 when the event has no type.
    virtual uint32_t get_event_type() = 0;
    // Returns: the payload with one reference for the caller, who
    //     releases it; null when there is none.
    virtual i_object* get_event_object() = 0;

protected:
    ~i_event() = default;
};

// The event class every library fires and the GUI framework derives its
// GUI events from. Its fields are set by its creator before firing; once
// fired, handlers on several threads may read it at once, so it is not
// changed any more (the library loader re-types its load event only after
// the synchronous delivery has returned).
class KIV_EXPORT event : public object, public virtual i_event {
public:
    // No type, id 0, no payload.
    event();
    // Stores the three; adds a reference to `event_object` (null allowed).
    event(uint32_t event_type, int64_t event_id, i_object* event_object);
    // Resolves `event_type` through "svc_event". Without a core nothing
    // is kept (type, id and payload stay empty); with a core but without
    // the service the type is 0 and the id and payload are stored.
    event(const char* event_type, int64_t event_id, i_object* event_object);
    // A copy (for events that clone others): the same type, id and
    // payload (with a reference of its own), and a count of its own
    // starting at 0. Assignment takes the other's three the same way.
    event(const event& other);
    event& operator=(const event& other);
    // Releases the payload.
    ~event() override;

    // Answers "i_event".
    bool get_interface(const char* name, void** out) override;

    int64_t get_event_id() override { return event_id_; }
    uint32_t get_event_type() override { return event_type_; }
    i_object* get_event_object() override;

    // Re-types the event by name through "svc_event"; without a core or
    // the service the type stays as it was.
    void set_event_type(const char* event_type);
    void set_event_type_id(uint32_t event_type) { event_type_ = event_type; }
    void set_event_id(int64_t event_id) { event_id_ = event_id; }
    // Releases the old payload, stores `event_object` and adds a
    // reference to it (null allowed).
    void set_event_object(i_object* event_object);

protected:
    // Stores all three (for derived events built in steps); adds a
    // reference to the new payload and releases an old one.
    void init_event(uint32_t event_type, int64_t event_id, i_object* event_object);

private:
    uint32_t event_type_ = 0;          // 0: no type
    i_object* event_object_ = nullptr;  // one reference held; null: no payload
    int64_t event_id_ = 0;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_event* kiv_cast_i_event(kiv::i_object* obj);

#endif
