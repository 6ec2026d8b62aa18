// private_tmpdir.cpp --
//
//     Gives every program linked with the test support library a
//     temporary folder of its own. Before main, TMPDIR is pointed at a
//     new private folder (mode 0700) under the TMPDIR the program was
//     started with (else /tmp), and when the program ends normally that
//     folder goes with all it holds. What lands there is then never left
//     behind: the framework's per-user folder kiv-UID with its caches
//     (gzip copies, map images), kiv_test::temp_dir folders, and what the
//     programs a test starts (http_serve, the viewer) write under the
//     TMPDIR they inherit. Programs running at once never share it. A
//     program that crashes leaves its folder, kiv_tests_XXXXXX, for a
//     look.
//
//     Only the process that made the folder removes it: a child a test
//     forks and ends with exit() leaves it to its parent.

#include <kiv_test/temp_folder.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace {

class private_tmpdir {
public:
    private_tmpdir() {
        std::string path = kiv_test::make_temp_folder("kiv_tests_");
        // Without a folder of its own the program keeps the TMPDIR it has.
        if (path.empty() || setenv("TMPDIR", path.c_str(), 1) != 0)
            return;
        path_ = path;
        owner_ = getpid();
    }
    // Links inside are removed, never followed.
    ~private_tmpdir() {
        if (path_.empty() || getpid() != owner_)
            return;
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    private_tmpdir(const private_tmpdir&) = delete;
    private_tmpdir& operator=(const private_tmpdir&) = delete;

private:
    std::string path_;  // the folder; empty when none was made
    pid_t owner_ = 0;   // the process that made it
};

// Made before main, removed after it (static objects end after every
// exit handler registered later, the tests' own among them).
private_tmpdir folder;

}  // namespace

// Named by the link options of the test support library, so that every
// program linked with it takes this file.
extern "C" __attribute__((visibility("default"), used)) void kiv_test_private_tmpdir() {}
