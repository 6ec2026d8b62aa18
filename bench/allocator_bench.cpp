// allocator_bench.cpp --
//
//     The page arena against malloc for many small blocks living as long
//     as their owner: each round hands out 20000 blocks of 8 to 64 bytes
//     and then drops them all (one destruction for the arena, one free
//     per block for malloc). The last line prints the time ratio.

#include <kiv/core/memory_allocator.h>

#include "ratio_main.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

const int blocks = 20000;

unsigned block_size(int i) {
    return 8 + unsigned(i * 7) % 57;
}

void bm_memory_allocator(benchmark::State& state) {
    for (auto _ : state) {
        kiv::memory_allocator alloc;
        unsigned short page;
        unsigned offset;
        for (int i = 0; i < blocks; ++i) {
            void* p = alloc.alloc_on_page(block_size(i), page, offset);
            benchmark::DoNotOptimize(p);
        }
    }
    state.SetItemsProcessed(state.iterations() * blocks);
}

void bm_malloc(benchmark::State& state) {
    std::vector<void*> held(blocks);
    for (auto _ : state) {
        for (int i = 0; i < blocks; ++i) {
            // calloc: the arena's blocks read as zeros too.
            held[i] = calloc(1, block_size(i));
            benchmark::DoNotOptimize(held[i]);
        }
        for (void* p : held)
            free(p);
    }
    state.SetItemsProcessed(state.iterations() * blocks);
}

BENCHMARK(bm_memory_allocator);
BENCHMARK(bm_malloc);

}  // namespace

int main(int argc, char** argv) {
    std::string label = "memory_allocator vs calloc/free, " + std::to_string(blocks) + " small blocks";
    return kiv_bench::run_with_ratios(argc, argv, {{label, "bm_memory_allocator", "bm_malloc"}});
}
