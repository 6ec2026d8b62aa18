// serve_process.h --
//
//     The http_serve tool as a child process of a test, as a user starts
//     it: it serves a folder on 127.0.0.1 and is stopped with SIGTERM.
//     Its state folder (XDG_STATE_HOME) is a temporary one of its own,
//     so its logs never land in the home of whoever runs the tests. Its
//     standard output stays a pipe the test may read after the first
//     line; its standard error may go to a file.

#ifndef KIV_TESTS_HTTP_SERVE_PROCESS_H
#define KIV_TESTS_HTTP_SERVE_PROCESS_H

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "../core/net_peer.h"
#include "../core/test_util.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

// Defined as 1 in builds with AddressSanitizer, whose servers keep freed
// memory resident and need descriptors of their own.
#if defined(__SANITIZE_ADDRESS__)
#define KIV_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KIV_TEST_ASAN 1
#endif
#endif

namespace kiv_test {

// Returns: the lines of the log file `path` ("" for a last line without
//     its line feed, which a torn write would leave).
inline std::vector<std::string> lines_of(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = read_all(path), line;
    std::istringstream in(text);
    while (std::getline(in, line))
        lines.push_back(line);
    if (!text.empty() && text.back() != '\n')
        lines.push_back("");
    return lines;
}

// http_serve as a child process, stopped with SIGTERM at scope end.
class server_process {
public:
    // With `descriptor_limit` not 0 the child's soft and hard limits on
    // open descriptors are set to it first, as `ulimit -n` would. `more`
    // goes after the root and port; a non-empty `cwd` is the folder the
    // child starts in, a non-empty `err` the file its stderr goes to, a
    // non-empty `tmpdir` its TMPDIR.
    server_process(const std::string& root, uint16_t port, unsigned descriptor_limit = 0,
                   const std::vector<std::string>& more = {}, const std::string& cwd = "",
                   const std::string& err = "", const std::string& tmpdir = "") {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            if (descriptor_limit != 0) {
                rlimit limit{descriptor_limit, descriptor_limit};
                if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
                    _exit(126);
            }
            setenv("XDG_STATE_HOME", state_.path().c_str(), 1);
            if (!tmpdir.empty())
                setenv("TMPDIR", tmpdir.c_str(), 1);
            if (!cwd.empty() && chdir(cwd.c_str()) != 0)
                _exit(126);
            if (!err.empty()) {
                int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                if (err_fd < 0 || dup2(err_fd, 2) < 0)
                    _exit(126);
            }
            dup2(out[1], 1);
            std::string port_text = std::to_string(port);
            std::vector<const char*> args = {"http_serve", "--root", root.c_str(), "--port", port_text.c_str()};
            for (const std::string& arg : more)
                args.push_back(arg.c_str());
            args.push_back(nullptr);
            execv(KIV_BIN_DIR "/http_serve", const_cast<char* const*>(args.data()));
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
        // The first line says the server listens (or the child ended).
        next_line(&first_line_);
    }
    ~server_process() {
        if (pid_ > 0 && status_ < 0)
            stop();
        if (out_ >= 0)
            close(out_);
    }
    server_process(const server_process&) = delete;
    server_process& operator=(const server_process&) = delete;

    // Reads the next line of the child's standard output into `*line`
    // (without its line feed). Returns: whether a whole line came before
    //     the output ended.
    bool next_line(std::string* line) {
        line->clear();
        char c;
        while (read(out_, &c, 1) == 1) {
            if (c == '\n')
                return true;
            *line += c;
        }
        return false;
    }
    // Sends SIGTERM. Returns: the exit status.
    int stop() {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return status_;
    }
    pid_t pid() const { return pid_; }
    const std::string& first_line() const { return first_line_; }
    // Returns: the folder of the server's logs.
    std::string log_dir() const { return state_.file("http_serve/logs"); }

private:
    kiv_test::temp_dir state_;  // XDG_STATE_HOME of the child
    int out_ = -1;              // the read end of the child's standard output; owned
    pid_t pid_ = -1;
    int status_ = -1;
    std::string first_line_;
};

}  // namespace kiv_test

#endif
