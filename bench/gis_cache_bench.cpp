// gis_cache_bench.cpp --
//
//     The rendered-image cache of kiv_gis_get_image: a hit (reading the
//     cached PNG of a 1024 x 768 picture) against a miss (rendering it
//     with a test driver whose picture is a function of the viewport,
//     then storing the PNG), in one run. The service is reached as the
//     map view reaches it, after kiv_gis's entry. Both sides must give
//     the same pixels as the driver draws, and the hits must not render;
//     otherwise the program exits with 1. The last line prints the ratio
//     (hit time over miss time).

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/library_protocol.h>
#include <kiv/gis/gis_lib.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/image/i_image.h>

#include "../tests/gis/drawing_driver.h"
#include "ratio_main.h"

#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

auto_ptr_t<kiv_test::drawing_driver> driver;  // registered with "svc_gis"
auto_ptr_t<kiv::i_gis_viewport> view;         // 1024 x 768 at 1:100000
std::string cached_file;                      // the PNG of that view in the cache
bool mismatch = false;                        // a picture differed from the driver's own

auto_ptr_t<kiv::i_image>& reference() {
    static auto_ptr_t<kiv::i_image> img(kiv_test::draw_view(view));
    return img;
}

void check(kiv::i_image* img) {
    if (!kiv_test::same_pixels(img, reference()))
        mismatch = true;
}

void bm_cache_hit(benchmark::State& state) {
    auto_ptr_t<kiv::i_image> primed(kiv_gis_get_image(view, "roads", "", true));
    check(primed);
    const int renders = driver->renders.load();
    for (auto _ : state) {
        auto_ptr_t<kiv::i_image> img(kiv_gis_get_image(view, "roads", "", true));
        benchmark::DoNotOptimize(img.get());
        check(img);
    }
    if (driver->renders.load() != renders)
        mismatch = true;
}

void bm_cache_miss(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        unlink(cached_file.c_str());
        state.ResumeTiming();
        auto_ptr_t<kiv::i_image> img(kiv_gis_get_image(view, "roads", "", true));
        benchmark::DoNotOptimize(img.get());
        check(img);
    }
}

BENCHMARK(bm_cache_hit)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_cache_miss)->Unit(benchmark::kMillisecond);

// Returns: the one PNG under `dir`, "" when there is none.
std::string find_png(const std::string& dir) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.path().extension() == ".png")
            return entry.path().string();
    return std::string();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string root = kiv_test::make_temp_folder("kiv_gis_bench_");
    if (root.empty() || !kiv_set_env("KIV_ROOT_PATH", root.c_str()) || !kiv_initialize())
        return 1;
    const std::string fonts = root + "/fonts";
    const std::string cache = root + "/cache";
    mkdir(fonts.c_str(), 0700);
    kiv_set_env("KIV_FONT_PATH", fonts.c_str());
    kiv_set_env("KIV_GIS_CACHE_PATH", cache.c_str());
    kiv_set_env("PATH", KIV_BIN_DIR);
    int rc = 1;
    if (kiv_core()->load_library(KIV_BIN_DIR "/kiv_core.so") != nullptr) {
        // The program lists kiv_gis first: this is kiv_gis's entry.
        kiv_library_entry();
        auto_ptr_t<kiv::i_object> svc(kiv_core()->get_service("svc_gis"));
        kiv::i_gis_service* gis = kiv_cast_i_gis_service(svc);
        driver = kiv_test::make_drawing_driver("ozm", 1);
        view.reset(kiv_gis_create_viewport(1024, 768));
        if (gis != nullptr && gis->add_driver(driver) && view->set_center(55.75, 37.62, 100000)) {
            auto_ptr_t<kiv::i_image> first(kiv_gis_get_image(view, "roads", "", true));
            check(first);
            cached_file = find_png(cache);
            if (!cached_file.empty()) {
                kiv_bench::run_with_ratios(argc, argv, {{"cache hit vs miss (1024x768)", "bm_cache_hit",
                                                         "bm_cache_miss"}});
                rc = mismatch ? 1 : 0;
                if (mismatch)
                    std::printf("a picture differed from the driver's, or a hit rendered\n");
            }
        }
    }
    reference().reset();
    view.reset();
    driver.reset();
    kiv_terminate();
    std::filesystem::remove_all(root);
    return rc;
}
