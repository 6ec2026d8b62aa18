// block_stream_test.cpp --
//
//     Byte blocks and the block stream: the exact bytes written, nesting,
//     growth, and readers given truncated, stray or oversized streams.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/binary_impl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace kiv;

namespace {
std::vector<uint8_t> bytes_of(i_binary_data_writer& w) {
    const uint8_t* p = static_cast<const uint8_t*>(w.get_data());
    return std::vector<uint8_t>(p, p + w.get_data_size());
}

struct block {
    uint16_t type;
    std::vector<uint8_t> payload;
};

std::vector<block> read_all(const std::vector<uint8_t>& data) {
    binary_data_reader r(data.data(), static_cast<unsigned>(data.size()));
    std::vector<block> blocks;
    while (r.next()) {
        const uint8_t* p = static_cast<const uint8_t*>(r.get_block_ptr());
        blocks.push_back({r.get_block_type(), std::vector<uint8_t>(p, p + r.get_block_size())});
    }
    return blocks;
}
}  // namespace

TEST(binary_block, copies_or_adopts) {
    uint8_t src[3] = {1, 2, 3};
    binary copied(src, 3, false);
    src[0] = 9;
    EXPECT_EQ(static_cast<const uint8_t*>(copied.get_data())[0], 1);
    EXPECT_EQ(copied.get_data_size(), 3u);

    void* heap = malloc(4);
    binary adopted(heap, 4, true);
    EXPECT_EQ(adopted.get_data(), heap);  // freed by the destructor (checked by ASan)
}

TEST(binary_block, set_data_from_inside_the_old_block_copies_first) {
    binary b;
    EXPECT_TRUE(b.set_data("abcdef", 6));
    const char* old = static_cast<const char*>(b.get_data());
    EXPECT_TRUE(b.set_data(old + 2, 3));
    EXPECT_EQ(std::memcmp(b.get_data(), "cde", 3), 0);
    EXPECT_TRUE(b.set_data(nullptr, 5));
    EXPECT_EQ(b.get_data(), nullptr);
    EXPECT_EQ(b.get_data_size(), 0u);
}

TEST(binary_block, detach_leaves_the_block_to_the_caller) {
    binary b;
    b.set_data("xy", 2);
    void* p = const_cast<void*>(b.get_data());
    b.detach();
    EXPECT_EQ(b.get_data(), nullptr);
    free(p);
}

TEST(block_writer, writes_header_and_payload_big_endian) {
    binary_data_writer w;
    uint8_t* p = static_cast<uint8_t*>(w.allocate_block(1, 3));
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "abc", 3);
    EXPECT_EQ(bytes_of(w), (std::vector<uint8_t>{0, 1, 0, 0, 0, 3, 0x61, 0x62, 0x63}));
    EXPECT_EQ(w.get_capacity(), 1033u);
    EXPECT_FALSE(w.set_parent(nullptr, 4));
}

TEST(block_writer, reserve_puts_the_first_block_behind_the_callers_bytes) {
    binary_data_writer w(nullptr, 4, 4);
    ASSERT_NE(w.allocate_block(2, 0), nullptr);
    EXPECT_EQ(w.get_data_size(), 10u);
    std::vector<uint8_t> data = bytes_of(w);
    EXPECT_EQ(data[4], 0);
    EXPECT_EQ(data[5], 2);
}

TEST(block_writer, enlarge_grows_the_current_block) {
    binary_data_writer w;
    uint8_t* p = static_cast<uint8_t*>(w.allocate_block(7, 3));
    std::memcpy(p, "abc", 3);
    p = static_cast<uint8_t*>(w.enlarge_block(2));
    ASSERT_NE(p, nullptr);
    std::memcpy(p + 3, "de", 2);
    std::vector<block> blocks = read_all(bytes_of(w));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].type, 7);
    EXPECT_EQ(blocks[0].payload, (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e'}));
    binary_data_writer empty;
    EXPECT_EQ(empty.enlarge_block(1), nullptr);
}

TEST(block_writer, a_nested_writer_fills_one_block_of_its_parent) {
    binary_data_writer parent;
    binary_data_writer child(&parent, 4);
    *static_cast<uint8_t*>(child.allocate_block(1, 1)) = 'x';
    *static_cast<uint8_t*>(child.allocate_block(2, 1)) = 'y';
    std::vector<block> outer = read_all(bytes_of(parent));
    ASSERT_EQ(outer.size(), 1u);
    EXPECT_EQ(outer[0].type, 4);
    EXPECT_EQ(outer[0].payload.size(), 14u);
    std::vector<block> inner = read_all(outer[0].payload);
    ASSERT_EQ(inner.size(), 2u);
    EXPECT_EQ(inner[0].type, 1);
    EXPECT_EQ(inner[1].payload, std::vector<uint8_t>{'y'});
}

TEST(block_writer, large_blocks_grow_the_buffer_and_keep_earlier_blocks) {
    binary_data_writer w;
    std::memset(w.allocate_block(1, 10), 0x11, 10);
    std::memset(w.allocate_block(2, 5000), 0x22, 5000);
    for (int i = 0; i < 100; ++i)
        std::memset(w.allocate_block(3, 100), i, 100);
    std::vector<block> blocks = read_all(bytes_of(w));
    ASSERT_EQ(blocks.size(), 102u);
    EXPECT_EQ(blocks[0].payload, std::vector<uint8_t>(10, 0x11));
    EXPECT_EQ(blocks[1].payload, std::vector<uint8_t>(5000, 0x22));
    EXPECT_EQ(blocks[101].payload, std::vector<uint8_t>(100, 99));
}

TEST(block_writer, refuses_a_block_that_would_pass_four_gigabytes) {
    binary_data_writer w;
    ASSERT_NE(w.allocate_block(1, 1), nullptr);
    EXPECT_EQ(w.allocate_block(1, UINT32_MAX - 3), nullptr);
    EXPECT_EQ(w.enlarge_block(UINT32_MAX), nullptr);
    EXPECT_EQ(w.get_data_size(), 7u);
}

TEST(block_reader, a_truncated_payload_yields_no_block) {
    std::vector<uint8_t> data{0, 1, 0, 0, 0, 5, 0x61, 0x62};
    EXPECT_TRUE(read_all(data).empty());
}

TEST(block_reader, stray_bytes_after_valid_blocks_end_the_walk) {
    std::vector<uint8_t> data{0, 1, 0, 0, 0, 1, 'a', 0, 2, 0, 0, 0, 0, 9, 9, 9};
    std::vector<block> blocks = read_all(data);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1].type, 2);
    EXPECT_TRUE(blocks[1].payload.empty());
}

TEST(block_reader, lengths_near_four_gigabytes_do_not_wrap) {
    std::vector<uint8_t> data{0, 1, 0, 0, 0, 1, 'a', 0, 2, 0xff, 0xff, 0xff, 0xfb, 1, 2};
    binary_data_reader r(data.data(), static_cast<unsigned>(data.size()));
    EXPECT_TRUE(r.next());
    EXPECT_FALSE(r.next());
    EXPECT_EQ(r.get_block_ptr(), nullptr);
    EXPECT_EQ(r.get_block_size(), 0u);
    EXPECT_FALSE(r.next());
}

TEST(block_reader, short_streams_and_reset) {
    std::vector<uint8_t> data{0, 1, 0, 0};
    EXPECT_TRUE(read_all(data).empty());
    binary_data_reader none(nullptr, 100);
    EXPECT_FALSE(none.next());
    std::vector<uint8_t> one{0, 3, 0, 0, 0, 0};
    binary_data_reader r(one.data(), 6);
    EXPECT_TRUE(r.next());
    EXPECT_FALSE(r.next());
    r.reset();
    EXPECT_TRUE(r.next());
    EXPECT_EQ(r.get_block_type(), 3);
}
