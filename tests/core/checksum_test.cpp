// checksum_test.cpp --
//
//     Known answers for CRC-32, CRC-16 and MD5, the documented missing
//     inversions, chaining, and inputs around MD5's 64-byte block edge.

#include <kiv/core/checksum.h>

#include "crypto/md5_encoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string md5_of(const std::string& text) {
    kiv::md5_encoder md5;
    char* digest = md5.encode_data(text.data(), static_cast<unsigned>(text.size()));
    std::string result = digest != nullptr ? digest : "(null)";
    free(digest);
    return result;
}

}  // namespace

TEST(crc32, has_no_inversions_and_matches_the_standard_check_value_when_inverted) {
    const char digits[] = "123456789";
    EXPECT_EQ(~kiv_crc32(digits, 9, 0xFFFFFFFFu), 0xCBF43926u);
    EXPECT_EQ(kiv_crc32(nullptr, 9, 77), 77u);
    EXPECT_EQ(kiv_crc32(digits, 0, 77), 77u);
}

TEST(crc32, chains_over_split_input_and_agrees_with_the_bytewise_definition) {
    std::string data;
    for (int i = 0; i < 1000; ++i)
        data.push_back(static_cast<char>(i * 31 + 7));
    unsigned whole = kiv_crc32(data.data(), 1000, 0x1234);
    for (unsigned split : {1u, 3u, 8u, 13u, 999u}) {
        unsigned first = kiv_crc32(data.data(), split, 0x1234);
        EXPECT_EQ(kiv_crc32(data.data() + split, 1000 - split, first), whole) << split;
    }
    uint32_t crc = 0x1234;
    for (unsigned char b : data) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    EXPECT_EQ(whole, crc);
}

TEST(crc16, matches_the_reflected_ccitt_check_value_without_inversion) {
    EXPECT_EQ(kiv_crc16("123456789", 9, 0), 0x2189);
    EXPECT_EQ(kiv_crc16(nullptr, 9, 0x1973), 0x1973);
    unsigned short first = kiv_crc16("1234", 4, 0x1973);
    EXPECT_EQ(kiv_crc16("56789", 5, first), kiv_crc16("123456789", 9, 0x1973));
}

TEST(md5, gives_the_rfc_1321_test_values) {
    EXPECT_EQ(md5_of(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5_of("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(md5_of("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5_of("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(md5_of("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(md5_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(md5_of("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(md5, handles_lengths_around_the_block_edge) {
    // Reference digests of runs of the letter 'a'.
    EXPECT_EQ(md5_of(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(md5_of(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(md5_of(std::string(63, 'a')), "b06521f39153d618550606be297466d5");
    EXPECT_EQ(md5_of(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
    EXPECT_EQ(md5_of(std::string(65, 'a')), "c743a45e0d2e6a95cb859adae0248435");
    EXPECT_EQ(md5_of(std::string(128, 'a')), "e510683b3f5ffe4093d021808bc6ff70");
}

TEST(md5, service_refuses_null_and_answers_its_interfaces) {
    kiv::md5_encoder md5;
    EXPECT_EQ(md5.encode_string(nullptr), nullptr);
    EXPECT_EQ(md5.encode_data(nullptr, 3), nullptr);
    char* digest = md5.encode_string("abc");
    EXPECT_STREQ(digest, "900150983cd24fb0d6963f7d28e17f72");
    free(digest);
    EXPECT_EQ(kiv_cast_i_md5_encoder(&md5), static_cast<kiv::i_md5_encoder*>(&md5));
    EXPECT_STREQ(kiv_cast_i_named_object(&md5)->get_name(), "MD5 encoder");
    EXPECT_EQ(kiv_cast_i_string(&md5), nullptr);
}
