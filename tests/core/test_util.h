// test_util.h --
//
//     Helpers shared by the core tests: private temporary folders and
//     whole-file reads.

#ifndef KIV_TESTS_CORE_TEST_UTIL_H
#define KIV_TESTS_CORE_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace kiv_test {

// A private folder (mode 0700) removed with its contents at scope end.
class temp_dir {
public:
    temp_dir() {
        char templ[] = "/tmp/kiv_test_XXXXXX";
        const char* made = mkdtemp(templ);
        EXPECT_NE(made, nullptr);
        path_ = made != nullptr ? made : "";
    }
    ~temp_dir() {
        if (!path_.empty())
            std::system(("rm -rf '" + path_ + "'").c_str());
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace kiv_test

#endif
