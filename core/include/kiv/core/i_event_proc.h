// i_event_proc.h --
//
//     The event service "svc_event" and the flat functions that are the
//     usual way to reach it. The service hands out type ids for type
//     names, keeps the installed handlers per type and delivers events
//     either at once on the caller's thread or through its queue, whose
//     thread hands each event to a worker of the background pool.
//
//     Handlers: any object (every object is an i_event_handler) with a
//     callback, a member function of i_event_handler taking the event and
//     returning false to stop the delivery to the remaining handlers. A
//     handler installed with object id 0 receives every event of its
//     type, one installed with another id only events carrying that id.
//     The newest handler is called first. The service holds no reference
//     on a handler: a handler uninstalls itself before it dies, and once
//     the uninstall has returned none of its callbacks runs or will run.
//
//         kiv_install_handler("KIV_CORE_EVT_BG_TASK", 0, this,
//                             static_cast<kiv_event_function>(&my_service::on_tick));
//         ...
//         kiv_uninstall_handler("KIV_CORE_EVT_BG_TASK", 0, this,
//                               static_cast<kiv_event_function>(&my_service::on_tick));

#ifndef KIV_CORE_I_EVENT_PROC_H
#define KIV_CORE_I_EVENT_PROC_H

#include <kiv/core/i_event.h>

#include <cstdint>

namespace kiv {

class event_proc;

class i_event_proc : public virtual i_object {
public:
    // Returns: the id of the type name (exact, case-sensitive); a name
    //     seen for the first time gets the next id (100000, 100001, ...).
    //     0 for a null or empty name. Ids live as long as the service.
    //     Any thread.
    virtual uint32_t get_event_type(const char* event_type_string) = 0;
    // Adds a handler record; it takes part in every delivery that chooses
    // its next handler from now on, including one under way. Duplicates
    // are kept (each needs its own uninstall). Ignored for a null handler
    // or type 0. Any thread.
    virtual void install_handler(uint32_t event_type, int64_t object_id, i_event_handler* handler,
                                 kiv_event_function callback) = 0;
    // Removes the first record equal to the four arguments (none: no
    // change); later deliveries no longer see it. Then waits until every
    // callback of `handler` already running on another thread has
    // returned, so the handler may be destroyed afterwards. No wait for
    // a callback of it on this thread (a handler may uninstall itself
    // from its own callback), nor for one on a thread that is itself
    // waiting in an uninstall, directly or through others, for this
    // thread: such a cycle (callbacks uninstalling each other's handlers)
    // would wait for ever, so it is broken and the callbacks in it may
    // still run. A callback must not otherwise wait for a thread that is
    // uninstalling its handler (say, on a lock the uninstalling thread
    // holds): the wait has no bound, and logs "still waiting for a
    // handler of" the event's name every 5 s so such a hang can be found.
    // Ignored for a null handler or type 0. Any thread.
    virtual void uninstall_handler(uint32_t event_type, int64_t object_id, i_event_handler* handler,
                                   kiv_event_function callback) = 0;
    // Delivers `event` on the calling thread before returning
    // (`fire_immediately`), or queues it for a pool worker with a
    // reference the queue holds. Null is ignored. Any thread.
    virtual void fire_event(i_event* event, bool fire_immediately) = 0;

protected:
    ~i_event_proc() = default;
};

}  // namespace kiv

// Fires `evt` through "svc_event" (see i_event_proc::fire_event). A null
// event does nothing; without a core or the service the event is only
// referenced and released again (a new event with count 0 is then
// destroyed).
KIV_EXTERN_C void kiv_fire_event(kiv::i_event* evt, bool fire_immediately);
// Creates an event of the named type with `event_id` and `event_object`
// (a reference is added to it) and fires it. Returns at once without a
// core. A queued event lives on in the queue's reference.
KIV_EXTERN_C void kiv_generate_event(const char* event_type, int64_t event_id, kiv::i_object* event_object,
                                     bool fire_immediately);
// Installs / uninstalls a handler by type name (see i_event_proc). They
// do nothing without a core or the service.
KIV_EXTERN_C void kiv_install_handler(const char* event_type, int64_t object_id, kiv::i_event_handler* handler,
                                      kiv::kiv_event_function callback);
KIV_EXTERN_C void kiv_uninstall_handler(const char* event_type, int64_t object_id,
                                        kiv::i_event_handler* handler, kiv::kiv_event_function callback);

KIV_EXTERN_C kiv::i_event_proc* kiv_cast_i_event_proc(kiv::i_object* obj);
// Returns: the event service object behind `obj` ("event_proc"), or null
//     (its class is in <kiv/core/event_proc.h>). No reference is added.
KIV_EXTERN_C kiv::event_proc* kiv_cast_event_proc(kiv::i_object* obj);

#endif
