// object_col_test.cpp --
//
//     Collections: references held and handed out, uniqueness, searches
//     by id and name, copies, and releases outside the lock.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/object_col.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace kiv;

namespace {

class item_with_id : public object, public i_typed_object_impl {
public:
    explicit item_with_id(int64_t id) { id_ = id; }
    bool get_interface(const char* name, void** out) override {
        if (answer_interface(name, "i_typed_object", static_cast<i_typed_object*>(this), out))
            return true;
        return object::get_interface(name, out);
    }
};

// Records the order of destruction, and whether the collection's lock
// was still held by this thread when it died.
class tracked : public kiv::named_string {
public:
    tracked(const char* name, std::vector<std::string>* log, object_col* col)
        : named_string(name, ""), log_(log), col_(col) {}
    ~tracked() override { log_->push_back(std::string(get_name()) + (col_->lock_count() ? ":locked" : "")); }

private:
    std::vector<std::string>* log_;
    object_col* col_;
};

}  // namespace

TEST(object_col, unique_adds_keep_one_entry_and_one_extra_reference) {
    object_col col;
    auto_ptr_t<i_string> s(kiv_create_string("a"));
    col.add_item(s, true);
    col.add_item(s, true);
    EXPECT_EQ(col.get_count(), 1u);
    EXPECT_EQ(s->addref(), 3);  // ours, the collection's, this probe
    s->release();
}

TEST(object_col, duplicate_entries_are_removed_one_at_a_time) {
    object_col col;
    auto_ptr_t<i_string> s(kiv_create_string("a"));
    auto_ptr_t<i_string> t(kiv_create_string("b"));
    col.add_item(s, false);
    col.add_item(t, false);
    col.add_item(s, false);
    col.remove_item(s);
    ASSERT_EQ(col.get_count(), 2u);
    EXPECT_EQ(col.get_item_pos(t.get()), 0);
    EXPECT_EQ(col.get_item_pos(s.get()), 1);
    col.remove_item(nullptr);
    col.add_item(nullptr, false);
    EXPECT_EQ(col.get_count(), 2u);
}

TEST(object_col, positions_past_the_end_append_or_give_null) {
    object_col col;
    auto_ptr_t<i_string> a(kiv_create_string("a"));
    auto_ptr_t<i_string> b(kiv_create_string("b"));
    auto_ptr_t<i_string> c(kiv_create_string("c"));
    col.add_item(a, false);
    col.insert_item(b, 1);
    col.insert_item(c, 0);
    EXPECT_EQ(col.get_item_pos(c.get()), 0);
    EXPECT_EQ(col.get_item_pos(b.get()), 2);
    EXPECT_EQ(col.get_item_by_pos(3), nullptr);
    auto_ptr_t<i_object> first(col.get_item_by_pos(0));
    EXPECT_EQ(kiv_cast_i_string(first), c.get());
}

TEST(object_col, searches_skip_items_without_the_interface_and_compare_exactly) {
    object_col col;
    auto_ptr_t<i_string> plain(kiv_create_string("plain"));
    item_with_id* seven = new item_with_id(7);
    seven->addref();
    auto_ptr_t<i_named_string> upper(kiv_create_named_string("A", "1"));
    col.add_item(plain, false);
    col.add_item(seven, false);
    col.add_item(upper, false);
    seven->release();

    auto_ptr_t<i_object> by_id(col.get_item_by_id(7));
    EXPECT_EQ(by_id.get(), static_cast<i_object*>(seven));
    EXPECT_EQ(col.get_item_by_id(8), nullptr);
    EXPECT_EQ(col.get_item_by_name("a"), nullptr);
    EXPECT_EQ(col.get_item_by_name(nullptr), nullptr);
    auto_ptr_t<i_object> by_name(col.get_item_by_name("A"));
    EXPECT_NE(by_name.get(), nullptr);
    EXPECT_EQ(col.get_item_pos("A"), 2);
    EXPECT_EQ(col.get_item_pos(static_cast<const char*>(nullptr)), -1);
}

TEST(object_col, copies_share_the_objects_and_give_references_back) {
    object_col col;
    std::vector<auto_ptr_t<i_string>> items;
    for (const char* v : {"x", "y", "z"}) {
        items.emplace_back(kiv_create_string(v));
        col.add_item(items.back(), false);
    }
    object_col* dup = col.copy();
    ASSERT_EQ(dup->get_count(), 3u);
    auto_ptr_t<i_object> second(dup->get_item_by_pos(1));
    EXPECT_EQ(kiv_cast_i_string(second), items[1].get());
    second.reset();
    EXPECT_EQ(items[0]->addref(), 4);
    items[0]->release();
    EXPECT_EQ(dup->release(), 0);
    EXPECT_EQ(items[0]->addref(), 3);
    items[0]->release();
}

TEST(object_col, add_col_appends_and_skips_present_items_when_unique) {
    object_col a, b;
    auto_ptr_t<i_string> s(kiv_create_string("s"));
    auto_ptr_t<i_string> t(kiv_create_string("t"));
    a.add_item(s, false);
    b.add_item(s, false);
    b.add_item(t, false);
    a.add_col(&b, true);
    EXPECT_EQ(a.get_count(), 2u);
    a.add_col(&b, false);
    EXPECT_EQ(a.get_count(), 4u);
    a.add_col(nullptr, false);
    a.clear();
    EXPECT_EQ(s->addref(), 3);
    s->release();
}

TEST(object_col, clear_destroys_in_list_order_outside_the_lock) {
    std::vector<std::string> log;
    object_col col;
    for (const char* name : {"first", "second", "third"}) {
        tracked* t = new tracked(name, &log, &col);
        col.add_item(t, false);
    }
    col.clear();
    EXPECT_EQ(log, (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(col.get_count(), 0u);
}

TEST(object_col, created_collections_are_empty_and_unnamed) {
    auto_ptr_t<i_object_col_x> col(kiv_create_col());
    EXPECT_EQ(col->get_count(), 0u);
    EXPECT_STREQ(kiv_cast_i_named_object(col)->get_name(), "");
    EXPECT_NE(kiv_cast_i_object_col(col), nullptr);
    auto_ptr_t<i_string> s(kiv_create_string("v"));
    col->add_item(s);
    col->add_item(s);
    EXPECT_EQ(col->get_count(), 2u);
    col->remove_item(s);
    EXPECT_EQ(col->get_count(), 1u);
}

TEST(object_col, concurrent_adds_removes_and_reads_stay_consistent) {
    object_col col;
    auto_ptr_t<i_string> s(kiv_create_string("shared"));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                col.add_item(s, false);
                auto_ptr_t<i_object> any(col.get_item_by_pos(0));
                (void)col.get_count();
                col.remove_item(s);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(col.get_count(), 0u);
    EXPECT_EQ(s->addref(), 2);
    s->release();
}

TEST(object_col, two_collections_added_to_each_other_from_two_threads_do_not_wait_for_good) {
    object_col a, b;
    auto_ptr_t<i_string> s(kiv_create_string("s"));
    a.add_item(s, false);
    b.add_item(s, false);
    auto grow = [](object_col* into, object_col* from) {
        for (int i = 0; i < 2000; ++i)
            into->add_col(from, true);  // unique: each stays one item long
    };
    // Two threads that waited for each other would never be joined.
    std::thread t1([&] { grow(&a, &b); });
    std::thread t2([&] { grow(&b, &a); });
    t1.join();
    t2.join();
    EXPECT_EQ(a.get_count(), 1u);
    EXPECT_EQ(b.get_count(), 1u);
}
