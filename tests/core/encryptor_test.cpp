// encryptor_test.cpp --
//
//     The encryptor's stored layout (sizes, length prefix, block count),
//     the TEA known answer, refusals, round trips of every method, the
//     text variants, and decryption that stays inside its input.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/bin_text.h>
#include <kiv/core/i_binary.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_encryptor.h>
#include <kiv/core/i_string.h>

#include "crypto/encryptor.h"
#include "core_session.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

typedef std::vector<unsigned char> bytes;

bytes to_bytes(kiv::i_binary* bin) {
    auto_ptr_t<kiv::i_binary> hold(bin);
    if (!hold)
        return {};
    const unsigned char* p = static_cast<const unsigned char*>(hold->get_data());
    return bytes(p, p + hold->get_data_size());
}

bytes pattern(size_t n, unsigned seed = 1) {
    bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>((i + seed) * 167 + seed);
    return b;
}

std::string hex(const bytes& b, size_t from, size_t n) {
    if (from + n > b.size())
        return "(short)";
    char* s = kiv_bin2str(b.data() + from, static_cast<unsigned>(n));
    std::string result = s != nullptr ? s : "";
    free(s);
    return result;
}

class encryptor_test : public ::testing::Test {
protected:
    bytes encrypt(const bytes& data, const bytes& key, unsigned char method) {
        return to_bytes(enc.encrypt(data.data(), data.size(), key.data(), static_cast<unsigned>(key.size()), method));
    }
    bytes decrypt(const bytes& data, const bytes& key, unsigned char method) {
        return to_bytes(enc.decrypt(data.data(), data.size(), key.data(), static_cast<unsigned>(key.size()), method));
    }
    kiv::encryptor enc;
    const bytes key4 = {0x12, 0x34, 0x56, 0x78};
    const bytes key8 = {'s', 'e', 'c', 'r', 'e', 't', '!', 0};
};

}  // namespace

TEST_F(encryptor_test, tea_frames_five_bytes_as_length_one_block_and_five_zero_bytes) {
    bytes plain = pattern(5);
    bytes cipher = encrypt(plain, key4, '2');
    ASSERT_EQ(cipher.size(), 17u);
    EXPECT_EQ(hex(cipher, 0, 4), "00000005");
    EXPECT_EQ(hex(cipher, 12, 5), "0000000000");
    EXPECT_NE(hex(cipher, 4, 8), "0000000000000000");
    EXPECT_EQ(decrypt(cipher, key4, '2'), plain);
}

TEST_F(encryptor_test, tea_adds_a_whole_block_when_the_length_is_a_multiple_of_eight) {
    // With a zero key the second block, all zero padding, is TEA(0, 0)
    // under the zero key: the published answer 41EA3A0A 94BAA940, each
    // word stored little-endian.
    bytes zero_key(16, 0);
    bytes cipher = encrypt(bytes(8, 0), zero_key, '2');
    ASSERT_EQ(cipher.size(), 20u);
    EXPECT_EQ(hex(cipher, 0, 4), "00000008");
    EXPECT_EQ(hex(cipher, 4, 8), "0A3AEA4140A9BA94");
    EXPECT_EQ(hex(cipher, 12, 8), "0A3AEA4140A9BA94");
    EXPECT_EQ(decrypt(cipher, zero_key, '2'), bytes(8, 0));
}

TEST_F(encryptor_test, own_cipher_frames_sixteen_bytes_in_thirty_six_with_two_blocks) {
    bytes plain = pattern(16);
    bytes cipher = encrypt(plain, key8, '1');
    ASSERT_EQ(cipher.size(), 36u);
    EXPECT_EQ(hex(cipher, 0, 4), "00000010");
    EXPECT_NE(hex(cipher, 20, 16), std::string(32, '0'));
    EXPECT_EQ(decrypt(cipher, key8, '1'), plain);
}

TEST_F(encryptor_test, own_cipher_enciphers_each_block_alone) {
    // Two equal plain blocks give two equal cipher blocks: there is no
    // chaining, which stored data depends on.
    bytes plain = pattern(16);
    plain.insert(plain.end(), plain.begin(), plain.end());
    bytes cipher = encrypt(plain, key8, '1');
    ASSERT_EQ(cipher.size(), 52u);
    EXPECT_EQ(hex(cipher, 4, 16), hex(cipher, 20, 16));
    EXPECT_NE(hex(cipher, 4, 16), hex(plain, 0, 16));
}

TEST_F(encryptor_test, stored_ciphertexts_keep_their_bytes) {
    // Pinned outputs, computed independently from the format's
    // description; any change here breaks files already written.
    bytes plain = pattern(21);
    EXPECT_EQ(hex(encrypt(plain, key8, '1'), 0, 41),
              "000000152DF8EBF79E4E26EDF6B7536556DBF1BB01AC148041439BCF3E701657E3F930920000000000");
    bytes long_key(40);
    for (size_t i = 0; i < long_key.size(); ++i)
        long_key[i] = static_cast<unsigned char>(i + 1);
    EXPECT_EQ(hex(encrypt(plain, long_key, '2'), 0, 33),
              "00000015D5B5F9F73ADCAF00714B709C096BB117584270FEF3BB06BD0000000000");
}

TEST_F(encryptor_test, every_method_round_trips_all_lengths_and_key_sizes) {
    for (unsigned char method : {'0', '1', '2'}) {
        for (size_t key_size : {5u, 16u, 17u, 33u, 125u}) {
            bytes key = pattern(key_size, 7);
            for (size_t n : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 32u, 100u, 1000u}) {
                bytes plain = pattern(n, static_cast<unsigned>(n));
                bytes cipher = encrypt(plain, key, method);
                ASSERT_FALSE(cipher.empty()) << method << " " << key_size << " " << n;
                if (method == '0')
                    EXPECT_EQ(cipher, plain);
                else
                    EXPECT_EQ(cipher.size(), n + (method == '1' ? 20 : 12));
                EXPECT_EQ(decrypt(cipher, key, method), plain) << method << " " << key_size << " " << n;
            }
        }
    }
}

TEST_F(encryptor_test, a_different_key_gives_a_different_ciphertext) {
    bytes plain = pattern(40);
    bytes other = key8;
    other[0] ^= 1;
    EXPECT_NE(encrypt(plain, key8, '1'), encrypt(plain, other, '1'));
    EXPECT_NE(encrypt(plain, key8, '2'), encrypt(plain, other, '2'));
    EXPECT_NE(decrypt(encrypt(plain, key8, '2'), other, '2'), plain);
}

TEST_F(encryptor_test, refuses_missing_arguments_unknown_methods_and_bad_keys) {
    bytes plain = pattern(10);
    EXPECT_EQ(enc.encrypt(nullptr, 10, key8.data(), 8, '2'), nullptr);
    EXPECT_EQ(enc.encrypt(plain.data(), 0, key8.data(), 8, '2'), nullptr);
    EXPECT_EQ(enc.encrypt(plain.data(), 10, nullptr, 8, '0'), nullptr);
    EXPECT_EQ(enc.encrypt(plain.data(), 10, key8.data(), 0, '0'), nullptr);
    EXPECT_EQ(enc.encrypt(plain.data(), 10, key8.data(), 8, '3'), nullptr);
    EXPECT_EQ(enc.decrypt(plain.data(), 10, key8.data(), 8, 2), nullptr);
    bytes key126 = pattern(126);
    EXPECT_TRUE(encrypt(plain, key4, '1').empty());
    EXPECT_TRUE(encrypt(plain, key126, '1').empty());
    EXPECT_FALSE(encrypt(plain, bytes(key126.begin(), key126.end() - 1), '1').empty());
    EXPECT_FALSE(encrypt(plain, key126, '2').empty());
}

TEST_F(encryptor_test, decrypt_refuses_short_input_and_lengths_beyond_it) {
    EXPECT_TRUE(decrypt(bytes(12, 0), key8, '2').empty());
    EXPECT_TRUE(decrypt(bytes(20, 0), key8, '1').empty());
    bytes cipher = encrypt(pattern(9), key8, '2');
    cipher[3] = static_cast<unsigned char>(cipher.size() - 3);
    EXPECT_TRUE(decrypt(cipher, key8, '2').empty());
    cipher[3] = static_cast<unsigned char>(cipher.size() - 4);
    EXPECT_EQ(decrypt(cipher, key8, '2').size(), cipher.size() - 4);
    cipher[0] = 0x80;
    EXPECT_TRUE(decrypt(cipher, key8, '2').empty());
}

TEST_F(encryptor_test, decrypt_reads_only_the_given_bytes_of_a_cut_ciphertext) {
    // Heap blocks of the exact size: a read past the end shows under ASan.
    for (unsigned char method : {'1', '2'}) {
        bytes cipher = encrypt(pattern(40), key8, method);
        for (size_t cut : {size_t(21), size_t(29), cipher.size() - 1}) {
            unsigned char* exact = static_cast<unsigned char*>(malloc(cut));
            std::memcpy(exact, cipher.data(), cut);
            exact[3] = static_cast<unsigned char>(cut - 4);
            auto_ptr_t<kiv::i_binary> plain(enc.decrypt(exact, cut, key8.data(), 8, method));
            ASSERT_TRUE(plain) << method << " " << cut;
            EXPECT_EQ(plain->get_data_size(), cut - 4);
            free(exact);
        }
    }
}

TEST_F(encryptor_test, texts_round_trip_through_base64_with_their_terminators) {
    const char* text = "proc hello {} { return \"world\" }";
    for (unsigned char method : {'0', '1', '2'}) {
        char* cipher = enc.encrypt_string(text, "the key", method);
        ASSERT_NE(cipher, nullptr) << method;
        auto_ptr_t<kiv::i_binary> raw(kiv_base64_decode(cipher));
        size_t expected = strlen(text) + 1 + (method == '0' ? 0 : method == '1' ? 20 : 12);
        EXPECT_EQ(raw->get_data_size(), expected) << method;
        char* plain = enc.decrypt_string(cipher, "the key", method);
        EXPECT_STREQ(plain, text) << method;
        free(plain);
        free(cipher);
    }
    EXPECT_EQ(enc.encrypt_string(nullptr, "k", '2'), nullptr);
    EXPECT_EQ(enc.encrypt_string("t", nullptr, '2'), nullptr);
    EXPECT_EQ(enc.decrypt_string(nullptr, "k", '2'), nullptr);
    EXPECT_EQ(enc.decrypt_string("dA==", nullptr, '2'), nullptr);
}

TEST_F(encryptor_test, decrypt_string_refuses_plain_bytes_without_a_final_zero) {
    char* no_zero = kiv_base64_encode("abc", 3);
    EXPECT_EQ(enc.decrypt_string(no_zero, "k", '0'), nullptr);
    free(no_zero);
    char* with_zero = kiv_base64_encode("abc", 4);
    char* plain = enc.decrypt_string(with_zero, "k", '0');
    EXPECT_STREQ(plain, "abc");
    free(plain);
    free(with_zero);
    EXPECT_EQ(enc.decrypt_string("", "k", '2'), nullptr);
}

TEST(encryptor_service, is_registered_at_start_up_with_its_name_and_type) {
    kiv_test::core_session session(false);
    auto_ptr_t<kiv::i_object> svc(kiv_core()->get_service("svc_encrypt"));
    ASSERT_TRUE(svc);
    EXPECT_NE(kiv_cast_i_encryptor(svc), nullptr);
    EXPECT_STREQ(kiv_cast_i_named_object(svc)->get_name(), "encryptor");
    EXPECT_EQ(kiv_cast_i_typed_object(svc)->get_id(), 77132);
    void* out = &session;
    EXPECT_FALSE(svc->get_interface("i_string", &out));
    EXPECT_EQ(out, nullptr);
}
