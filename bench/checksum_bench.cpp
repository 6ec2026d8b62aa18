// checksum_bench.cpp --
//
//     kiv_crc32 against zlib's crc32 over the same 1 MiB buffer, adjusted
//     for our missing inversions (both compute the standard value), and
//     the MD5 service against the plain reference code of RFC 1321
//     written out below; each printed as a ratio of times, after checking
//     that both sides compute the same sums.

#include <kiv/core/checksum.h>

#include "crypto/md5_encoder.h"
#include "ratio_main.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
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

// The reference MD5: RFC 1321's four rounds written out step by step,
// hashing the whole message with one padded tail, hex-formatted like the
// service's result so both do the same work.
namespace reference_md5 {

#define RF(x, y, z) (((x) & (y)) | (~(x) & (z)))
#define RG(x, y, z) (((x) & (z)) | ((y) & ~(z)))
#define RH(x, y, z) ((x) ^ (y) ^ (z))
#define RI(x, y, z) ((y) ^ ((x) | ~(z)))
#define ROT(x, n) (((x) << (n)) | ((x) >> (32 - (n))))
#define STEP(f, a, b, c, d, x, s, ac) a = b + ROT(a + f(b, c, d) + (x) + (ac), s)

void block(uint32_t st[4], const unsigned char* p) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = uint32_t(p[4 * i]) | uint32_t(p[4 * i + 1]) << 8 | uint32_t(p[4 * i + 2]) << 16 |
               uint32_t(p[4 * i + 3]) << 24;
    uint32_t a = st[0], b = st[1], c = st[2], d = st[3];
    STEP(RF, a, b, c, d, x[0], 7, 0xd76aa478); STEP(RF, d, a, b, c, x[1], 12, 0xe8c7b756);
    STEP(RF, c, d, a, b, x[2], 17, 0x242070db); STEP(RF, b, c, d, a, x[3], 22, 0xc1bdceee);
    STEP(RF, a, b, c, d, x[4], 7, 0xf57c0faf); STEP(RF, d, a, b, c, x[5], 12, 0x4787c62a);
    STEP(RF, c, d, a, b, x[6], 17, 0xa8304613); STEP(RF, b, c, d, a, x[7], 22, 0xfd469501);
    STEP(RF, a, b, c, d, x[8], 7, 0x698098d8); STEP(RF, d, a, b, c, x[9], 12, 0x8b44f7af);
    STEP(RF, c, d, a, b, x[10], 17, 0xffff5bb1); STEP(RF, b, c, d, a, x[11], 22, 0x895cd7be);
    STEP(RF, a, b, c, d, x[12], 7, 0x6b901122); STEP(RF, d, a, b, c, x[13], 12, 0xfd987193);
    STEP(RF, c, d, a, b, x[14], 17, 0xa679438e); STEP(RF, b, c, d, a, x[15], 22, 0x49b40821);
    STEP(RG, a, b, c, d, x[1], 5, 0xf61e2562); STEP(RG, d, a, b, c, x[6], 9, 0xc040b340);
    STEP(RG, c, d, a, b, x[11], 14, 0x265e5a51); STEP(RG, b, c, d, a, x[0], 20, 0xe9b6c7aa);
    STEP(RG, a, b, c, d, x[5], 5, 0xd62f105d); STEP(RG, d, a, b, c, x[10], 9, 0x02441453);
    STEP(RG, c, d, a, b, x[15], 14, 0xd8a1e681); STEP(RG, b, c, d, a, x[4], 20, 0xe7d3fbc8);
    STEP(RG, a, b, c, d, x[9], 5, 0x21e1cde6); STEP(RG, d, a, b, c, x[14], 9, 0xc33707d6);
    STEP(RG, c, d, a, b, x[3], 14, 0xf4d50d87); STEP(RG, b, c, d, a, x[8], 20, 0x455a14ed);
    STEP(RG, a, b, c, d, x[13], 5, 0xa9e3e905); STEP(RG, d, a, b, c, x[2], 9, 0xfcefa3f8);
    STEP(RG, c, d, a, b, x[7], 14, 0x676f02d9); STEP(RG, b, c, d, a, x[12], 20, 0x8d2a4c8a);
    STEP(RH, a, b, c, d, x[5], 4, 0xfffa3942); STEP(RH, d, a, b, c, x[8], 11, 0x8771f681);
    STEP(RH, c, d, a, b, x[11], 16, 0x6d9d6122); STEP(RH, b, c, d, a, x[14], 23, 0xfde5380c);
    STEP(RH, a, b, c, d, x[1], 4, 0xa4beea44); STEP(RH, d, a, b, c, x[4], 11, 0x4bdecfa9);
    STEP(RH, c, d, a, b, x[7], 16, 0xf6bb4b60); STEP(RH, b, c, d, a, x[10], 23, 0xbebfbc70);
    STEP(RH, a, b, c, d, x[13], 4, 0x289b7ec6); STEP(RH, d, a, b, c, x[0], 11, 0xeaa127fa);
    STEP(RH, c, d, a, b, x[3], 16, 0xd4ef3085); STEP(RH, b, c, d, a, x[6], 23, 0x04881d05);
    STEP(RH, a, b, c, d, x[9], 4, 0xd9d4d039); STEP(RH, d, a, b, c, x[12], 11, 0xe6db99e5);
    STEP(RH, c, d, a, b, x[15], 16, 0x1fa27cf8); STEP(RH, b, c, d, a, x[2], 23, 0xc4ac5665);
    STEP(RI, a, b, c, d, x[0], 6, 0xf4292244); STEP(RI, d, a, b, c, x[7], 10, 0x432aff97);
    STEP(RI, c, d, a, b, x[14], 15, 0xab9423a7); STEP(RI, b, c, d, a, x[5], 21, 0xfc93a039);
    STEP(RI, a, b, c, d, x[12], 6, 0x655b59c3); STEP(RI, d, a, b, c, x[3], 10, 0x8f0ccc92);
    STEP(RI, c, d, a, b, x[10], 15, 0xffeff47d); STEP(RI, b, c, d, a, x[1], 21, 0x85845dd1);
    STEP(RI, a, b, c, d, x[8], 6, 0x6fa87e4f); STEP(RI, d, a, b, c, x[15], 10, 0xfe2ce6e0);
    STEP(RI, c, d, a, b, x[6], 15, 0xa3014314); STEP(RI, b, c, d, a, x[13], 21, 0x4e0811a1);
    STEP(RI, a, b, c, d, x[4], 6, 0xf7537e82); STEP(RI, d, a, b, c, x[11], 10, 0xbd3af235);
    STEP(RI, c, d, a, b, x[2], 15, 0x2ad7d2bb); STEP(RI, b, c, d, a, x[9], 21, 0xeb86d391);
    st[0] += a; st[1] += b; st[2] += c; st[3] += d;
}

std::string digest(const unsigned char* data, size_t size) {
    uint32_t st[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    size_t full = size / 64 * 64;
    for (size_t i = 0; i < full; i += 64)
        block(st, data + i);
    unsigned char tail[128] = {};
    size_t rest = size - full;
    std::memcpy(tail, data + full, rest);
    tail[rest] = 0x80;
    size_t tail_size = rest < 56 ? 64 : 128;
    uint64_t bits = uint64_t(size) * 8;
    for (int i = 0; i < 8; ++i)
        tail[tail_size - 8 + i] = static_cast<unsigned char>(bits >> (8 * i));
    for (size_t i = 0; i < tail_size; i += 64)
        block(st, tail + i);
    char hex[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", static_cast<unsigned>(st[i / 4] >> (8 * (i % 4)) & 0xff));
    return hex;
}

#undef RF
#undef RG
#undef RH
#undef RI
#undef ROT
#undef STEP

}  // namespace reference_md5

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

void bm_kiv_md5(benchmark::State& state) {
    const auto& d = buffer();
    kiv::md5_encoder md5;
    for (auto _ : state) {
        char* digest = md5.encode_data(d.data(), static_cast<unsigned>(d.size()));
        benchmark::DoNotOptimize(digest);
        free(digest);
    }
    state.SetBytesProcessed(state.iterations() * d.size());
}

void bm_reference_md5(benchmark::State& state) {
    const auto& d = buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(reference_md5::digest(d.data(), d.size()));
    state.SetBytesProcessed(state.iterations() * d.size());
}

BENCHMARK(bm_kiv_crc32);
BENCHMARK(bm_zlib_crc32);
BENCHMARK(bm_kiv_md5);
BENCHMARK(bm_reference_md5);

void check_results() {
    const auto& d = buffer();
    const unsigned size = static_cast<unsigned>(d.size());
    kiv_bench::check(~kiv_crc32(d.data(), size, 0xFFFFFFFFu) == crc32(0, d.data(), size), "CRC-32 of 1 MiB");
    // In pieces of odd sizes and offsets, carried from piece to piece.
    unsigned ours = 0xFFFFFFFFu;
    uLong theirs = crc32(0, nullptr, 0);
    for (unsigned at = 0, step = 1; at < size; at += step, step = step * 3 % 1021 + 1) {
        unsigned n = step < size - at ? step : size - at;
        ours = kiv_crc32(d.data() + at, n, ours);
        theirs = crc32(theirs, d.data() + at, n);
    }
    kiv_bench::check(~ours == theirs, "CRC-32 carried over uneven pieces");
    kiv::md5_encoder md5;
    char* digest = md5.encode_data(d.data(), size);
    kiv_bench::check(digest != nullptr && reference_md5::digest(d.data(), d.size()) == digest, "MD5 digest");
    free(digest);
}

}  // namespace

int main(int argc, char** argv) {
    return kiv_bench::run_with_ratios(argc, argv,
                                      {{"kiv_crc32 vs zlib crc32", "bm_kiv_crc32", "bm_zlib_crc32"},
                                       {"md5 service vs reference md5", "bm_kiv_md5", "bm_reference_md5"}},
                                      check_results);
}
