// i_binary.h --
//
//     The reference-counted byte block (i_binary) and the two sides of the
//     block stream: a typed container of length-prefixed blocks, each a
//     2-byte type and a 4-byte payload length, both big-endian, followed
//     by the payload. A payload may itself be a block stream.

#ifndef KIV_CORE_I_BINARY_H
#define KIV_CORE_I_BINARY_H

#include <kiv/core/i_object.h>

#include <cstdint>

namespace kiv {

class i_binary : public virtual i_object {
public:
    // Returns: the bytes, null when empty. Borrowed.
    virtual const void* get_data() = 0;
    virtual unsigned get_data_size() = 0;
    // Replaces the block by a copy of (data, size); null or 0 empties it.
    // Returns: false when memory fails (the block is then empty).
    virtual bool set_data(const void* data, unsigned size) = 0;
    // Forgets the block without freeing it; the caller took it through
    // get_data and frees it with free().
    virtual void detach() = 0;
    // Frees the old block and takes over a malloc-ed block.
    virtual void assign_data(void* data, unsigned size) = 0;

protected:
    ~i_binary() = default;
};

class i_binary_data_writer : public virtual i_object {
public:
    // Appends a block header of type `type` and room for n payload bytes.
    // Returns: the payload to fill, null on failure. Valid until the next
    //     call that may grow the buffer (of this writer, a parent or child).
    virtual void* allocate_block(uint16_t type, unsigned n) = 0;
    // Grows the current block by m bytes.
    // Returns: the current block's payload start (the caller writes at
    //     its old length), null on failure.
    virtual void* enlarge_block(unsigned m) = 0;
    // Returns: the stream written so far, reserved bytes included.
    virtual const void* get_data() = 0;
    virtual unsigned get_data_size() = 0;
    // Makes this writer write into the current block of `parent`, under
    // block type `type`. Returns: false once this writer has a buffer.
    virtual bool set_parent(i_binary_data_writer* parent, uint16_t type) = 0;

protected:
    ~i_binary_data_writer() = default;
};

class i_binary_data_reader : public virtual i_object {
public:
    // Starts the walk again.
    virtual void reset() = 0;
    // Steps to the next block (the first call yields the first one).
    // Returns: false at the end, or at the first block that would run
    //     past the data; the walk then ends.
    virtual bool next() = 0;
    virtual const void* get_block_ptr() = 0;
    virtual unsigned get_block_size() = 0;
    virtual uint16_t get_block_type() = 0;

protected:
    ~i_binary_data_reader() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_binary* kiv_cast_i_binary(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_binary_data_writer* kiv_cast_i_binary_data_writer(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_binary_data_reader* kiv_cast_i_binary_data_reader(kiv::i_object* obj);

#endif
