// test_util.h --
//
//     Helpers shared by the core tests: private temporary folders,
//     folder listings and whole-file reads.

#ifndef KIV_TESTS_CORE_TEST_UTIL_H
#define KIV_TESTS_CORE_TEST_UTIL_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_string.h>
#include <kiv_test/temp_folder.h>

#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace kiv_test {

// A private folder (mode 0700) under TMPDIR (else /tmp), or in the
// folder `under` when one is given, removed with its contents at scope
// end.
class temp_dir {
public:
    explicit temp_dir(const char* under = nullptr) : path_(make_temp_folder("kiv_test_", under)) {
        EXPECT_NE(path_, "") << "no temporary folder";
    }
    // Removed without a shell: a test may have pointed PATH elsewhere by
    // then. Links inside are removed, never followed.
    ~temp_dir() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Returns: the names in the folder `path` (without "." and "..").
inline std::set<std::string> names_in(const std::string& path) {
    std::set<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr)
        return {"<cannot read " + path + ">"};
    while (dirent* entry = readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.insert(entry->d_name);
    closedir(dir);
    return names;
}

inline std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Names of the items of `col` with the value of each, "name=value"
// ("?" for an item that is no named string).
inline std::vector<std::string> entries(kiv::i_object_col* col) {
    std::vector<std::string> out;
    for (unsigned i = 0; i < col->get_count(); ++i) {
        auto_ptr_t<kiv::i_object> item(col->get_item_by_pos(i));
        kiv::i_named_string* ns = kiv_cast_i_named_string(item);
        out.push_back(ns != nullptr ? std::string(ns->get_name()) + "=" + ns->get_value() : "?");
    }
    return out;
}

}  // namespace kiv_test

#endif
