// input_stream.cpp --
//
//     The input side of a stream: a buffer that the background reader
//     fills from read_impl and callers drain by delimited texts, bytes or
//     byte blocks. The buffer grows with slack so small arrivals do not
//     reallocate each time, shrinks back when mostly empty, and stops
//     growing a little above 4 MiB: the reader then leaves the source
//     alone (and the bytes in it) until callers consume. Nothing that
//     read_impl handed over is ever dropped because of that ceiling.

#include "time/clock.h"

#include <kiv/core/binary_impl.h>
#include <kiv/core/byte_buffer.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/stream_impl.h>

#include <cstdlib>
#include <cstring>

namespace kiv {

namespace {

const size_t read_block_size = 16384;
const size_t in_slack = 4096;

// Returns: the offset of the first `needle` in `hay`, or `size` when absent.
size_t find_bytes(const char* hay, size_t size, const char* needle, size_t needle_size) {
    if (needle_size > size)
        return size;
    size_t last = size - needle_size;
    for (size_t pos = 0; pos <= last;) {
        const void* hit = std::memchr(hay + pos, needle[0], last - pos + 1);
        if (hit == nullptr)
            return size;
        pos = static_cast<size_t>(static_cast<const char*>(hit) - hay);
        if (std::memcmp(hay + pos, needle, needle_size) == 0)
            return pos;
        ++pos;
    }
    return size;
}

}  // namespace

i_input_stream_impl::i_input_stream_impl() : last_comm_time_(kiv_get_curr_time()) {}

i_input_stream_impl::~i_input_stream_impl() {
    free(in_buf_);
}

unsigned i_input_stream_impl::get_last_comm_time() {
    mutex_locker lock(&in_lock_);
    return last_comm_time_;
}

unsigned i_input_stream_impl::get_in_buffer_size() {
    mutex_locker lock(&in_lock_);
    return static_cast<unsigned>(in_size_);
}

bool i_input_stream_impl::set_in_buffer_timeout(int timeout) {
    mutex_locker lock(&in_lock_);
    in_timeout_ = timeout;
    return true;
}

bool i_input_stream_impl::remove_in_buffer_data(unsigned data_size) {
    return read_in_buf(nullptr, data_size, true);
}

bool i_input_stream_impl::read_in_buf(void* data, unsigned size, bool remove) {
    if (size == 0)
        return true;
    mutex_locker lock(&in_lock_);
    if (in_buf_ == nullptr && !in_had_data_)
        return false;
    size_t n = size < in_size_ ? size : in_size_;
    if (data != nullptr && n > 0)
        std::memcpy(data, in_buf_ + in_pos_, n);
    if (remove) {
        in_pos_ += n;
        in_size_ -= n;
        if (in_size_ == 0)
            in_pos_ = 0;
    }
    return true;
}

char* i_input_stream_impl::get_text(const char* delim, bool rem) {
    if (delim == nullptr)
        return nullptr;
    mutex_locker lock(&in_lock_);
    if (in_size_ == 0)
        return nullptr;
    const char* start = in_buf_ + in_pos_;
    size_t n = in_size_;
    size_t delim_size = std::strlen(delim);
    if (delim_size > 0) {
        size_t at = find_bytes(start, in_size_, delim, delim_size);
        if (at == in_size_)
            return nullptr;
        n = at + delim_size;
    }
    char* text = static_cast<char*>(malloc(n + 1));
    if (text == nullptr)
        return nullptr;
    std::memcpy(text, start, n);
    text[n] = '\0';
    if (rem)
        read_in_buf(nullptr, static_cast<unsigned>(n), true);
    return text;
}

unsigned char i_input_stream_impl::get_byte(bool rem) {
    unsigned char byte = 0;
    read_in_buf(&byte, 1, rem);
    return byte;
}

i_binary* i_input_stream_impl::get_binary(unsigned max_size, bool rem) {
    mutex_locker lock(&in_lock_);
    size_t n = max_size == 0 || max_size > in_size_ ? in_size_ : max_size;
    binary* block;
    if (n == 0) {
        block = new binary;
    } else if (rem && n == in_size_) {
        // Everything buffered leaves: the buffer itself becomes the block
        // (no fresh allocation, no copy), and the next read starts anew.
        compact_in();
        if (in_capacity_ - n > in_slack) {
            // Handed over without the spare room (shrinking stays in place).
            resize_buffer(in_buf_, in_capacity_, n);
        }
        block = new binary(in_buf_, static_cast<unsigned>(n), true);
        in_buf_ = nullptr;
        in_capacity_ = 0;
        in_size_ = 0;
        in_pos_ = 0;
    } else {
        void* data = malloc(n);
        if (data == nullptr)
            return nullptr;
        std::memcpy(data, in_buf_ + in_pos_, n);
        block = new binary(data, static_cast<unsigned>(n), true);
        if (rem)
            read_in_buf(nullptr, static_cast<unsigned>(n), true);
    }
    block->addref();
    return block;
}

void i_input_stream_impl::compact_in() {
    if (in_pos_ == 0)
        return;
    if (in_size_ > 0)
        std::memmove(in_buf_, in_buf_ + in_pos_, in_size_);
    in_pos_ = 0;
}

bool i_input_stream_impl::reserve_in(size_t n) {
    if (in_buf_ == nullptr) {
        if (!resize_buffer(in_buf_, in_capacity_, n > in_slack ? n : in_slack))
            return false;
        in_pos_ = 0;
        in_had_data_ = true;
        return true;
    }
    if (in_capacity_ - in_pos_ - in_size_ >= n)
        return true;
    compact_in();
    // Grown at least twofold (up to what the ceiling can need), so a
    // buffer filling up block by block is not copied once per block.
    uint64_t doubled = uint64_t(in_capacity_) * 2;
    const uint64_t largest = in_buffer_ceiling + read_block_size + in_slack;
    if (doubled > largest)
        doubled = largest;
    uint64_t with_slack = uint64_t(in_size_) + n + in_slack;  // a sum that wraps only loses the slack
    return grow_buffer(in_buf_, in_capacity_, in_size_, n, with_slack > doubled ? with_slack : doubled);
}

bool i_input_stream_impl::store_in_data(const void* data, size_t size) {
    if (size == 0)
        return true;
    if (data == nullptr)
        return false;
    mutex_locker lock(&in_lock_);
    if (!reserve_in(size))
        return false;
    std::memcpy(in_buf_ + in_pos_ + in_size_, data, size);
    in_size_ += size;
    return true;
}

void i_input_stream_impl::do_bg_reading() {
    bool fire = false;
    {
        mutex_locker lock(&in_lock_);
        if (in_size_ <= in_buffer_ceiling) {
            compact_in();
            char block[read_block_size];
            bool full_block = false;  // the last read filled its block: more is likely waiting
            // The ceiling is checked before each read, so a block once
            // taken from the source is always kept. A read goes straight
            // into the buffer when it has room for a block, or is given
            // that room while data keeps coming; only a read into an idle
            // stream's empty buffer goes through the block on the stack.
            while (in_size_ <= in_buffer_ceiling) {
                bool direct = in_buf_ != nullptr && in_capacity_ - in_pos_ - in_size_ >= read_block_size;
                if (!direct && full_block)
                    direct = reserve_in(read_block_size);
                char* target = direct ? in_buf_ + in_pos_ + in_size_ : block;
                unsigned n = read_impl(target, read_block_size);
                if (n == 0)
                    break;
                if (n > read_block_size)
                    n = read_block_size;
                if (!data_waiting_) {
                    data_waiting_ = true;
                    first_data_ms_ = clock::mono_ms();
                }
                last_comm_time_ = kiv_get_curr_time();
                if (!direct) {
                    if (!reserve_in(n))
                        break;
                    std::memcpy(in_buf_ + in_pos_ + in_size_, block, n);
                }
                in_size_ += n;
                full_block = n == read_block_size;
            }
        }
        if (in_buf_ != nullptr && in_size_ < in_slack && in_capacity_ - in_size_ > in_slack) {
            compact_in();
            resize_buffer(in_buf_, in_capacity_, in_slack);  // a block that cannot shrink stays as it is
        }
        // Judged even while reading pauses at the ceiling: the event is
        // what makes callers consume.
        if (in_timeout_ != -1 && data_waiting_) {
            uint64_t wait_ms = in_timeout_ > 0 ? static_cast<uint64_t>(in_timeout_) * 1000 : 0;
            if (first_data_ms_ + wait_ms <= clock::mono_ms()) {
                data_waiting_ = false;
                fire = true;
            }
        }
    }
    if (fire)
        fire_new_data_event();
}

void i_input_stream_impl::fire_new_data_event() {
    // Resolved by name on every event rather than cached once: type ids
    // belong to the event service, which a new session makes afresh.
    kiv_generate_event("KIV_EVT_STREAM_DATA_AVAIBLE", get_id(), this, false);
}

}  // namespace kiv
