// memory_allocator_test.cpp --
//
//     The page arena: placement in the first page that fits, large
//     pages, zeroed memory, the page limit, growable arrays with sizes
//     that overflow, a refused page that leaves no trace in the table,
//     and concurrent allocation.

#include <kiv/core/memory_allocator.h>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

using kiv::memory_allocator;

TEST(memory_allocator, two_small_blocks_share_page_zero) {
    memory_allocator alloc;
    unsigned short page = 99;
    unsigned offset = 99;
    uint8_t* a = static_cast<uint8_t*>(alloc.alloc_on_page(100, page, offset));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(page, 0);
    EXPECT_EQ(offset, 0u);
    uint8_t* b = static_cast<uint8_t*>(alloc.alloc_on_page(100, page, offset));
    EXPECT_EQ(page, 0);
    EXPECT_EQ(offset, 100u);
    EXPECT_EQ(b, a + 100);
    EXPECT_EQ(alloc.get_ptr(0, 100), b);
    EXPECT_EQ(alloc.get_alloc_count(), 200u);
    EXPECT_EQ(alloc.get_page_count(), 1u);
}

TEST(memory_allocator, a_block_larger_than_a_page_gets_a_page_of_its_own_size) {
    memory_allocator alloc;
    unsigned short page;
    unsigned offset;
    ASSERT_NE(alloc.alloc_on_page(70000, page, offset), nullptr);
    EXPECT_EQ(page, 0);
    EXPECT_EQ(alloc.get_page_size(0), 70000u);
    ASSERT_NE(alloc.alloc_on_page(10, page, offset), nullptr);
    EXPECT_EQ(page, 1);  // not into the large page
    EXPECT_EQ(alloc.get_page_size(1), 65536u);
    EXPECT_EQ(alloc.get_page_size(2), 0u);
}

TEST(memory_allocator, blocks_go_to_the_lowest_page_with_room) {
    memory_allocator alloc(1000, 0);
    unsigned short page;
    unsigned offset;
    alloc.alloc_on_page(900, page, offset);  // page 0: 100 left
    alloc.alloc_on_page(500, page, offset);  // page 1: 500 left
    alloc.alloc_on_page(800, page, offset);  // page 2: 200 left
    EXPECT_EQ(page, 2);
    alloc.alloc_on_page(150, page, offset);
    EXPECT_EQ(page, 1);
    EXPECT_EQ(offset, 500u);
    alloc.alloc_on_page(100, page, offset);  // exactly fills page 0
    EXPECT_EQ(page, 0);
    EXPECT_EQ(offset, 900u);
    alloc.alloc_on_page(200, page, offset);
    EXPECT_EQ(page, 1);
    alloc.alloc_on_page(200, page, offset);
    EXPECT_EQ(page, 2);
    alloc.alloc_on_page(1, page, offset);
    EXPECT_EQ(page, 1);
    EXPECT_EQ(alloc.get_page_count(), 3u);
}

TEST(memory_allocator, every_byte_of_every_page_reads_zero) {
    memory_allocator alloc(256, 0);
    unsigned short page;
    unsigned offset;
    uint8_t* big = static_cast<uint8_t*>(alloc.alloc_on_page(5000, page, offset));
    ASSERT_NE(big, nullptr);
    for (unsigned i = 0; i < 5000; ++i)
        ASSERT_EQ(big[i], 0) << i;
    uint8_t* small = static_cast<uint8_t*>(alloc.alloc_on_page(256, page, offset));
    for (unsigned i = 0; i < 256; ++i)
        ASSERT_EQ(small[i], 0) << i;
}

TEST(memory_allocator, get_ptr_refuses_pages_and_offsets_outside) {
    memory_allocator alloc;
    EXPECT_EQ(alloc.get_ptr(0, 0), nullptr);
    unsigned short page;
    unsigned offset;
    alloc.alloc_on_page(10, page, offset);
    EXPECT_NE(alloc.get_ptr(0, 65535), nullptr);
    EXPECT_EQ(alloc.get_ptr(0, 65536), nullptr);
    EXPECT_EQ(alloc.get_ptr(1, 0), nullptr);
}

TEST(memory_allocator, the_page_table_stops_at_its_limit) {
    memory_allocator alloc(8, 0);
    unsigned short page = 0;
    unsigned offset;
    for (unsigned i = 0; i < memory_allocator::max_pages; ++i)
        ASSERT_NE(alloc.alloc_on_page(8, page, offset), nullptr) << i;
    EXPECT_EQ(page, memory_allocator::max_pages - 1);
    EXPECT_EQ(alloc.alloc_on_page(1, page, offset), nullptr);
    EXPECT_EQ(alloc.get_page_count(), memory_allocator::max_pages);
    EXPECT_EQ(alloc.get_alloc_count(), 8u * memory_allocator::max_pages);
}

TEST(memory_allocator_heap, growth_zero_uses_the_allocator_growth) {
    memory_allocator alloc;
    unsigned capacity = 0;
    unsigned count = 0;
    void* buffer = nullptr;
    int* first = static_cast<int*>(alloc.alloc_on_heap(capacity, count, sizeof(int), buffer, 0));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, buffer);
    EXPECT_EQ(capacity, 1000u);
    EXPECT_EQ(count, 1u);
    for (unsigned i = 0; i < 1000; ++i)
        EXPECT_EQ(static_cast<int*>(buffer)[i], 0);
    free(buffer);
}

TEST(memory_allocator_heap, grows_keeping_elements_and_zeroing_new_room) {
    memory_allocator alloc;
    unsigned capacity = 0;
    unsigned count = 0;
    void* buffer = nullptr;
    for (int i = 0; i < 10; ++i) {
        int* slot = static_cast<int*>(alloc.alloc_on_heap(capacity, count, sizeof(int), buffer, 4));
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(*slot, 0);
        *slot = i + 1;
    }
    EXPECT_EQ(capacity, 12u);
    EXPECT_EQ(count, 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(static_cast<int*>(buffer)[i], i + 1);
    free(buffer);
}

TEST(memory_allocator_heap, sizes_that_overflow_are_refused_and_change_nothing) {
    memory_allocator alloc;
    unsigned capacity = 0xFFFFFFF0u;
    unsigned count = 0xFFFFFFF0u;
    void* buffer = nullptr;
    EXPECT_EQ(alloc.alloc_on_heap(capacity, count, 1, buffer, 100), nullptr);  // capacity past 32 bits
    EXPECT_EQ(capacity, 0xFFFFFFF0u);
    EXPECT_EQ(count, 0xFFFFFFF0u);
    EXPECT_EQ(buffer, nullptr);
    capacity = 0;
    count = 0;
    // 2^31 elements of 2^31 bytes: far past any sane array.
    EXPECT_EQ(alloc.alloc_on_heap(capacity, count, 0x80000000u, buffer, 0x80000000u), nullptr);
    EXPECT_EQ(alloc.alloc_on_heap(capacity, count, 0, buffer, 1), nullptr);
    EXPECT_EQ(capacity, 0u);
    EXPECT_EQ(count, 0u);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KIV_UNDER_SANITIZER 1
#else
#define KIV_UNDER_SANITIZER 0
#endif

TEST(memory_allocator_death, a_page_that_cannot_be_had_leaves_the_table_as_it_was) {
    if (KIV_UNDER_SANITIZER)
        GTEST_SKIP() << "sanitizer runtimes reserve address space beyond any small limit";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            memory_allocator alloc;
            unsigned short page;
            unsigned offset;
            bool ok = alloc.alloc_on_page(10, page, offset) != nullptr;
            // Limit the address space to what is used now plus a little,
            // so a 1 GiB page cannot be had.
            rlimit limit;
            getrlimit(RLIMIT_AS, &limit);
            std::FILE* f = std::fopen("/proc/self/statm", "r");
            unsigned long pages_used = 0;
            if (f != nullptr) {
                ok = ok && std::fscanf(f, "%lu", &pages_used) == 1;
                std::fclose(f);
            }
            limit.rlim_cur = pages_used * 4096 + (64ul << 20);
            ok = ok && setrlimit(RLIMIT_AS, &limit) == 0;
            ok = ok && alloc.alloc_on_page(1u << 30, page, offset) == nullptr;
            ok = ok && alloc.get_page_count() == 1;
            ok = ok && alloc.alloc_on_page(70000, page, offset) != nullptr && page == 1;
            ok = ok && alloc.get_page_size(1) == 70000;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(memory_allocator, concurrent_callers_get_disjoint_blocks) {
    memory_allocator alloc(4096, 0);
    const int threads = 8;
    const int per_thread = 2000;
    std::vector<std::vector<uint8_t*>> got(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&alloc, &got, t] {
            for (int i = 0; i < per_thread; ++i) {
                unsigned short page;
                unsigned offset;
                uint8_t* p = static_cast<uint8_t*>(alloc.alloc_on_page(24, page, offset));
                if (p == nullptr || alloc.get_ptr(page, offset) != p)
                    return;
                std::memset(p, t + 1, 24);
                got[t].push_back(p);
            }
        });
    for (std::thread& w : workers)
        w.join();
    std::set<uint8_t*> all;
    for (int t = 0; t < threads; ++t) {
        ASSERT_EQ(got[t].size(), size_t(per_thread));
        for (uint8_t* p : got[t]) {
            EXPECT_EQ(p[0], t + 1);
            EXPECT_EQ(p[23], t + 1);
            all.insert(p);
        }
    }
    EXPECT_EQ(all.size(), size_t(threads) * per_thread);
    EXPECT_EQ(alloc.get_alloc_count(), 24u * threads * per_thread);
}
