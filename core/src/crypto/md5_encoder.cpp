// md5_encoder.cpp --
//
//     MD5 of RFC 1321. Each call works on a context of its own, so the one
//     service instance serves every thread. Partial input is buffered; the
//     buffer is transformed once it holds a full 64-byte block, and longer
//     inputs are transformed straight from the caller's memory.

#include "crypto/md5_encoder.h"

#include <kiv/core/le_bytes.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kiv {

namespace {

struct md5_context {
    uint32_t state[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};
    uint64_t count = 0;      // bytes hashed so far
    unsigned buffered = 0;   // bytes held in buffer
    uint8_t buffer[128];
};

inline uint32_t rotl(uint32_t x, int s) {
    return (x << s) | (x >> (32 - s));
}

const uint32_t sine_table[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

const int shifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

void transform(uint32_t state[4], const uint8_t* block) {
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = le_u32(block + 4 * i);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        int round = i / 16;
        uint32_t f;
        int g;
        switch (round) {
        case 0: f = (b & c) | (~b & d); g = i; break;
        case 1: f = (d & b) | (~d & c); g = (5 * i + 1) % 16; break;
        case 2: f = b ^ c ^ d; g = (3 * i + 5) % 16; break;
        default: f = c ^ (b | ~d); g = (7 * i) % 16; break;
        }
        uint32_t next = b + rotl(a + f + sine_table[i] + m[g], shifts[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

void update(md5_context& ctx, const uint8_t* data, size_t size) {
    ctx.count += size;
    if (ctx.buffered > 0) {
        size_t take = 64 - ctx.buffered < size ? 64 - ctx.buffered : size;
        std::memcpy(ctx.buffer + ctx.buffered, data, take);
        ctx.buffered += static_cast<unsigned>(take);
        data += take;
        size -= take;
        if (ctx.buffered < 64)
            return;
        transform(ctx.state, ctx.buffer);
        ctx.buffered = 0;
    }
    while (size >= 64) {
        transform(ctx.state, data);
        data += 64;
        size -= 64;
    }
    std::memcpy(ctx.buffer, data, size);
    ctx.buffered = static_cast<unsigned>(size);
}

void finish(md5_context& ctx, uint8_t digest[16]) {
    uint64_t bits = ctx.count * 8;
    uint8_t pad[72] = {0x80};
    size_t pad_len = ctx.buffered < 56 ? 56 - ctx.buffered : 120 - ctx.buffered;
    for (int i = 0; i < 8; ++i)
        pad[pad_len + i] = static_cast<uint8_t>(bits >> (8 * i));
    uint64_t count = ctx.count;
    update(ctx, pad, pad_len + 8);
    ctx.count = count;
    for (int w = 0; w < 4; ++w)
        store_le_u32(digest + 4 * w, ctx.state[w]);
}

}  // namespace

md5_encoder::md5_encoder() {
    set_name("MD5 encoder");
}

char* md5_encoder::encode_data(const void* data, unsigned data_length) {
    if (data == nullptr)
        return nullptr;
    char* text = static_cast<char*>(malloc(33));
    if (text == nullptr)
        return nullptr;
    md5_context ctx;
    update(ctx, static_cast<const uint8_t*>(data), data_length);
    uint8_t digest[16];
    finish(ctx, digest);
    for (int i = 0; i < 16; ++i)
        std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    return text;
}

char* md5_encoder::encode_string(const char* src) {
    if (src == nullptr)
        return nullptr;
    return encode_data(src, static_cast<unsigned>(strnlen(src, UINT32_MAX)));
}

bool md5_encoder::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out) ||
        answer_interface(name, "i_md5_encoder", static_cast<i_md5_encoder*>(this), out))
        return true;
    return object::get_interface(name, out);
}

}  // namespace kiv

kiv::i_md5_encoder* kiv_cast_i_md5_encoder(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_md5_encoder>(obj, "i_md5_encoder");
}
