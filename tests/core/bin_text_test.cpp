// bin_text_test.cpp --
//
//     Hexadecimal and Base64: the RFC 4648 test vectors, every byte value
//     round trip, and decoders fed text that is not what they expect.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/bin_text.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string bytes_of(kiv::i_binary* bin) {
    if (bin == nullptr)
        return "<null>";
    const char* data = static_cast<const char*>(bin->get_data());
    return data != nullptr ? std::string(data, bin->get_data_size()) : std::string();
}

std::string decode_hex(const char* text) {
    auto_ptr_t<kiv::i_binary> bin(kiv_str2bin(text));
    return bytes_of(bin);
}

std::string decode64(const char* text) {
    auto_ptr_t<kiv::i_binary> bin(kiv_base64_decode(text));
    return bytes_of(bin);
}

std::string encode64(const std::string& bytes) {
    auto_string text(kiv_base64_encode(bytes.data(), static_cast<unsigned>(bytes.size())));
    return text.is_ok() ? std::string(text) : "<null>";
}

}  // namespace

TEST(hex, writes_two_upper_case_digits_per_byte) {
    auto_string text(kiv_bin2str("\x0A\xFF", 2));
    EXPECT_STREQ(text, "0AFF");
    auto_string empty(kiv_bin2str("", 0));
    EXPECT_STREQ(empty, "");
    EXPECT_EQ(kiv_bin2str(nullptr, 3), nullptr);
}

TEST(hex, reads_pairs_in_either_case) {
    EXPECT_EQ(decode_hex("0aff"), std::string("\x0A\xFF", 2));
    EXPECT_EQ(decode_hex("00"), std::string(1, '\0'));
    EXPECT_EQ(decode_hex(""), "");
}

TEST(hex, odd_length_or_null_gives_null) {
    EXPECT_EQ(decode_hex("abc"), "<null>");
    EXPECT_EQ(decode_hex(nullptr), "<null>");
}

TEST(hex, a_pair_is_read_up_to_its_first_non_digit) {
    EXPECT_EQ(decode_hex("G1"), std::string(1, '\0'));
    EXPECT_EQ(decode_hex("1G"), std::string(1, '\x01'));
    // Signs and blanks are no digits: no 0xFF from "-1".
    EXPECT_EQ(decode_hex("-1"), std::string(1, '\0'));
    EXPECT_EQ(decode_hex(" 1"), std::string(1, '\0'));
}

TEST(hex, every_byte_value_survives_a_round_trip) {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    auto_string text(kiv_bin2str(all.data(), 256));
    EXPECT_EQ(decode_hex(text), all);
}

TEST(base64, encodes_the_rfc_4648_vectors) {
    EXPECT_EQ(encode64(""), "<null>");
    EXPECT_EQ(encode64("f"), "Zg==");
    EXPECT_EQ(encode64("fo"), "Zm8=");
    EXPECT_EQ(encode64("foo"), "Zm9v");
    EXPECT_EQ(encode64("foob"), "Zm9vYg==");
    EXPECT_EQ(encode64("fooba"), "Zm9vYmE=");
    EXPECT_EQ(encode64("foobar"), "Zm9vYmFy");
    EXPECT_EQ(encode64("abc"), "YWJj");
    EXPECT_EQ(encode64(std::string("\xFB\xFF\xBF", 3)), "+/+/");
}

TEST(base64, decodes_the_rfc_4648_vectors) {
    EXPECT_EQ(decode64(""), "");
    EXPECT_EQ(decode64("Zg=="), "f");
    EXPECT_EQ(decode64("Zm8="), "fo");
    EXPECT_EQ(decode64("Zm9v"), "foo");
    EXPECT_EQ(decode64("Zm9vYg=="), "foob");
    EXPECT_EQ(decode64("Zm9vYmE="), "fooba");
    EXPECT_EQ(decode64("Zm9vYmFy"), "foobar");
    EXPECT_EQ(decode64("+/+/"), std::string("\xFB\xFF\xBF", 3));
}

TEST(base64, every_byte_value_survives_a_round_trip) {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(255 - i));
    for (size_t len = 1; len <= all.size(); len += 37)
        EXPECT_EQ(decode64(encode64(all.substr(0, len)).c_str()), all.substr(0, len)) << len;
    EXPECT_EQ(decode64(encode64(all).c_str()), all);
}

TEST(base64, decoding_stops_at_the_first_character_outside_the_alphabet) {
    EXPECT_EQ(decode64("YW Jj"), "a");      // the partial group of two gives one byte
    EXPECT_EQ(decode64("YWJj\nYWJj"), "abc");
    EXPECT_EQ(decode64("YWI=YWJj"), "ab");  // nothing after the pad is read
    EXPECT_EQ(decode64("=YWJj"), "");
    EXPECT_EQ(decode64("Y"), "");           // a single leftover character gives nothing
    EXPECT_EQ(decode64("YWJjY"), "abc");
    EXPECT_EQ(decode64("\xD0\xB6YWJj"), "");
    EXPECT_EQ(decode64(nullptr), "<null>");
}
