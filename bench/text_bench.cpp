// text_bench.cpp --
//
//     Text helpers against what a program would otherwise use, in one
//     run: kiv_wildcmp and kiv_wildicmp against fnmatch (plain and with
//     FNM_CASEFOLD) over a list of file names and patterns, and Base64
//     against a straightforward table implementation written here. The
//     last lines print each "ours over theirs" time ratio.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/bin_text.h>
#include <kiv/core/wildcard.h>

#include "ratio_main.h"

#include <benchmark/benchmark.h>

#include <fnmatch.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

const char* const names[] = {
    "start.tcl",          "kiv_core_init.tcl", "config.xml",        "moscow_region.ozm", "roads_level_12.xml",
    "README",             "a.tmp",             "style_default.png", "kiv_http.so",       "index.html",
    "very_long_file_name_with_many_parts_and_no_match_at_the_end.dat",
};
const char* const patterns[] = {"*.tcl", "kiv_*", "*_level_??.xml", "*a*b*c*", "*.so", "index.*"};

template <class Match>
void run_patterns(benchmark::State& state, Match match) {
    int hits = 0;
    for (auto _ : state)
        for (const char* p : patterns)
            for (const char* n : names)
                hits += match(p, n) ? 1 : 0;
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(state.iterations() * std::size(patterns) * std::size(names));
}

void bm_kiv_wildcmp(benchmark::State& state) {
    run_patterns(state, [](const char* p, const char* n) { return kiv_wildcmp(p, n); });
}
void bm_fnmatch(benchmark::State& state) {
    run_patterns(state, [](const char* p, const char* n) { return fnmatch(p, n, 0) == 0; });
}
void bm_kiv_wildicmp(benchmark::State& state) {
    run_patterns(state, [](const char* p, const char* n) { return kiv_wildicmp(p, n); });
}
void bm_fnmatch_casefold(benchmark::State& state) {
    run_patterns(state, [](const char* p, const char* n) { return fnmatch(p, n, FNM_CASEFOLD) == 0; });
}

// The reference: one table lookup per character, no unrolling.
const char ref_alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string ref_encode(const uint8_t* in, size_t n) {
    std::string out;
    out.reserve((n + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < n; i += 3) {
        out += ref_alphabet[in[i] >> 2];
        out += ref_alphabet[((in[i] & 3) << 4) | (in[i + 1] >> 4)];
        out += ref_alphabet[((in[i + 1] & 15) << 2) | (in[i + 2] >> 6)];
        out += ref_alphabet[in[i + 2] & 63];
    }
    if (i < n) {
        out += ref_alphabet[in[i] >> 2];
        if (i + 1 < n) {
            out += ref_alphabet[((in[i] & 3) << 4) | (in[i + 1] >> 4)];
            out += ref_alphabet[(in[i + 1] & 15) << 2];
        } else {
            out += ref_alphabet[(in[i] & 3) << 4];
            out += '=';
        }
        out += '=';
    }
    return out;
}

std::vector<uint8_t> ref_decode(const std::string& text) {
    static int table[256];
    static bool ready = false;
    if (!ready) {
        for (int& v : table)
            v = -1;
        for (int i = 0; i < 64; ++i)
            table[static_cast<unsigned char>(ref_alphabet[i])] = i;
        ready = true;
    }
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    uint32_t acc = 0;
    int bits = 0;
    for (unsigned char c : text) {
        if (table[c] < 0)
            break;
        acc = (acc << 6) | uint32_t(table[c]);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<uint8_t>(acc >> bits));
        }
    }
    return out;
}

const std::vector<uint8_t>& payload() {
    static std::vector<uint8_t> data = [] {
        std::vector<uint8_t> d(64 * 1024 + 1);
        uint32_t x = 12345;
        for (uint8_t& b : d) {
            x = x * 1103515245 + 12345;
            b = static_cast<uint8_t>(x >> 16);
        }
        return d;
    }();
    return data;
}

void bm_kiv_base64_encode(benchmark::State& state) {
    const auto& d = payload();
    for (auto _ : state) {
        char* text = kiv_base64_encode(d.data(), static_cast<unsigned>(d.size()));
        benchmark::DoNotOptimize(text);
        free(text);
    }
    state.SetBytesProcessed(state.iterations() * d.size());
}
void bm_ref_base64_encode(benchmark::State& state) {
    const auto& d = payload();
    for (auto _ : state) {
        std::string text = ref_encode(d.data(), d.size());
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * d.size());
}
void bm_kiv_base64_decode(benchmark::State& state) {
    const std::string text = ref_encode(payload().data(), payload().size());
    for (auto _ : state) {
        auto_ptr_t<kiv::i_binary> bin(kiv_base64_decode(text.c_str()));
        benchmark::DoNotOptimize(bin->get_data());
    }
    state.SetBytesProcessed(state.iterations() * payload().size());
}
void bm_ref_base64_decode(benchmark::State& state) {
    const std::string text = ref_encode(payload().data(), payload().size());
    for (auto _ : state) {
        std::vector<uint8_t> bytes = ref_decode(text);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * payload().size());
}

BENCHMARK(bm_kiv_wildcmp);
BENCHMARK(bm_fnmatch);
BENCHMARK(bm_kiv_wildicmp);
BENCHMARK(bm_fnmatch_casefold);
BENCHMARK(bm_kiv_base64_encode);
BENCHMARK(bm_ref_base64_encode);
BENCHMARK(bm_kiv_base64_decode);
BENCHMARK(bm_ref_base64_decode);


}  // namespace

int main(int argc, char** argv) {
    return kiv_bench::run_with_ratios(
        argc, argv,
        {{"kiv_wildcmp vs fnmatch", "bm_kiv_wildcmp", "bm_fnmatch"},
         {"kiv_wildicmp vs fnmatch FNM_CASEFOLD", "bm_kiv_wildicmp", "bm_fnmatch_casefold"},
         {"base64 encode vs table reference", "bm_kiv_base64_encode", "bm_ref_base64_encode"},
         {"base64 decode vs table reference", "bm_kiv_base64_decode", "bm_ref_base64_decode"}});
}
