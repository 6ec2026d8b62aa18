// stream_impl.h --
//
//     Reusable stream implementations that concrete streams combine. A
//     concrete stream derives from i_stream_impl and from
//     i_input_stream_impl, i_output_stream_impl or both; it implements
//     disconnect and is_connected, overrides read_impl (input) and/or
//     write_impl (output), answers its own interface names in
//     get_interface before delegating to i_stream_impl, and calls start_io
//     when the core's stream pump should drive it:
//
//         class pipe_stream : public i_stream_impl, public i_input_stream_impl,
//                             public virtual i_io_stream { ... };
//
//     Deadlines (lock leases, the data event, timed flushes) run on the
//     monotonic clock; the times callers read (start, last arrival) are
//     the core's cached seconds clock.

#ifndef KIV_CORE_STREAM_IMPL_H
#define KIV_CORE_STREAM_IMPL_H

#include <kiv/core/i_stream.h>
#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace kiv {

// The source and sink hooks of a stream. The base hooks do nothing.
class KIV_EXPORT stream_base {
public:
    stream_base() = default;
    stream_base(const stream_base&) = delete;
    stream_base& operator=(const stream_base&) = delete;

protected:
    ~stream_base() = default;

    // Copies up to `size` bytes that the source has ready into `buffer`.
    // Called with the input mutex held. Returns: their count; 0 when
    // nothing (more) is ready now.
    virtual unsigned read_impl(char* buffer, unsigned size);
    // Hands up to `size` bytes to the sink. Called with the output mutex
    // held. Returns: how many it took; 0 when it takes nothing now; a
    // negative value on an error.
    virtual int write_impl(const char* data, unsigned size);
    // One background reading step.
    virtual void do_bg_reading();
    // One background writing step.
    virtual void do_bg_writeing();
};

// Identity, advisory lock and pump membership of a stream.
class KIV_EXPORT i_stream_impl : public object,
                                 public i_typed_object_impl,
                                 public virtual i_stream,
                                 public virtual stream_base {
public:
    // Takes a fresh process-wide id and notes the start time.
    i_stream_impl();
    virtual ~i_stream_impl();

    bool lock(unsigned to) override;
    void unlock() override;
    // Runs the reading step, then the writing step. Returns: true.
    bool bg_task() override;
    unsigned get_start_time() override { return start_time_; }
    // Answers "i_typed_object" and "i_stream".
    bool get_interface(const char* name, void** out) override;

protected:
    // Hands the stream to the core's pump, which holds a reference until
    // the stream reports itself disconnected. Nothing without a core.
    virtual void start_io();

private:
    std::mutex lease_guard_;            // guards the three fields below
    std::condition_variable lease_freed_;
    uint32_t owner_ = 0;                // thread id of the holder; 0 = none
    uint64_t lease_deadline_ms_ = 0;    // monotonic ms at which the lease ends
    int lock_count_ = 0;                // nested locks of the owner
    std::atomic<bool> started_{true};   // bg_task serves the stream
    unsigned start_time_;               // core clock at construction
};

// The input buffer: filled by the background reader from read_impl,
// drained by callers. At most a little over 4 MiB is ever buffered; the
// reader pauses above that until callers consume.
class KIV_EXPORT i_input_stream_impl : public virtual i_input_stream, public virtual stream_base {
public:
    i_input_stream_impl();
    // Frees the buffer.
    virtual ~i_input_stream_impl();

    unsigned get_last_comm_time() override;
    unsigned get_in_buffer_size() override;
    char* get_text(const char* delim, bool rem) override;
    unsigned char get_byte(bool rem) override;
    i_binary* get_binary(unsigned max_size, bool rem) override;
    bool set_in_buffer_timeout(int timeout) override;
    bool remove_in_buffer_data(unsigned data_size) override;

    // Unread bytes above which the background reader pauses.
    static constexpr size_t in_buffer_ceiling = 4194304;

protected:
    // Queues "KIV_EVT_STREAM_DATA_AVAIBLE" with the stream's id and the
    // stream as object; nothing without the event service. Called by the
    // background reader with no stream mutex held.
    virtual void fire_new_data_event();
    // Copies min(size, buffered) bytes to `data` (null: copies nothing)
    // and with `remove` consumes them. Returns: true for size 0; false
    // when there has never been an input buffer.
    virtual bool read_in_buf(void* data, unsigned size, bool remove);
    void do_bg_reading() override;
    // Appends bytes the concrete stream got by itself (a datagram, say),
    // without touching the arrival times. Returns: false when memory runs
    // out (the buffer is unchanged).
    bool store_in_data(const void* data, size_t size);

private:
    // Makes room for `n` more bytes, with 4096 bytes of slack when it
    // grows. Called with in_lock_ held.
    bool reserve_in(size_t n);
    // Moves unread bytes to the front of the buffer.
    void compact_in();

    mutex in_lock_;                  // guards everything below
    char* in_buf_ = nullptr;         // malloc-ed, owned; null until data first came and after a block took it all
    bool in_had_data_ = false;       // data came once (in_buf_ may have been handed over since)
    size_t in_capacity_ = 0;         // size of in_buf_
    size_t in_pos_ = 0;              // offset of the first unread byte
    size_t in_size_ = 0;             // unread bytes
    int in_timeout_ = 1;             // seconds; -1: no data event
    bool data_waiting_ = false;      // bytes arrived since the last data event
    uint64_t first_data_ms_ = 0;     // monotonic ms of that burst's first byte
    unsigned last_comm_time_;        // core clock of the last arrival
};

// The output buffer: writes go straight to write_impl (timeout 0) or
// gather for a flush by the pump once the oldest is `timeout` seconds
// old. Bytes the sink did not take stay pending in order; later writes
// queue behind them.
class KIV_EXPORT i_output_stream_impl : public virtual i_output_stream, public virtual stream_base {
public:
    i_output_stream_impl() = default;
    // Frees the buffer; pending bytes are dropped.
    virtual ~i_output_stream_impl();

    bool put_text(const char* data) override;
    bool put_byte(unsigned char data) override;
    bool put_binary(const void* data, unsigned data_size) override;
    bool set_out_buffer_timeout(unsigned timeout) override;
    bool flush_out_buffer() override;

protected:
    // The one write path of the put_ calls (see put_binary).
    virtual bool write_out_buf(const void* data, unsigned size);
    void do_bg_writeing() override;
    // Returns: the bytes waiting for the sink.
    size_t get_out_pending();

private:
    // Appends to the pending bytes and starts their wait when none was
    // running. Called with out_lock_ held. Returns: false when memory
    // runs out or the size would pass the limit.
    bool append_out(const char* data, size_t size);
    // Writes pending bytes until the sink takes no more. Called with
    // out_lock_ held. Returns: true when nothing is pending.
    bool flush_locked();

    mutex out_lock_;                 // guards everything below
    char* out_buf_ = nullptr;        // malloc-ed, owned; null until first needed
    size_t out_capacity_ = 0;        // size of out_buf_
    size_t out_size_ = 0;            // pending bytes at the front of out_buf_
    unsigned out_timeout_ = 0;       // seconds; 0: write-through
    bool out_waiting_ = false;       // a flush deadline is running
    uint64_t first_pending_ms_ = 0;  // monotonic ms of the oldest pending write
};

}  // namespace kiv

#endif
