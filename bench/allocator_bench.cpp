// allocator_bench.cpp --
//
//     The page arena against malloc for many small blocks living as long
//     as their owner: each round hands out 20000 blocks of 8 to 64 bytes
//     and then drops them all (one destruction for the arena, one free
//     per block for malloc). Both must first hand out zeroed blocks that
//     do not overlap. The last line prints the time ratio.

#include <kiv/core/memory_allocator.h>

#include "ratio_main.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// Returns: whether every block read as zeros when handed out and kept
//     its own bytes while the others were written (no two overlap).
bool blocks_sound(const std::vector<void*>& held) {
    for (int i = 0; i < blocks; ++i) {
        const unsigned char* p = static_cast<const unsigned char*>(held[i]);
        for (unsigned k = 0; k < block_size(i); ++k)
            if (p == nullptr || p[k] != 0)
                return false;
    }
    for (int i = 0; i < blocks; ++i)
        std::memset(held[i], i & 0xFF, block_size(i));
    for (int i = 0; i < blocks; ++i) {
        const unsigned char* p = static_cast<const unsigned char*>(held[i]);
        for (unsigned k = 0; k < block_size(i); ++k)
            if (p[k] != (i & 0xFF))
                return false;
    }
    return true;
}

// Both sides hand out the same blocks: zeroed, of the asked size, apart.
void check_results() {
    std::vector<void*> held(blocks);
    bool ours;
    {
        kiv::memory_allocator alloc;
        unsigned short page;
        unsigned offset;
        for (int i = 0; i < blocks; ++i)
            held[i] = alloc.alloc_on_page(block_size(i), page, offset);
        ours = blocks_sound(held);
    }
    for (int i = 0; i < blocks; ++i)
        held[i] = calloc(1, block_size(i));
    bool theirs = blocks_sound(held);
    for (void* p : held)
        free(p);
    kiv_bench::check(ours && theirs, "20000 blocks zeroed and apart");
}

}  // namespace

int main(int argc, char** argv) {
    std::string label = "memory_allocator vs calloc/free, " + std::to_string(blocks) + " small blocks";
    return kiv_bench::run_with_ratios(argc, argv, {{label, "bm_memory_allocator", "bm_malloc"}}, check_results);
}
