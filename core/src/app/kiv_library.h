// kiv_library.h --
//
//     The record of one loaded library, made by the loader once the
//     module has both required exports. Name and version are read from
//     the module's own exports when the record is made.

#ifndef KIV_CORE_SRC_KIV_LIBRARY_H
#define KIV_CORE_SRC_KIV_LIBRARY_H

#include <kiv/core/i_kiv_library.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>

#include <string>

namespace kiv {

class kiv_library : public object, public i_named_object_impl, public virtual i_kiv_library {
public:
    // `module`: the open handle; `path`: the file as tried.
    kiv_library(void* module, const std::string& path);

    const char* get_path() override { return path_.c_str(); }
    const char* get_version() override { return version_.c_str(); }
    void* get_handle() override { return module_; }
    // Answers "i_kiv_library" and "i_named_object".
    bool get_interface(const char* name, void** out) override;

private:
    void* module_;         // the handle; closed by kiv_terminate
    std::string path_;     // the candidate it was loaded from
    std::string version_;  // kiv_library_version; empty without the export
};

}  // namespace kiv

#endif
