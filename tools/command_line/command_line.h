// command_line.h --
//
//     How the programs in tools/ read their command lines, so that each
//     answers alike:
//     - "--help" or "-h" prints the usage on stdout and ends with 0;
//     - an unknown option, an option without its value, an empty value,
//       too few operands or one too many is refused with one line on
//       stderr that names it, the usage after it, and status 2 (a usage
//       error, as the shell's own tools end);
//     - a failure of the work itself ends with status 1 and one line
//       that says what and, for a file, the system's reason
//       ("cannot read x: No such file or directory").
//     Options take a value, as "--name VALUE" or "--name=VALUE", and may
//     stand among the operands; "--" ends the options, so an operand
//     after it may begin with "-".
//
//     A static library of the tools only: nothing the framework ships
//     includes it.

#ifndef KIV_TOOLS_COMMAND_LINE_H
#define KIV_TOOLS_COMMAND_LINE_H

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace kiv::tools {

constexpr int exit_failed = 1;  // the work could not be done
constexpr int exit_usage = 2;   // the command line was wrong

// An option that takes a value.
struct value_option {
    const char* name;    // with its dashes, "--root"
    std::string* value;  // receives the value (the last one given wins); not owned
};

// One program's command line: its name and usage, for every message.
class command_line {
public:
    // `program` begins every message; `usage` is the usage text, each
    // line ended by "\n". Both are kept as pointers: string literals.
    command_line(const char* program, const char* usage) : program_(program), usage_(usage) {}

    // Reads argv[1..argc-1]: the values of `options` and the operands,
    // at least `min_operands` and at most `max_operands` of them.
    // Returns: -1 when the program goes on, with the values and
    //     `*operands` set; else the status main returns: 0 after the
    //     usage went to stdout (--help, -h), exit_usage after a refusal
    //     went to stderr.
    // Changes: the options' strings, `*operands`. Writes only to stdout
    //     or stderr.
    int read(int argc, char** argv, std::initializer_list<value_option> options, size_t min_operands,
             size_t max_operands, std::vector<std::string>* operands) const;

    // Says "PROGRAM: WHAT" and the usage on stderr.
    // Returns: exit_usage.
    int refuse(const std::string& what) const;
    // Says "PROGRAM: WHAT" on stderr.
    // Returns: exit_failed.
    int fail(const std::string& what) const;
    // Says "PROGRAM: cannot VERB PATH: REASON" on stderr, the reason
    // being the system's text for `error` (an errno value).
    // Returns: exit_failed.
    int fail_on(const char* verb, const std::string& path, int error) const;

private:
    const char* program_;  // not owned: a string literal
    const char* usage_;    // not owned: a string literal
};

}  // namespace kiv::tools

#endif
