// checksum_bench.cpp --
//
//     kiv_crc32 against zlib's crc32 over the same 1 MiB buffer, adjusted
//     for our missing inversions (both compute the standard value), and
//     printed as a ratio of times.

#include <kiv/core/checksum.h>

#include "ratio_main.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <vector>

namespace {

const std::vector<unsigned char>& buffer() {
    static std::vector<unsigned char> data = [] {
        std::vector<unsigned char> d(1 << 20);
        for (size_t i = 0; i < d.size(); ++i)
            d[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
        return d;
    }();
    return data;
}

void bm_kiv_crc32(benchmark::State& state) {
    const auto& d = buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(~kiv_crc32(d.data(), static_cast<unsigned>(d.size()), 0xFFFFFFFFu));
    state.SetBytesProcessed(state.iterations() * d.size());
}

void bm_zlib_crc32(benchmark::State& state) {
    const auto& d = buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32(0, d.data(), static_cast<uInt>(d.size())));
    state.SetBytesProcessed(state.iterations() * d.size());
}

BENCHMARK(bm_kiv_crc32);
BENCHMARK(bm_zlib_crc32);

}  // namespace

int main(int argc, char** argv) {
    return kiv_bench::run_with_ratios(argc, argv, {{"kiv_crc32 vs zlib crc32", "bm_kiv_crc32", "bm_zlib_crc32"}},
                                      [] {
                                          const auto& d = buffer();
                                          bool same = ~kiv_crc32(d.data(), static_cast<unsigned>(d.size()),
                                                                 0xFFFFFFFFu) ==
                                                      crc32(0, d.data(), static_cast<uInt>(d.size()));
                                          std::printf("same CRC-32 value: %s\n", same ? "yes" : "NO");
                                      });
}
