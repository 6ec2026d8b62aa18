// bin_parser_test.cpp --
//
//     The byte-record parser: integer widths and byte orders, bit-shifted
//     reads, bit fields, texts, cursor moves, and offsets far outside the
//     data; then its Tcl command, which must parse a private copy of the
//     bytes a script hands it.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/bin_parser_tcl.h>
#include <kiv/core/i_bin_parser.h>

#include <gtest/gtest.h>

#include <tcl.h>

#include <cstring>
#include <string>
#include <vector>

using kiv::i_bin_parser;

namespace {

auto_ptr_t<i_bin_parser> parser_over(std::vector<uint8_t> bytes) {
    return auto_ptr_t<i_bin_parser>(kiv_create_bin_parser(bytes.data(), static_cast<unsigned>(bytes.size()), true));
}

}  // namespace

TEST(bin_parser, two_byte_integers_are_signed_in_host_order_and_unsigned_inverted) {
    auto p = parser_over({0xFE, 0xFF});
    EXPECT_EQ(p->get_int(0, 2, false, false), -2);
    auto q = parser_over({0xFF, 0xFE});
    EXPECT_EQ(q->get_int(0, 2, true, false), 65534);
    EXPECT_EQ(q->get_int(0, 2, false, false), -257);
}

TEST(bin_parser, four_byte_integers_are_zero_extended) {
    auto p = parser_over({0x01, 0x00, 0x00, 0x00, 0x80});
    EXPECT_EQ(p->get_int(1), 2147483648LL);
    EXPECT_EQ(p->get_int(0, 4, true, false), 0x01000000LL);
    auto q = parser_over({0x80, 0x00, 0x00, 0x01});
    EXPECT_EQ(q->get_int(0, 4, true, false), 2147483649LL);
}

TEST(bin_parser, eight_byte_integers_in_both_orders) {
    auto p = parser_over({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE});
    EXPECT_EQ(p->get_int(0, 8, true, false), -2);
    EXPECT_EQ(p->get_int(0, 8, false, false), static_cast<int64_t>(0xFEFFFFFFFFFFFFFFull));
}

TEST(bin_parser, other_sizes_read_nothing) {
    auto p = parser_over({1, 2, 3, 4});
    EXPECT_EQ(p->get_int(0, 3, false, true), 0);
    EXPECT_EQ(p->get_int(0, 0, false, true), 0);
    EXPECT_EQ(p->get_offset(), 0u);
}

TEST(bin_parser, a_start_bit_shifts_every_byte_and_needs_one_more) {
    auto p = parser_over({0x12, 0x34, 0x56});
    ASSERT_TRUE(p->set_offset(0, 4));
    EXPECT_EQ(p->get_byte(0, false), 0x23);
    EXPECT_EQ(p->get_byte(1, false), 0x45);
    EXPECT_EQ(p->get_byte(2, false), 0);  // would need a fourth byte
    auto q = parser_over({1, 2, 3, 4});
    ASSERT_TRUE(q->set_offset(0, 1));
    EXPECT_EQ(q->get_int(0, 4, false, true), 0);
    EXPECT_EQ(q->get_offset(), 0u);
    EXPECT_EQ(q->get_start_bit(), 1u);
}

TEST(bin_parser, bit_fields_take_the_first_byte_as_the_low_bits) {
    auto p = parser_over({0xAB, 0xCD, 0xEF});
    EXPECT_EQ(p->get_bits(0, 12, true), 0xCAB);
    EXPECT_EQ(p->get_start_bit(), 4u);
    EXPECT_EQ(p->get_offset(), 1u);
    EXPECT_EQ(p->get_bits(0, 8, true), 0xDE);  // from the middle of 0xCD
    EXPECT_EQ(p->get_offset(), 2u);
    EXPECT_EQ(p->get_start_bit(), 4u);
    // A shifted read always takes one byte more, so the last 4 bits of
    // the data cannot be read from here.
    EXPECT_EQ(p->get_bits(0, 4, true), 0);
    EXPECT_EQ(p->get_offset(), 2u);
}

TEST(bin_parser, bit_counts_of_zero_or_above_64_are_refused) {
    auto p = parser_over({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(p->get_bits(0, 0, true), 0);
    EXPECT_EQ(p->get_bits(0, 65, true), 0);
    EXPECT_EQ(p->get_bits(0, 1000, true), 0);
    EXPECT_EQ(p->get_offset(), 0u);
    EXPECT_EQ(p->get_bits(0, 64, false), -1);
    EXPECT_EQ(p->get_bits(0, 63, false), 0x7FFFFFFFFFFFFFFFLL);
}

TEST(bin_parser, floats_and_doubles_in_both_orders) {
    auto p = parser_over({0x3F, 0x80, 0x00, 0x00});
    EXPECT_EQ(p->get_float(0, true, false), 1.0f);
    auto q = parser_over({0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F});
    EXPECT_EQ(q->get_double(0, false, true), 1.0);
    EXPECT_EQ(q->get_offset(), 8u);
    EXPECT_EQ(q->get_double(0, false, false), 0.0);  // nothing left
}

TEST(bin_parser, texts_need_a_terminator_inside_the_data) {
    const char unterminated[] = {'a', 'b'};
    auto_ptr_t<i_bin_parser> p(kiv_create_bin_parser(unterminated, 2, true));
    EXPECT_STREQ(p->get_text(0, true), "");
    EXPECT_EQ(p->get_offset(), 0u);
    auto q = parser_over({'a', 'b', 0, 'c', 'd', 0});
    EXPECT_STREQ(q->get_text(0, true), "ab");
    EXPECT_EQ(q->get_offset(), 3u);
    EXPECT_STREQ(q->get_text(0, true), "cd");
    EXPECT_EQ(q->get_unparsed_size(), 0u);
}

TEST(bin_parser, copied_texts_stop_at_a_zero_byte_or_the_size) {
    const char abc[] = {'a', 'b', 'c'};
    auto_ptr_t<i_bin_parser> p(kiv_create_bin_parser(abc, 3, false));
    auto_string whole(p->get_text2(0, 0, false));
    EXPECT_STREQ(whole, "abc");
    auto_string two(p->get_text2(1, 2, false));
    EXPECT_STREQ(two, "bc");
    EXPECT_EQ(p->get_text2(1, 3, false), nullptr);
    auto q = parser_over({'x', 0, 'y', 'z'});
    auto_string cut(q->get_text2(0, 4, true));
    EXPECT_STREQ(cut, "x");
    EXPECT_EQ(q->get_offset(), 1u);
}

TEST(bin_parser, offsets_far_outside_the_data_read_nothing) {
    auto p = parser_over({1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_TRUE(p->set_offset(4, 3));
    for (unsigned off : {0xFFFFFFFFu, 0xFFFFFFFCu, 0x80000000u}) {
        EXPECT_EQ(p->get_int(off, 4, false, true), 0);
        EXPECT_EQ(p->get_bits(off, 64, true), 0);
        EXPECT_EQ(p->get_byte(off, true), 0);
        EXPECT_STREQ(p->get_text(off, true), "");
        EXPECT_EQ(p->get_text2(off, 0, true), nullptr);
        EXPECT_EQ(p->get_text2(off, 0xFFFFFFFFu, true), nullptr);
    }
    EXPECT_EQ(p->get_offset(), 4u);
    EXPECT_EQ(p->get_start_bit(), 3u);
}

TEST(bin_parser, set_offset_stays_inside_the_data) {
    auto p = parser_over({1, 2, 3});
    EXPECT_FALSE(p->set_offset(3, 0));
    EXPECT_FALSE(p->set_offset(0, 8));
    EXPECT_TRUE(p->set_offset(2, 7));
    EXPECT_EQ(p->get_unparsed_size(), 1u);
}

TEST(bin_parser, creation_needs_bytes) {
    EXPECT_EQ(kiv_create_bin_parser(nullptr, 4, true), nullptr);
    EXPECT_EQ(kiv_create_bin_parser("x", 0, true), nullptr);
    auto p = parser_over({1});
    EXPECT_EQ(kiv_cast_i_bin_parser(p), p.get());
}

namespace {

class bin_parser_tcl : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Tcl_FindExecutable(nullptr); }
    void SetUp() override {
        interp_ = Tcl_CreateInterp();
        ASSERT_EQ(kiv_register_bin_parser_commands(interp_), TCL_OK);
    }
    void TearDown() override { Tcl_DeleteInterp(interp_); }

    // Runs a script. Returns: its result, or "error: " and the message.
    std::string eval(const std::string& script) {
        int code = Tcl_Eval(interp_, script.c_str());
        std::string result = Tcl_GetStringResult(interp_);
        return code == TCL_OK ? result : "error: " + result;
    }

    Tcl_Interp* interp_ = nullptr;
};

}  // namespace

TEST_F(bin_parser_tcl, parses_bytes_made_by_binary_format_with_default_arguments) {
    EXPECT_EQ(eval("set p [kiv_create_bin_parser [binary format c* {1 0 0 0 -128}]]; $p get_int 1"),
              "2147483648");
    EXPECT_EQ(eval("$p get_int 0 2 1 1; $p get_offset"), "2");
    EXPECT_EQ(eval("$p get_bits 0 12 0"), "0");
    EXPECT_EQ(eval("$p get_unparsed_size"), "3");
    EXPECT_EQ(eval("$p set_offset 9 0"), "0");
}

TEST_F(bin_parser_tcl, the_parser_keeps_its_own_copy_of_the_bytes) {
    const unsigned char bytes[] = {'a', 'b', 0, 0xFF, 0xFE};
    Tcl_Obj* value = Tcl_NewByteArrayObj(bytes, sizeof bytes);
    Tcl_IncrRefCount(value);
    Tcl_Obj* words[2] = {Tcl_NewStringObj("kiv_create_bin_parser", -1), value};
    Tcl_IncrRefCount(words[0]);
    ASSERT_EQ(Tcl_EvalObjv(interp_, 2, words, 0), TCL_OK);
    std::string name = Tcl_GetStringResult(interp_);
    Tcl_DecrRefCount(words[0]);
    // Scribble over the script's value, then let it go.
    int length = 0;
    unsigned char* inside = Tcl_GetByteArrayFromObj(value, &length);
    ASSERT_EQ(length, 5);
    std::memset(inside, 0x55, 5);
    Tcl_DecrRefCount(value);
    EXPECT_EQ(eval(name + " get_text 0 1"), "ab");
    EXPECT_EQ(eval(name + " get_int 0 2 1 0"), "65534");
}

TEST_F(bin_parser_tcl, bad_arguments_give_tcl_errors) {
    EXPECT_EQ(eval("kiv_create_bin_parser"), "error: wrong # args: should be \"kiv_create_bin_parser bytes\"");
    EXPECT_EQ(eval("kiv_create_bin_parser {}"), "error: no bytes to parse");
    ASSERT_EQ(eval("set p [kiv_create_bin_parser abc]").rfind("kiv_bin_parser", 0), 0u);
    EXPECT_EQ(eval("$p get_int -1").rfind("error: expected an unsigned", 0), 0u);
    EXPECT_EQ(eval("$p get_int 4294967296").rfind("error: expected an unsigned", 0), 0u);
    EXPECT_EQ(eval("$p get_byte 0 maybe").rfind("error: expected boolean", 0), 0u);
    EXPECT_EQ(eval("$p no_such").rfind("error: bad subcommand \"no_such\"", 0), 0u);
    EXPECT_EQ(eval("$p get_float 0"), "error: wrong # args: should be \"" + eval("set p") + " get_float offset invert incr_offset\"");
}

TEST_F(bin_parser_tcl, deleting_the_command_releases_the_parser) {
    std::string name = eval("kiv_create_bin_parser xyz");
    EXPECT_EQ(eval("rename " + name + " {}; info commands " + name), "");
    // A parser still alive when the interpreter goes is released with it
    // (the sanitizer build reports a leak otherwise).
    EXPECT_EQ(eval("kiv_create_bin_parser xyz").rfind("kiv_bin_parser", 0), 0u);
}
