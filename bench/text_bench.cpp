// text_bench.cpp --
//
//     Text helpers against what a program would otherwise use, in one
//     run: kiv_wildcmp and kiv_wildicmp against fnmatch (plain and with
//     FNM_CASEFOLD) over a list of file names and patterns written in the
//     part of both pattern languages that means the same, and Base64
//     against a sized-buffer table implementation written here. Each pair
//     must first give the same answers; the last lines print each "ours
//     over theirs" time ratio.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/bin_text.h>
#include <kiv/core/wildcard.h>

#include "ratio_main.h"

#include <benchmark/benchmark.h>

#include <fnmatch.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

const char* const names[] = {
    "start.tcl",          "kiv_core_init.tcl", "config.xml",        "moscow_region.ozm", "roads_level_12.xml",
    "README",             "a.tmp",             "style_default.png", "kiv_http.so",       "index.html",
    "very_long_file_name_with_many_parts_and_no_match_at_the_end.dat",
    "START.TCL",          "Kiv_Zip.SO",        "Roads_Level_7.XML", "abc",               "xaxbxcx.Index",
};
// Only "*", "?" and plain characters: the part of the two pattern
// languages that means the same in both (fnmatch also knows brackets and
// backslashes, ours a leading "!").
const char* const patterns[] = {"*.tcl", "kiv_*", "*_level_??.xml", "*a*b*c*", "*.so", "index.*", "?????", "*"};

// Returns: every hit of `match` over patterns x names, in order.
template <class Match>
std::vector<bool> hits_of(Match match) {
    std::vector<bool> hits;
    for (const char* p : patterns)
        for (const char* n : names)
            hits.push_back(match(p, n));
    return hits;
}

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

// The reference, written as one would for speed: the output sized once,
// each group of three bytes (four characters) through a table, straight
// into the buffer.
const char ref_alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Returns: the text (the caller frees it); null for no bytes, as ours.
char* ref_encode(const uint8_t* in, size_t n) {
    if (n == 0)
        return nullptr;
    char* out = static_cast<char*>(std::malloc((n + 2) / 3 * 4 + 1));
    if (out == nullptr)
        return nullptr;
    char* o = out;
    size_t i = 0;
    for (; i + 2 < n; i += 3) {
        uint32_t v = uint32_t(in[i]) << 16 | uint32_t(in[i + 1]) << 8 | in[i + 2];
        o[0] = ref_alphabet[v >> 18];
        o[1] = ref_alphabet[(v >> 12) & 63];
        o[2] = ref_alphabet[(v >> 6) & 63];
        o[3] = ref_alphabet[v & 63];
        o += 4;
    }
    if (i < n) {
        uint32_t v = uint32_t(in[i]) << 16 | (i + 1 < n ? uint32_t(in[i + 1]) << 8 : 0);
        o[0] = ref_alphabet[v >> 18];
        o[1] = ref_alphabet[(v >> 12) & 63];
        o[2] = i + 1 < n ? ref_alphabet[(v >> 6) & 63] : '=';
        o[3] = '=';
        o += 4;
    }
    *o = '\0';
    return out;
}

struct decode_table {
    int8_t value[256];
    decode_table() {
        for (int8_t& v : value)
            v = -1;
        for (int i = 0; i < 64; ++i)
            value[static_cast<unsigned char>(ref_alphabet[i])] = static_cast<int8_t>(i);
    }
};

// Decodes up to the first character outside the alphabet ("=" included).
std::vector<uint8_t> ref_decode(const char* text, size_t size) {
    static const decode_table table;
    std::vector<uint8_t> out(size / 4 * 3 + 3);
    uint8_t* o = out.data();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = p + size;
    for (; end - p >= 4; p += 4) {
        int a = table.value[p[0]], b = table.value[p[1]], c = table.value[p[2]], d = table.value[p[3]];
        if ((a | b | c | d) < 0)
            break;
        uint32_t v = uint32_t(a) << 18 | uint32_t(b) << 12 | uint32_t(c) << 6 | uint32_t(d);
        o[0] = static_cast<uint8_t>(v >> 16);
        o[1] = static_cast<uint8_t>(v >> 8);
        o[2] = static_cast<uint8_t>(v);
        o += 3;
    }
    // The tail: the characters before the first one outside the alphabet.
    uint32_t acc = 0;
    int bits = 0;
    for (; p < end && table.value[*p] >= 0; ++p) {
        acc = (acc << 6) | uint32_t(table.value[*p]);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            *o++ = static_cast<uint8_t>(acc >> bits);
        }
    }
    out.resize(static_cast<size_t>(o - out.data()));
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

const std::string& encoded() {
    static const std::string text = [] {
        char* t = kiv_base64_encode(payload().data(), static_cast<unsigned>(payload().size()));
        std::string copy = t != nullptr ? t : "";
        free(t);
        return copy;
    }();
    return text;
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
        char* text = ref_encode(d.data(), d.size());
        benchmark::DoNotOptimize(text);
        free(text);
    }
    state.SetBytesProcessed(state.iterations() * d.size());
}
void bm_kiv_base64_decode(benchmark::State& state) {
    const std::string& text = encoded();
    for (auto _ : state) {
        auto_ptr_t<kiv::i_binary> bin(kiv_base64_decode(text.c_str()));
        benchmark::DoNotOptimize(bin->get_data());
    }
    state.SetBytesProcessed(state.iterations() * payload().size());
}
void bm_ref_base64_decode(benchmark::State& state) {
    const std::string& text = encoded();
    for (auto _ : state) {
        std::vector<uint8_t> bytes = ref_decode(text.data(), text.size());
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * payload().size());
}

// The two sides of each pair give the same answers: the same hits, the
// same text, the same bytes (for every tail length too).
void check_results() {
    auto ours = hits_of([](const char* p, const char* n) { return kiv_wildcmp(p, n); });
    auto theirs = hits_of([](const char* p, const char* n) { return fnmatch(p, n, 0) == 0; });
    kiv_bench::check(ours == theirs, "kiv_wildcmp and fnmatch hits");
    ours = hits_of([](const char* p, const char* n) { return kiv_wildicmp(p, n); });
    theirs = hits_of([](const char* p, const char* n) { return fnmatch(p, n, FNM_CASEFOLD) == 0; });
    kiv_bench::check(ours == theirs, "kiv_wildicmp and fnmatch FNM_CASEFOLD hits");
    bool same_text = true, same_bytes = true;
    for (size_t size : {size_t(0), size_t(1), size_t(2), size_t(3), size_t(4), payload().size()}) {
        char* our_text = kiv_base64_encode(payload().data(), static_cast<unsigned>(size));
        char* ref_text = ref_encode(payload().data(), size);
        bool both_null = our_text == nullptr && ref_text == nullptr;
        same_text = same_text && (both_null || (our_text != nullptr && ref_text != nullptr &&
                                                std::strcmp(our_text, ref_text) == 0));
        if (ref_text != nullptr) {
            auto_ptr_t<kiv::i_binary> bin(kiv_base64_decode(ref_text));
            std::vector<uint8_t> ref_bytes = ref_decode(ref_text, std::strlen(ref_text));
            std::vector<uint8_t> original(payload().begin(), payload().begin() + static_cast<long>(size));
            const uint8_t* data = bin ? static_cast<const uint8_t*>(bin->get_data()) : nullptr;
            std::vector<uint8_t> our_bytes;
            if (data != nullptr)
                our_bytes.assign(data, data + bin->get_data_size());
            same_bytes = same_bytes && bin && our_bytes == original && ref_bytes == original;
        }
        free(our_text);
        free(ref_text);
    }
    kiv_bench::check(same_text, "base64 text");
    kiv_bench::check(same_bytes, "base64 decoded bytes");
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
         {"base64 decode vs table reference", "bm_kiv_base64_decode", "bm_ref_base64_decode"}},
        check_results);
}
