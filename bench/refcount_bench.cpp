// refcount_bench.cpp --
//
//     Cost of addref/release pairs on one shared object under 1, 4 and 8
//     threads, against copying a std::shared_ptr (an atomic count) under
//     the same load. Our counts serialise on one process-wide mutex, so
//     the ratio grows with the thread count; the last lines print it.
//     First both sides run under eight threads at once and must end at
//     the counts they started from.

#include <kiv/core/string_impl.h>

#include "ratio_main.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <thread>
#include <vector>

namespace {

kiv::string* shared_object() {
    static kiv::string* s = [] {
        kiv::string* obj = new kiv::string("bench");
        obj->addref();
        return obj;
    }();
    return s;
}

std::shared_ptr<int>& shared_pointer() {
    static std::shared_ptr<int> p = std::make_shared<int>(1);
    return p;
}

void bm_kiv_addref_release(benchmark::State& state) {
    kiv::string* obj = shared_object();
    for (auto _ : state) {
        obj->addref();
        obj->release();
    }
    state.SetItemsProcessed(state.iterations());
}

void bm_shared_ptr_copy(benchmark::State& state) {
    std::shared_ptr<int>& p = shared_pointer();
    for (auto _ : state) {
        std::shared_ptr<int> copy(p);
        benchmark::DoNotOptimize(copy);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(bm_kiv_addref_release)->Threads(1)->Threads(4)->Threads(8)->UseRealTime();
BENCHMARK(bm_shared_ptr_copy)->Threads(1)->Threads(4)->Threads(8)->UseRealTime();

// Both sides under 8 threads at once must end at the count they started
// from (a lost update would show here).
void check_results() {
    const int threads = 8, pairs = 20000;
    kiv::string* obj = shared_object();
    int ours_before = obj->get_ref_count();
    long theirs_before = shared_pointer().use_count();
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t)
        running.emplace_back([obj] {
            for (int i = 0; i < pairs; ++i) {
                obj->addref();
                std::shared_ptr<int> copy(shared_pointer());
                benchmark::DoNotOptimize(copy);
                obj->release();
            }
        });
    for (std::thread& t : running)
        t.join();
    kiv_bench::check(obj->get_ref_count() == ours_before && shared_pointer().use_count() == theirs_before,
                     "counts back where they started after 8 threads of pairs");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<kiv_bench::ratio> ratios;
    for (int threads : {1, 4, 8}) {
        std::string suffix = "/real_time/threads:" + std::to_string(threads);
        ratios.push_back({"addref/release vs shared_ptr, " + std::to_string(threads) + " threads",
                          "bm_kiv_addref_release" + suffix, "bm_shared_ptr_copy" + suffix});
    }
    return kiv_bench::run_with_ratios(argc, argv, ratios, check_results);
}
