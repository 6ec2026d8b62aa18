// stream.cpp --
//
//     The common part of every stream: the empty source and sink hooks,
//     the stream's identity, its pump membership and its advisory lock.
//
//     The lock is leased: a holder that dies or forgets to unlock loses
//     the stream once its lease has run out on the monotonic clock, and a
//     waiting thread then takes it over. Only the owner may unlock, so a
//     former holder whose lease was taken over cannot free the stream
//     under its new owner.

#include "time/clock.h"

#include <kiv/core/i_core.h>
#include <kiv/core/next_id.h>
#include <kiv/core/stream_impl.h>
#include <kiv/core/process.h>

#include <chrono>

namespace kiv {

namespace {

// Longest single wait of a lock waiter: an unlock wakes it at once, but a
// driven test clock moves without notifying, so the waiter looks again.
const unsigned lease_poll_ms = 5;

}  // namespace

unsigned stream_base::read_impl(char*, unsigned) {
    return 0;
}

int stream_base::write_impl(const char*, unsigned) {
    return 0;
}

void stream_base::do_bg_reading() {}

void stream_base::do_bg_writeing() {}

i_stream_impl::i_stream_impl() : start_time_(kiv_get_curr_time()) {
    id_ = kiv_get_next_id();
}

i_stream_impl::~i_stream_impl() = default;

bool i_stream_impl::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_typed_object", static_cast<i_typed_object*>(this), out))
        return true;
    if (answer_interface(name, "i_stream", static_cast<i_stream*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool i_stream_impl::lock(unsigned to) {
    uint32_t me = kiv_get_thread_id();
    std::unique_lock<std::mutex> guard(lease_guard_);
    for (;;) {
        uint64_t now = clock::mono_ms();
        if (lock_count_ == 0 || owner_ == me || now >= lease_deadline_ms_)
            break;
        uint64_t left = lease_deadline_ms_ - now;
        lease_freed_.wait_for(guard, std::chrono::milliseconds(left < lease_poll_ms ? left : lease_poll_ms));
    }
    uint64_t now = clock::mono_ms();
    // An expired lease is forgotten, also the caller's own.
    if (now >= lease_deadline_ms_)
        lock_count_ = 0;
    uint64_t deadline = now + static_cast<uint64_t>(to) * 1000;
    if (++lock_count_ == 1) {
        owner_ = me;
        lease_deadline_ms_ = deadline;
    } else if (deadline > lease_deadline_ms_) {
        lease_deadline_ms_ = deadline;
    }
    return true;
}

void i_stream_impl::unlock() {
    std::lock_guard<std::mutex> guard(lease_guard_);
    if (lock_count_ <= 0 || owner_ != kiv_get_thread_id())
        return;
    if (--lock_count_ == 0) {
        owner_ = 0;
        lease_deadline_ms_ = 0;
        lease_freed_.notify_all();
    }
}

bool i_stream_impl::bg_task() {
    if (started_.load()) {
        do_bg_reading();
        do_bg_writeing();
    }
    return true;
}

void i_stream_impl::start_io() {
    kiv_register_stream(this);
}

}  // namespace kiv

kiv::i_input_stream* kiv_cast_i_input_stream(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_input_stream>(obj, "i_input_stream");
}

kiv::i_output_stream* kiv_cast_i_output_stream(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_output_stream>(obj, "i_output_stream");
}

kiv::i_io_stream* kiv_cast_i_io_stream(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_io_stream>(obj, "i_io_stream");
}

kiv::i_inet_stream* kiv_cast_i_inet_stream(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_inet_stream>(obj, "i_inet_stream");
}
