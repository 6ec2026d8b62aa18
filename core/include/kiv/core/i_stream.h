// i_stream.h --
//
//     The polled byte streams. i_stream is what the core's stream pump
//     sees: streams that joined the pump (kiv_register_stream) get one
//     bg_task call per 100 ms pass on the pump thread; a stream that fails
//     its step or reports itself disconnected is disconnected and dropped.
//     The input side buffers what a background reader fetched from the
//     stream's source; the output side hands writes to the sink at once
//     or gathers them for a timed flush. stream_impl.h holds the reusable
//     implementations.

#ifndef KIV_CORE_I_STREAM_H
#define KIV_CORE_I_STREAM_H

#include <kiv/core/i_string.h>

namespace kiv {

class i_binary;

class i_stream : public virtual i_typed_object {
public:
    // Closes the stream's source and sink. Returns: true when done.
    virtual bool disconnect() = 0;
    virtual bool is_connected() = 0;
    // Takes the stream's advisory lock, recursive and leased for `to`
    // seconds; waits while another thread's lease runs, and takes the
    // stream over once that lease has expired. A nested lock may extend
    // the lease, never shorten it. Returns: true.
    virtual bool lock(unsigned to) = 0;
    // Undoes one lock of the owner; the last one frees the stream. Calls
    // from a thread that does not own the lock are ignored.
    virtual void unlock() = 0;
    // One background reading and writing step, called by the pump.
    // Returns: false when the stream can no longer be served.
    virtual bool bg_task() = 0;
    // Returns: the core clock when the stream was made.
    virtual unsigned get_start_time() = 0;

protected:
    ~i_stream() = default;
};

// The buffered input side. All calls are safe from any thread; readers
// wait while the background reader is inside the source.
class i_input_stream : public virtual i_stream {
public:
    // Returns: the core clock when data last arrived (the construction
    //     time before any).
    virtual unsigned get_last_comm_time() = 0;
    // Returns: the number of unread buffered bytes.
    virtual unsigned get_in_buffer_size() = 0;
    // Takes buffered bytes up to and including the first `delim`; an
    // empty delim takes everything buffered. With `rem` the bytes are
    // consumed, otherwise they stay.
    // Returns: a malloc-ed, zero-terminated copy the caller frees; null
    //     for a null delim, an empty buffer, a delim not (yet) wholly
    //     buffered, or exhausted memory (nothing consumed then).
    virtual char* get_text(const char* delim, bool rem) = 0;
    // Returns: the next byte (consumed with `rem`); 0 when none is buffered.
    virtual unsigned char get_byte(bool rem) = 0;
    // Takes min(max_size, buffered) bytes, or all for max_size 0.
    // Returns: a new byte block with one reference for the caller (empty
    //     when nothing is buffered); null only when memory runs out.
    virtual i_binary* get_binary(unsigned max_size, bool rem) = 0;
    // Seconds after the first byte of a burst at which the data event
    // "KIV_EVT_STREAM_DATA_AVAIBLE" is queued; -1 switches it off.
    // Returns: true.
    virtual bool set_in_buffer_timeout(int timeout) = 0;
    // Consumes up to `data_size` bytes without copying them.
    // Returns: false when the stream never had an input buffer.
    virtual bool remove_in_buffer_data(unsigned data_size) = 0;

protected:
    ~i_input_stream() = default;
};

// The output side. All calls are safe from any thread; writes reach the
// sink in the order they were made.
class i_output_stream : public virtual i_stream {
public:
    // Writes a zero-terminated text (without the terminator).
    // Returns: as put_binary; false for null.
    virtual bool put_text(const char* data) = 0;
    virtual bool put_byte(unsigned char data) = 0;
    // Write-through (timeout 0): true when the sink took every byte now.
    // False when it took fewer, or when bytes of earlier writes were still
    // waiting: what the sink did not take stays pending, in order, for the
    // pump (or the next write) to flush. False with nothing kept when the
    // sink reports an error. Timed buffering: true when the bytes were
    // stored. False for null data or exhausted memory.
    virtual bool put_binary(const void* data, unsigned data_size) = 0;
    // Seconds that written bytes may wait before the pump flushes them;
    // 0 is write-through. Returns: true.
    virtual bool set_out_buffer_timeout(unsigned timeout) = 0;
    // Hands pending bytes to the sink until it takes no more.
    // Returns: true when nothing is pending afterwards.
    virtual bool flush_out_buffer() = 0;

protected:
    ~i_output_stream() = default;
};

class i_io_stream : public virtual i_input_stream, public virtual i_output_stream {
protected:
    ~i_io_stream() = default;
};

// A stream over the network.
class i_inet_stream : public virtual i_io_stream {
public:
    // Returns: the peer's address as dotted text. Borrowed.
    virtual const char* get_host() = 0;
    // Returns: the local port of the connection.
    virtual unsigned short get_port() = 0;

protected:
    ~i_inet_stream() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_stream* kiv_cast_i_stream(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_input_stream* kiv_cast_i_input_stream(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_output_stream* kiv_cast_i_output_stream(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_io_stream* kiv_cast_i_io_stream(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_inet_stream* kiv_cast_i_inet_stream(kiv::i_object* obj);

#endif
