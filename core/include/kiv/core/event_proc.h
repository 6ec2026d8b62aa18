// event_proc.h --
//
//     The event service object, registered by the core's library entry as
//     "svc_event". A queued event fired while the queue is empty goes to
//     an idle pool worker at once, from the firing thread, when one is
//     free and fewer such workers than CPUs are busy; that worker then
//     delivers the events queued behind it, first in, first out, until
//     the queue is empty. Otherwise the event waits in the queue. The
//     queue thread starts one more such worker when none drains the
//     queue, or when one has been busy with a single event so long that
//     it may block; when the pool has no worker free it waits for one
//     (kiv_bg_thread) and hands it that event alone. Once handed over,
//     events run concurrently.
//
//     Locks: the type-name lock, the handler lock (the handler table and
//     the callbacks under way) and the queue lock. None of them is held
//     while a callback runs or while an object is released, so callbacks
//     may fire events, install and uninstall handlers freely.

#ifndef KIV_CORE_EVENT_PROC_H
#define KIV_CORE_EVENT_PROC_H

#include <kiv/core/i_event_proc.h>
#include <kiv/core/string_impl.h>
#include <kiv/core/threads.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <thread>
#include <vector>

namespace kiv {

class KIV_EXPORT event_proc : public object,
                              public thread_creator,
                              public i_named_object_impl,
                              public virtual i_event_proc {
public:
    // Name "event_proc"; starts the queue thread (which fails, with a log
    // line, before the core's library entry permits threads: queued
    // events then wait until the service is destroyed).
    event_proc();
    // Stops the queue thread (waiting at most 60 s), then releases every
    // event still queued without delivering it. The last release stops
    // the thread first: when it does not stop in time the service is
    // left in memory (logged), since the thread still uses it.
    ~event_proc() override;

    // Answers "i_event_proc", "event_proc" and "i_named_object".
    bool get_interface(const char* name, void** out) override;

    uint32_t get_event_type(const char* event_type_string) override;
    void install_handler(uint32_t event_type, int64_t object_id, i_event_handler* handler,
                         kiv_event_function callback) override;
    void uninstall_handler(uint32_t event_type, int64_t object_id, i_event_handler* handler,
                           kiv_event_function callback) override;
    void fire_event(i_event* event, bool fire_immediately) override;

    // Delivers `event` on the calling thread: handlers of its type whose
    // object id is 0 or the event's id, newest first, each record once,
    // until one returns false or none is left. Nothing is called once the
    // core has stopped running.
    void dispatch(i_event* event);

    // Returns: the number of threads waiting in uninstall_handler for
    //     callbacks on other threads to return. For diagnostics and tests.
    unsigned uninstalls_waiting();

protected:
    bool last_reference_dropped() override;

private:
    struct handler_record {
        int64_t object_id;  // 0 matches every event
        uint32_t event_type;
        i_event_handler* handler;  // not owned
        kiv_event_function callback;
        bool operator==(const handler_record& other) const {
            return object_id == other.object_id && event_type == other.event_type && handler == other.handler &&
                   callback == other.callback;
        }
    };
    // A callback under way: whose and on which thread.
    struct call {
        i_event_handler* handler;
        std::thread::id thread;
    };
    // A thread waiting in uninstall_handler for the calls of `handler`.
    struct waiter {
        std::thread::id thread;
        i_event_handler* handler;
    };
    // The records one dispatch has called already: a few in place (most
    // events have one or two handlers), more on the heap.
    class called_records {
    public:
        bool contains(const handler_record& record) const;
        void add(const handler_record& record);

    private:
        static const unsigned in_place = 4;
        handler_record first_[in_place] = {};
        unsigned count_ = 0;                  // records in first_
        std::vector<handler_record> more_;    // the records after the first in_place
    };

    // Chooses the next record for one dispatch and notes the call.
    // Handler lock held.
    // Returns: false when none is left or the core stopped running.
    bool choose(uint32_t type, int64_t id, called_records& called, handler_record& chosen);
    // Ends the note of a call of `handler` on this thread. Handler lock held.
    void call_ended(i_event_handler* handler);
    // Whether a callback of `handler` runs on a thread other than `me`
    // that does not itself wait for `me`. Handler lock held.
    bool busy_elsewhere(i_event_handler* handler, std::thread::id me);
    // Whether thread `from` waits in an uninstall, directly or through
    // other waiting threads, for a callback running on thread `to`.
    // `seen` holds the threads already followed. Handler lock held.
    bool waits_for(std::thread::id from, std::thread::id to, std::vector<std::thread::id>& seen);

    // Asks the queue thread to stop and waits for it.
    // Returns: false when it did not stop within 60 s.
    bool stop_queue();
    // Returns: the name that has the id `type`, or the id in digits.
    std::string type_name(uint32_t type);
    void queue_loop(void* arg);
    // The pool task: `data` holds one i_event* with the queue's reference.
    static void deliver(bool running, void* data, unsigned size);
    // The pool task of a fired event that went to a worker at once: it
    // delivers the event, then the events queued behind it until the
    // queue is empty or the service stops.
    static void deliver_and_drain(bool running, void* data, unsigned size);
    // Whether a worker that drains the queue has been on one event for
    // drain_grace or longer at `now`. Queue lock held.
    bool drainer_held_up(std::chrono::steady_clock::time_point now) const;

    std::mutex types_lock_;
    std::deque<std::string> type_names_;                   // every name given an id; elements never move
    std::unordered_map<std::string_view, uint32_t> types_;  // name (in type_names_) -> id; guarded by types_lock_
    static const uint32_t first_type = 100000;  // the id of the first name
    uint32_t next_type_ = first_type;           // guarded by types_lock_

    std::mutex handlers_lock_;
    std::condition_variable calls_changed_;  // a call ended or a thread began waiting
    std::map<uint32_t, std::vector<handler_record>> handlers_;  // per type, oldest first
    std::vector<call> calls_;                                    // callbacks under way
    std::vector<waiter> waiting_;                                // threads waiting in uninstall_handler

    std::mutex queue_lock_;
    std::condition_variable queue_ready_;  // an event was queued or a stop asked
    // A queued event and when it was queued.
    struct queued {
        i_event* event;  // one reference
        std::chrono::steady_clock::time_point since;
    };
    std::deque<queued> queue_;             // guarded by queue_lock_
    // Workers that take queued events when done, each with when it took
    // its present event; guarded by queue_lock_.
    using drainer_list = std::list<std::chrono::steady_clock::time_point>;
    drainer_list drainers_;
    // What deliver_and_drain gets: the service (null from the queue
    // thread, which looks it up) and the event, with a reference each,
    // and the worker's note in drainers_.
    struct drain_task {
        event_proc* proc;
        i_event* event;
        drainer_list::iterator note;
    };
    size_t drainers_max_ = 1;  // the CPUs the process may run on
    bool stopping_ = false;                // the destructor began; guarded by queue_lock_
    bool queue_thread_ = false;            // the queue thread started; set by the constructor
};

}  // namespace kiv

#endif
