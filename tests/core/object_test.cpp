// object_test.cpp --
//
//     Reference counts, interface lookup by exact name, casts, auto_ptr_t
//     ownership, and the recursive mutex under concurrent use.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/binary_impl.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/log.h>
#include <kiv/core/mutex.h>
#include <kiv/core/string_impl.h>
#include <kiv/core/process.h>

#include "test_util.h"

#include <atomic>
#include <thread>
#include <vector>

using namespace kiv;

namespace {

// Counts its destructions so tests can see when release destroyed it.
class counted : public kiv::string {
public:
    explicit counted(int* destroyed) : destroyed_(destroyed) {}
    ~counted() override { ++*destroyed_; }

private:
    int* destroyed_;
};

}  // namespace

TEST(object_counts, addref_and_release_return_the_new_count_and_last_release_destroys) {
    int destroyed = 0;
    counted* obj = new counted(&destroyed);
    EXPECT_EQ(obj->get_ref_count(), 0);
    EXPECT_EQ(obj->addref(), 1);
    EXPECT_EQ(obj->addref(), 2);
    EXPECT_EQ(obj->release(), 1);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(obj->release(), 0);
    EXPECT_EQ(destroyed, 1);
}

TEST(object_counts, counts_act_on_one_object_through_every_interface) {
    named_string* s = new named_string("colour", "red");
    i_string* as_string = kiv_cast_i_string(s);
    i_named_object* as_named = kiv_cast_i_named_object(s);
    ASSERT_NE(as_string, nullptr);
    ASSERT_NE(as_named, nullptr);
    EXPECT_EQ(as_string->addref(), 1);
    EXPECT_EQ(as_named->addref(), 2);
    EXPECT_EQ(s->get_ref_count(), 2);
    EXPECT_STREQ(as_named->get_name(), "colour");
    EXPECT_STREQ(as_string->get_value(), "red");
    EXPECT_EQ(as_named->release(), 1);
    EXPECT_EQ(as_string->release(), 0);
}

TEST(object_counts, deleting_a_held_object_warns_with_its_count) {
    kiv_test::temp_dir dir;
    std::string trace = dir.file("trace.log");
    kiv_set_env("KIV_ROOT_PATH", dir.path().c_str());
    ASSERT_TRUE(kiv_initialize());  // the trace file is named through the core
    kiv_set_trace_facility(trace.c_str());
    kiv::string* s = new kiv::string("x");
    s->addref();
    s->addref();
    delete s;
    kiv_set_trace_facility("stdout");
    kiv_terminate();
    kiv_set_env("KIV_ROOT_PATH", nullptr);
    std::string text = kiv_test::read_all(trace);
    EXPECT_NE(text.find("WARNING: Destroying object with non zero reference count value: 2."),
              std::string::npos)
        << text;
}

TEST(object_counts, counts_stay_exact_under_concurrent_addref_and_release) {
    int destroyed = 0;
    counted* obj = new counted(&destroyed);
    obj->addref();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([obj] {
            for (int i = 0; i < 20000; ++i) {
                obj->addref();
                obj->release();
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(obj->get_ref_count(), 1);
    EXPECT_EQ(destroyed, 0);
    obj->release();
    EXPECT_EQ(destroyed, 1);
}

TEST(interface_lookup, names_compare_exactly) {
    auto_ptr_t<i_string> s(kiv_create_string("v"));
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_TRUE(s->get_interface("i_string", &out));
    EXPECT_EQ(out, static_cast<void*>(s.get()));
    out = reinterpret_cast<void*>(0x1);
    EXPECT_FALSE(s->get_interface("I_STRING", &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_FALSE(s->get_interface("i_strin", &out));
    EXPECT_FALSE(s->get_interface("i_string_x", &out));
    EXPECT_FALSE(s->get_interface("i_object", &out));
    EXPECT_FALSE(s->get_interface("i_event_handler", &out));
}

TEST(interface_lookup, casts_add_no_reference_and_refuse_missing_interfaces) {
    named_string* ns = new named_string("n", "v");
    ns->addref();
    binary* bin = new binary();
    bin->addref();

    i_string* str = kiv_cast_i_string(ns);
    EXPECT_NE(str, nullptr);
    EXPECT_NE(kiv_cast_i_named_string(ns), nullptr);
    EXPECT_EQ(ns->get_ref_count(), 1);
    EXPECT_EQ(kiv_cast_i_string(bin), nullptr);
    EXPECT_NE(kiv_cast_i_binary(bin), nullptr);
    EXPECT_EQ(kiv_cast_i_binary(ns), nullptr);
    EXPECT_EQ(kiv_cast_i_string(nullptr), nullptr);
    EXPECT_EQ(kiv_cast_i_object(ns), nullptr);
    EXPECT_EQ(kiv_cast_i_event_handler(ns), nullptr);
    EXPECT_EQ(kiv_cast_i_typed_object(ns), nullptr);
    EXPECT_EQ(bin->get_ref_count(), 1);

    kiv_release(ns);
    kiv_release(bin);
    kiv_release(nullptr);
}

TEST(auto_ptr, takes_over_the_creators_reference_and_releases_it) {
    int destroyed = 0;
    counted* obj = new counted(&destroyed);
    obj->addref();  // as a creator would
    {
        auto_ptr_t<counted> holder(obj);
        EXPECT_EQ(obj->get_ref_count(), 1);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(auto_ptr, copies_add_a_reference_and_moves_do_not) {
    int destroyed = 0;
    counted* obj = new counted(&destroyed);
    obj->addref();
    {
        auto_ptr_t<counted> a(obj);
        auto_ptr_t<counted> b(a);
        EXPECT_EQ(obj->get_ref_count(), 2);
        auto_ptr_t<counted> c(std::move(b));
        EXPECT_EQ(obj->get_ref_count(), 2);
        EXPECT_EQ(b.get(), nullptr);
        auto_ptr_t<counted> d;
        d = c;
        EXPECT_EQ(obj->get_ref_count(), 3);
        d = d;
        EXPECT_EQ(obj->get_ref_count(), 3);
        d.reset();
        EXPECT_EQ(obj->get_ref_count(), 2);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(auto_ptr, detach_hands_the_reference_back) {
    auto_ptr_t<i_string> s(kiv_create_string("v"));
    i_string* raw = s.detach();
    EXPECT_FALSE(s);
    EXPECT_EQ(raw->release(), 0);
}

TEST(mutex_lock, the_owner_may_lock_again_and_must_unlock_as_often) {
    kiv::mutex m;
    m.lock();
    m.lock();
    EXPECT_EQ(m.lock_count(), 2u);
    std::atomic<bool> other_got_it{false};
    std::thread other([&] {
        m.lock();
        other_got_it = true;
        m.unlock();
    });
    m.unlock();
    sleepms(20);
    EXPECT_FALSE(other_got_it.load());
    m.unlock();
    other.join();
    EXPECT_TRUE(other_got_it.load());
    EXPECT_EQ(m.lock_count(), 0u);
}

TEST(mutex_lock, locker_unlocks_at_scope_end_and_cancel_unlocks_early) {
    kiv::mutex m;
    {
        mutex_locker lock(&m);
        EXPECT_EQ(m.lock_count(), 1u);
        lock.cancel();
        EXPECT_EQ(m.lock_count(), 0u);
    }
    EXPECT_EQ(m.lock_count(), 0u);
    {
        mutex_locker lock(&m);
    }
    EXPECT_EQ(m.lock_count(), 0u);
    mutex_locker none(nullptr);
    none.cancel();
}

TEST(mutex_lock, serialises_threads) {
    kiv::mutex m;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                mutex_locker lock(&m);
                ++counter;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, 40000);
}
