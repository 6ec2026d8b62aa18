// property_manager_test.cpp --
//
//     Named properties and objects: case-insensitive (ASCII only) names,
//     empty values, references of stored objects, snapshots in name
//     order, and concurrent use.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/property_manager.h>
#include <kiv/core/string_impl.h>

#include <gtest/gtest.h>

#include "test_util.h"

#include <string>
#include <thread>
#include <vector>

using namespace kiv;
using kiv_test::entries;

namespace {

using list = std::vector<std::string>;

}  // namespace

TEST(properties, names_compare_without_regard_to_ascii_case) {
    auto_ptr_t<i_property_manager> pm(kiv_create_property_manager());
    EXPECT_TRUE(pm->set_property("Lang", "ru"));
    EXPECT_STREQ(pm->get_property("lang"), "ru");
    EXPECT_STREQ(pm->get_property("LANG"), "ru");
    EXPECT_TRUE(pm->set_property("LANG", "en"));
    auto_ptr_t<i_object_col> all(pm->get_properties());
    EXPECT_EQ(entries(all), (list{"Lang=en"}));
}

TEST(properties, non_ascii_letters_are_distinct_names) {
    auto_ptr_t<i_property_manager> pm(kiv_create_property_manager());
    pm->set_property("Имя", "upper");
    pm->set_property("имя", "lower");
    EXPECT_STREQ(pm->get_property("Имя"), "upper");
    EXPECT_STREQ(pm->get_property("имя"), "lower");
}

TEST(properties, an_empty_value_keeps_an_entry_but_adds_none) {
    auto_ptr_t<i_property_manager> pm(kiv_create_property_manager());
    EXPECT_TRUE(pm->set_property("new", ""));
    pm->set_property("kept", "x");
    EXPECT_TRUE(pm->set_property("KEPT", ""));
    auto_ptr_t<i_object_col> all(pm->get_properties());
    EXPECT_EQ(entries(all), (list{"kept="}));
}

TEST(properties, null_names_and_values_are_refused) {
    auto_ptr_t<i_property_manager> pm(kiv_create_property_manager());
    EXPECT_FALSE(pm->set_property(nullptr, "x"));
    EXPECT_FALSE(pm->set_property("x", nullptr));
    ASSERT_NE(pm->get_property(nullptr), nullptr);
    EXPECT_STREQ(pm->get_property(nullptr), "");
    EXPECT_STREQ(pm->get_property("absent"), "");
}

TEST(properties, snapshots_list_names_in_case_insensitive_order_and_do_not_follow_changes) {
    auto_ptr_t<i_property_manager> pm(kiv_create_property_manager());
    pm->set_property("b", "2");
    pm->set_property("A", "1");
    pm->set_property("c", "3");
    auto_ptr_t<i_object_col> all(pm->get_properties());
    pm->set_property("b", "changed");
    EXPECT_EQ(entries(all), (list{"A=1", "b=2", "c=3"}));
}

TEST(property_objects, storing_the_same_object_again_keeps_its_count) {
    auto_ptr_t<i_property_manager> pm(kiv_create_property_manager());
    kiv::string* s = new kiv::string("v");
    auto_ptr_t<i_string> held(s);
    s->addref();
    pm->set_object("obj", held);
    EXPECT_EQ(s->get_ref_count(), 2);
    EXPECT_TRUE(pm->set_object("OBJ", held));
    EXPECT_EQ(s->get_ref_count(), 2);
}

TEST(property_objects, replacing_or_removing_releases_the_old_object) {
    auto_ptr_t<i_property_manager> pm(kiv_create_property_manager());
    kiv::string* first = new kiv::string("1");
    auto_ptr_t<i_string> a(first);
    first->addref();
    auto_ptr_t<i_string> b(kiv_create_string("2"));
    pm->set_object("x", a);
    pm->set_object("x", b);
    EXPECT_EQ(first->get_ref_count(), 1);
    auto_ptr_t<i_object> got(pm->get_object("X"));
    EXPECT_EQ(got.get(), static_cast<i_object*>(b.get()));
    EXPECT_TRUE(pm->set_object("x", nullptr));
    EXPECT_EQ(pm->get_object("x"), nullptr);
    EXPECT_TRUE(pm->set_object("never stored", nullptr));
    EXPECT_FALSE(pm->set_object(nullptr, a));
    EXPECT_EQ(pm->get_object(nullptr), nullptr);
}

TEST(property_objects, get_objects_lists_names_with_empty_values) {
    auto_ptr_t<i_property_manager> pm(kiv_create_property_manager());
    auto_ptr_t<i_string> s(kiv_create_string("payload"));
    pm->set_object("b", s);
    pm->set_object("A", s);
    auto_ptr_t<i_object_col> all(pm->get_objects());
    EXPECT_EQ(entries(all), (list{"A=", "b="}));
}

TEST(property_objects, the_manager_releases_its_objects_when_destroyed) {
    kiv::string* s = new kiv::string("v");
    auto_ptr_t<i_string> held(s);
    s->addref();
    {
        auto_ptr_t<i_property_manager> pm(kiv_create_property_manager());
        pm->set_object("a", held);
        pm->set_object("b", held);
        EXPECT_EQ(s->get_ref_count(), 3);
    }
    EXPECT_EQ(s->get_ref_count(), 1);
}

TEST(property_manager, answers_its_interface_only) {
    auto_ptr_t<i_property_manager> pm(kiv_create_property_manager());
    EXPECT_EQ(kiv_cast_i_property_manager(pm), pm.get());
    EXPECT_EQ(kiv_cast_i_string(pm), nullptr);
}

TEST(property_manager, concurrent_setters_and_readers_keep_every_entry) {
    auto_ptr_t<i_property_manager> pm(kiv_create_property_manager());
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([&pm, t] {
            auto_ptr_t<i_string> obj(kiv_create_string("o"));
            for (int i = 0; i < 500; ++i) {
                std::string name = "p" + std::to_string(t) + "_" + std::to_string(i);
                pm->set_property(name.c_str(), "v");
                pm->set_object(name.c_str(), obj);
                auto_ptr_t<i_object_col> snapshot(pm->get_properties());
                auto_ptr_t<i_object> back(pm->get_object(name.c_str()));
                if (back.get() != static_cast<i_object*>(obj.get()))
                    return;
                if (i % 2 == 0)
                    pm->set_object(name.c_str(), nullptr);
            }
        });
    for (std::thread& w : workers)
        w.join();
    auto_ptr_t<i_object_col> props(pm->get_properties());
    auto_ptr_t<i_object_col> objs(pm->get_objects());
    EXPECT_EQ(props->get_count(), 2000u);
    EXPECT_EQ(objs->get_count(), 1000u);
}
