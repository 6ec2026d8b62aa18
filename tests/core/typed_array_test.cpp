// typed_array_test.cpp --
//
//     Block-shared counting: the block of four handed out and released
//     piece by piece (run under AddressSanitizer too, which catches an
//     early or double free of the block), interface names of the element
//     classes, personal counts, and a locked block shared by threads.

#include <kiv/core/auto_ptr.h>
#include "object/typed_array.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace kiv;

namespace {

// Counts destructions of its kind, to see when a block is really freed.
std::atomic<int> counted_destroyed{0};

class counted_string : public array_object<counted_string>, public i_string_impl {
public:
    ~counted_string() override { ++counted_destroyed; }
    bool get_interface(const char* name, void** out) override {
        if (answer_interface(name, "i_string", static_cast<i_string*>(this), out))
            return true;
        return array_object_impl<counted_string>::get_interface(name, out);
    }
};

// An element that keeps a personal count once handed out and records
// when it drops back to 0.
class personal_element : public array_object<personal_element> {
public:
    void personal_construct(void*) override {
        mutex_locker lock(mutex_);
        personal_count_ = 1;
        ++*block_count_;
    }
    void personal_destruct() override {
        ++personal_destructs;
        lock_held_in_destruct = mutex_ != nullptr && mutex_->lock_count() != 0;
    }
    int personal_destructs = 0;
    bool lock_held_in_destruct = false;
};

}  // namespace

TEST(typed_array, block_of_four_lives_until_the_last_element_is_released) {
    // Under AddressSanitizer an early free shows as a use after free
    // below, and a block never freed as a leak at exit.
    array_string* block = array_object_make_block<array_string>(4, false);
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 4; ++i)
        block[i].personal_construct(nullptr);
    EXPECT_EQ(block[0].addref(), 9);  // a probe: 8 before it
    EXPECT_EQ(block[0].release(), 8);
    for (int i = 0; i < 4; ++i)
        block[i].release();  // the maker gives its references up
    EXPECT_EQ(block[3].addref(), 5);
    EXPECT_EQ(block[3].release(), 4);
    block[0].set_value("still here");
    EXPECT_EQ(block[0].release(), 3);
    EXPECT_EQ(block[1].release(), 2);
    EXPECT_EQ(block[2].release(), 1);
    EXPECT_STREQ(block[0].get_value(), "still here");  // released elements live while the block does
    EXPECT_EQ(block[3].release(), 0);
}

TEST(typed_array, the_last_release_destroys_every_element_of_the_block) {
    counted_destroyed = 0;
    counted_string* block = array_object_make_block<counted_string>(4, false);
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 3; ++i)
        block[i].release();
    EXPECT_EQ(counted_destroyed, 0);
    EXPECT_EQ(block[3].release(), 0);
    EXPECT_EQ(counted_destroyed, 4);
}

TEST(typed_array, addref_returns_the_count_of_the_whole_block) {
    array_string* block = array_object_make_block<array_string>(3, false);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0].addref(), 4);
    EXPECT_EQ(block[2].addref(), 5);
    EXPECT_EQ(block[1].release(), 4);
    EXPECT_EQ(block[0].release(), 3);
    for (int i = 0; i < 3; ++i)
        block[i].release();
}

TEST(typed_array, element_classes_answer_their_interface_names_only) {
    array_binary* bins = array_object_make_block<array_binary>(1, false);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_TRUE(bins->get_interface("i_binary", &out));
    EXPECT_EQ(out, static_cast<i_binary*>(bins));
    EXPECT_FALSE(bins->get_interface("i_object", &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_TRUE(bins->set_data("abc", 3));
    EXPECT_EQ(bins->get_data_size(), 3u);
    bins->release();

    array_named_string* names = array_object_make_block<array_named_string>(1, false);
    EXPECT_NE(kiv_cast_i_named_string(static_cast<i_named_string*>(names)), nullptr);
    EXPECT_NE(kiv_cast_i_named_object(static_cast<i_named_string*>(names)), nullptr);
    EXPECT_NE(kiv_cast_i_string(static_cast<i_named_string*>(names)), nullptr);
    EXPECT_EQ(kiv_cast_i_binary(static_cast<i_named_string*>(names)), nullptr);
    names->set_name("n");
    EXPECT_STREQ(names->get_name(), "n");
    names->release();

    array_object_col* cols = array_object_make_block<array_object_col>(1, false);
    EXPECT_NE(kiv_cast_i_object_col(static_cast<i_object_col*>(cols)), nullptr);
    EXPECT_EQ(kiv_cast_i_object_col_x(static_cast<i_object_col*>(cols)), nullptr);
    cols->release();
}

TEST(typed_array, freeing_the_block_releases_what_its_elements_hold) {
    auto_ptr_t<i_string> held(kiv_create_string("held"));
    array_object_col* cols = array_object_make_block<array_object_col>(2, false);
    cols[1].add_item(held, false);
    EXPECT_EQ(held->addref(), 3);
    held->release();
    cols[0].release();
    EXPECT_EQ(held->addref(), 3);  // the block still lives
    held->release();
    cols[1].release();
    EXPECT_EQ(held->addref(), 2);
    held->release();
}

TEST(typed_array, a_personal_count_calls_personal_destruct_once_outside_the_lock) {
    personal_element* block = array_object_make_block<personal_element>(2, true);
    ASSERT_NE(block, nullptr);
    block[0].personal_construct(nullptr);
    EXPECT_EQ(block[0].addref(), 4);  // block count; the personal count is now 2
    block[0].release();
    EXPECT_EQ(block[0].personal_destructs, 0);
    EXPECT_EQ(block[0].release(), 2);
    EXPECT_EQ(block[0].personal_destructs, 1);
    EXPECT_FALSE(block[0].lock_held_in_destruct);
    EXPECT_EQ(block[1].personal_destructs, 0);
    block[0].release();
    block[1].release();
}

TEST(typed_array, a_locked_block_is_counted_correctly_from_many_threads) {
    counted_destroyed = 0;
    const unsigned n = 16;
    counted_string* block = array_object_make_block<counted_string>(n, true);
    ASSERT_NE(block, nullptr);
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < 8; ++t)
        workers.emplace_back([block, t] {
            for (int i = 0; i < 5000; ++i) {
                counted_string& e = block[(t + i) % n];
                e.addref();
                e.release();
            }
        });
    for (std::thread& w : workers)
        w.join();
    EXPECT_EQ(block[0].addref(), int(n) + 1);
    block[0].release();
    // Drop the maker's references from several threads at once.
    workers.clear();
    for (unsigned t = 0; t < 4; ++t)
        workers.emplace_back([block, t] {
            for (unsigned i = t; i < n; i += 4)
                block[i].release();
        });
    for (std::thread& w : workers)
        w.join();
    EXPECT_EQ(counted_destroyed, int(n));
}

TEST(typed_array, an_empty_block_is_not_made) {
    EXPECT_EQ(array_object_make_block<array_string>(0, false), nullptr);
}
