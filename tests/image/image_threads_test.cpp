// image_threads_test.cpp --
//
//     Different images are coded on different threads at once: the
//     codecs and the quantizer keep no shared state. Run under TSan too.

#include <kiv/core/auto_ptr.h>
#include <kiv/image/image_lib.h>

#include "image_fixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

using namespace kiv;
using namespace kiv_test;

TEST(image_threads, codecs_run_on_several_threads_at_once) {
    const int thread_count = 6;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([t, &failures] {
            std::vector<rgba> pixels = gradient(24, 16);
            for (size_t i = 0; i < pixels.size(); ++i)
                pixels[i].b = uint8_t(t * 40);
            auto_ptr_t<i_image> img(image_from(24, 16, pixels));
            for (int round = 0; round < 5 && img; ++round) {
                for (unsigned char format : {2, 3, 4}) {
                    unsigned char quality = format == 2 ? (round % 2 ? 100 : 50) : 90;
                    auto_ptr_t<i_binary> blob(kiv_image_pack(img, format, quality));
                    if (!blob) {
                        ++failures;
                        continue;
                    }
                    auto_ptr_t<i_image> back(kiv_image_unpack(blob->get_data(), blob->get_data_size()));
                    if (!back || back->get_width() != 24 || back->get_height() != 16)
                        ++failures;
                    else if (format == 2 && quality == 100 &&
                             std::memcmp(back->get_data(), img->get_data(), img->get_data_size()) != 0)
                        ++failures;
                }
                auto_ptr_t<i_image> scaled(img->scale(12, 8, short(round * 10), 0xFFFFFFFF));
                if (!scaled)
                    ++failures;
            }
            if (!img)
                ++failures;
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
}
