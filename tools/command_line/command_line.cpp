// command_line.cpp --
//
//     The tools' command-line reader and their messages (see
//     command_line.h).

#include "command_line.h"

#include <cstdio>
#include <cstring>

namespace kiv::tools {

int command_line::read(int argc, char** argv, std::initializer_list<value_option> options, size_t min_operands,
                       size_t max_operands, std::vector<std::string>* operands) const {
    operands->clear();
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
            if (arg.empty())
                return refuse("an argument is empty");
            if (operands->size() == max_operands)
                return refuse("unexpected argument " + arg);
            operands->push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage_, stdout);
            return std::fflush(stdout) == 0 ? 0 : exit_failed;
        }
        // "--name=value" or "--name value".
        size_t equals = arg.find('=');
        std::string name = arg.substr(0, equals);
        const value_option* found = nullptr;
        for (const value_option& option : options)
            if (name == option.name)
                found = &option;
        if (found == nullptr)
            return refuse("unknown option " + name);
        if (equals != std::string::npos)
            *found->value = arg.substr(equals + 1);
        else if (i + 1 < argc)
            *found->value = argv[++i];
        else
            found->value->clear();
        if (found->value->empty())
            return refuse(name + " needs a value");
    }
    if (operands->size() < min_operands)
        return refuse(operands->empty() ? "no arguments" : "too few arguments");
    return -1;
}

int command_line::refuse(const std::string& what) const {
    std::fprintf(stderr, "%s: %s\n%s", program_, what.c_str(), usage_);
    return exit_usage;
}

int command_line::fail(const std::string& what) const {
    std::fprintf(stderr, "%s: %s\n", program_, what.c_str());
    return exit_failed;
}

int command_line::fail_on(const char* verb, const std::string& path, int error) const {
    return fail(std::string("cannot ") + verb + " " + path + ": " + std::strerror(error));
}

}  // namespace kiv::tools
