// http_serve.cpp --
//
//     A small web server on the HTTP library, for measurements and the
//     integration tests:
//
//         http_serve --root DIR --port N [--state DIR] [--access-log off|FILE]
//
//     starts the framework, loads kiv_core, kiv_zip and kiv_http (from
//     the program's own folder) through a configuration written to a
//     private temporary folder, serves DIR as the document root of one
//     server on 127.0.0.1:N (gzip copies of text files on), and runs
//     until SIGINT or SIGTERM, then shuts the framework down cleanly.
//     It prints "listening on 127.0.0.1:N" once it serves.
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
//     --help prints the usage on stdout. A start that fails ends with
//     status 1 and one line on stderr that says why (the framework's own
//     cause when it gave one, such as "Address already in use").

#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/config.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/log.h>
#include <kiv/http/http_logs.h>
#include <kiv/http/i_http_service.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

const char usage_text[] = "usage: http_serve --root DIR --port N [--state DIR] [--access-log off|FILE]\n";

// Prints the usage on `out`. Returns: the exit status that goes with it.
int usage(FILE* out, int status) {
    std::fputs(usage_text, out);
    return status;
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
    const char* state_home = std::getenv("XDG_STATE_HOME");
    if (state_home != nullptr && state_home[0] == '/')
        return std::string(state_home) + "/http_serve";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return std::string(home) + "/.local/state/http_serve";
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

}  // namespace

int main(int argc, char** argv) {
    std::string root;
    std::string asked_state;
    std::string access_log;
    long port = 0;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))
        return usage(stdout, 0);
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--root") == 0)
            root = argv[i + 1];
        else if (std::strcmp(argv[i], "--port") == 0)
            port = std::strtol(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--state") == 0 && argv[i + 1][0] != '\0')
            asked_state = argv[i + 1];
        else if (std::strcmp(argv[i], "--access-log") == 0 && argv[i + 1][0] != '\0')
            access_log = argv[i + 1];
        else
            return usage(stderr, 2);
    }
    if (argc % 2 != 1 || root.empty() || port < 1 || port > 65535)
        return usage(stderr, 2);
    char real_root[4096];
    if (realpath(root.c_str(), real_root) == nullptr || !kiv_dir_exists(real_root)) {
        std::fprintf(stderr, "http_serve: %s is not a folder\n", root.c_str());
        return 1;
    }
    std::string bin = program_dir();
    char work_template[] = "/tmp/http_serve_XXXXXX";
    if (bin.empty() || mkdtemp(work_template) == nullptr) {
        std::fprintf(stderr, "http_serve: no temporary folder\n");
        return 1;
    }
    std::string work = work_template;
    std::string state = state_dir(asked_state);
    if (state.empty()) {
        std::fprintf(stderr, "http_serve: no state folder (set HOME or use --state)\n");
        return 1;
    }
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
    setenv("KIV_ROOT_PATH", state.c_str(), 1);
    if (!kiv_initialize()) {
        std::fprintf(stderr, "http_serve: the framework could not start\n");
    } else {
        kiv_enable_trace(false);
        std::ofstream(work + "/config.xml")
            << "<config><libraries>"
            << "<library path='" << xml_attr(bin) << "/kiv_core.so' priority='100' platform=''/>"
            << "<library path='" << xml_attr(bin) << "/kiv_zip.so' priority='90' platform=''/>"
            << "<library path='" << xml_attr(bin) << "/kiv_http.so' priority='80' platform=''/>"
            << "</libraries></config>";
        std::string where = std::string(real_root) + " on 127.0.0.1:" + std::to_string(port);
        // Each step that fails says so and leaves the later ones out.
        auto_ptr_t<kiv::i_object> svc;
        kiv::i_http_service* http = nullptr;
        auto_ptr_t<kiv::i_http_server> site;
        if (!kiv_load_config((work + "/config.xml").c_str())) {
            say_failed_start("cannot load the HTTP library to serve " + where);
        } else {
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
        if (site && http->bind_server(site, "127.0.0.1", static_cast<unsigned>(port))) {
            std::printf("listening on 127.0.0.1:%ld\n", port);
            std::fflush(stdout);
            int signal_number = 0;
            while (sigwait(&stop_signals, &signal_number) == 0 && signal_number == SIGHUP)
                if (!kiv_http_reopen_logs())
                    std::fprintf(stderr, "http_serve: not every log could be opened again at its path\n");
            http->unbind_server(site, "127.0.0.1", static_cast<unsigned>(port));
            status = 0;
        } else if (site) {
            say_failed_start("cannot serve " + where, said_before);
        }
        site.reset();
        svc.reset();
        kiv_terminate();
    }
    std::system(("rm -rf '" + work + "'").c_str());
    return status;
}
