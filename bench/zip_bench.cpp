// zip_bench.cpp --
//
//     The zip service's in-memory compression against zlib's compress2 at
//     the same level 1, in one run, on 1 MiB of map-like text (names,
//     numbers, coordinates), and inflating the result against zlib's
//     uncompress with the output size known. The service is reached as
//     other libraries reach it: through "svc_zip" after the library entry.
//     First each side's output must inflate to the payload again. The
//     last lines print each ratio (our time over zlib's).

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/library_protocol.h>
#include <kiv/zip/i_zip.h>

#include "ratio_main.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::vector<unsigned char>& payload() {
    static std::vector<unsigned char> data = [] {
        std::string text;
        unsigned state = 7;
        const char* names[] = {"Main Street", "River Road", "Old Bridge", "North Lane", "Mill Pond"};
        while (text.size() < (1u << 20)) {
            state = state * 1103515245u + 12345u;
            char line[96];
            std::snprintf(line, sizeof line, "<feature id=\"%u\" name=\"%s\" x=\"%u.%02u\" y=\"%u.%02u\"/>\n",
                          state >> 12, names[(state >> 8) % 5], (state >> 4) % 5000, state % 100,
                          (state >> 14) % 5000, (state >> 20) % 100);
            text += line;
        }
        text.resize(1u << 20);
        return std::vector<unsigned char>(text.begin(), text.end());
    }();
    return data;
}

auto_ptr_t<kiv::i_object> svc;  // "svc_zip", held from the entry to shut-down

kiv::i_zip_service* service() {
    return kiv_cast_i_zip_service(svc);
}

void bm_zip_compress(benchmark::State& state) {
    const auto& data = payload();
    for (auto _ : state) {
        auto_ptr_t<kiv::i_binary> out(service()->compress_binary(data.data(), unsigned(data.size())));
        benchmark::DoNotOptimize(out.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

void bm_zlib_compress2(benchmark::State& state) {
    const auto& data = payload();
    for (auto _ : state) {
        uLongf size = compressBound(data.size());
        unsigned char* out = static_cast<unsigned char*>(malloc(size));
        compress2(out, &size, data.data(), data.size(), 1);
        benchmark::DoNotOptimize(out);
        free(out);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

void bm_zip_uncompress(benchmark::State& state) {
    const auto& data = payload();
    auto_ptr_t<kiv::i_binary> packed(service()->compress_binary(data.data(), unsigned(data.size())));
    for (auto _ : state) {
        auto_ptr_t<kiv::i_binary> out(service()->uncompress_binary(
            packed->get_data(), packed->get_data_size(), unsigned(data.size())));
        benchmark::DoNotOptimize(out.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

void bm_zlib_uncompress(benchmark::State& state) {
    const auto& data = payload();
    auto_ptr_t<kiv::i_binary> packed(service()->compress_binary(data.data(), unsigned(data.size())));
    for (auto _ : state) {
        uLongf size = data.size();
        unsigned char* out = static_cast<unsigned char*>(malloc(size + 1));
        uncompress(out, &size, static_cast<const Bytef*>(packed->get_data()), packed->get_data_size());
        benchmark::DoNotOptimize(out);
        free(out);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

std::vector<unsigned char> bytes_of(kiv::i_binary* b) {
    if (b == nullptr || b->get_data() == nullptr)
        return {};
    const unsigned char* p = static_cast<const unsigned char*>(b->get_data());
    return std::vector<unsigned char>(p, p + b->get_data_size());
}

// Each side's compressed data inflates, by the other side too, to the
// payload again.
void check_results() {
    const auto& data = payload();
    auto_ptr_t<kiv::i_binary> ours(service()->compress_binary(data.data(), unsigned(data.size())));
    uLongf size = compressBound(data.size());
    std::vector<unsigned char> theirs(size);
    bool compressed = compress2(theirs.data(), &size, data.data(), data.size(), 1) == Z_OK;
    theirs.resize(compressed ? size : 0);
    std::vector<unsigned char> back(data.size());
    uLongf back_size = back.size();
    bool zlib_reads_ours = ours && uncompress(back.data(), &back_size, static_cast<const Bytef*>(ours->get_data()),
                                              ours->get_data_size()) == Z_OK &&
                           back_size == data.size() && back == data;
    auto_ptr_t<kiv::i_binary> ours_back(
        ours ? service()->uncompress_binary(ours->get_data(), ours->get_data_size(), unsigned(data.size())) : nullptr);
    auto_ptr_t<kiv::i_binary> theirs_back(
        service()->uncompress_binary(theirs.data(), unsigned(theirs.size()), unsigned(data.size())));
    kiv_bench::check(zlib_reads_ours && bytes_of(ours_back) == data, "our compressed data inflates to the payload");
    kiv_bench::check(compressed && bytes_of(theirs_back) == data, "zlib's compressed data inflates to the payload");
}

BENCHMARK(bm_zip_compress);
BENCHMARK(bm_zlib_compress2);
BENCHMARK(bm_zip_uncompress);
BENCHMARK(bm_zlib_uncompress);

}  // namespace

int main(int argc, char** argv) {
    const std::string root = kiv_test::make_temp_folder("kiv_zip_bench_");
    if (root.empty() || !kiv_set_env("KIV_ROOT_PATH", root.c_str()) || !kiv_initialize())
        return 1;
    // The program lists kiv_zip before kiv_core: this is kiv_zip's entry.
    kiv_library_entry();
    svc.reset(kiv_core()->get_service("svc_zip"));
    if (!svc)
        return 1;
    int rc = kiv_bench::run_with_ratios(
        argc, argv,
        {{"compress_binary vs compress2 level 1", "bm_zip_compress", "bm_zlib_compress2"},
         {"uncompress_binary vs uncompress", "bm_zip_uncompress", "bm_zlib_uncompress"}},
        check_results, [] {
            auto_ptr_t<kiv::i_binary> packed(service()->compress_binary(payload().data(), 1u << 20));
            std::printf("compressed 1 MiB to %u bytes\n", packed->get_data_size());
        });
    svc.reset();
    kiv_terminate();
    rmdir(root.c_str());
    return rc;
}
