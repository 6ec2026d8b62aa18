// fuzz_support.h --
//
//     What the fuzz targets share: a check that stops the run (so the
//     fuzzer keeps the input) and an in-memory file holding the input.

#ifndef KIV_FUZZ_SUPPORT_H
#define KIV_FUZZ_SUPPORT_H

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

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

#endif
