// http_serve.cpp --
//
//     A small web server on the HTTP library, for measurements and the
//     integration tests:
//
//         http_serve --root DIR --port N [--state DIR] [--access-log off|FILE]
//
//     starts the framework, loads kiv_core, kiv_zip and kiv_http (from
//     the program's own folder) through a configuration written to a
//     private folder under TMPDIR (else /tmp) and removed as soon as it
//     has been read, so that only a server killed while it starts leaves
//     it behind; serves DIR as the document root of one server on
//     127.0.0.1:N (gzip copies of text files on), and runs until SIGINT
//     or SIGTERM, then shuts the framework down cleanly. It prints
//     "listening on 127.0.0.1:N" once it serves.
//
//     Its state folder (--state, else $XDG_STATE_HOME/http_serve, else
//     ~/.local/state/http_serve) is the framework's root: the logs
//     stay there after it ends, logs/http_error.log and
//     logs/access.log (--access-log names another file, a pipe or a
//     device such as /dev/stdout, or "off" for none, as benchmarks
//     against servers without one want). It says where on stderr at
//     start. The logs stay open; one that is renamed or removed (log
//     rotation) is opened again at its path within about a second, and
//     SIGHUP opens every log again at once, for rotation tools that
//     signal the server after moving its logs.
//
//     Its command line is read as every tool's (command_line.h): --help
//     prints the usage on stdout, a wrong command line ends with status
//     2. A start that fails ends with status 1 and one line on stderr
//     that says why (the system's or the framework's own cause when
//     there is one, such as "Address already in use").

#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/config.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/log.h>
#include <kiv/http/http_logs.h>
#include <kiv/http/i_http_service.h>

#include "command_line.h"

#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char usage_text[] =
    "usage: http_serve --root DIR --port N [--state DIR] [--access-log off|FILE]\n"
    "Serves the folder DIR on 127.0.0.1, port N (1-65535), until SIGINT or SIGTERM.\n";

// Reads a port number: decimal digits only, 1 to 65535.
// Returns: whether `text` is one; the number in `*port`.
bool read_port(const std::string& text, unsigned* port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *port = unsigned(std::stoul(text));
    return *port >= 1 && *port <= 65535;
}

// Says on stderr that the start failed: `what`, then the framework's
// cause when the step that failed logged one (its last level-0 line is
// no longer `said_before`).
void say_failed_start(const std::string& what, const std::string& said_before = "") {
    const char* said = kiv_last_log_error();
    if (*said != '\0' && said_before != said)
        std::fprintf(stderr, "http_serve: %s: %s\n", what.c_str(), said);
    else
        std::fprintf(stderr, "http_serve: %s\n", what.c_str());
}

// A path given on the command line is meant from the folder the user is
// in; the framework would take a relative one from its root instead.
// Returns: `path` made absolute against the current folder ("" when that
//     cannot be read).
std::string from_here(const std::string& path) {
    if (path.empty() || path[0] == '/')
        return path;
    char here[4096];
    if (getcwd(here, sizeof here) == nullptr)
        return "";
    return std::string(here) + "/" + path;
}

// Returns: the state folder asked for or the user's usual one, "" when
//     neither is known.
std::string state_dir(const std::string& asked) {
    if (!asked.empty())
        return from_here(asked);
    std::string state_home = kiv_get_env("XDG_STATE_HOME");
    if (!state_home.empty() && state_home[0] == '/')
        return state_home + "/http_serve";
    std::string home = kiv_get_env("HOME");
    if (!home.empty() && home[0] == '/')
        return home + "/.local/state/http_serve";
    return "";
}

// Makes `path` and the folders above it (mode 0700 for new ones).
// Returns: whether it is a folder now.
bool make_folders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
    mkdir(path.c_str(), 0700);
    return kiv_dir_exists(path.c_str());
}

// Returns: the folder of this program ("" when unknown).
std::string program_dir() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return "";
    path[n] = '\0';
    std::string text(path);
    return text.substr(0, text.rfind('/'));
}

// Makes a private folder (mode 0700) under TMPDIR, else /tmp.
// Returns: its path; "" when it cannot be made, with errno set and the
//     folder it was to be made in in `*base`.
std::string make_work_folder(std::string* base) {
    *base = kiv_get_env("TMPDIR");
    if (base->empty())
        *base = "/tmp";
    std::string pattern = *base + "/http_serve_XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    return mkdtemp(path.data()) != nullptr ? std::string(path.data()) : std::string();
}

// Escapes a text for an XML attribute in single quotes.
std::string xml_attr(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c; break;
        }
    }
    return out;
}

// Writes the configuration that loads the core, zip and HTTP libraries
// from the folder `bin` to the file `path`.
// Returns: 0, or the errno value of the step that failed.
int write_config(const std::string& path, const std::string& bin) {
    std::string text = "<config><libraries>"
                       "<library path='" + xml_attr(bin) + "/kiv_core.so' priority='100' platform=''/>"
                       "<library path='" + xml_attr(bin) + "/kiv_zip.so' priority='90' platform=''/>"
                       "<library path='" + xml_attr(bin) + "/kiv_http.so' priority='80' platform=''/>"
                       "</libraries></config>";
    std::FILE* out = std::fopen(path.c_str(), "wbx");
    if (out == nullptr)
        return errno;
    int error = std::fwrite(text.data(), 1, text.size(), out) == text.size() ? 0 : errno;
    if (std::fclose(out) != 0 && error == 0)
        error = errno;
    return error;
}

// Loads the HTTP library and what it needs through a configuration in a
// private folder of its own, removed again at once.
// Returns: whether the libraries loaded; a failure is said on stderr.
bool load_libraries(const kiv::tools::command_line& line, const std::string& bin, const std::string& where) {
    std::string base;
    std::string work = make_work_folder(&base);
    if (work.empty()) {
        line.fail_on("make a folder in", base, errno);
        return false;
    }
    std::string config = work + "/config.xml";
    bool loaded = false;
    if (int error = write_config(config, bin))
        line.fail_on("write", config, error);
    else if (!(loaded = kiv_load_config(config.c_str())))
        say_failed_start("cannot load the HTTP library to serve " + where);
    if (!kiv_rmdir(work.c_str(), true))
        line.fail_on("remove", work, errno);
    return loaded;
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// In a sanitizer build, the leak checker's suppressions. glibc keeps a
// thread's last dlerror text in a block of its own, freed as the thread
// ends; a pool worker still on its way out when SIGTERM ends the server
// leaves one that is no longer reachable, although nothing of ours
// leaked. Where glibc's local symbols are not at hand the block's stack
// ends in libc itself (the unwinder cannot pass it), so the rule names
// the library too: a block our code asked libc for has our frames on
// its stack only when libc calls back, which allocating calls do not.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
    return "leak:_dlerror_run\nleak:libc.so.6\n";
}
#endif

int main(int argc, char** argv) {
    const kiv::tools::command_line line("http_serve", usage_text);
    std::string root;
    std::string port_text;
    std::string asked_state;
    std::string access_log;
    std::vector<std::string> operands;
    int read = line.read(argc, argv,
                         {{"--root", &root}, {"--port", &port_text}, {"--state", &asked_state},
                          {"--access-log", &access_log}},
                         0, 0, &operands);
    if (read >= 0)
        return read;
    if (root.empty())
        return line.refuse("--root is missing");
    if (port_text.empty())
        return line.refuse("--port is missing");
    unsigned port = 0;
    if (!read_port(port_text, &port))
        return line.refuse("port " + port_text + " is not 1-65535");
    char real_root[PATH_MAX];
    if (realpath(root.c_str(), real_root) == nullptr)
        return line.fail_on("read", root, errno);
    if (!kiv_dir_exists(real_root))
        return line.fail_on("read", root, ENOTDIR);
    std::string bin = program_dir();
    if (bin.empty())
        return line.fail("cannot find the folder of the program");
    std::string state = state_dir(asked_state);
    if (state.empty())
        return line.fail("no state folder (set HOME or use --state)");
    std::string logs = state + "/logs";
    if (access_log.empty())
        access_log = logs + "/access.log";
    else if (access_log == "off")
        access_log.clear();
    else
        access_log = from_here(access_log);
    if (!make_folders(logs))
        std::fprintf(stderr, "http_serve: cannot make the log folder %s: %s\n", logs.c_str(), std::strerror(errno));
    else
        std::fprintf(stderr, "http_serve: logs in %s\n", logs.c_str());

    // Signals (SIGHUP among them) are taken by sigwait below, on this thread only; threads
    // started later inherit the blocked set.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    int status = 1;
    kiv_set_env("KIV_ROOT_PATH", state.c_str());
    if (!kiv_initialize()) {
        std::fprintf(stderr, "http_serve: the framework could not start\n");
    } else {
        kiv_enable_trace(false);
        std::string where = std::string(real_root) + " on 127.0.0.1:" + std::to_string(port);
        // Each step that fails says so and leaves the later ones out.
        auto_ptr_t<kiv::i_object> svc;
        kiv::i_http_service* http = nullptr;
        auto_ptr_t<kiv::i_http_server> site;
        if (load_libraries(line, bin, where)) {
            svc.reset(kiv_core()->get_service("svc_http"));
            http = kiv_cast_i_http_service(svc);
            if (http == nullptr)
                say_failed_start("no HTTP service to serve " + where);
            else
                site.reset(http->create_server("default", real_root));
            if (http != nullptr && !site)
                say_failed_start("cannot serve " + where);
        }
        if (site && !access_log.empty())
            site->set_log_file(access_log.c_str());
        std::string said_before = kiv_last_log_error();
        if (site && http->bind_server(site, "127.0.0.1", port)) {
            std::printf("listening on 127.0.0.1:%u\n", port);
            std::fflush(stdout);
            int signal_number = 0;
            while (sigwait(&stop_signals, &signal_number) == 0 && signal_number == SIGHUP)
                if (!kiv_http_reopen_logs())
                    std::fprintf(stderr, "http_serve: not every log could be opened again at its path\n");
            http->unbind_server(site, "127.0.0.1", port);
            status = 0;
        } else if (site) {
            say_failed_start("cannot serve " + where, said_before);
        }
        site.reset();
        svc.reset();
        kiv_terminate();
    }
    return status;
}
