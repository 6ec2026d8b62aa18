// i_bin_parser.h --
//
//     Taking records of raw bytes apart from scripts: integers of 2, 4
//     and 8 bytes, floats, doubles, single bytes, bit fields and
//     terminated texts, read at byte offsets relative to a cursor,
//     optionally starting a number of bits into the cursor's byte and
//     optionally in network byte order.
//
//     Every read takes its bytes at cursor + offset. With a start bit s
//     above 0 the value begins s bits into that byte, most significant
//     bit first, and one more byte is needed. A read outside the data
//     returns 0, 0.0, the empty text or null and moves nothing. With
//     incr_offset a successful read moves the cursor by what it read (the
//     offset argument itself is not added).
//
//     A parser is used by one thread at a time.

#ifndef KIV_CORE_I_BIN_PARSER_H
#define KIV_CORE_I_BIN_PARSER_H

#include <kiv/core/i_object.h>

#include <cstdint>

namespace kiv {

class i_bin_parser : public virtual i_object {
public:
    // Moves the cursor to byte `val`, `start_bit` bits in.
    // Returns: false (nothing changes) unless val < size and start_bit < 8.
    virtual bool set_offset(unsigned val, unsigned start_bit) = 0;
    virtual unsigned get_offset() = 0;
    virtual unsigned get_start_bit() = 0;
    // Returns: the bytes from the cursor to the end.
    virtual unsigned get_unparsed_size() = 0;
    // Reads an integer of `size` bytes (2, 4 or 8; else 0) in host order,
    // or big-endian with `invert`. A 2-byte value in host order is
    // sign-extended; every other 2- and 4-byte value is zero-extended.
    virtual int64_t get_int(unsigned offset, unsigned size = 4, bool invert = false, bool incr_offset = false) = 0;
    // IEEE 754 values; `invert` reads them big-endian.
    virtual float get_float(unsigned offset, bool invert, bool incr_offset) = 0;
    virtual double get_double(unsigned offset, bool invert, bool incr_offset) = 0;
    virtual uint8_t get_byte(unsigned offset, bool incr_offset) = 0;
    // Reads `bit_count` bits (1 to 64; else 0): byte j of the field, from
    // the first, gives bits 8j and up of the result; a last partial byte
    // contributes its leading bits. With incr_offset the start bit grows
    // by bit_count, each full 8 bits moving the cursor one byte.
    virtual int64_t get_bits(unsigned offset, unsigned bit_count, bool incr_offset) = 0;
    // Returns: the terminated text at the position, pointing into the
    //     data (borrowed); the empty text when the start bit is not 0 or
    //     no terminator lies before the end. With incr_offset the cursor
    //     moves behind the terminator.
    virtual const char* get_text(unsigned offset, bool incr_offset) = 0;
    // Copies `size` bytes (0: the rest of the data), cut at a zero byte.
    // Returns: a heap text the caller frees; null when the start bit is
    //     not 0 or the bytes are not there. With incr_offset the cursor
    //     moves by the bytes copied.
    virtual char* get_text2(unsigned offset, unsigned size, bool incr_offset) = 0;

protected:
    ~i_bin_parser() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_bin_parser* kiv_cast_i_bin_parser(kiv::i_object* obj);

// A parser over `data_size` bytes at `data`. With `copy` the bytes are
// copied and the parser owns the copy; without it the parser borrows them
// and they must outlive it.
// Returns: the parser with one reference for the caller; null for null
//     data, size 0, or when memory fails.
KIV_EXTERN_C kiv::i_bin_parser* kiv_create_bin_parser(const void* data, unsigned data_size, bool copy);

#endif
