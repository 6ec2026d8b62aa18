// block_cipher.cpp --
//
//     Round tables, block enciphering and TEA for the encryptor. The own
//     cipher derives 8 rounds of (round key, byte substitution, position
//     table) from a key stream; its key schedule runs the tables once over
//     a block seeded from the key to make a second stream, from which the
//     final tables come. Every detail here is part of the stored format.

#include "crypto/block_cipher.h"

#include <cstring>

namespace kiv::cipher {

namespace {

// The key-schedule constant, mixed into the first key stream. Changing
// one byte makes every stored method-'1' ciphertext unreadable.
const uint8_t schedule_constant[251] = {
    0x10, 0x93, 0x8d, 0x61, 0x8e, 0xe2, 0x98, 0x6f, 0x30, 0xe2, 0xa5, 0x67, 0x96, 0x19, 0x10, 0xbe,
    0x50, 0x0d, 0x52, 0x05, 0x1c, 0xd4, 0x98, 0x2c, 0x85, 0xda, 0x64, 0x26, 0xdc, 0x27, 0x31, 0x47,
    0x4b, 0x68, 0xe0, 0xc0, 0x06, 0x86, 0x3c, 0x46, 0x5c, 0x1e, 0x06, 0x27, 0xbb, 0x23, 0xff, 0xa7,
    0x11, 0x87, 0x10, 0xc3, 0x3c, 0xd7, 0xa3, 0x55, 0x0b, 0xdc, 0xa8, 0x1a, 0x22, 0x77, 0xf3, 0xe9,
    0x10, 0xc7, 0x45, 0xe3, 0xf3, 0x56, 0x84, 0xcd, 0x58, 0x57, 0x21, 0xf2, 0x4c, 0x01, 0x31, 0xe1,
    0x56, 0xef, 0xec, 0xaa, 0x7e, 0xd6, 0x3e, 0xeb, 0x0f, 0x78, 0xa0, 0x12, 0xc8, 0xad, 0xb5, 0xff,
    0x9c, 0x27, 0x1b, 0x15, 0xeb, 0xfc, 0xbf, 0x83, 0xe4, 0x8d, 0x8c, 0x92, 0xa8, 0x86, 0x85, 0x50,
    0x38, 0x6d, 0xec, 0x80, 0x45, 0x8d, 0x23, 0xf0, 0x71, 0x88, 0x07, 0x3d, 0xbc, 0xf6, 0x8a, 0x95,
    0x51, 0x96, 0x7f, 0xa9, 0xa2, 0x5a, 0x4b, 0xb8, 0x00, 0x7d, 0x48, 0x42, 0xe8, 0x0c, 0x95, 0xb7,
    0x37, 0x0b, 0x80, 0xa0, 0x52, 0x29, 0xc4, 0x0a, 0x0d, 0x10, 0x7c, 0xd3, 0xc1, 0xaf, 0x18, 0xab,
    0xb8, 0x59, 0x25, 0x4b, 0x8e, 0x2c, 0xca, 0xc8, 0xda, 0x91, 0xcb, 0xdf, 0x29, 0x83, 0x42, 0x8c,
    0x8c, 0x86, 0xe7, 0x1d, 0xfa, 0xb6, 0x74, 0x93, 0x6c, 0x98, 0xc4, 0xe2, 0xc6, 0xab, 0xb0, 0x62,
    0x60, 0x24, 0xfd, 0xab, 0xe6, 0xf0, 0x63, 0x40, 0xa0, 0xcc, 0x9a, 0xa2, 0xe2, 0x0b, 0x23, 0xd7,
    0xd9, 0xee, 0xf6, 0x72, 0x5f, 0xc1, 0xf3, 0xda, 0xdd, 0xd8, 0xb5, 0xcd, 0x82, 0x33, 0x34, 0x54,
    0xe2, 0xdc, 0x65, 0xf5, 0xe5, 0xb6, 0xb0, 0x83, 0x83, 0x97, 0xb9, 0x18, 0x7b, 0xb1, 0x25, 0xee,
    0x65, 0x66, 0x2b, 0x67, 0xc4, 0x61, 0x5a, 0x47, 0xc7, 0xe2, 0xe6,
};

const unsigned key_offset = 0;
const unsigned sbox_offset = 16;
const unsigned position_offset = 272;
const unsigned stream_size = block_tables::rounds * block_tables::round_size;

// Turns n + 1 key-stream bytes into a permutation of 0 .. n: each byte
// steps an index through the values not yet taken.
void shuffle(uint8_t* target, unsigned n) {
    uint8_t pool[256];
    for (unsigned v = 0; v <= n; ++v)
        pool[v] = static_cast<uint8_t>(v);
    unsigned pool_size = n + 1;
    unsigned j = 0;
    for (unsigned i = 0; i < n; ++i) {
        j = (j + target[i]) % pool_size;
        target[i] = pool[j];
        std::memmove(pool + j, pool + j + 1, pool_size - j - 1);
        --pool_size;
        if (j >= pool_size)
            j = 0;
    }
    target[n] = pool[0];
}

// Joins the cycles of the position table into one, walking from 0: where
// the walk would close early, it is sent to the next unvisited position
// and that position's cycle is led back to 0.
void force_one_cycle(uint8_t* p) {
    bool visited[16] = {};
    unsigned c = 0;
    for (int step = 0; step < 15; ++step) {
        if (p[c] == 0) {
            unsigned t = (c + 1) % 16;
            while (visited[t] || t == c)
                t = (t + 1) % 16;
            p[c] = static_cast<uint8_t>(t);
            unsigned e = t;
            for (int guard = 0; guard < 16 && p[e] != t; ++guard)
                e = p[e];
            p[e] = 0;
        }
        visited[c] = true;
        c = p[c];
    }
}

// A position never points at its right-hand neighbour, which the round
// has just changed.
void avoid_neighbours(uint8_t* p) {
    for (unsigned i = 0; i < 16; ++i) {
        unsigned next = (i + 1) % 16;
        if (p[i] == next)
            p[i] = static_cast<uint8_t>(next == 15 ? 0 : next + 1);
    }
}

void build_from_stream(uint8_t* stream, bool decrypt) {
    for (unsigned r = 0; r < block_tables::rounds; ++r) {
        uint8_t* round = stream + r * block_tables::round_size;
        uint8_t* sbox = round + sbox_offset;
        shuffle(sbox, 255);
        if (decrypt) {
            uint8_t inverse[256];
            for (unsigned v = 0; v < 256; ++v)
                inverse[sbox[v]] = static_cast<uint8_t>(v);
            std::memcpy(sbox, inverse, 256);
        }
        uint8_t* positions = round + position_offset;
        shuffle(positions, 15);
        force_one_cycle(positions);
        avoid_neighbours(positions);
    }
}

}  // namespace

void make_tables(const uint8_t* key, unsigned key_size, bool decrypt, block_tables* tables) {
    block_tables preliminary;
    for (unsigned k = 0; k < stream_size; ++k)
        preliminary.bytes[k] = key[k % key_size] ^ schedule_constant[k % 251];
    build_from_stream(preliminary.bytes, false);

    uint8_t block[16] = {};
    for (unsigned i = 0; i < key_size && i < 16; ++i)
        block[i] ^= key[i];
    block[0] ^= static_cast<uint8_t>(key_size);
    for (unsigned i = 0; i < stream_size / 16; ++i) {
        encipher_block(preliminary, block);
        std::memcpy(tables->bytes + 16 * i, block, 16);
    }
    build_from_stream(tables->bytes, decrypt);
}

void encipher_block(const block_tables& tables, uint8_t x[16]) {
    for (unsigned r = 0; r < block_tables::rounds; ++r) {
        const uint8_t* round = tables.bytes + r * block_tables::round_size;
        const uint8_t* k = round + key_offset;
        const uint8_t* s = round + sbox_offset;
        const uint8_t* p = round + position_offset;
        for (unsigned i = 0; i < 16; ++i) {
            uint8_t v = s[k[i] ^ x[i]];
            x[i] = v;
            x[(i + 1) % 16] ^= v;
            x[p[i]] ^= x[i];
        }
    }
}

void decipher_block(const block_tables& tables, uint8_t x[16]) {
    for (unsigned r = block_tables::rounds; r-- > 0;) {
        const uint8_t* round = tables.bytes + r * block_tables::round_size;
        const uint8_t* k = round + key_offset;
        const uint8_t* s_inverse = round + sbox_offset;
        const uint8_t* p = round + position_offset;
        for (unsigned i = 16; i-- > 0;) {
            x[p[i]] ^= x[i];
            x[(i + 1) % 16] ^= x[i];
            x[i] = s_inverse[x[i]] ^ k[i];
        }
    }
}

namespace {
const uint32_t tea_delta = 0x9E3779B9u;
}

void tea_encipher(uint32_t v[2], const uint32_t k[4]) {
    uint32_t v0 = v[0], v1 = v[1], sum = 0;
    for (int i = 0; i < 32; ++i) {
        sum += tea_delta;
        v0 += ((v1 << 4) + k[0]) ^ (v1 + sum) ^ ((v1 >> 5) + k[1]);
        v1 += ((v0 << 4) + k[2]) ^ (v0 + sum) ^ ((v0 >> 5) + k[3]);
    }
    v[0] = v0;
    v[1] = v1;
}

void tea_decipher(uint32_t v[2], const uint32_t k[4]) {
    uint32_t v0 = v[0], v1 = v[1], sum = 0xC6EF3720u;
    for (int i = 0; i < 32; ++i) {
        v1 -= ((v0 << 4) + k[2]) ^ (v0 + sum) ^ ((v0 >> 5) + k[3]);
        v0 -= ((v1 << 4) + k[0]) ^ (v1 + sum) ^ ((v1 >> 5) + k[1]);
        sum -= tea_delta;
    }
    v[0] = v0;
    v[1] = v1;
}

}  // namespace kiv::cipher
