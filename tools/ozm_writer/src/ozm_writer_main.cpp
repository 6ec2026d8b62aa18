// ozm_writer_main.cpp --
//
//     The command-line map writer: reads a map description (the text
//     form in map_writer.h) and writes the ozm map file.
//
//     Usage: ozm_writer DESCRIPTION OUTPUT.ozm

#include <kiv/ozm_writer/map_writer.h>

#include "command_line.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const char usage_text[] =
    "usage: ozm_writer DESCRIPTION OUTPUT.ozm\n"
    "Writes the ozm map that the tab-separated text DESCRIPTION describes.\n";

// Reads the whole file at `path` into `*text`.
// Returns: 0, or the errno value of the step that failed.
int read_file(const std::string& path, std::string* text) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr)
        return errno;
    char block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, in)) > 0)
        text->append(block, n);
    int error = std::ferror(in) ? errno : 0;
    std::fclose(in);
    return error;
}

}  // namespace

int main(int argc, char** argv) {
    const kiv::tools::command_line line("ozm_writer", usage_text);
    std::vector<std::string> files;
    int status = line.read(argc, argv, {}, 2, 2, &files);
    if (status >= 0)
        return status;
    std::string text;
    if (int error = read_file(files[0], &text))
        return line.fail_on("read", files[0], error);
    std::string error;
    std::unique_ptr<kiv::ozm_writer::map_writer> writer = kiv::ozm_writer::read_description(text, error);
    if (!writer)
        return line.fail(files[0] + ": " + error);
    if (!writer->write(files[1], error))
        return line.fail(error);  // it names the file and the reason
    return 0;
}
