// script_code.h --
//
//     Script code: a text compiled for one thread that callers keep and
//     run again and again. Callers make it with kiv_create_script_code
//     and hold it as an i_script_code; the class is the core's own.

#ifndef KIV_CORE_SRC_SCRIPT_CODE_H
#define KIV_CORE_SRC_SCRIPT_CODE_H

#include <kiv/core/i_script.h>
#include <kiv/core/object.h>

#include <tcl.h>

#include <cstdint>

namespace kiv {

class script_code : public object, public virtual i_script_code {
public:
    script_code();
    // Drops the Tcl reference on the creating thread (elsewhere the Tcl
    // object is left, as it may not be touched there).
    ~script_code() override;

    unsigned get_thread_id() override { return thread_; }
    bool set_text(const char* text) override;
    Tcl_Obj* get_compiled_code() override;
    bool get_interface(const char* name, void** out) override;

private:
    Tcl_Obj* code_ = nullptr;  // one Tcl reference; null before set_text
    uint32_t thread_;          // the creating thread; codes always run inside `kiv`
};

}  // namespace kiv

#endif
