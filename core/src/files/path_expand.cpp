// path_expand.cpp --
//
//     ${VAR} expansion of configured paths through the string service.

#include "files/path_expand.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_string_proc.h>

#include <cstdlib>

namespace kiv {

bool expand_path_variables(std::string& path) {
    i_core* core = kiv_core();
    if (core == nullptr)
        return false;
    auto_ptr_t<i_object> service(core->get_service("svc_string"));
    i_string_proc* proc = kiv_cast_i_string_proc(service);
    if (proc == nullptr)
        return false;
    char* expanded = proc->process(path.c_str(), nullptr);
    if (expanded == nullptr)
        return false;
    path = expanded;
    free(expanded);
    return true;
}

}  // namespace kiv
