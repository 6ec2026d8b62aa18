// memory_codec_test.cpp --
//
//     In-memory compression: round trips, the level-1 output zlib itself
//     gives, empty and null input, the growing output buffer of
//     inflating, data that is not (or not all) zlib data, and the cap on
//     how far the output may grow.

#include "zip_fixtures.h"

#include <zlib.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace kiv;
using namespace kiv_test;

namespace {

bytes zlib_compress(const bytes& data, int level) {
    uLongf size = compressBound(data.size());
    bytes out(size);
    EXPECT_EQ(compress2(out.data(), &size, data.data(), data.size(), level), Z_OK);
    out.resize(size);
    return out;
}

}  // namespace

TEST_F(zip_session, compressed_bytes_inflate_back_to_the_original) {
    for (size_t size : {size_t(1), size_t(100), size_t(70000), size_t(3 << 20)}) {
        bytes data = sample_data(size, unsigned(size));
        auto_ptr_t<i_binary> packed(zip->compress_binary(data.data(), unsigned(data.size())));
        ASSERT_TRUE(packed) << size;
        auto_ptr_t<i_binary> back(
            zip->uncompress_binary(packed->get_data(), packed->get_data_size(), 0));
        ASSERT_TRUE(back) << size;
        EXPECT_EQ(bytes_of(back), data) << size;
        // Any zlib reader takes the data.
        bytes plain(size);
        uLongf plain_size = size;
        ASSERT_EQ(uncompress(plain.data(), &plain_size, static_cast<const Bytef*>(packed->get_data()),
                             packed->get_data_size()),
                  Z_OK);
        EXPECT_EQ(plain, data);
    }
}

TEST_F(zip_session, compression_runs_at_zlibs_fastest_level) {
    bytes data = sample_data(200000);
    auto_ptr_t<i_binary> packed(zip->compress_binary(data.data(), unsigned(data.size())));
    ASSERT_TRUE(packed);
    EXPECT_EQ(bytes_of(packed), zlib_compress(data, 1));
    EXPECT_NE(bytes_of(packed), zlib_compress(data, 9));
}

TEST_F(zip_session, texts_compress_without_their_terminator) {
    const char* text = "Main Street, Main Street, Main Street";
    auto_ptr_t<i_binary> packed(zip->compress_text(text));
    ASSERT_TRUE(packed);
    heap_text back(zip->uncompress_text(packed->get_data(), packed->get_data_size(), 0));
    ASSERT_TRUE(back);
    EXPECT_STREQ(back.get(), text);
    auto_ptr_t<i_binary> bin(zip->uncompress_binary(packed->get_data(), packed->get_data_size(), 0));
    EXPECT_EQ(bin->get_data_size(), std::strlen(text));
}

TEST_F(zip_session, empty_or_null_input_gives_null) {
    EXPECT_EQ(zip->compress_text(""), nullptr);
    EXPECT_EQ(zip->compress_text(nullptr), nullptr);
    EXPECT_EQ(zip->compress_binary(nullptr, 10), nullptr);
    EXPECT_EQ(zip->compress_binary("x", 0), nullptr);
    EXPECT_EQ(zip->uncompress_binary(nullptr, 10, 0), nullptr);
    EXPECT_EQ(zip->uncompress_binary("x", 0, 0), nullptr);
    EXPECT_EQ(zip->uncompress_text(nullptr, 10, 0), nullptr);
}

TEST_F(zip_session, the_output_buffer_doubles_until_the_data_fits) {
    // Inflates to many times its size: the first guess (twice the input)
    // is too small several times over.
    bytes data(20000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t("abcdefgh"[(i / 97) % 8]);
    bytes packed = zlib_compress(data, 9);
    ASSERT_GT(data.size(), packed.size() * 10);
    auto_ptr_t<i_binary> back(zip->uncompress_binary(packed.data(), unsigned(packed.size()), 0));
    ASSERT_TRUE(back);
    EXPECT_EQ(bytes_of(back), data);
    // A first guess that is too small grows as well; the text is
    // terminated right after the data.
    heap_text text(zip->uncompress_text(packed.data(), unsigned(packed.size()), 1));
    ASSERT_TRUE(text);
    EXPECT_EQ(std::strlen(text.get()), data.size());
    EXPECT_EQ(std::memcmp(text.get(), data.data(), data.size()), 0);
}

TEST_F(zip_session, data_that_is_not_complete_zlib_data_gives_null) {
    const char* plain = "this was never compressed";
    EXPECT_EQ(zip->uncompress_text(plain, unsigned(std::strlen(plain)), 0), nullptr);

    bytes data = sample_data(5000);
    bytes packed = zlib_compress(data, 1);
    // Cut short: never handed back as if complete.
    EXPECT_EQ(zip->uncompress_binary(packed.data(), unsigned(packed.size() - 5), 0), nullptr);
    EXPECT_EQ(zip->uncompress_binary(packed.data(), unsigned(packed.size() / 2), 100000), nullptr);
    // A damaged checksum.
    bytes damaged = packed;
    damaged.back() ^= 0x40;
    EXPECT_EQ(zip->uncompress_binary(damaged.data(), unsigned(damaged.size()), 0), nullptr);
}

TEST_F(zip_session, a_huge_first_guess_is_capped_not_wrapped) {
    bytes data = sample_data(1000);
    bytes packed = zlib_compress(data, 1);
    // Doubling 0x80000000 in 32 bits would wrap to 0; the guess is capped
    // instead, and nothing that large is touched.
    auto_ptr_t<i_binary> back(zip->uncompress_binary(packed.data(), unsigned(packed.size()), 0x80000000u));
    ASSERT_TRUE(back);
    EXPECT_EQ(bytes_of(back), data);
    back.reset(zip->uncompress_binary(packed.data(), unsigned(packed.size()), 0xFFFFFFFFu));
    ASSERT_TRUE(back);
    EXPECT_EQ(bytes_of(back), data);
}

TEST_F(zip_session, output_beyond_the_cap_is_refused_however_the_buffer_starts) {
    memory_cap_guard cap(65536);
    bytes fits(65536, 'z');
    bytes over(65537, 'z');
    bytes packed_fits = zlib_compress(fits, 9);
    bytes packed_over = zlib_compress(over, 9);
    for (unsigned first : {0u, 1u, 65536u, 0x80000000u, 0xFFFFFFFFu}) {
        auto_ptr_t<i_binary> back(zip->uncompress_binary(packed_fits.data(), unsigned(packed_fits.size()), first));
        ASSERT_TRUE(back) << first;
        EXPECT_EQ(back->get_data_size(), 65536u);
        EXPECT_EQ(zip->uncompress_binary(packed_over.data(), unsigned(packed_over.size()), first), nullptr)
            << first;
        EXPECT_EQ(zip->uncompress_text(packed_over.data(), unsigned(packed_over.size()), first), nullptr)
            << first;
    }
}
