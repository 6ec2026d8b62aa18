// i_stream.h --
//
//     The polled byte stream as the core's stream pump sees it. Streams
//     that joined the pump (kiv_register_stream) get one bg_task call per
//     100 ms pass on the pump thread; a stream that fails its step or
//     reports itself disconnected is disconnected and dropped.

#ifndef KIV_CORE_I_STREAM_H
#define KIV_CORE_I_STREAM_H

#include <kiv/core/i_string.h>

namespace kiv {

class i_stream : public virtual i_typed_object {
public:
    // Closes the stream's source and sink. Returns: true when done.
    virtual bool disconnect() = 0;
    virtual bool is_connected() = 0;
    // Takes the stream's advisory lock, recursive and leased for `to`
    // seconds of the core clock; waits while another thread's lease runs.
    // Returns: true.
    virtual bool lock(unsigned to) = 0;
    // Undoes one lock; the last one frees the stream.
    virtual void unlock() = 0;
    // One background reading and writing step, called by the pump.
    // Returns: false when the stream can no longer be served.
    virtual bool bg_task() = 0;
    // Returns: the core clock when the stream was made.
    virtual unsigned get_start_time() = 0;

protected:
    ~i_stream() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_stream* kiv_cast_i_stream(kiv::i_object* obj);

#endif
