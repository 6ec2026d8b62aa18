// config_fuzz.cpp --
//
//     Applies any bytes as the XML configuration through kiv_load_config:
//     variables in document order (expanded, or made absolute paths),
//     platform filters, and libraries tried by priority. The loader's own
//     code runs whole, down to its call of dlopen, which this target
//     replaces by one that loads nothing and counts its calls: hostile
//     input must never bring code into the process. The root folder is
//     empty, and each library entry may reach dlopen only once per
//     candidate file, so the count is bounded by the entries. The
//     environment is put back after each input.

#include <kiv/core/config.h>
#include <kiv/core/i_core.h>

#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"

namespace {

std::string config_path;
unsigned dlopen_calls = 0;  // dlopen calls during the input under way

}  // namespace

// The process's dlopen: the core's loader reaches it for every candidate
// file that exists. Nothing is loaded; the loader takes the refusal as a
// library that failed.
extern "C" void* dlopen(const char*, int) {
    ++dlopen_calls;
    return nullptr;
}

extern "C" char* dlerror() {
    static char text[] = "loading is disabled in this fuzz target";
    return text;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    config_path = start_framework({}) + "/config.xml";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16))
        return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    environment_guard guard;
    write_file(config_path, data, size, 1000000);
    dlopen_calls = 0;
    bool applied = kiv_load_config(config_path.c_str());
    // Every library entry is tried once, each against its own path and
    // the folders of PATH (as the input may have set it).
    size_t entries = 0;
    for (size_t at = text.find("library"); at != std::string::npos; at = text.find("library", at + 1))
        ++entries;
    std::string path = kiv_get_env("PATH");
    size_t folders = 1;
    for (char c : path)
        folders += c == ':';
    check(dlopen_calls <= entries * (folders + 1));
    (void)applied;
    guard.restore();
    return 0;
}
