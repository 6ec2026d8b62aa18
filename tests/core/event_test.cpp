// event_test.cpp --
//
//     The event service: type ids, the order in which handlers are
//     called, handlers added and removed during a delivery, queued
//     delivery on pool workers, and uninstalls that race deliveries on
//     other threads (a handler may die once its uninstall has returned,
//     and a wait that goes on is logged).

#include <kiv/core/auto_ptr.h>
#include <kiv/core/event_proc.h>
#include <kiv/core/i_core.h>
#include <kiv/core/log.h>
#include <kiv/core/string_impl.h>
#include <kiv_test/core_hooks.h>

#include "core_session.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <map>
#include <functional>
#include <future>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace kiv;
using kiv_test::core_session;
using kiv_test::eventually;

namespace {

// The calls handlers saw, in order.
struct journal {
    std::mutex lock;
    std::vector<std::string> calls;
    void add(const std::string& call) {
        std::lock_guard<std::mutex> guard(lock);
        calls.push_back(call);
    }
    std::vector<std::string> take() {
        std::lock_guard<std::mutex> guard(lock);
        std::vector<std::string> out;
        out.swap(calls);
        return out;
    }
};

// A handler that notes its name, runs an optional hook and returns a
// chosen answer.
class probe : public object {
public:
    probe(const char* name, journal* j, bool answer = true) : name_(name), journal_(j), answer_(answer) {}
    bool on_event(i_event* evt) {
        journal_->add(name_);
        if (hook)
            hook(evt);
        return answer_;
    }
    static kiv_event_function callback() { return static_cast<kiv_event_function>(&probe::on_event); }
    void install(const char* type, int64_t id = 0) { kiv_install_handler(type, id, this, callback()); }
    void uninstall(const char* type, int64_t id = 0) { kiv_uninstall_handler(type, id, this, callback()); }

    std::function<void(i_event*)> hook;  // run inside the callback; empty: none

private:
    std::string name_;
    journal* journal_;
    bool answer_;
};

auto_ptr_t<i_object> event_service() {
    return auto_ptr_t<i_object>(kiv_core()->get_service("svc_event"));
}

uint32_t type_of(const char* name) {
    return kiv_cast_i_event_proc(event_service())->get_event_type(name);
}

// A payload that counts its live instances.
std::atomic<int> payloads_alive{0};
class payload : public object {
public:
    payload() { payloads_alive.fetch_add(1); }
    ~payload() override { payloads_alive.fetch_sub(1); }
};

}  // namespace

TEST(event_types, ids_start_at_100000_are_stable_and_names_are_exact) {
    core_session session;
    auto_ptr_t<event_proc> fresh(new event_proc);
    fresh->addref();
    EXPECT_EQ(fresh->get_event_type("KIV_EVT_A"), 100000u);
    EXPECT_EQ(fresh->get_event_type("KIV_EVT_A"), 100000u);
    EXPECT_EQ(fresh->get_event_type("KIV_EVT_B"), 100001u);
    EXPECT_EQ(fresh->get_event_type("kiv_evt_a"), 100002u);
    EXPECT_EQ(fresh->get_event_type(nullptr), 0u);
    // An empty name names no event.
    EXPECT_EQ(fresh->get_event_type(""), 0u);
    EXPECT_EQ(fresh->get_event_type("KIV_EVT_C"), 100003u);
    EXPECT_STREQ(fresh->get_name(), "event_proc");
    EXPECT_EQ(kiv_cast_event_proc(fresh.get()), fresh.get());
    EXPECT_NE(kiv_cast_i_event_proc(fresh.get()), nullptr);
    EXPECT_NE(kiv_cast_i_named_object(fresh.get()), nullptr);
}

TEST(event_objects, events_hold_their_payload_and_resolve_names_through_the_service) {
    auto_ptr_t<payload> data(new payload);
    data->addref();
    {
        // Without a core nothing is kept.
        event orphan("KIV_EVT_X", 7, data.get());
        EXPECT_EQ(orphan.get_event_type(), 0u);
        EXPECT_EQ(orphan.get_event_id(), 0);
        EXPECT_EQ(orphan.get_event_object(), nullptr);
    }
    {
        core_session session(false);  // a core without the event service
        event untyped("KIV_EVT_X", 7, data.get());
        EXPECT_EQ(untyped.get_event_type(), 0u);
        EXPECT_EQ(untyped.get_event_id(), 7);
        EXPECT_EQ(data->get_ref_count(), 2);
        untyped.set_event_type("KIV_EVT_Y");  // no service: unchanged
        EXPECT_EQ(untyped.get_event_type(), 0u);
    }
    core_session session;
    {
        event typed("KIV_EVT_X", 7, data.get());
        EXPECT_EQ(typed.get_event_type(), type_of("KIV_EVT_X"));
        i_object* got = typed.get_event_object();
        EXPECT_EQ(got, static_cast<i_object*>(data.get()));
        EXPECT_EQ(data->get_ref_count(), 3);  // ours, the event's, the getter's
        got->release();
        typed.set_event_type("KIV_EVT_Y");
        EXPECT_EQ(typed.get_event_type(), type_of("KIV_EVT_Y"));
        typed.set_event_object(nullptr);
        EXPECT_EQ(data->get_ref_count(), 1);
        EXPECT_NE(kiv_cast_i_event(&typed), nullptr);
    }
    EXPECT_EQ(data->get_ref_count(), 1);
}

TEST(event_objects, a_copy_has_its_own_count_and_its_own_reference_to_the_payload) {
    auto_ptr_t<payload> data(new payload);
    data->addref();
    core_session session;
    event* original = new event("KIV_EVT_X", 7, data.get());
    original->addref();
    original->addref();
    {
        event copy(*original);
        EXPECT_EQ(copy.get_ref_count(), 0);
        EXPECT_EQ(copy.get_event_type(), type_of("KIV_EVT_X"));
        EXPECT_EQ(copy.get_event_id(), 7);
        EXPECT_EQ(data->get_ref_count(), 3);
        original->release();
        original->release();  // the original goes; the copy keeps its payload
        EXPECT_EQ(data->get_ref_count(), 2);
        auto_ptr_t<i_object> got(copy.get_event_object());
        EXPECT_EQ(got.get(), static_cast<i_object*>(data.get()));

        event assigned;
        assigned = copy;  // counts are never assigned
        EXPECT_EQ(assigned.get_ref_count(), 0);
        EXPECT_EQ(assigned.get_event_id(), 7);
        EXPECT_EQ(data->get_ref_count(), 4);
    }
    EXPECT_EQ(data->get_ref_count(), 1);
}

TEST(event_handlers, object_id_zero_receives_every_event_and_others_only_their_own) {
    core_session session;
    journal j;
    probe all("all", &j);
    probe five("five", &j);
    all.install("KIV_EVT_ID");
    five.install("KIV_EVT_ID", 5);
    kiv_generate_event("KIV_EVT_ID", 4, nullptr, true);
    EXPECT_EQ(j.take(), std::vector<std::string>{"all"});
    kiv_generate_event("KIV_EVT_ID", 5, nullptr, true);
    EXPECT_EQ(j.take(), (std::vector<std::string>{"five", "all"}));
    kiv_generate_event("KIV_EVT_OTHER", 5, nullptr, true);
    EXPECT_TRUE(j.take().empty());
    all.uninstall("KIV_EVT_ID");
    five.uninstall("KIV_EVT_ID", 5);
}

TEST(event_handlers, the_newest_runs_first_and_false_stops_the_rest) {
    core_session session;
    journal j;
    probe a("A", &j);
    probe b("B", &j, false);
    probe c("C", &j);
    a.install("KIV_EVT_ORDER");
    b.install("KIV_EVT_ORDER");
    c.install("KIV_EVT_ORDER");
    kiv_generate_event("KIV_EVT_ORDER", 0, nullptr, true);
    EXPECT_EQ(j.take(), (std::vector<std::string>{"C", "B"}));
    b.uninstall("KIV_EVT_ORDER");
    kiv_generate_event("KIV_EVT_ORDER", 0, nullptr, true);
    EXPECT_EQ(j.take(), (std::vector<std::string>{"C", "A"}));
    a.uninstall("KIV_EVT_ORDER");
    c.uninstall("KIV_EVT_ORDER");
}

TEST(event_handlers, handlers_added_and_removed_during_a_delivery_count_for_that_delivery) {
    core_session session;
    journal j;
    probe a("A", &j);
    probe b("B", &j);
    probe c("C", &j);
    probe d("D", &j);
    // C, the newest, removes B before B's turn and adds D, which is then
    // the newest record not yet called.
    c.hook = [&](i_event*) {
        b.uninstall("KIV_EVT_CHANGE");
        d.install("KIV_EVT_CHANGE");
    };
    a.install("KIV_EVT_CHANGE");
    b.install("KIV_EVT_CHANGE");
    c.install("KIV_EVT_CHANGE");
    kiv_generate_event("KIV_EVT_CHANGE", 0, nullptr, true);
    EXPECT_EQ(j.take(), (std::vector<std::string>{"C", "D", "A"}));
    c.hook = nullptr;
    for (probe* p : {&a, &c, &d})
        p->uninstall("KIV_EVT_CHANGE");
}

TEST(event_handlers, callbacks_may_fire_nested_events_on_their_own_thread) {
    core_session session;
    journal j;
    probe outer("outer", &j);
    probe inner("inner", &j);
    std::thread::id here = std::this_thread::get_id();
    bool same_thread = false;
    outer.hook = [&](i_event*) { kiv_generate_event("KIV_EVT_INNER", 0, nullptr, true); };
    inner.hook = [&](i_event*) { same_thread = std::this_thread::get_id() == here; };
    outer.install("KIV_EVT_OUTER");
    inner.install("KIV_EVT_INNER");
    kiv_generate_event("KIV_EVT_OUTER", 0, nullptr, true);
    EXPECT_EQ(j.take(), (std::vector<std::string>{"outer", "inner"}));
    EXPECT_TRUE(same_thread);
    outer.uninstall("KIV_EVT_OUTER");
    inner.uninstall("KIV_EVT_INNER");
}

TEST(event_handlers, a_record_installed_twice_runs_once_per_event_and_needs_two_uninstalls) {
    core_session session;
    journal j;
    probe twice("twice", &j);
    twice.install("KIV_EVT_TWICE");
    twice.install("KIV_EVT_TWICE");
    kiv_generate_event("KIV_EVT_TWICE", 0, nullptr, true);
    EXPECT_EQ(j.take(), std::vector<std::string>{"twice"});
    twice.uninstall("KIV_EVT_TWICE");
    kiv_generate_event("KIV_EVT_TWICE", 0, nullptr, true);
    EXPECT_EQ(j.take(), std::vector<std::string>{"twice"});
    twice.uninstall("KIV_EVT_TWICE");
    kiv_generate_event("KIV_EVT_TWICE", 0, nullptr, true);
    EXPECT_TRUE(j.take().empty());
}

TEST(event_handlers, changes_take_effect_at_once_and_the_latest_one_wins) {
    core_session session;
    journal j;
    probe p("p", &j);
    p.install("KIV_EVT_ONCE");
    p.uninstall("KIV_EVT_ONCE");
    kiv_generate_event("KIV_EVT_ONCE", 0, nullptr, true);
    EXPECT_TRUE(j.take().empty());
    // Removing what is not installed changes nothing, so a later install
    // stands.
    p.uninstall("KIV_EVT_ONCE");
    p.install("KIV_EVT_ONCE");
    kiv_generate_event("KIV_EVT_ONCE", 0, nullptr, true);
    EXPECT_EQ(j.take(), std::vector<std::string>{"p"});
    p.uninstall("KIV_EVT_ONCE");
    // An uninstall must match the object id and the callback too.
    p.install("KIV_EVT_ONCE", 3);
    p.uninstall("KIV_EVT_ONCE", 4);
    kiv_generate_event("KIV_EVT_ONCE", 3, nullptr, true);
    EXPECT_EQ(j.take(), std::vector<std::string>{"p"});
    p.uninstall("KIV_EVT_ONCE", 3);
}

TEST(event_handlers, null_handlers_null_names_and_null_events_are_ignored) {
    core_session session;
    journal j;
    probe p("p", &j);
    kiv_install_handler("KIV_EVT_NULL", 0, nullptr, probe::callback());
    kiv_install_handler(nullptr, 0, &p, probe::callback());
    kiv_fire_event(nullptr, true);
    kiv_generate_event(nullptr, 0, nullptr, true);
    kiv_generate_event("KIV_EVT_NULL", 0, nullptr, true);
    EXPECT_TRUE(j.take().empty());
    kiv_uninstall_handler(nullptr, 0, &p, probe::callback());
}

TEST(event_delivery, without_a_core_or_service_an_event_is_only_referenced_and_released) {
    auto_ptr_t<payload> data(new payload);
    data->addref();
    auto_ptr_t<event> evt(new event(1u, 2, data.get()));
    evt->addref();
    kiv_fire_event(evt.get(), true);
    kiv_generate_event("KIV_EVT_NONE", 0, data.get(), false);
    EXPECT_EQ(evt->get_ref_count(), 1);
    EXPECT_EQ(data->get_ref_count(), 2);
    core_session session(false);
    kiv_fire_event(evt.get(), false);
    EXPECT_EQ(evt->get_ref_count(), 1);
}

TEST(event_delivery, a_queued_event_reaches_its_handler_on_a_pool_worker_after_the_caller_returned) {
    core_session session;
    journal j;
    probe p("queued", &j);
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::promise<void> done;
    std::thread::id worker;
    uint32_t seen_type = 0;
    int64_t seen_id = 0;
    i_object* seen_object = nullptr;
    p.hook = [&](i_event* evt) {
        opened.wait();
        worker = std::this_thread::get_id();
        seen_type = evt->get_event_type();
        seen_id = evt->get_event_id();
        seen_object = evt->get_event_object();
        done.set_value();
    };
    p.install("KIV_EVT_QUEUED", 42);
    auto_ptr_t<payload> data(new payload);
    data->addref();
    // The handler is held at the gate, so returning here proves the
    // caller did not wait for it.
    kiv_generate_event("KIV_EVT_QUEUED", 42, data.get(), false);
    gate.set_value();
    done.get_future().wait();
    EXPECT_NE(worker, std::this_thread::get_id());
    EXPECT_EQ(seen_type, type_of("KIV_EVT_QUEUED"));
    EXPECT_EQ(seen_id, 42);
    EXPECT_EQ(seen_object, static_cast<i_object*>(data.get()));
    seen_object->release();
    p.uninstall("KIV_EVT_QUEUED", 42);
    // The queue's reference goes once the delivery is over.
    eventually([&] { return data->get_ref_count() == 1; });
}

TEST(event_delivery, queued_events_whose_handlers_wait_for_each_other_all_run_however_many_cpus) {
    // More events than CPUs, each held in its handler until all have
    // started: the queue's drainers block, and the events behind them
    // must still reach workers of their own. A stream of quick events
    // fired meanwhile in a burst arrives whole as well.
    core_session session;
    const int count = static_cast<int>(2 * std::max(1u, std::thread::hardware_concurrency()) + 2);
    journal j;
    probe p("waiting", &j);
    std::mutex lock;
    std::condition_variable changed;
    int started = 0;
    p.hook = [&](i_event*) {
        std::unique_lock<std::mutex> guard(lock);
        ++started;
        changed.notify_all();
        changed.wait(guard, [&] { return started >= count; });
    };
    p.install("KIV_EVT_WAIT_EACH_OTHER");
    probe quick("quick", &j);
    quick.install("KIV_EVT_QUICK");
    for (int i = 0; i < count; ++i)
        kiv_generate_event("KIV_EVT_WAIT_EACH_OTHER", i, nullptr, false);
    for (int i = 0; i < 1000; ++i)
        kiv_generate_event("KIV_EVT_QUICK", i, nullptr, false);
    {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return started >= count; });
    }
    std::map<std::string, int> seen;
    eventually([&] {
        for (const std::string& call : j.take())
            ++seen[call];
        return seen["quick"] >= 1000 && seen["waiting"] >= count;
    });
    p.uninstall("KIV_EVT_WAIT_EACH_OTHER");
    quick.uninstall("KIV_EVT_QUICK");
    EXPECT_EQ(seen["waiting"], count);
    EXPECT_EQ(seen["quick"], 1000);
}

TEST(event_delivery, queued_events_wait_for_a_worker_when_the_pool_is_full_and_all_arrive_once_one_frees) {
    kiv_set_env("KIV_MAX_THREADS_COUNT", "16");
    core_session session;
    kiv_set_env("KIV_MAX_THREADS_COUNT", nullptr);
    journal j;
    probe p("queued", &j);
    std::set<std::thread::id> workers;
    std::mutex workers_lock;
    p.hook = [&](i_event*) {
        std::lock_guard<std::mutex> guard(workers_lock);
        workers.insert(std::this_thread::get_id());
    };
    p.install("KIV_EVT_QUEUED_FULL");
    // Every worker the limit allows waits at the gate.
    static std::promise<void> gate;
    static std::shared_future<void> opened;
    gate = std::promise<void>();
    opened = gate.get_future().share();
    auto hold = [](bool, void*, unsigned) { opened.wait(); };
    int held = 0;
    while (kiv_bg_thread_try(hold, nullptr, 0))
        ++held;
    ASSERT_GT(held, 0);
    for (int i = 0; i < 3; ++i)
        kiv_generate_event("KIV_EVT_QUEUED_FULL", i, nullptr, false);
    EXPECT_TRUE(j.take().empty());  // no worker was free for them
    gate.set_value();
    std::vector<std::string> seen;
    eventually([&] {
        std::vector<std::string> more = j.take();
        seen.insert(seen.end(), more.begin(), more.end());
        return seen.size() >= 3;
    });
    EXPECT_EQ(seen.size(), 3u);
    // The journal has a delivery before its hook ran; uninstalling waits
    // for the hooks still running, which take the lock below.
    p.uninstall("KIV_EVT_QUEUED_FULL");
    std::lock_guard<std::mutex> guard(workers_lock);
    EXPECT_EQ(workers.count(std::this_thread::get_id()), 0u);
}

namespace {

// A service that, when shut-down releases it (after the running flag
// fell), fires a synchronous event through the event service it holds.
class late_firer : public object {
public:
    late_firer(i_object* events, bool* fired) : events_(events), fired_(fired) { events->addref(); }
    ~late_firer() override {
        i_event_proc* proc = kiv_cast_i_event_proc(events_);
        auto_ptr_t<event> evt(new event(proc->get_event_type("KIV_EVT_LATE"), 0, nullptr));
        evt->addref();
        proc->fire_event(evt.get(), true);
        *fired_ = true;
    }

private:
    auto_ptr_t<i_object> events_;
    bool* fired_;
};

}  // namespace

TEST(event_delivery, nothing_is_delivered_once_the_core_stopped_running) {
    journal j;
    probe p("late", &j);
    bool fired = false;
    {
        core_session session;
        p.install("KIV_EVT_LATE");
        kiv_generate_event("KIV_EVT_LATE", 0, nullptr, true);
        EXPECT_EQ(j.take(), std::vector<std::string>{"late"});
        // Released before "svc_event" (names in order).
        ASSERT_TRUE(kiv_core()->register_service(new late_firer(event_service(), &fired), "svc_a_late_firer"));
    }
    EXPECT_TRUE(fired);
    EXPECT_TRUE(j.take().empty());
}

TEST(event_delivery, a_destroyed_service_releases_its_queued_events_undelivered) {
    core_session session(true, true);  // no pool activity to take the failure below
    journal j;
    probe p("never", &j);
    int before = payloads_alive.load();
    kiv_test_fail_thread_starts(1);  // the fresh service's queue thread
    auto_ptr_t<event_proc> fresh(new event_proc);
    fresh->addref();
    EXPECT_EQ(fresh->get_threads_count(), 0u);
    uint32_t type = fresh->get_event_type("KIV_EVT_STUCK");
    fresh->install_handler(type, 0, &p, probe::callback());
    for (int i = 0; i < 3; ++i) {
        auto_ptr_t<event> evt(new event(type, i, new payload));
        evt->addref();
        fresh->fire_event(evt.get(), false);
    }
    EXPECT_EQ(payloads_alive.load(), before + 3);
    fresh.reset();
    EXPECT_EQ(payloads_alive.load(), before);
    EXPECT_TRUE(j.take().empty());
}

TEST(event_uninstall, waits_for_a_callback_running_on_another_thread) {
    core_session session;
    journal j;
    probe p("slow", &j);
    std::promise<void> entered;
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::atomic<bool> finished{false};
    p.hook = [&](i_event*) {
        entered.set_value();
        opened.wait();
        finished = true;
    };
    p.install("KIV_EVT_SLOW");
    kiv_generate_event("KIV_EVT_SLOW", 0, nullptr, false);
    entered.get_future().wait();

    auto uninstalled = std::async(std::launch::async, [&] {
        p.uninstall("KIV_EVT_SLOW");
        return finished.load();
    });
    event_proc* proc = kiv_cast_event_proc(event_service());
    eventually([&] { return proc->uninstalls_waiting() == 1; });
    EXPECT_EQ(uninstalled.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    gate.set_value();
    EXPECT_TRUE(uninstalled.get());  // it returned only after the callback
    EXPECT_EQ(proc->uninstalls_waiting(), 0u);
    // Gone for later deliveries.
    kiv_generate_event("KIV_EVT_SLOW", 0, nullptr, true);
    EXPECT_EQ(j.take(), std::vector<std::string>{"slow"});
}

TEST(event_uninstall, a_wait_that_goes_on_says_so_in_the_log_every_five_seconds) {
    core_session session;
    kiv_set_log_facility("events.log");
    journal j;
    probe p("stuck", &j);
    std::promise<void> entered;
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    p.hook = [&](i_event*) {
        entered.set_value();
        opened.wait();
    };
    p.install("KIV_EVT_STUCK");
    kiv_generate_event("KIV_EVT_STUCK", 0, nullptr, false);
    entered.get_future().wait();
    auto uninstalled = std::async(std::launch::async, [&] { p.uninstall("KIV_EVT_STUCK"); });
    auto logged = [&] {
        std::ifstream in(session.root.file("events.log"));
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return text.find("still waiting for a handler of KIV_EVT_STUCK\n") != std::string::npos;
    };
    // The log is flushed by the housekeeping thread; the first line comes
    // after 5 s of waiting.
    eventually(logged);
    EXPECT_EQ(uninstalled.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    gate.set_value();
    uninstalled.get();
    kiv_set_log_facility("");
}

TEST(event_uninstall, handlers_uninstalling_themselves_or_each_other_from_callbacks_do_not_wait_for_ever) {
    core_session session;
    journal j;
    probe h("H", &j);
    probe g("G", &j);
    // Both callbacks are under way on two workers before either uninstalls.
    std::atomic<int> arrived{0};
    auto meet = [&] {
        arrived.fetch_add(1);
        eventually([&] { return arrived.load() >= 2; });
    };
    std::atomic<int> returned{0};
    h.hook = [&](i_event*) {
        meet();
        g.uninstall("KIV_EVT_CROSS");
        returned.fetch_add(1);
    };
    g.hook = [&](i_event*) {
        meet();
        h.uninstall("KIV_EVT_CROSS", 1);
        returned.fetch_add(1);
    };
    h.install("KIV_EVT_CROSS", 1);
    g.install("KIV_EVT_CROSS", 2);
    kiv_generate_event("KIV_EVT_CROSS", 1, nullptr, false);
    kiv_generate_event("KIV_EVT_CROSS", 2, nullptr, false);
    eventually([&] { return returned.load() == 2; });

    // One handler on two workers, each uninstalling it.
    probe self("self", &j);
    arrived = 0;
    returned = 0;
    self.hook = [&](i_event*) {
        meet();
        self.uninstall("KIV_EVT_SELF");
        returned.fetch_add(1);
    };
    self.install("KIV_EVT_SELF");
    self.install("KIV_EVT_SELF");
    kiv_generate_event("KIV_EVT_SELF", 0, nullptr, false);
    kiv_generate_event("KIV_EVT_SELF", 0, nullptr, false);
    eventually([&] { return returned.load() == 2; });

    // Uninstalling from here waits for callbacks still finishing (a
    // broken cycle may have left one running), so the probes may go.
    h.uninstall("KIV_EVT_CROSS", 1);
    g.uninstall("KIV_EVT_CROSS", 2);
    self.uninstall("KIV_EVT_SELF");
    kiv_generate_event("KIV_EVT_SELF", 0, nullptr, true);
    kiv_generate_event("KIV_EVT_CROSS", 1, nullptr, true);
    kiv_generate_event("KIV_EVT_CROSS", 2, nullptr, true);
    std::vector<std::string> calls = j.take();
    std::sort(calls.begin(), calls.end());
    EXPECT_EQ(calls, (std::vector<std::string>{"G", "H", "self", "self"}));
}

namespace {

// Handlers that know whether they are alive: a callback of a destroyed
// one is counted instead of crashing the test.
std::mutex alive_lock;
std::set<const void*> alive;
std::atomic<int> calls_of_dead{0};
std::atomic<int> calls_of_live{0};

class mortal : public object {
public:
    mortal() {
        std::lock_guard<std::mutex> guard(alive_lock);
        alive.insert(this);
    }
    ~mortal() override {
        std::lock_guard<std::mutex> guard(alive_lock);
        alive.erase(this);
    }
    // Lingers a little after it began, so an uninstall that did not wait
    // would destroy the handler under it.
    bool on_event(i_event*) {
        touched.fetch_add(1);
        for (int i = 0; i < 200; ++i)
            std::this_thread::yield();
        std::lock_guard<std::mutex> guard(alive_lock);
        (alive.count(this) == 0 ? calls_of_dead : calls_of_live).fetch_add(1);
        return true;
    }
    std::atomic<int> touched{0};
};

}  // namespace

TEST(event_uninstall, a_handler_destroyed_right_after_its_uninstall_is_never_called_by_queued_deliveries) {
    core_session session;
    const kiv_event_function callback = static_cast<kiv_event_function>(&mortal::on_event);
    for (int round = 0; round < 200; ++round) {
        mortal* m = new mortal;
        kiv_install_handler("KIV_EVT_RACE", 0, m, callback);
        for (int i = 0; i < 4; ++i)
            kiv_generate_event("KIV_EVT_RACE", i, nullptr, false);
        // Every other round the uninstall meets deliveries under way.
        if (round % 2 == 0) {
            eventually([&] { return m->touched.load() >= 1; });
        }
        kiv_uninstall_handler("KIV_EVT_RACE", 0, m, callback);
        delete m;
    }
    // Let the last deliveries drain: one more queued event behind them.
    std::promise<void> drained;
    journal j;
    probe last("last", &j);
    last.hook = [&](i_event*) { drained.set_value(); };
    last.install("KIV_EVT_RACE_END");
    kiv_generate_event("KIV_EVT_RACE_END", 0, nullptr, false);
    drained.get_future().wait();
    last.uninstall("KIV_EVT_RACE_END");
    EXPECT_EQ(calls_of_dead.load(), 0);
    EXPECT_GT(calls_of_live.load(), 0);
}
