// core_test.cpp --
//
//     The core's life: start-up and shut-down (repeatable in one process),
//     the service registry and the order in which shut-down releases it,
//     the housekeeping thread's once-a-second event, the stream pump, and
//     the shut-down wait for threads that outlive it.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/files.h>
#include <kiv/core/i_md5_encoder.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_stream.h>
#include <kiv/core/log.h>
#include <kiv/core/object_col.h>
#include <kiv/core/threads.h>

#include "core_session.h"

#include <tcl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kiv;
using kiv_test::core_session;
using kiv_test::eventually;

namespace {

// The temp folder variables as they were, put back at scope end, so the
// cases after one that changes them start from the folder the program
// was given.
class temp_variables_kept {
public:
    temp_variables_kept() {
        for (size_t i = 0; i < 3; ++i)
            had_[i] = kiv_get_env(names_[i], values_[i]);
    }
    ~temp_variables_kept() {
        for (size_t i = 0; i < 3; ++i)
            kiv_set_env(names_[i], had_[i] ? values_[i].c_str() : nullptr);
    }
    temp_variables_kept(const temp_variables_kept&) = delete;
    temp_variables_kept& operator=(const temp_variables_kept&) = delete;

private:
    const char* names_[3] = {"TEMP", "TMP", "TMPDIR"};
    std::string values_[3];
    bool had_[3] = {false, false, false};
};

// What a fake service saw: destructions in order, and the events the
// core raised, each with whether it was fired at once.
struct journal {
    std::mutex lock;
    std::vector<std::string> entries;
    void add(const std::string& entry) {
        std::lock_guard<std::mutex> guard(lock);
        entries.push_back(entry);
    }
    std::vector<std::string> copy() {
        std::lock_guard<std::mutex> guard(lock);
        return entries;
    }
    size_t count(const std::string& entry) {
        std::lock_guard<std::mutex> guard(lock);
        return std::count(entries.begin(), entries.end(), entry);
    }
};

// Notes the core's own events in a journal, each with whether it ran on
// the thread that made the recorder (" now") or elsewhere (" queued").
// Installed for the life of one session; the session's end releases the
// event service before the recorder goes.
class event_recorder : public object {
public:
    explicit event_recorder(journal* j) : journal_(j), home_(std::this_thread::get_id()) {
        for (const char* type : {"KIV_CORE_EVT_TERMINATING", "KIV_CORE_EVT_BG_TASK"})
            kiv_install_handler(type, 0, this, static_cast<kiv_event_function>(&event_recorder::note));
    }

private:
    bool note(i_event* evt) {
        auto_ptr_t<i_object> service(kiv_core()->get_service("svc_event"));
        const char* name = evt->get_event_type() == kiv_cast_i_event_proc(service)->get_event_type("KIV_CORE_EVT_BG_TASK")
                               ? "KIV_CORE_EVT_BG_TASK"
                               : "KIV_CORE_EVT_TERMINATING";
        journal_->add(std::string(name) + (std::this_thread::get_id() == home_ ? " now" : " queued"));
        return true;
    }

    journal* journal_;
    std::thread::id home_;
};

class fake_service : public named_string {
public:
    fake_service(const char* name, journal* j) : named_string(name, ""), journal_(j) {}
    ~fake_service() override { journal_->add(std::string("destroyed ") + get_name()); }

private:
    journal* journal_;
};

std::vector<std::string> names_of(i_object_col* col) {
    std::vector<std::string> names;
    for (unsigned i = 0; i < col->get_count(); ++i) {
        auto_ptr_t<i_object> item(col->get_item_by_pos(i));
        names.push_back(kiv_cast_i_named_object(item)->get_name());
    }
    return names;
}

}  // namespace

TEST(core_lifecycle, core_exists_only_between_initialize_and_terminate) {
    EXPECT_EQ(kiv_core(), nullptr);
    EXPECT_EQ(kiv_get_curr_time(), 0u);
    EXPECT_FALSE(kiv_is_running());
    {
        core_session session(false);
        ASSERT_NE(kiv_core(), nullptr);
        EXPECT_TRUE(kiv_is_running());
        EXPECT_NE(kiv_get_curr_time(), 0u);
        EXPECT_FALSE(kiv_initialize());  // a second start changes nothing
        EXPECT_EQ(kiv_cast_i_core(kiv_core()), kiv_core());
        EXPECT_EQ(kiv_core()->addref(), 1);
        EXPECT_EQ(kiv_core()->release(), 1);
    }
    EXPECT_EQ(kiv_core(), nullptr);
    EXPECT_EQ(kiv_get_curr_time(), 0u);
    EXPECT_FALSE(kiv_is_running());
}

TEST(core_lifecycle, initialize_and_terminate_repeat_with_threads_in_one_process) {
    for (int round = 0; round < 3; ++round) {
        journal j;
        {
            core_session session(true, true);
            ASSERT_TRUE(session.started);
            EXPECT_TRUE(kiv_core()->register_service(new fake_service("svc_a", &j), "svc_a"));
            EXPECT_EQ(kiv_test_threads_count(), 2);  // housekeeping and stream pump
        }
        EXPECT_EQ(j.copy(), std::vector<std::string>{"destroyed svc_a"});
    }
}

TEST(core_lifecycle, library_protocol_describes_kiv_core) {
    EXPECT_STREQ(kiv_library_name(), "kiv_core");
    EXPECT_STREQ(kiv_library_version(), "3.18.0152");
    EXPECT_TRUE(kiv_library_initialized());
}

TEST(core_lifecycle, missing_root_path_becomes_the_working_directory) {
    kiv_test::temp_dir dir;
    char old_cwd[4096];
    ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    kiv_set_env("KIV_ROOT_PATH", nullptr);
    ASSERT_TRUE(kiv_initialize());
    EXPECT_EQ(kiv_get_env("KIV_ROOT_PATH"), dir.path());
    kiv_terminate();
    ASSERT_EQ(chdir(old_cwd), 0);
}

TEST(core_lifecycle, temp_path_prefers_tmp_under_the_root_then_temp_tmp_tmpdir_and_slash_tmp) {
    temp_variables_kept kept;
    kiv_set_env("TEMP", "/temp/from/env");
    kiv_set_env("TMP", "/tmp/from/env");
    {
        core_session session(false);
        EXPECT_STREQ(kiv_temp_path(), "/temp/from/env");
        EXPECT_STREQ(kiv_get_local_charset(), "cp1251");
    }
    kiv_set_env("TEMP", nullptr);
    {
        core_session session(false);
        EXPECT_STREQ(kiv_temp_path(), "/tmp/from/env");
    }
    {
        kiv_test::temp_dir root;
        ASSERT_EQ(mkdir(root.file("tmp").c_str(), 0700), 0);
        kiv_set_env("KIV_ROOT_PATH", root.path().c_str());
        ASSERT_TRUE(kiv_initialize());
        EXPECT_EQ(std::string(kiv_temp_path()), root.file("tmp"));
        kiv_terminate();
    }
    kiv_set_env("TMP", nullptr);
    const std::string own = "/kiv-" + std::to_string(geteuid());
    {
        kiv_test::temp_dir shared;
        kiv_set_env("TMPDIR", (shared.path() + "/").c_str());
        core_session session(false);
        EXPECT_EQ(std::string(kiv_temp_path()), shared.path() + own);
        EXPECT_STREQ(kiv_temp_path_error(), "");
        struct stat st;
        ASSERT_EQ(lstat(kiv_temp_path(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0700u);
    }
    kiv_set_env("TMPDIR", nullptr);
    struct stat st;
    bool was_there = lstat(("/tmp" + own).c_str(), &st) == 0;
    {
        core_session session(false);
        EXPECT_EQ(std::string(kiv_temp_path()), "/tmp" + own);
    }
    // The account's folder in /tmp is made for good: this case takes
    // back one it made, if nothing has moved in.
    if (!was_there)
        rmdir(("/tmp" + own).c_str());
}

// TMPDIR and /tmp are shared with every account: what stands at the
// account's own name there and is not a private folder of its own is
// refused with a line naming it, and no temp folder is chosen.
TEST(core_lifecycle, a_shared_temp_folder_holding_a_foreign_kiv_uid_gives_no_temp_path_and_names_it) {
    temp_variables_kept kept;
    const std::string own = "/kiv-" + std::to_string(geteuid());
    struct row {
        const char* name;
        std::function<bool(const std::string& at)> make;  // puts the collision at `at`
        const char* says;
    } rows[] = {
        {"a link to a folder", [](const std::string& at) { return symlink("/", at.c_str()) == 0; }, "symbolic link"},
        {"a plain file", [](const std::string& at) { return close(open(at.c_str(), O_CREAT | O_WRONLY, 0600)) == 0; },
         "not a folder"},
        {"a folder open to others",
         [](const std::string& at) { return mkdir(at.c_str(), 0700) == 0 && chmod(at.c_str(), 0777) == 0; },
         "open to other users"},
        {"another account's folder",
         [](const std::string& at) {
             // Only the superuser can give a folder away.
             return geteuid() == 0 && mkdir(at.c_str(), 0700) == 0 && chown(at.c_str(), 4242, 4242) == 0;
         },
         "belongs to user 4242"},
    };
    for (const row& r : rows) {
        kiv_test::temp_dir shared;
        const std::string at = shared.path() + own;
        if (!r.make(at)) {
            EXPECT_NE(geteuid(), 0u) << r.name;
            continue;
        }
        kiv_set_env("TMPDIR", shared.path().c_str());
        {
            core_session session(false);
            EXPECT_STREQ(kiv_temp_path(), "") << r.name;
            std::string why = kiv_temp_path_error();
            EXPECT_NE(why.find("'" + at + "'"), std::string::npos) << r.name << ": " << why;
            EXPECT_NE(why.find(r.says), std::string::npos) << r.name << ": " << why;
        }
        kiv_set_env("TMPDIR", nullptr);
    }
}

TEST(core_lifecycle, worker_limit_ignores_values_of_ten_or_less) {
    kiv_set_env("KIV_MAX_THREADS_COUNT", "10");
    {
        core_session session;
        EXPECT_EQ(kiv_test_worker_limit(), 150);
    }
    kiv_set_env("KIV_MAX_THREADS_COUNT", "11");
    {
        core_session session;
        EXPECT_EQ(kiv_test_worker_limit(), 11);
    }
    kiv_set_env("KIV_MAX_THREADS_COUNT", nullptr);
    {
        core_session session;
        EXPECT_EQ(kiv_test_worker_limit(), 150);
    }
}

TEST(core_services, first_registration_of_a_name_stays) {
    core_session session(false);
    i_core* core = kiv_core();
    auto_ptr_t<i_string> first(kiv_create_string("first"));
    auto_ptr_t<i_string> second(kiv_create_string("second"));
    EXPECT_TRUE(core->register_service(first, "svc_x"));
    EXPECT_FALSE(core->register_service(second, "svc_x"));
    EXPECT_EQ(second->addref(), 2);  // the refused object kept no registry reference
    second->release();
    auto_ptr_t<i_object> found(core->get_service("svc_x"));
    EXPECT_EQ(found.get(), static_cast<i_object*>(first.get()));
    EXPECT_EQ(first->addref(), 4);  // ours, the registry's, `found`, this probe
    first->release();
}

TEST(core_services, bad_arguments_are_refused) {
    core_session session(false);
    i_core* core = kiv_core();
    auto_ptr_t<i_string> s(kiv_create_string("x"));
    EXPECT_FALSE(core->register_service(nullptr, "svc_x"));
    EXPECT_FALSE(core->register_service(s, nullptr));
    EXPECT_FALSE(core->register_service(s, ""));
    EXPECT_EQ(core->get_service(nullptr), nullptr);
    EXPECT_EQ(core->get_service("svc_missing"), nullptr);
    EXPECT_FALSE(core->unregister_service(nullptr));
    EXPECT_FALSE(core->unregister_service(""));
    EXPECT_FALSE(core->unregister_service("svc_missing"));
}

TEST(core_services, unregister_drops_the_registry_reference) {
    journal j;  // outlives the services
    core_session session(false);
    ASSERT_TRUE(kiv_core()->register_service(new fake_service("svc_gone", &j), "svc_gone"));
    EXPECT_TRUE(kiv_core()->unregister_service("svc_gone"));
    EXPECT_EQ(j.copy(), std::vector<std::string>{"destroyed svc_gone"});
    EXPECT_EQ(kiv_core()->get_service("svc_gone"), nullptr);
}

TEST(core_services, services_are_listed_in_byte_order_of_their_names) {
    journal j;  // outlives the services
    core_session session(false);
    for (const char* name : {"svc_test_x", "svc_test_e", "svc_test_s", "SVC_TEST_MAP"})
        ASSERT_TRUE(kiv_core()->register_service(new fake_service(name, &j), name));
    auto_ptr_t<i_object_col> services(kiv_core()->get_services());
    std::vector<std::string> names = names_of(services);
    std::vector<std::string> ours;
    for (const std::string& name : names)
        if (name.find("TEST") != std::string::npos || name.find("test") != std::string::npos)
            ours.push_back(name);
    EXPECT_EQ(ours, (std::vector<std::string>{"SVC_TEST_MAP", "svc_test_e", "svc_test_s", "svc_test_x"}));
}

TEST(core_services, initialize_registers_the_services_that_need_no_thread) {
    core_session session(false);
    auto_ptr_t<i_object> md5(kiv_core()->get_service("svc_md5_encoder"));
    ASSERT_TRUE(md5);
    kiv::i_md5_encoder* encoder = kiv_cast_i_md5_encoder(md5);
    ASSERT_NE(encoder, nullptr);
    char* digest = encoder->encode_string("abc");
    EXPECT_STREQ(digest, "900150983cd24fb0d6963f7d28e17f72");
    free(digest);
}

TEST(core_services, terminate_announces_itself_then_destroys_services_in_name_order) {
    journal j;
    std::unique_ptr<event_recorder> recorder;  // outlives the session's end
    {
        core_session session;
        recorder.reset(new event_recorder(&j));
        for (const char* name : {"svc_c", "svc_a", "svc_b"})
            ASSERT_TRUE(kiv_core()->register_service(new fake_service(name, &j), name));
    }
    std::vector<std::string> seen;
    for (const std::string& entry : j.copy())
        if (entry.find("BG_TASK") == std::string::npos)
            seen.push_back(entry);
    EXPECT_EQ(seen, (std::vector<std::string>{"KIV_CORE_EVT_TERMINATING now", "destroyed svc_a", "destroyed svc_b",
                                              "destroyed svc_c"}));
}

namespace {

std::atomic<bool> watcher_going{false};  // the watcher's destructor has begun
std::atomic<bool> watcher_busy{false};   // its callback runs on a pool worker

// A service that, like the environment watcher, handles the background
// event and uninstalls in its destructor. Its name sorts before
// "svc_event". The callback touches no member: it may outlive the object
// when the uninstall does not wait.
class bg_watcher : public object {
public:
    explicit bg_watcher(journal* j) : journal_(j) {
        kiv_install_handler("KIV_CORE_EVT_BG_TASK", 0, this, static_cast<kiv_event_function>(&bg_watcher::on_bg));
    }
    ~bg_watcher() override {
        auto_ptr_t<i_object> events(kiv_core()->get_service("svc_event"));
        journal_->add(events ? "svc_event reachable" : "svc_event gone");
        watcher_going.store(true);
        kiv_uninstall_handler("KIV_CORE_EVT_BG_TASK", 0, this, static_cast<kiv_event_function>(&bg_watcher::on_bg));
        journal_->add("destroyed");
    }

private:
    bool on_bg(i_event*) {
        journal* j = journal_;
        watcher_busy.store(true);
        eventually([] { return watcher_going.load(); });
        j->add("callback ended");
        return true;
    }
    journal* journal_;
};

}  // namespace

TEST(core_services, a_service_being_destroyed_still_reaches_the_event_service_and_waits_for_its_callback) {
    journal j;
    watcher_going = false;
    watcher_busy = false;
    {
        core_session session(true, false, true);
        ASSERT_TRUE(kiv_core()->register_service(new bg_watcher(&j), "env_watcher"));
        kiv_test_clock_advance(1000);  // one background event, to a pool worker
        eventually([] { return watcher_busy.load(); });
    }
    EXPECT_EQ(j.copy(), (std::vector<std::string>{"svc_event reachable", "callback ended", "destroyed"}));
}

TEST(core_services, no_library_is_loaded_without_the_loader) {
    core_session session(false);
    EXPECT_EQ(kiv_core()->load_library(nullptr), nullptr);
    EXPECT_EQ(kiv_core()->load_library("kiv_zip"), nullptr);
    auto_ptr_t<i_object_col> libraries(kiv_core()->get_libraries());
    ASSERT_TRUE(libraries);
    EXPECT_EQ(libraries->get_count(), 0u);
    auto_ptr_t<i_object_col> again(kiv_core()->get_libraries());
    EXPECT_NE(libraries.get(), again.get());  // a new collection each time
    EXPECT_FALSE(kiv_library_loaded("kiv_core"));
    EXPECT_FALSE(kiv_library_loaded(nullptr));
}

TEST(core_threads, housekeeping_queues_one_background_event_per_wall_clock_second) {
    journal j;
    std::unique_ptr<event_recorder> recorder;  // outlives the session's end
    {
        // Driven from before start-up: no real second can pass unseen.
        core_session session(true, false, true);
        recorder.reset(new event_recorder(&j));
        size_t base = j.count("KIV_CORE_EVT_BG_TASK queued");
        uint32_t start = kiv_get_curr_time();
        for (unsigned second = 1; second <= 3; ++second) {
            kiv_test_clock_advance(1000);
            eventually([&] { return kiv_get_curr_time() == start + second; });
            eventually([&] { return j.count("KIV_CORE_EVT_BG_TASK queued") >= base + second; });
        }
        EXPECT_EQ(base, 0u);
        EXPECT_EQ(j.count("KIV_CORE_EVT_BG_TASK queued"), base + 3);
    }
}

namespace {

// A stream whose pump step and connection state a test sets; it counts
// the pump's calls.
class fake_stream : public object, public i_typed_object_impl, public virtual i_stream {
public:
    explicit fake_stream(bool step_ok, bool connected = true) : step_ok_(step_ok), connected_(connected) {}
    bool get_interface(const char* name, void** out) override {
        if (answer_interface(name, "i_stream", static_cast<i_stream*>(this), out) ||
            answer_interface(name, "i_typed_object", static_cast<i_typed_object*>(this), out))
            return true;
        return object::get_interface(name, out);
    }
    bool disconnect() override {
        disconnects.fetch_add(1);
        connected_.store(false);
        return true;
    }
    bool is_connected() override { return connected_.load(); }
    bool lock(unsigned) override { return true; }
    void unlock() override {}
    bool bg_task() override {
        steps.fetch_add(1);
        return step_ok_;
    }
    unsigned get_start_time() override { return 0; }

    std::atomic<int> steps{0};
    std::atomic<int> disconnects{0};

private:
    bool step_ok_;
    std::atomic<bool> connected_;
};

}  // namespace

TEST(core_threads, pump_drops_a_failing_stream_and_serves_the_next_in_the_same_pass) {
    core_session session;
    auto_ptr_t<fake_stream> failing(new fake_stream(false));
    failing->addref();
    auto_ptr_t<fake_stream> closed(new fake_stream(true, false));
    closed->addref();
    auto_ptr_t<fake_stream> healthy(new fake_stream(true));
    healthy->addref();
    kiv_register_stream(failing);
    kiv_register_stream(closed);
    kiv_register_stream(healthy);
    kiv_register_stream(nullptr);
    eventually([&] { return healthy->steps.load() >= 2; });
    EXPECT_EQ(failing->steps.load(), 1);
    EXPECT_EQ(failing->disconnects.load(), 1);
    EXPECT_EQ(closed->steps.load(), 1);
    EXPECT_EQ(closed->disconnects.load(), 1);
    EXPECT_EQ(healthy->disconnects.load(), 0);
    EXPECT_EQ(failing->addref(), 2);  // the pump's reference is gone
    failing->release();
    EXPECT_EQ(healthy->addref(), 3);  // still held by the pump
    healthy->release();
}

TEST(core_threads, pump_releases_its_streams_at_shut_down) {
    auto_ptr_t<fake_stream> stream(new fake_stream(true));
    stream->addref();
    {
        core_session session;
        kiv_register_stream(stream);
        eventually([&] { return stream->steps.load() >= 1; });
    }
    EXPECT_EQ(stream->addref(), 2);
    stream->release();
}

namespace {

std::promise<void>* gate = nullptr;

void wait_at_gate(bool, void*, unsigned) {
    gate->get_future().wait();
}

}  // namespace

TEST(core_threads, terminate_waits_for_workers_and_leaves_the_core_to_threads_that_outlive_it) {
    kiv_test::temp_dir dir;
    std::string trace = dir.file("trace.txt");
    std::promise<void> opened;
    gate = &opened;
    {
        core_session session(true, true);
        kiv_test_clock_drive(true);
        kiv_bg_thread(wait_at_gate, nullptr, 0);
        ASSERT_EQ(kiv_test_threads_count(), 3);
        kiv_set_trace_facility(trace.c_str());
        auto done = std::async(std::launch::async, [] { kiv_terminate(); });
        // Time moves only once the core threads are gone, so only the
        // wait for the blocked worker can run out.
        while (done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
            if (kiv_test_threads_count() <= 1)
                kiv_test_clock_advance(1000);
        session.started = false;
    }
    kiv_set_trace_facility("stdout");
    std::string text = kiv_test::read_all(trace);
    EXPECT_NE(text.find("kiv_terminate: awaiting for thread to be finished ("), std::string::npos);
    EXPECT_NE(text.find("kiv_terminate: threads left: 1"), std::string::npos);
    EXPECT_EQ(kiv_core(), nullptr);
    EXPECT_EQ(kiv_get_curr_time(), 0u);

    opened.set_value();
    eventually([] { return kiv_test_threads_count() == 0; });
    core_session again;
    EXPECT_TRUE(again.started);
}

namespace {

// A Tcl thread-exit handler that holds its thread, a pool worker on its
// way out, until every other thread started through the core is gone:
// the worker then still counts when shut-down has stopped the core
// threads and looks at what is left.
void end_last(ClientData) {
    eventually([] { return kiv_test_threads_count() <= 1; });
}

void ends_last(bool, void*, unsigned) {
    Tcl_CreateThreadExitHandler(end_last, nullptr);
}

}  // namespace

// Neither wait line when nothing but the core's own threads were left
// when the services went: its threads, those of its services, and a
// pool worker that had no task when the running flag fell, which
// shut-down lets end before it counts, however slowly it goes. The
// clocks are driven, so no background-task event starts a worker of
// its own at a second's turn.
TEST(core_threads, terminate_prints_no_wait_lines_when_no_thread_is_left) {
    for (bool idle_worker : {false, true}) {
        SCOPED_TRACE(idle_worker ? "a pool worker idle at the stop" : "the core and its services only");
        kiv_test::temp_dir dir;
        std::string trace = dir.file("trace.txt");
        {
            core_session session(true, false, true);
            if (idle_worker) {
                kiv_bg_thread(ends_last, nullptr, 0);
                eventually([] { return kiv_test_idle_workers() == 1; });
            }
            kiv_set_trace_facility(trace.c_str());
        }
        kiv_set_trace_facility("stdout");
        std::string text = kiv_test::read_all(trace);
        EXPECT_NE(text.find("core: services released."), std::string::npos);
        EXPECT_EQ(text.find("awaiting"), std::string::npos) << text;
        EXPECT_EQ(text.find("threads left"), std::string::npos);
    }
}
