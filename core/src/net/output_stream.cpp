// output_stream.cpp --
//
//     The output side of a stream. Write-through hands each write to
//     write_impl at once; with a timeout, writes gather and the pump
//     flushes them together once the oldest has waited that long. In
//     both modes bytes the sink did not take stay pending, in order, and
//     are retried by the pump (or before the next write); a later write
//     never reaches the sink ahead of them.

#include "time/clock.h"

#include <kiv/core/byte_buffer.h>
#include <kiv/core/stream_impl.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace kiv {

namespace {

const size_t out_slack = 4096;
// Pending bytes beyond this are refused (the field is an int in callers' eyes).
const size_t out_limit = INT_MAX;

}  // namespace

i_output_stream_impl::~i_output_stream_impl() {
    free(out_buf_);
}

bool i_output_stream_impl::put_text(const char* data) {
    if (data == nullptr)
        return false;
    size_t size = std::strlen(data);
    if (size > UINT_MAX)
        return false;
    return write_out_buf(data, static_cast<unsigned>(size));
}

bool i_output_stream_impl::put_byte(unsigned char data) {
    return write_out_buf(&data, 1);
}

bool i_output_stream_impl::put_binary(const void* data, unsigned data_size) {
    return write_out_buf(data, data_size);
}

bool i_output_stream_impl::set_out_buffer_timeout(unsigned timeout) {
    mutex_locker lock(&out_lock_);
    out_timeout_ = timeout;
    return true;
}

size_t i_output_stream_impl::get_out_pending() {
    mutex_locker lock(&out_lock_);
    return out_size_;
}

bool i_output_stream_impl::append_out(const char* data, size_t size) {
    // A fresh buffer starts with the slack; a full one grows to what the
    // write needs.
    if (!grow_buffer(out_buf_, out_capacity_, out_size_, size, out_slack, out_limit))
        return false;
    std::memcpy(out_buf_ + out_size_, data, size);
    out_size_ += size;
    if (!out_waiting_) {
        out_waiting_ = true;
        first_pending_ms_ = clock::mono_ms();
    }
    return true;
}

bool i_output_stream_impl::write_out_buf(const void* data, unsigned size) {
    if (data == nullptr)
        return false;
    if (size == 0)
        return true;
    const char* bytes = static_cast<const char*>(data);
    mutex_locker lock(&out_lock_);
    if (out_timeout_ != 0)
        return append_out(bytes, size);
    // Write-through: whatever waits from earlier goes first.
    if (out_size_ > 0 && !flush_locked()) {
        append_out(bytes, size);
        return false;
    }
    int took = write_impl(bytes, size);
    if (took < 0)
        return false;
    if (static_cast<unsigned>(took) >= size)
        return true;
    append_out(bytes + took, size - static_cast<unsigned>(took));
    return false;
}

bool i_output_stream_impl::flush_locked() {
    size_t written = 0;
    bool failed = false;
    while (written < out_size_) {
        size_t left = out_size_ - written;
        int took = write_impl(out_buf_ + written, left > UINT_MAX ? UINT_MAX : static_cast<unsigned>(left));
        if (took < 0)
            failed = true;
        if (took <= 0)
            break;
        written += static_cast<size_t>(took) < left ? static_cast<size_t>(took) : left;
    }
    if (written > 0) {
        out_size_ -= written;
        if (out_size_ > 0)
            std::memmove(out_buf_, out_buf_ + written, out_size_);
    }
    if (out_size_ == 0)
        out_waiting_ = false;
    if (!failed && out_size_ <= out_slack && out_capacity_ > out_slack) {
        resize_buffer(out_buf_, out_capacity_, out_slack);  // a block that cannot shrink stays as it is
    }
    return out_size_ == 0;
}

bool i_output_stream_impl::flush_out_buffer() {
    mutex_locker lock(&out_lock_);
    bool all = flush_locked();
    if (!all && !out_waiting_) {
        out_waiting_ = true;
        first_pending_ms_ = clock::mono_ms();
    }
    return all;
}

void i_output_stream_impl::do_bg_writeing() {
    mutex_locker lock(&out_lock_);
    if (!out_waiting_)
        return;
    uint64_t now = clock::mono_ms();
    if (first_pending_ms_ + static_cast<uint64_t>(out_timeout_) * 1000 > now)
        return;
    out_waiting_ = false;
    // What the sink does not take now waits one more period for the
    // next pass, instead of waiting for a later write.
    if (!flush_locked()) {
        out_waiting_ = true;
        first_pending_ms_ = now;
    }
}

}  // namespace kiv
