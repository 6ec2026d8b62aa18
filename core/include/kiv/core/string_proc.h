// string_proc.h --
//
//     The string service object, registered by the core as "svc_string"
//     for the whole life of the framework. Its object name is
//     "string_service".

#ifndef KIV_CORE_STRING_PROC_H
#define KIV_CORE_STRING_PROC_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_string_proc.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>

namespace kiv {

class KIV_EXPORT string_proc : public object, public i_named_object_impl, public i_string_proc {
public:
    string_proc();

    char* process(const char* src, i_var_subst* var_subst) override;
    i_object_col_x* get_global_var_substs() override;
    // Answers "i_string_proc", then "i_named_object".
    bool get_interface(const char* name, void** out) override;

private:
    // Returns: the value of `name` from the first source that knows it
    //     (heap text the caller frees), or null.
    char* lookup(const char* name, i_var_subst* var_subst);

    auto_ptr_t<i_object_col_x> var_substs_;  // registered sources; its own mutex guards it
};

}  // namespace kiv

#endif
