// refcount_bench.cpp --
//
//     Cost of addref/release pairs on one shared object under 1, 4 and 8
//     threads, against copying a std::shared_ptr (an atomic count) under
//     the same load. Our counts serialise on one process-wide mutex, so
//     the ratio grows with the thread count; the last line prints it.

#include <kiv/core/string_impl.h>

#include "ratio_main.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>

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


}  // namespace

int main(int argc, char** argv) {
    std::vector<kiv_bench::ratio> ratios;
    for (int threads : {1, 4, 8}) {
        std::string suffix = "/real_time/threads:" + std::to_string(threads);
        ratios.push_back({"addref/release vs shared_ptr, " + std::to_string(threads) + " threads",
                          "bm_kiv_addref_release" + suffix, "bm_shared_ptr_copy" + suffix});
    }
    return kiv_bench::run_with_ratios(argc, argv, ratios);
}
