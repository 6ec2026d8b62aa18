// block_cipher.h --
//
//     The system's own 16-byte block cipher (method '1' of the
//     encryptor) and TEA (method '2'): the block-level pieces, kept apart
//     from the service that frames them. Both are fixed by the files
//     already stored with them; neither is meant as real protection.

#ifndef KIV_CORE_SRC_BLOCK_CIPHER_H
#define KIV_CORE_SRC_BLOCK_CIPHER_H

#include <cstdint>

namespace kiv::cipher {

// The round tables of the own cipher: 8 rounds, each a 16-byte round
// key, a 256-byte substitution (its inverse in the decrypt direction)
// and a 16-entry position table.
struct block_tables {
    static const unsigned rounds = 8;
    static const unsigned round_size = 288;
    uint8_t bytes[rounds * round_size];
};

// Builds the tables for a key of `key_size` bytes (5 to 125; the caller
// checks) in the encrypt or the decrypt direction.
void make_tables(const uint8_t* key, unsigned key_size, bool decrypt, block_tables* tables);
// Enciphers / deciphers one 16-byte block in place.
void encipher_block(const block_tables& tables, uint8_t block[16]);
void decipher_block(const block_tables& tables, uint8_t block[16]);

// Standard TEA, 32 cycles, on two words with four key words.
void tea_encipher(uint32_t v[2], const uint32_t k[4]);
void tea_decipher(uint32_t v[2], const uint32_t k[4]);

}  // namespace kiv::cipher

#endif
