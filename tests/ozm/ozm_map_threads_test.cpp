// ozm_map_threads_test.cpp --
//
//     Page locks against the idle release on other threads: readers lock
//     pages, read them and unlock, while another thread keeps releasing
//     every page nobody holds (a clock far ahead makes every unlocked
//     page idle). A locked page must stay readable throughout.

#include <kiv/core/env.h>
#include <kiv/ozm_writer/map_writer.h>

#include "../core/core_session.h"
#include "map/ozm_map.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

std::atomic<uint32_t> fake_now{0};
uint32_t fake_clock() {
    // Every call moves an hour on, so every unlocked page is idle.
    return fake_now.fetch_add(3600);
}

TEST(ozm_map_threads, locked_pages_survive_the_idle_release) {
    kiv_test::core_session session(false);
    kiv_set_env("KIV_OZM_MEM_LOCK_TIME", "1");
    kiv::ozm_writer::map_info info;
    info.name = "Threads";
    kiv::ozm_writer::map_writer writer(info);
    for (int i = 0; i < 200; ++i) {
        kiv::ozm_writer::feature f;
        f.flags = 0x01;
        f.anchor = {float(i), float(i)};
        writer.add_feature(f);
    }
    writer.set_page_limit(100);
    std::string error;
    ASSERT_TRUE(writer.write(session.root.file("t.ozm"), error)) << error;
    kiv::ozm_map* map = new kiv::ozm_map;
    map->addref();
    ASSERT_TRUE(map->load(session.root.file("t.ozm").c_str(), nullptr, 1, false));
    map->set_clock(fake_clock);
    const uint32_t pages = map->file().header().page_count;
    ASSERT_GT(pages, 10u);

    std::atomic<int> readers_left{4};
    std::atomic<long> bad_reads{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            for (int round = 0; round < 3000; ++round) {
                uint32_t page = uint32_t(round * 7 + t) % pages;
                if (!map->lock_page(page)) {
                    ++bad_reads;
                    continue;
                }
                const uint8_t* data = map->page_data(page, 0);
                kiv::ozm::feature_record rec;
                const kiv::ozm::feature_info* first = nullptr;
                for (const auto& f : map->file().features())
                    if (f.page == page) {
                        first = &f;
                        break;
                    }
                if (data == nullptr || first == nullptr ||
                    !map->decode_record(page, first->offset, first->flags, rec))
                    ++bad_reads;
                map->unlock_page(page);
            }
            --readers_left;
        });
    }
    unsigned freed = 0;
    while (readers_left.load() > 0)
        freed += map->release_idle_pages();
    for (auto& r : readers)
        r.join();
    EXPECT_EQ(bad_reads.load(), 0);
    freed += map->release_idle_pages();
    EXPECT_GT(freed, 0u);
    for (uint32_t p = 0; p < pages; ++p) {
        EXPECT_EQ(map->page_lock_count(p), 0u);
        EXPECT_FALSE(map->page_loaded(p));
    }
    map->release();
    kiv_set_env("KIV_OZM_MEM_LOCK_TIME", "");
}

}  // namespace
