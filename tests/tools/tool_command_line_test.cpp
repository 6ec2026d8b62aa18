// tool_command_line_test.cpp --
//
//     The programs of tools/ started as a user starts them, each in an
//     empty folder with an empty HOME and TMPDIR of its own: --help and
//     -h print the usage on stdout and do nothing else (no folder named
//     "--help" appears); an unknown option, a missing or bad value and a
//     wrong number of arguments are refused on stderr, naming what is
//     wrong, with status 2; a file that cannot be read or written is
//     named with the system's reason, status 1. No case leaves anything
//     in the folder it ran in, in HOME or in TMPDIR.

#include "../core/test_util.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct outcome {
    int status = -1;  // the exit status; -1 when the program did not exit
    std::string out;  // what it wrote on stdout
    std::string err;  // what it wrote on stderr
};

// Runs `program` with `args` in the folder `cwd`, with HOME `home`,
// TMPDIR `tmp` and none of the variables that would choose other
// folders; stdout and stderr go to files in `logs`.
outcome run(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
            const std::string& home, const std::string& tmp, const std::string& logs) {
    std::string out_path = logs + "/out.txt", err_path = logs + "/err.txt";
    std::vector<std::string> env = {"HOME=" + home, "TMPDIR=" + tmp};
    for (char** var = environ; *var != nullptr; ++var) {
        std::string name(*var, std::strcspn(*var, "="));
        if (name != "HOME" && name != "TMPDIR" && name != "XDG_STATE_HOME" && name != "KIV_ROOT_PATH" &&
            name != "TEMP" && name != "TMP")
            env.push_back(*var);
    }
    std::vector<char*> envp;
    for (std::string& var : env)
        envp.push_back(&var[0]);
    envp.push_back(nullptr);
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(cwd.c_str()) != 0)
            _exit(126);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    outcome result;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    result.out = kiv_test::read_all(out_path);
    result.err = kiv_test::read_all(err_path);
    return result;
}

std::string reason(int error) {
    return std::strerror(error);
}

}  // namespace

TEST(tool_command_line, every_tool_answers_help_refuses_what_it_does_not_know_and_names_the_reason_of_a_failure) {
    struct program {
        const char* path;
        const char* name;
    };
    const program programs[] = {
        {OZM_DEMO, "ozm_demo"},
        {OZM_DEMO_RENDER, "ozm_demo_render"},
        {OZM_WRITER, "ozm_writer"},
        {OZM_STYLE_IMAGES, "ozm_style_images"},
        {HTTP_SERVE, "http_serve"},
    };
    struct row {
        std::string path;
        std::vector<std::string> args;
        int status;
        std::string out;  // what stdout begins with ("": it stays empty)
        std::string err;  // what stderr holds ("": it stays empty)
    };
    std::vector<row> rows;
    for (const program& p : programs) {
        std::string usage = std::string("usage: ") + p.name + " ";
        rows.push_back({p.path, {"--help"}, 0, usage, ""});
        rows.push_back({p.path, {"-h"}, 0, usage, ""});
        rows.push_back({p.path, {"--frobnicate"}, 2, "", std::string(p.name) + ": unknown option --frobnicate\n" + usage});
        rows.push_back({p.path, {"-x=1"}, 2, "", std::string(p.name) + ": unknown option -x\n" + usage});
    }
    const std::string missing = ": " + reason(ENOENT);
    const std::vector<row> more = {
        {OZM_DEMO, {}, 2, "", "ozm_demo: no arguments\nusage: ozm_demo "},
        {OZM_DEMO, {"maps", "more"}, 2, "", "ozm_demo: unexpected argument more\nusage: ozm_demo "},
        {OZM_DEMO, {""}, 2, "", "ozm_demo: an argument is empty\n"},
        {OZM_DEMO_RENDER, {"missing"}, 2, "", "ozm_demo_render: too few arguments\n"},
        {OZM_DEMO_RENDER, {"missing", "out"}, 1, "", "ozm_demo_render: cannot read missing" + missing + "\n"},
        {OZM_WRITER, {"missing.txt", "out.ozm"}, 1, "", "ozm_writer: cannot read missing.txt" + missing + "\n"},
        {OZM_WRITER, {".", "out.ozm"}, 1, "", "ozm_writer: cannot read .: " + reason(EISDIR) + "\n"},
        {OZM_STYLE_IMAGES, {"missing"}, 1, "", "ozm_style_images: cannot write missing/park.png" + missing + "\n"},
        // After "--" an argument that begins with "-" is a folder.
        {OZM_STYLE_IMAGES, {"--", "-pictures"}, 0, "", ""},
        {HTTP_SERVE, {"--root", ".", "--port", "99999"}, 2, "", "http_serve: port 99999 is not 1-65535\n"},
        {HTTP_SERVE, {"--root", ".", "--port", "0x50"}, 2, "", "http_serve: port 0x50 is not 1-65535\n"},
        {HTTP_SERVE, {"--root", ".", "--port=0"}, 2, "", "http_serve: port 0 is not 1-65535\n"},
        {HTTP_SERVE, {"--root", ".", "--port"}, 2, "", "http_serve: --port needs a value\n"},
        {HTTP_SERVE, {"--root=", "--port", "8080"}, 2, "", "http_serve: --root needs a value\n"},
        {HTTP_SERVE, {"--port", "8080"}, 2, "", "http_serve: --root is missing\n"},
        {HTTP_SERVE, {"--root", ".", "--port", "8080", "extra"}, 2, "", "http_serve: unexpected argument extra\n"},
        {HTTP_SERVE, {"--root", "missing", "--port", "8080"}, 1, "", "http_serve: cannot read missing" + missing + "\n"},
    };
    rows.insert(rows.end(), more.begin(), more.end());
    for (const row& r : rows) {
        std::string line = r.path.substr(r.path.rfind('/') + 1);
        for (const std::string& arg : r.args)
            line += " '" + arg + "'";
        SCOPED_TRACE(line);
        kiv_test::temp_dir dir;
        const std::string cwd = dir.file("cwd"), home = dir.file("home"), tmp = dir.file("tmp");
        for (const std::string& folder : {cwd, cwd + "/-pictures", home, tmp})
            ASSERT_EQ(mkdir(folder.c_str(), 0700), 0) << folder;
        outcome o = run(r.path, r.args, cwd, home, tmp, dir.path());
        EXPECT_EQ(o.status, r.status) << o.err;
        if (r.out.empty()) {
            EXPECT_EQ(o.out, "");
        } else {
            EXPECT_EQ(o.out.compare(0, r.out.size(), r.out), 0) << o.out;
        }
        if (r.err.empty()) {
            EXPECT_EQ(o.err, "");
        } else {
            EXPECT_NE(o.err.find(r.err), std::string::npos) << o.err;
        }
        // Nothing made where it ran (no folder named "--help"), in HOME
        // or in TMPDIR.
        EXPECT_EQ(kiv_test::names_in(cwd), std::set<std::string>{"-pictures"});
        EXPECT_EQ(kiv_test::names_in(home), std::set<std::string>{});
        EXPECT_EQ(kiv_test::names_in(tmp), std::set<std::string>{});
        // The one case that works writes its pictures.
        if (r.status == 0 && r.out.empty()) {
            EXPECT_EQ(kiv_test::names_in(cwd + "/-pictures").count("park.png"), 1u);
        }
    }
}
