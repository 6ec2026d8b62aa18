// binary_impl.h --
//
//     The byte block object and the block stream writer and reader.
//     None of these classes locks; one thread uses an object at a time.

#ifndef KIV_CORE_BINARY_IMPL_H
#define KIV_CORE_BINARY_IMPL_H

#include <kiv/core/i_binary.h>
#include <kiv/core/object.h>

namespace kiv {

class KIV_EXPORT i_binary_impl : public virtual i_binary {
public:
    i_binary_impl() = default;
    // adopt true takes the malloc-ed block over; false copies it.
    i_binary_impl(void* data, unsigned size, bool adopt);
    i_binary_impl(const i_binary_impl&) = delete;
    i_binary_impl& operator=(const i_binary_impl&) = delete;
    virtual ~i_binary_impl();

    const void* get_data() override { return data_; }
    unsigned get_data_size() override { return data_ != nullptr ? size_ : 0; }
    bool set_data(const void* data, unsigned size) override;
    void detach() override;
    void assign_data(void* data, unsigned size) override;

protected:
    void* data_ = nullptr;  // malloc-ed, owned; null when empty
    unsigned size_ = 0;
};

class KIV_EXPORT binary : public object, public i_binary_impl {
public:
    binary() = default;
    binary(void* data, unsigned size, bool adopt) : i_binary_impl(data, size, adopt) {}
    bool get_interface(const char* name, void** out) override;
};

class KIV_EXPORT binary_data_writer : public object, public i_binary_data_writer {
public:
    // A top-level writer keeps its own buffer; with a parent it writes
    // into the parent's current block under block type `type`. `reserve`
    // leading bytes belong to the caller (a header of its own).
    explicit binary_data_writer(i_binary_data_writer* parent = nullptr, uint16_t type = 4,
                                unsigned reserve = 0);
    ~binary_data_writer() override;
    // A top-level writer owns its buffer: never copied by value.
    binary_data_writer(const binary_data_writer&) = delete;
    binary_data_writer& operator=(const binary_data_writer&) = delete;

    void* allocate_block(uint16_t type, unsigned n) override;
    void* enlarge_block(unsigned m) override;
    const void* get_data() override { return buffer_; }
    unsigned get_data_size() override { return size_; }
    bool set_parent(i_binary_data_writer* parent, uint16_t type) override;
    bool get_interface(const char* name, void** out) override;

    // Forgets the buffer without freeing it; the caller took it through
    // get_data and frees it with free().
    virtual void detach();
    unsigned get_capacity() const { return capacity_; }

private:
    // Grows a top-level buffer so that `needed` bytes fit.
    bool grow(uint64_t needed, uint64_t extra);

    uint8_t* buffer_ = nullptr;         // owned (malloc) without a parent, else inside the parent's block
    uint64_t current_ = UINT64_MAX;     // offset of the last block's header; UINT64_MAX: none
    unsigned size_ = 0;                 // bytes used, reserved bytes included
    unsigned capacity_ = 0;             // bytes allocated (top-level only)
    i_binary_data_writer* parent_;      // borrowed; null for a top-level writer
    uint16_t type_;                     // block type of this stream inside the parent
};

class KIV_EXPORT binary_data_reader : public object, public i_binary_data_reader {
public:
    // Borrows (data, size); the data must outlive the reader.
    binary_data_reader(const void* data, unsigned size);
    // Objects are shared through references, never copied by value.
    binary_data_reader(const binary_data_reader&) = delete;
    binary_data_reader& operator=(const binary_data_reader&) = delete;

    void reset() override;
    bool next() override;
    const void* get_block_ptr() override;
    unsigned get_block_size() override;
    uint16_t get_block_type() override;
    bool get_interface(const char* name, void** out) override;

private:
    const uint8_t* data_;            // borrowed
    uint64_t current_ = UINT64_MAX;  // offset of the current header; UINT64_MAX: none
    unsigned size_;
    bool first_ = false;             // the walk has not stepped yet
};

}  // namespace kiv

#endif
