// byte_buffer_test.cpp --
//
//     The shared growable heap block and the little-endian reader: growth
//     up to and at the cap, sizes that would pass the cap or wrap refused
//     with the block left as it was, and reads that would pass the end of
//     the bytes refused.

#include <kiv/core/byte_buffer.h>
#include <kiv/core/le_bytes.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace kiv;

namespace {

// A malloc-ed block of `size` bytes holding 0, 1, 2, ...
uint8_t* counted_block(uint64_t size) {
    uint8_t* p = static_cast<uint8_t*>(malloc(size));
    for (uint64_t i = 0; i < size; ++i)
        p[i] = static_cast<uint8_t>(i);
    return p;
}

bool counts_up(const uint8_t* p, uint64_t size) {
    for (uint64_t i = 0; i < size; ++i)
        if (p[i] != static_cast<uint8_t>(i))
            return false;
    return true;
}

}  // namespace

TEST(byte_buffer, grows_by_the_callers_rule_up_to_the_cap_and_refuses_beyond_it) {
    struct row {
        const char* what;
        uint64_t used, more, wanted, cap;
        bool ok;
        uint64_t capacity;  // after the call; 16 before it
    } rows[] = {
        {"fits as it is", 10, 6, 1000, 100, true, 16},
        {"grows to the wanted size", 16, 1, 32, 100, true, 32},
        {"a wanted size below the need gives the need", 16, 10, 0, 100, true, 26},
        {"a wanted size past the cap stops at the cap", 16, 10, 1000, 64, true, 64},
        {"a need of exactly the cap is met", 16, 48, 0, 64, true, 64},
        {"a need one past the cap is refused", 16, 49, 1000, 64, false, 16},
        {"a sum that would wrap is refused", 16, UINT64_MAX - 8, 0, UINT64_MAX, false, 16},
        {"bytes used past the cap are refused", 100, 0, 0, 64, false, 16},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        uint8_t* block = counted_block(16);
        void* data = block;
        uint64_t capacity = 16;
        EXPECT_EQ(kiv_grow_buffer(&data, &capacity, r.used, r.more, r.wanted, r.cap), r.ok);
        EXPECT_EQ(capacity, r.capacity);
        if (!r.ok || r.capacity == 16) {
            EXPECT_EQ(data, block);  // untouched
        }
        EXPECT_TRUE(counts_up(static_cast<uint8_t*>(data), 16));
        free(data);
    }
}

TEST(byte_buffer, resizes_both_ways_and_refuses_empty_over_cap_and_untruncatable_sizes) {
    struct row {
        const char* what;
        uint64_t size, cap;
        bool ok;
    } rows[] = {
        {"grows", 40, 64, true},           {"shrinks keeping the leading bytes", 4, 64, true},
        {"at the cap", 64, 64, true},      {"past the cap", 65, 64, false},
        {"to nothing", 0, 64, false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        uint8_t* data = counted_block(16);
        uint8_t* before = data;
        uint64_t capacity = 16;
        EXPECT_EQ(resize_buffer(data, capacity, r.size, r.cap), r.ok);
        EXPECT_EQ(capacity, r.ok ? r.size : 16);
        if (!r.ok) {
            EXPECT_EQ(data, before);
        }
        EXPECT_TRUE(counts_up(data, capacity < 16 ? capacity : 16));
        free(data);
    }

    // A capacity field narrower than 64 bits caps the block at what it can
    // count, so the stored capacity never wraps.
    uint8_t* data = nullptr;
    uint16_t narrow = 0;
    EXPECT_FALSE(resize_buffer(data, narrow, 70000));
    EXPECT_FALSE(grow_buffer(data, narrow, 65000, 1000, 0));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(narrow, 0u);
    EXPECT_TRUE(grow_buffer(data, narrow, 0, 100, 65535));
    EXPECT_EQ(narrow, 65535u);
    free(data);  // a plain malloc-ed block, as callers hand it on
}

TEST(le_reader, decodes_fields_inside_the_bytes_and_refuses_any_that_pass_the_end) {
    const uint8_t bytes[12] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xFF, 0xFF, 0xFF, 0xFF};
    const le_reader in(bytes, sizeof bytes);
    uint16_t u16 = 0;
    uint32_t u32 = 0;
    uint64_t u64 = 0;
    int32_t i32 = 0;
    EXPECT_TRUE(in.u16(0, &u16));
    EXPECT_EQ(u16, 0x0201u);
    EXPECT_TRUE(in.u32(1, &u32));
    EXPECT_EQ(u32, 0x05040302u);
    EXPECT_TRUE(in.u64(0, &u64));
    EXPECT_EQ(u64, 0x0807060504030201u);
    EXPECT_TRUE(in.i32(8, &i32));  // the last four bytes exactly
    EXPECT_EQ(i32, -1);

    double value = 0;
    uint8_t packed[9] = {0};
    const double one_and_a_half = 1.5;
    std::memcpy(packed + 1, &one_and_a_half, 8);  // at an odd offset
    EXPECT_TRUE(le_reader(packed, sizeof packed).f64(1, &value));
    EXPECT_EQ(value, 1.5);

    struct row {
        const char* what;
        uint64_t offset;
        int width;
    } refused[] = {
        {"u16 one byte short", 11, 2}, {"u32 one byte short", 9, 4},   {"u64 one byte short", 5, 8},
        {"start at the end", 12, 2},   {"start past the end", 13, 4}, {"offset that would wrap", UINT64_MAX - 1, 4},
    };
    for (const row& r : refused) {
        SCOPED_TRACE(r.what);
        uint64_t out = 0x5A5A;
        bool ok = r.width == 2   ? in.u16(r.offset, reinterpret_cast<uint16_t*>(&out))
                  : r.width == 4 ? in.u32(r.offset, reinterpret_cast<uint32_t*>(&out))
                                 : in.u64(r.offset, &out);
        EXPECT_FALSE(ok);
        EXPECT_EQ(out, 0x5A5Au);  // left untouched
    }
    EXPECT_FALSE(le_reader(nullptr, 100).u16(0, &u16));  // a null block has no bytes
}
