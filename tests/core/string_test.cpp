// string_test.cpp --
//
//     The growable text: allocation sizes, growth, padding, hand-over of
//     buffers, calls given text from the string's own buffer, and names.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/string_impl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace kiv;

TEST(string_value, a_new_string_reads_empty_and_detaches_null) {
    kiv::string s;
    EXPECT_STREQ(s.get_value(), "");
    EXPECT_EQ(s.detach(), nullptr);
    EXPECT_EQ(s.get_max_buf_size(), 0u);
}

TEST(string_value, first_buffer_is_256_and_longer_values_reallocate_to_fit) {
    kiv::string s;
    EXPECT_TRUE(s.set_value("abc"));
    EXPECT_EQ(s.get_max_buf_size(), 256u);
    EXPECT_EQ(s.get_length(), 3u);
    std::string long_value(300, 'x');
    EXPECT_TRUE(s.set_value(long_value.c_str()));
    EXPECT_EQ(s.get_max_buf_size(), 301u);
    EXPECT_EQ(s.get_value(), long_value);
}

TEST(string_value, null_or_empty_value_empties_but_keeps_the_buffer) {
    kiv::string s("hello");
    EXPECT_TRUE(s.set_value(nullptr));
    EXPECT_STREQ(s.get_value(), "");
    EXPECT_EQ(s.get_max_buf_size(), 256u);
    s.set_value("again");
    EXPECT_TRUE(s.set_value(""));
    EXPECT_STREQ(s.get_value(), "");
    EXPECT_EQ(s.get_length(), 0u);
}

TEST(string_value, values_taken_from_the_own_buffer_survive) {
    kiv::string s("hello world");
    EXPECT_TRUE(s.set_value(s.get_value() + 6));
    EXPECT_STREQ(s.get_value(), "world");
    EXPECT_TRUE(s.set_value(s.get_value()));
    EXPECT_STREQ(s.get_value(), "world");
}

TEST(string_concat, doubles_capacity_when_full) {
    kiv::string s(std::string(250, 'a').c_str());
    EXPECT_EQ(s.get_max_buf_size(), 256u);
    s.concat("0123456789");
    EXPECT_EQ(s.get_max_buf_size(), 512u);
    EXPECT_EQ(s.get_length(), 260u);
    EXPECT_EQ(std::string(s.get_value()).substr(250), "0123456789");
}

TEST(string_concat, concatn_pads_with_zero_bytes) {
    kiv::string s("ab");
    s.concatn("xyz", 5);
    EXPECT_EQ(s.get_length(), 7u);
    EXPECT_STREQ(s.get_value(), "abxyz");
    EXPECT_EQ(s.get_value()[5], '\0');
    EXPECT_EQ(s.get_value()[6], '\0');
}

TEST(string_concat, appending_itself_through_a_reallocation_copies_the_old_text) {
    kiv::string s(std::string(200, 'q').c_str());
    for (int i = 0; i < 4; ++i)
        s.concat(s.get_value());
    EXPECT_EQ(s.get_length(), 3200u);
    EXPECT_EQ(std::string(s.get_value()), std::string(3200, 'q'));
}

TEST(string_concat, a_new_string_gets_256_or_n_plus_one) {
    kiv::string small;
    small.concat("abc");
    EXPECT_EQ(small.get_max_buf_size(), 256u);
    kiv::string big;
    std::string text(400, 'z');
    big.concat(text.c_str());
    EXPECT_EQ(big.get_max_buf_size(), 401u);
    big.concat(nullptr);
    big.concatn("x", 0);
    EXPECT_EQ(big.get_length(), 400u);
}

TEST(string_buffer, detach_hands_over_and_assign_takes_over) {
    kiv::string s("text");
    char* buffer = s.detach();
    EXPECT_STREQ(buffer, "text");
    EXPECT_STREQ(s.get_value(), "");
    EXPECT_EQ(s.get_max_buf_size(), 0u);
    s.assign(buffer);
    EXPECT_STREQ(s.get_value(), "text");
    EXPECT_EQ(s.get_max_buf_size(), 5u);
    s.assign(nullptr);
    EXPECT_STREQ(s.get_value(), "");
}

TEST(string_buffer, reserve_makes_room_and_never_shrinks) {
    kiv::string s;
    EXPECT_TRUE(s.reserve(10));
    EXPECT_EQ(s.get_max_buf_size(), 11u);
    EXPECT_STREQ(s.get_value(), "");
    s.set_value("abc");
    EXPECT_TRUE(s.reserve(100));
    EXPECT_EQ(s.get_max_buf_size(), 101u);
    EXPECT_STREQ(s.get_value(), "abc");
    EXPECT_TRUE(s.reserve(5));
    EXPECT_EQ(s.get_max_buf_size(), 101u);
    EXPECT_FALSE(s.reserve(UINT32_MAX));
    EXPECT_STREQ(s.get_value(), "abc");
}

TEST(named_objects, names_are_copied_and_empty_means_none) {
    named_string ns("colour", "red");
    EXPECT_STREQ(ns.get_name(), "colour");
    EXPECT_STREQ(ns.get_value(), "red");
    EXPECT_FALSE(ns.set_name(nullptr));
    EXPECT_STREQ(ns.get_name(), "colour");
    EXPECT_TRUE(ns.set_name(ns.get_name()));
    EXPECT_STREQ(ns.get_name(), "colour");
    EXPECT_TRUE(ns.set_name(""));
    EXPECT_STREQ(ns.get_name(), "");
}

TEST(named_objects, creators_return_one_reference) {
    i_named_string* ns = kiv_create_named_string("k", "v");
    ASSERT_NE(ns, nullptr);
    EXPECT_STREQ(ns->get_name(), "k");
    EXPECT_STREQ(ns->get_value(), "v");
    EXPECT_EQ(ns->release(), 0);
    auto_ptr_t<i_string> s(kiv_create_string(nullptr));
    EXPECT_STREQ(s->get_value(), "");
}
