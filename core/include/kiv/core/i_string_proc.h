// i_string_proc.h --
//
//     Expansion of variable references in texts ("svc_string"): "$"
//     followed by a name in braces ("${KIV_ROOT_PATH}") or by a bare name
//     of letters and underscores ("$KIV_ROOT_PATH") is replaced by the
//     variable's value, taken from the caller's source, then from the
//     sources registered with the service, then from the process
//     environment. Configuration files, environment files and paths pass
//     through it.

#ifndef KIV_CORE_I_STRING_PROC_H
#define KIV_CORE_I_STRING_PROC_H

#include <kiv/core/i_object_col.h>

namespace kiv {

// A source of variable values; callers implement it and register it by
// adding it to the collection get_global_var_substs returns (and remove
// it the same way). Called on the thread that expands a text.
class i_var_subst : public virtual i_object {
public:
    // Returns: the value of `name` as a new heap text the caller frees,
    //     or null when this source does not know the name.
    virtual char* get_variable_value(const char* name) = 0;

protected:
    ~i_var_subst() = default;
};

class i_string_proc : public virtual i_object {
public:
    // Expands the references of `src`. A variable that no source knows
    // expands to nothing. An unclosed "${", or a "$" followed by neither
    // "{", a letter nor "_", ends the expansion: the rest of the text
    // from there is kept as it is.
    // Returns: a new heap text the caller frees (never null for a
    //     non-null src); null for a null src.
    // Safe from any thread.
    virtual char* process(const char* src, i_var_subst* var_subst) = 0;
    // Returns: the collection of registered sources, with one reference
    //     for the caller. Items that do not answer i_var_subst are skipped.
    virtual i_object_col_x* get_global_var_substs() = 0;

protected:
    ~i_string_proc() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_string_proc* kiv_cast_i_string_proc(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_var_subst* kiv_cast_i_var_subst(kiv::i_object* obj);

#endif
