// viewer_start_test.cpp --
//
//     The viewer as a program: started in a folder without
//     "config/config.xml" (and with a configuration that names a missing
//     library) it ends with a non-zero status and exactly one line on
//     stderr, and writes no settings.

#include "test_util.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

extern char** environ;

namespace {

struct run_result {
    bool ended = false;  // false: still running at the safety bound (killed)
    int status = -1;     // exit status when it ended normally
    std::string err;     // everything written to stderr
};

// Runs ozm_view in `folder` (its root) with its settings under
// `config_home`; stdout is dropped.
run_result run_viewer(const std::string& folder, const std::string& config_home) {
    run_result result;
    std::vector<std::string> env_text;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "KIV_ROOT_PATH=", 14) != 0 && std::strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0 &&
            std::strncmp(*e, "LSAN_OPTIONS=", 13) != 0)
            env_text.push_back(*e);
    // In the sanitizer build the toolkit's own leaks (GTK, D-Bus) are not
    // the program's, as for every GUI test.
    env_text.push_back("LSAN_OPTIONS=print_suppressions=0:suppressions=" KIV_GUI_LSAN_SUPP);
    env_text.push_back("KIV_ROOT_PATH=" + folder);
    env_text.push_back("XDG_CONFIG_HOME=" + config_home);
    std::vector<char*> envp;
    for (std::string& text : env_text)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    std::string program = KIV_BIN_DIR "/ozm_view";
    char* argv[] = {program.data(), nullptr};

    int err_pipe[2];
    if (pipe2(err_pipe, O_CLOEXEC) != 0)
        return result;
    pid_t pid = fork();
    if (pid == 0) {
        int null_fd = open("/dev/null", O_WRONLY);
        if (chdir(folder.c_str()) != 0 || null_fd < 0)
            _exit(126);
        dup2(null_fd, 1);
        dup2(err_pipe[1], 2);
        execve(program.c_str(), argv, envp.data());
        _exit(127);
    }
    close(err_pipe[1]);
    // The program must end by itself; ten seconds only bound a hang.
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    char buffer[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{err_pipe[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        ssize_t n = read(err_pipe[0], buffer, sizeof buffer);
        if (n <= 0)
            break;  // end of stderr: the program is gone (or closed it)
        result.err.append(buffer, static_cast<size_t>(n));
    }
    close(err_pipe[0]);
    int status = 0;
    while (std::chrono::steady_clock::now() < limit) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            result.ended = true;
            result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return result;
        }
        pollfd none{-1, 0, 0};
        poll(&none, 0, 20);  // a bounded pause between checks of the child
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return result;
}

size_t count_lines(const std::string& text) {
    size_t lines = 0;
    for (char c : text)
        lines += c == '\n' ? 1 : 0;
    return lines;
}

TEST(viewer_start, a_missing_or_failing_configuration_ends_with_one_line_on_stderr) {
    struct row {
        const char* name;
        const char* config;  // null: no configuration file at all
    } rows[] = {
        {"missing", nullptr},
        {"malformed", "<config><libraries>"},
        {"missing library", "<config><libraries><library path=\"no_such_library\" priority=\"1\"/></libraries></config>"},
    };
    for (const row& r : rows) {
        kiv_test::temp_dir root;
        kiv_test::temp_dir settings;
        if (r.config != nullptr) {
            ASSERT_EQ(mkdir((root.path() + "/config").c_str(), 0700), 0);
            std::ofstream(root.path() + "/config/config.xml") << r.config;
        }
        run_result result = run_viewer(root.path(), settings.path());
        ASSERT_TRUE(result.ended) << r.name << ": still running after 10 s";
        EXPECT_NE(result.status, 0) << r.name;
        EXPECT_EQ(count_lines(result.err), 1u) << r.name << ": " << result.err;
        EXPECT_NE(result.err.find("config/config.xml"), std::string::npos) << r.name << ": " << result.err;
        struct stat st;
        EXPECT_NE(stat((settings.path() + "/ozm_viewer").c_str(), &st), 0) << r.name << ": settings written";
    }
}

}  // namespace
