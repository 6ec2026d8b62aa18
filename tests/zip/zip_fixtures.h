// zip_fixtures.h --
//
//     Helpers of the archive tests: a framework session with "svc_zip"
//     registered by the library's own entry, file helpers, and runners
//     for the independent tools that cross-check our archives (unzip -t,
//     gzip -t, and zip_check.py on Python's zipfile). A tool that is not
//     installed skips the test that needs it; nothing is fetched.

#ifndef KIV_TESTS_ZIP_FIXTURES_H
#define KIV_TESTS_ZIP_FIXTURES_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/library_protocol.h>
#include <kiv/core/log.h>
#include <kiv/zip/i_zip.h>
#include <kiv_test/run_command.h>
#include <kiv_test/trace_capture.h>
#include <kiv_test/zip_hooks.h>

#include "../core/core_session.h"
#include "../core/test_util.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace kiv_test {

typedef std::vector<uint8_t> bytes;

inline bytes bytes_of(kiv::i_binary* b) {
    const uint8_t* p = static_cast<const uint8_t*>(b->get_data());
    return p == nullptr ? bytes() : bytes(p, p + b->get_data_size());
}

inline bytes bytes_of(const std::string& s) {
    return bytes(s.begin(), s.end());
}

inline void put_file(const std::string& path, const bytes& data) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    if (!data.empty()) {
        ASSERT_EQ(fwrite(data.data(), 1, data.size(), f), data.size());
    }
    ASSERT_EQ(fclose(f), 0);
}

inline bytes file_bytes(const std::string& path) {
    std::string s = read_all(path);
    return bytes(s.begin(), s.end());
}

inline bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Bytes that compress to some degree but not trivially: words with a
// running counter, `size` bytes.
inline bytes sample_data(size_t size, unsigned seed = 1) {
    bytes out;
    out.reserve(size);
    uint32_t state = seed;
    while (out.size() < size) {
        state = state * 1103515245u + 12345u;
        const char* words[] = {"road ", "river ", "bridge ", "12 ", "map\n", "\x01\xFF"};
        for (const char* c = words[(state >> 16) % 6]; *c != 0 && out.size() < size; ++c)
            out.push_back(uint8_t(*c));
        if ((state >> 8) % 7 == 0 && out.size() < size)
            out.push_back(uint8_t(state >> 24));
    }
    return out;
}

// Holds a malloc-ed text handed out by the service.
struct heap_free {
    void operator()(char* p) const { free(p); }
};
typedef std::unique_ptr<char, heap_free> heap_text;

inline bool have_tool(const char* name) {
    return run_command(std::string("command -v ") + name + " >/dev/null 2>&1") == 0;
}

// Runs zip_check.py with the given arguments. Returns: its exit status,
//     its output in *out.
inline int zip_check(const std::string& args, std::string* out = nullptr) {
    return run_command("python3 " + shell_quoted(ZIP_CHECK_SCRIPT) + " " + args + " 2>&1", out);
}

// Lowers the service's memory cap for the guard's life.
class memory_cap_guard {
public:
    explicit memory_cap_guard(uint64_t cap) { kiv_zip_test_memory_cap(cap); }
    ~memory_cap_guard() { kiv_zip_test_memory_cap(0); }
    memory_cap_guard(const memory_cap_guard&) = delete;
    memory_cap_guard& operator=(const memory_cap_guard&) = delete;
};

// A framework session with "svc_zip" registered by the library entry,
// called by the test itself, or, `through_loader`, by the core's loader
// as a program's configuration has it called.
class zip_session : public ::testing::Test {
protected:
    explicit zip_session(bool through_loader = false) : session(false), through_loader_(through_loader) {}
    void SetUp() override {
        ASSERT_TRUE(session.started);
        if (through_loader_)
            ASSERT_NE(kiv_core()->load_library(KIV_ZIP_LIBRARY), nullptr);
        else
            // Binds to kiv_zip's entry: the test lists kiv_zip first.
            kiv_library_entry();
        svc_object.reset(kiv_core()->get_service("svc_zip"));
        zip = kiv_cast_i_zip_service(svc_object);
        ASSERT_NE(zip, nullptr);
    }
    void TearDown() override {
        zip = nullptr;
        svc_object.reset();
    }

    std::string path(const std::string& name) const { return session.root.file(name); }

    core_session session;
    auto_ptr_t<kiv::i_object> svc_object;
    kiv::i_zip_service* zip = nullptr;  // borrowed from svc_object

private:
    bool through_loader_;
};

}  // namespace kiv_test

#endif
