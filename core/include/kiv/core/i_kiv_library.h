// i_kiv_library.h --
//
//     A library loaded by the core's loader (i_core::load_library): its
//     name and version as the library itself reports them (the library
//     protocol, library_protocol.h), the file it was loaded from and its
//     module handle. i_core::get_libraries lists them in load order; the
//     events "KIV_CORE_EVT_LOAD_LIBRARY" and
//     "KIV_CORE_EVT_POST_LOAD_LIBRARY" carry one as their object.

#ifndef KIV_CORE_I_KIV_LIBRARY_H
#define KIV_CORE_I_KIV_LIBRARY_H

#include <kiv/core/i_string.h>

namespace kiv {

// The name (i_named_object) is the library's kiv_library_name, or empty
// when it exports none. Texts are borrowed and live as long as the object.
class i_kiv_library : public virtual i_object, public virtual i_named_object {
public:
    // Returns: the file the library was loaded from, exactly as the
    //     loader tried it (with the ".so" the loader may have appended).
    virtual const char* get_path() = 0;
    // Returns: the library's kiv_library_version, or the empty text.
    virtual const char* get_version() = 0;
    // Returns: the module handle (the platform layer's), never null.
    virtual void* get_handle() = 0;

protected:
    ~i_kiv_library() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_kiv_library* kiv_cast_i_kiv_library(kiv::i_object* obj);

#endif
