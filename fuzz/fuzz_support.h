// fuzz_support.h --
//
//     What the fuzz targets share: a check that stops the run (so the
//     fuzzer keeps the input), an in-memory file holding the input, a
//     private root folder for targets that write files, a framework
//     started with libraries loaded through the core's loader, and a
//     guard that puts the process environment back after an input that
//     set variables.

#ifndef KIV_FUZZ_SUPPORT_H
#define KIV_FUZZ_SUPPORT_H

#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/log.h>
#include <kiv_test/temp_folder.h>

#include <fcntl.h>
#include <ftw.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

// A property every input must keep; a broken one aborts with its text.
#define check(cond)                                            \
    do {                                                       \
        if (!(cond)) {                                         \
            std::fprintf(stderr, "check failed: %s\n", #cond); \
            std::abort();                                      \
        }                                                      \
    } while (0)

// Returns: a descriptor of an anonymous in-memory file holding `data`.
inline int memory_file(const uint8_t* data, size_t size) {
    int fd = memfd_create("fuzz_input", MFD_CLOEXEC);
    if (fd < 0)
        std::abort();
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0)
            std::abort();
        done += size_t(n);
    }
    return fd;
}

// Writes `size` bytes at `data` to the file at `path`, replacing it,
// and gives it the modification time `seconds` (so a reader that looks
// at the time sees every input as a change). Aborts on failure.
inline void write_file(const std::string& path, const void* data, size_t size, int64_t seconds) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0)
        std::abort();
    timespec times[2] = {{seconds, 0}, {seconds, 0}};
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        std::abort();
}

// Returns: a new empty folder of the fuzz run's own under TMPDIR (else
// /tmp), removed with what it holds when the run ends normally (a crash
// leaves it for a look).
inline std::string private_folder() {
    static std::string folder;
    if (!folder.empty())
        std::abort();
    folder = kiv_test::make_temp_folder("kiv_fuzz_");
    if (folder.empty())
        std::abort();
    std::atexit([] {
        nftw(folder.c_str(), [](const char* path, const struct stat*, int, FTW*) { return remove(path); }, 16,
             FTW_DEPTH | FTW_PHYS);
    });
    return folder;
}

// Returns: the folder of the running fuzz target, where the build puts
// the libraries too.
inline std::string program_folder() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        std::abort();
    std::string text(path, size_t(n));
    return text.substr(0, text.rfind('/'));
}

// Objects a target holds for its whole run (one reference each),
// released at exit before the framework ends.
inline std::vector<kiv::i_object*>& kept_objects() {
    static std::vector<kiv::i_object*> objects;
    return objects;
}

// Keeps `object` (a reference the caller hands over) for the run.
// Returns: `object`.
template <class T>
T* keep(T* object) {
    if (object != nullptr)
        kept_objects().push_back(object);
    return object;
}

// Points KIV_ROOT_PATH and TEMP at a private folder (private_folder()),
// for the framework started next: its temporary files then go with that
// folder, where under TMPDIR they would make the account's own folder
// there, which outlives the run.
// Returns: the folder.
inline std::string private_root() {
    std::string root = private_folder();
    kiv_set_env("KIV_ROOT_PATH", root.c_str());
    kiv_set_env("TEMP", root.c_str());
    return root;
}

// Starts the framework quietly with KIV_ROOT_PATH and TEMP in a private
// folder and the machine's proxy variables cleared, then loads each of
// `libraries` (names of the output folder, e.g. "kiv_core") through the
// core's loader, so their entries run as in a host. Aborts on failure.
// Returns: the root folder.
inline std::string start_framework(std::initializer_list<const char*> libraries) {
    kiv_enable_trace(false);
    std::string root = private_root();
    for (const char* name : {"KIV_HTTP_PROXY", "http_proxy", "HTTP_PROXY", "no_proxy"})
        kiv_set_env(name, nullptr);
    if (!kiv_initialize())
        std::abort();
    // At exit the kept objects go, then the framework ends as in a host,
    // so what its services hold is freed (the leak check runs after).
    // The list is made first, so that it is destroyed after this runs.
    kept_objects();
    std::atexit([] {
        for (kiv::i_object* object : kept_objects())
            object->release();
        kept_objects().clear();
        kiv_terminate();
    });
    for (const char* name : libraries) {
        std::string path = program_folder() + "/" + name + ".so";
        if (kiv_core()->load_library(path.c_str()) == nullptr)
            std::abort();
    }
    return root;
}

extern "C" char** environ;

// Takes a copy of the process environment; restore() puts it back,
// unsetting what was added and resetting what changed, so that the
// variables one input set neither pile up nor change the next input.
class environment_guard {
public:
    environment_guard() { saved_ = current(); }
    void restore() {
        std::map<std::string, std::string> now = current();
        for (const auto& entry : now)
            if (saved_.count(entry.first) == 0)
                kiv_set_env(entry.first.c_str(), nullptr);
        for (const auto& entry : saved_) {
            auto found = now.find(entry.first);
            if (found == now.end() || found->second != entry.second)
                kiv_set_env(entry.first.c_str(), entry.second.c_str());
        }
    }

private:
    static std::map<std::string, std::string> current() {
        std::map<std::string, std::string> vars;
        for (char** p = environ; *p != nullptr; ++p) {
            const char* eq = std::strchr(*p, '=');
            if (eq != nullptr)
                vars[std::string(*p, size_t(eq - *p))] = eq + 1;
        }
        return vars;
    }
    std::map<std::string, std::string> saved_;  // name -> value at construction
};

#endif
