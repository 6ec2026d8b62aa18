// event_proc.cpp --
//
//     The event service: type ids, the handler table, synchronous
//     dispatch, the queue and its thread, and the pool task that delivers
//     a queued event.
//
//     Handler changes take effect at once. An uninstall also waits for
//     callbacks of the handler still running on other threads, which is
//     what lets a handler uninstall itself in its destructor and die:
//     a dispatch notes each call under the handler lock when it chooses
//     the record, so no call can start after the record is gone and no
//     call already chosen goes unseen.

#include <kiv/core/event_proc.h>

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/log.h>
#include <kiv/core/process.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string_view>

namespace kiv {

namespace {

// How long the queue thread sleeps at most when nothing wakes it: the
// bound within which it notices that the core stopped running.
const auto queue_idle_wait = std::chrono::milliseconds(50);
// A worker that drains the queue and has been on one event this long may
// be blocked in its handler: once an event has waited as long too, the
// queue thread starts one more draining worker. While workers drain, the
// queue thread looks this often.
const auto drain_grace = std::chrono::milliseconds(10);
const unsigned queue_stop_seconds = 60;
// How often an uninstall that still waits for a running callback says so:
// a wait that never ends (a callback blocked on a lock the uninstalling
// thread holds) shows up in the log.
const auto still_waiting_period = std::chrono::seconds(5);

}  // namespace

// As many workers as the process may use CPUs drain the queue at once.
event_proc::event_proc() : drainers_max_(kiv_usable_cpus()) {
    set_name("event_proc");
    queue_thread_ = create_thread(this, static_cast<thread_function>(&event_proc::queue_loop), nullptr);
    if (!queue_thread_)
        kiv_log(0, "event_proc: the queue thread did not start; queued events will not be delivered");
}

event_proc::~event_proc() {
    kiv_trace("event_proc::~event_proc()");
    stop_queue();
    std::deque<queued> left;
    {
        std::lock_guard<std::mutex> lock(queue_lock_);
        left.swap(queue_);
    }
    for (const queued& q : left)
        q.event->release();
}

bool event_proc::stop_queue() {
    {
        std::lock_guard<std::mutex> lock(queue_lock_);
        stopping_ = true;
    }
    queue_ready_.notify_all();
    return stop_threads(queue_stop_seconds);
}

bool event_proc::last_reference_dropped() {
    if (stop_queue())
        return true;
    kiv_log(0, "event_proc: the queue thread did not stop in %u s; the event service is left in memory",
            queue_stop_seconds);
    return false;
}

bool event_proc::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_event_proc", static_cast<i_event_proc*>(this), out) ||
        answer_interface(name, "event_proc", this, out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

uint32_t event_proc::get_event_type(const char* event_type_string) {
    // An empty name names no event: like a null one it gets 0 (no type),
    // and handlers installed under it are ignored.
    if (event_type_string == nullptr || *event_type_string == '\0')
        return 0;
    std::lock_guard<std::mutex> lock(types_lock_);
    // Looked up first: a known name (nearly every call) costs no node.
    std::string_view name(event_type_string);
    auto known = types_.find(name);
    if (known != types_.end())
        return known->second;
    type_names_.emplace_back(name);
    types_.emplace(std::string_view(type_names_.back()), next_type_);
    return next_type_++;
}

std::string event_proc::type_name(uint32_t type) {
    std::lock_guard<std::mutex> lock(types_lock_);
    // Ids are handed out in the order of the names' list.
    if (type >= first_type && type - first_type < type_names_.size())
        return type_names_[type - first_type];
    return std::to_string(type);
}

void event_proc::install_handler(uint32_t event_type, int64_t object_id, i_event_handler* handler,
                                 kiv_event_function callback) {
    if (handler == nullptr || event_type == 0)
        return;
    std::lock_guard<std::mutex> lock(handlers_lock_);
    handlers_[event_type].push_back({object_id, event_type, handler, callback});
}

void event_proc::uninstall_handler(uint32_t event_type, int64_t object_id, i_event_handler* handler,
                                   kiv_event_function callback) {
    if (handler == nullptr || event_type == 0)
        return;
    const handler_record record{object_id, event_type, handler, callback};
    std::thread::id me = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(handlers_lock_);
    auto list = handlers_.find(event_type);
    if (list != handlers_.end()) {
        auto it = std::find(list->second.begin(), list->second.end(), record);
        if (it != list->second.end())
            list->second.erase(it);
    }
    if (!busy_elsewhere(handler, me))
        return;
    waiting_.push_back({me, handler});
    calls_changed_.notify_all();  // a thread waiting for us may now see a cycle
    while (!calls_changed_.wait_for(lock, still_waiting_period, [&] { return !busy_elsewhere(handler, me); })) {
        lock.unlock();
        kiv_log(0, "event_proc: still waiting for a handler of %s", type_name(event_type).c_str());
        lock.lock();
    }
    for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
        if (it->thread == me) {
            waiting_.erase(it);
            break;
        }
    }
    calls_changed_.notify_all();
}

bool event_proc::busy_elsewhere(i_event_handler* handler, std::thread::id me) {
    std::vector<std::thread::id> seen;
    for (const call& c : calls_)
        if (c.handler == handler && c.thread != me && !waits_for(c.thread, me, seen))
            return true;
    return false;
}

bool event_proc::waits_for(std::thread::id from, std::thread::id to, std::vector<std::thread::id>& seen) {
    if (std::find(seen.begin(), seen.end(), from) != seen.end())
        return false;
    seen.push_back(from);
    for (const waiter& w : waiting_) {
        if (w.thread != from)
            continue;
        for (const call& c : calls_)
            if (c.handler == w.handler && c.thread != from && (c.thread == to || waits_for(c.thread, to, seen)))
                return true;
    }
    return false;
}

unsigned event_proc::uninstalls_waiting() {
    std::lock_guard<std::mutex> lock(handlers_lock_);
    return static_cast<unsigned>(waiting_.size());
}

void event_proc::fire_event(i_event* evt, bool fire_immediately) {
    if (evt == nullptr)
        return;
    evt->addref();
    auto_ptr_t<i_event> hold(evt);  // released also when a handler throws
    if (fire_immediately) {
        dispatch(evt);
    } else {
        evt->addref();  // the queue's reference, handed on with the event
        // An event fired while the queue is empty goes to an idle worker
        // at once, and that worker then delivers the events queued behind
        // it before it returns to the pool. While one such worker per CPU
        // is busy, a new event waits in the queue for the first of them,
        // so a steady stream of events costs no wake-up of a thread each
        // and runs no more handlers at once than there are CPUs. Behind
        // events already waiting an event waits too, to keep their order.
        // A service whose queue thread never started keeps its events, as
        // its queue does.
        bool direct = false;
        bool notify = false;
        auto now = std::chrono::steady_clock::now();
        drainer_list::iterator note;
        {
            std::lock_guard<std::mutex> lock(queue_lock_);
            if (queue_.empty() && !stopping_ && queue_thread_ && drainers_.size() < drainers_max_) {
                direct = true;
                note = drainers_.insert(drainers_.end(), now);
            } else {
                queue_.push_back({evt, now});
                notify = drainers_.empty();
            }
        }
        if (direct) {
            addref();  // the drainer's
            drain_task task{this, evt, note};
            if (kiv_bg_thread_try(&event_proc::deliver_and_drain, &task, sizeof task))
                return;
            release();
            std::lock_guard<std::mutex> lock(queue_lock_);
            drainers_.erase(note);
            queue_.push_back({evt, now});
            notify = true;
        }
        if (notify)
            queue_ready_.notify_one();
    }
}

bool event_proc::called_records::contains(const handler_record& record) const {
    return std::find(first_, first_ + count_, record) != first_ + count_ ||
           std::find(more_.begin(), more_.end(), record) != more_.end();
}

void event_proc::called_records::add(const handler_record& record) {
    if (count_ < in_place)
        first_[count_++] = record;
    else
        more_.push_back(record);
}

bool event_proc::choose(uint32_t type, int64_t id, called_records& called, handler_record& chosen) {
    auto list = handlers_.find(type);
    if (list == handlers_.end())
        return false;
    const std::vector<handler_record>& records = list->second;
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        if (it->object_id != 0 && it->object_id != id)
            continue;
        if (called.contains(*it))
            continue;
        if (!kiv_is_running())
            return false;
        chosen = *it;
        called.add(chosen);
        calls_.push_back({chosen.handler, std::this_thread::get_id()});
        return true;
    }
    return false;
}

void event_proc::call_ended(i_event_handler* handler) {
    std::thread::id me = std::this_thread::get_id();
    // The newest note of this thread for this handler is the one that
    // ended (nested dispatches end innermost first).
    for (auto it = calls_.rbegin(); it != calls_.rend(); ++it) {
        if (it->handler == handler && it->thread == me) {
            calls_.erase(std::next(it).base());
            break;
        }
    }
    // Only threads waiting in an uninstall wait for calls to end.
    if (!waiting_.empty())
        calls_changed_.notify_all();
}

void event_proc::dispatch(i_event* evt) {
    if (evt == nullptr)
        return;
    called_records called;
    handler_record chosen{};
    uint32_t type = evt->get_event_type();
    int64_t id = evt->get_event_id();
    // The end of one call and the choice of the next share one hold of
    // the handler lock.
    std::unique_lock<std::mutex> lock(handlers_lock_);
    while (choose(type, id, called, chosen)) {
        lock.unlock();
        bool go_on;
        try {
            go_on = (chosen.handler->*chosen.callback)(evt);
        } catch (...) {
            lock.lock();
            call_ended(chosen.handler);
            throw;
        }
        type = evt->get_event_type();
        id = evt->get_event_id();
        lock.lock();
        call_ended(chosen.handler);
        if (!go_on)
            return;
    }
}

bool event_proc::drainer_held_up(std::chrono::steady_clock::time_point now) const {
    for (const auto& since : drainers_)
        if (since + drain_grace <= now)
            return true;
    return false;
}

void event_proc::queue_loop(void*) {
    std::unique_lock<std::mutex> lock(queue_lock_);
    while (!stopping_ && thread_running() && kiv_is_running()) {
        if (queue_.empty()) {
            queue_ready_.wait_for(lock, drainers_.empty() ? queue_idle_wait : drain_grace);
            continue;
        }
        // Workers that drain the queue take the event in turn, unless one
        // of them seems to block in a handler; then one more worker
        // drains it, beside those held up.
        auto now = std::chrono::steady_clock::now();
        if (!drainers_.empty() && (queue_.front().since + drain_grace > now || !drainer_held_up(now))) {
            queue_ready_.wait_for(lock, drain_grace);
            continue;
        }
        i_event* evt = queue_.front().event;
        queue_.pop_front();
        drainer_list::iterator note = drainers_.insert(drainers_.end(), now);
        lock.unlock();
        // The drainer looks the service up itself: this thread must not
        // end up holding the last reference, whose release stops it.
        drain_task task{nullptr, evt, note};
        if (!kiv_bg_thread_try(&event_proc::deliver_and_drain, &task, sizeof task)) {
            // No worker is free: this one waits for one, as long as the
            // pool lets it, and delivers this event only.
            lock.lock();
            drainers_.erase(note);
            lock.unlock();
            kiv_bg_thread(&event_proc::deliver, &evt, sizeof evt);
        }
        lock.lock();
    }
}

void event_proc::deliver(bool running, void* data, unsigned size) {
    if (data == nullptr || size != sizeof(i_event*))
        return;
    i_event* evt;
    std::memcpy(&evt, data, sizeof evt);
    if (evt == nullptr)
        return;
    // Not delivered when the pool could not take it (running false): the
    // task then runs on the queue thread itself, which must not end up
    // holding the service's last reference.
    if (running) {
        auto_ptr_t<i_object> service(find_service("svc_event"));
        event_proc* proc = kiv_cast_event_proc(service);
        if (proc != nullptr)
            proc->dispatch(evt);
    }
    evt->release();
}

void event_proc::deliver_and_drain(bool running, void* data, unsigned size) {
    if (data == nullptr || size != sizeof(drain_task))
        return;
    drain_task task;
    std::memcpy(&task, data, sizeof task);
    // The task never runs on the firing thread (kiv_bg_thread_try), so
    // the service's last reference may go here. One the queue thread
    // started comes without one.
    auto_ptr_t<i_object> service(task.proc);
    if (task.proc == nullptr)
        service.reset(find_service("svc_event"));
    event_proc* proc = kiv_cast_event_proc(service);
    if (proc == nullptr) {
        // The service is going: its queue and notes go with it.
        task.event->release();
        return;
    }
    // The turn as a drainer ends when the queue is empty, the service
    // stops, or a handler throws.
    struct turn {
        event_proc* proc;
        drainer_list::iterator note;
        bool ended = false;
        ~turn() {
            if (ended)
                return;
            std::lock_guard<std::mutex> lock(proc->queue_lock_);
            proc->drainers_.erase(note);
        }
    } drainer{proc, task.note};
    i_event* evt = task.event;
    if (running) {
        auto_ptr_t<i_event> held(evt);  // the queue's reference
        proc->dispatch(evt);
    } else {
        evt->release();
    }
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(proc->queue_lock_);
            if (proc->queue_.empty() || proc->stopping_ || !kiv_is_running()) {
                proc->drainers_.erase(task.note);
                drainer.ended = true;
                return;
            }
            evt = proc->queue_.front().event;
            proc->queue_.pop_front();
            *task.note = std::chrono::steady_clock::now();
        }
        auto_ptr_t<i_event> held(evt);
        proc->dispatch(evt);
    }
}

}  // namespace kiv
