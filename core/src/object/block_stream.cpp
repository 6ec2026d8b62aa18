// block_stream.cpp --
//
//     Writer and reader of the block stream: blocks of a 2-byte type and
//     a 4-byte payload length (both big-endian) followed by the payload.
//     A nested writer writes straight into its parent's current block.
//     Every size is computed in 64-bit and refused when the stream would
//     pass 4 GiB; the reader accepts a block only when its header and its
//     whole payload lie inside the data it was given.

#include <kiv/core/binary_impl.h>
#include <kiv/core/byte_buffer.h>
#include <kiv/core/log.h>

#include "../../platform/platform.h"

#include <cstdlib>

namespace kiv {

namespace {
const uint64_t header_size = 6;
const uint64_t no_block = UINT64_MAX;
const uint64_t max_stream = UINT32_MAX;
}  // namespace

binary_data_writer::binary_data_writer(i_binary_data_writer* parent, uint16_t type, unsigned reserve)
    : parent_(parent), type_(type) {
    if (reserve > 0 && parent == nullptr) {
        uint64_t capacity = uint64_t(reserve) + 1024;
        if (capacity <= max_stream)
            buffer_ = static_cast<uint8_t*>(calloc(1, capacity));
        if (buffer_ == nullptr) {
            kiv_trace("binary_data_writer::binary_data_writer: error allocating memory block of size %llu",
                      static_cast<unsigned long long>(capacity));
            return;
        }
        capacity_ = static_cast<unsigned>(capacity);
        size_ = reserve;
    }
}

binary_data_writer::~binary_data_writer() {
    if (parent_ == nullptr)
        free(buffer_);
}

void binary_data_writer::detach() {
    buffer_ = nullptr;
    current_ = no_block;
    size_ = 0;
    capacity_ = 0;
}

bool binary_data_writer::set_parent(i_binary_data_writer* parent, uint16_t type) {
    if (buffer_ != nullptr)
        return false;
    parent_ = parent;
    type_ = type;
    return true;
}

bool binary_data_writer::grow(uint64_t needed, uint64_t extra) {
    // Doubling, with 1024 spare bytes past a block larger than the buffer.
    uint64_t wanted = extra >= capacity_ ? uint64_t(capacity_) + extra + 1024 : uint64_t(capacity_) * 2;
    return grow_buffer(buffer_, capacity_, size_, needed - size_, wanted, max_stream);
}

void* binary_data_writer::allocate_block(uint16_t type, unsigned n) {
    uint64_t block = uint64_t(n) + header_size;
    uint64_t needed = uint64_t(size_) + block;
    if (needed > max_stream)
        return nullptr;
    if (parent_ != nullptr) {
        void* p = buffer_ == nullptr ? parent_->allocate_block(type_, static_cast<unsigned>(block))
                                     : parent_->enlarge_block(static_cast<unsigned>(block));
        if (p == nullptr)
            return nullptr;
        buffer_ = static_cast<uint8_t*>(p);
    } else if (buffer_ == nullptr) {
        if (!resize_buffer(buffer_, capacity_, uint64_t(n) + 1030, max_stream))
            return nullptr;
    } else if (!grow(needed, n)) {
        kiv_trace("binary_data_writer::allocate_block: error reallocating memory of size %llu",
                  static_cast<unsigned long long>(needed));
        return nullptr;
    }
    current_ = size_;
    uint8_t* header = buffer_ + current_;
    platform::store_be16(header, type);
    platform::store_be32(header + 2, n);
    size_ = static_cast<unsigned>(needed);
    return header + header_size;
}

void* binary_data_writer::enlarge_block(unsigned m) {
    if (buffer_ == nullptr || current_ == no_block)
        return nullptr;
    uint64_t needed = uint64_t(size_) + m;
    if (needed > max_stream)
        return nullptr;
    if (parent_ != nullptr) {
        void* p = parent_->enlarge_block(m);
        if (p == nullptr)
            return nullptr;
        buffer_ = static_cast<uint8_t*>(p);
    } else if (!grow(needed, m)) {
        return nullptr;
    }
    uint8_t* header = buffer_ + current_;
    platform::store_be32(header + 2, platform::load_be32(header + 2) + m);
    size_ = static_cast<unsigned>(needed);
    return header + header_size;
}

bool binary_data_writer::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_binary_data_writer", static_cast<i_binary_data_writer*>(this), out))
        return true;
    return object::get_interface(name, out);
}

binary_data_reader::binary_data_reader(const void* data, unsigned size)
    : data_(static_cast<const uint8_t*>(data)), size_(data != nullptr ? size : 0) {
    reset();
}

void binary_data_reader::reset() {
    current_ = no_block;
    first_ = false;
    if (size_ >= header_size) {
        current_ = 0;
        first_ = true;
    }
}

bool binary_data_reader::next() {
    if (current_ == no_block)
        return false;
    if (first_)
        first_ = false;
    else
        current_ += header_size + platform::load_be32(data_ + current_ + 2);
    if (current_ + header_size > size_ ||
        current_ + header_size + platform::load_be32(data_ + current_ + 2) > size_) {
        current_ = no_block;
        return false;
    }
    return true;
}

const void* binary_data_reader::get_block_ptr() {
    return current_ == no_block ? nullptr : data_ + current_ + header_size;
}

unsigned binary_data_reader::get_block_size() {
    return current_ == no_block ? 0 : platform::load_be32(data_ + current_ + 2);
}

uint16_t binary_data_reader::get_block_type() {
    return current_ == no_block ? 0 : platform::load_be16(data_ + current_);
}

bool binary_data_reader::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_binary_data_reader", static_cast<i_binary_data_reader*>(this), out))
        return true;
    return object::get_interface(name, out);
}

}  // namespace kiv

kiv::i_binary_data_writer* kiv_cast_i_binary_data_writer(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_binary_data_writer>(obj, "i_binary_data_writer");
}

kiv::i_binary_data_reader* kiv_cast_i_binary_data_reader(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_binary_data_reader>(obj, "i_binary_data_reader");
}
