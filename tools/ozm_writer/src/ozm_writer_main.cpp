// ozm_writer_main.cpp --
//
//     The command-line map writer: reads a map description (the text
//     form in map_writer.h) and writes the ozm map file.
//
//     Usage: ozm_writer DESCRIPTION OUTPUT.ozm

#include <kiv/ozm_writer/map_writer.h>

#include <cstdio>
#include <fstream>
#include <sstream>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DESCRIPTION OUTPUT.ozm\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "ozm_writer: cannot read %s\n", argv[1]);
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    std::unique_ptr<kiv::ozm_writer::map_writer> writer = kiv::ozm_writer::read_description(text.str(), error);
    if (!writer || !writer->write(argv[2], error)) {
        std::fprintf(stderr, "ozm_writer: %s: %s\n", writer ? argv[2] : argv[1], error.c_str());
        return 1;
    }
    return 0;
}
