// ozm_writer_tool_test.cpp --
//
//     The command-line writer: a description in, a map that loads out; a
//     broken description or an unwritable target fails with a message and
//     leaves no file behind.

#include "../core/test_util.h"
#include "format/map_file.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

int run_tool(const std::string& arguments, const std::string& output) {
    std::string command = std::string("'") + OZM_WRITER_TOOL + "' " + arguments + " >'" + output + "' 2>&1";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ozm_writer_tool, writes_the_described_map) {
    kiv_test::temp_dir dir;
    std::ofstream(dir.file("demo.txt")) << "map\tDemo\tdemo\t(c)\t1\t0\t16\t0\t5\n"
                                           "point\t5\t0\t55.5\t37.5\tCafe\n"
                                           "line\t7\t0x40\t0\t55.1\t37.1\t55.1,37.1 55.2,37.2\tMain\n";
    ASSERT_EQ(run_tool("'" + dir.file("demo.txt") + "' '" + dir.file("demo.ozm") + "'", dir.file("log")), 0)
        << kiv_test::read_all(dir.file("log"));
    kiv::ozm::map_file map;
    std::string error;
    ASSERT_TRUE(map.load(dir.file("demo.ozm").c_str(), error)) << error;
    EXPECT_STREQ(map.header().name, "Demo");
    EXPECT_EQ(map.header().map_version, 5u);
    EXPECT_EQ(map.features().size(), 2u);
}

TEST(ozm_writer_tool, failures_say_why_and_write_nothing) {
    kiv_test::temp_dir dir;
    std::ofstream(dir.file("bad.txt")) << "map\tBad\n"
                                          "point\t5\t0\tnorth\t37.5\n";
    EXPECT_EQ(run_tool("'" + dir.file("bad.txt") + "' '" + dir.file("bad.ozm") + "'", dir.file("log")), 1);
    EXPECT_NE(kiv_test::read_all(dir.file("log")).find("line 2: bad coordinate 'north'"), std::string::npos);
    EXPECT_FALSE(std::ifstream(dir.file("bad.ozm")).good());

    std::ofstream(dir.file("empty.txt")) << "map\tEmpty\n";
    EXPECT_EQ(run_tool("'" + dir.file("empty.txt") + "' '" + dir.file("e.ozm") + "'", dir.file("log")), 1);
    EXPECT_NE(kiv_test::read_all(dir.file("log")).find("at least one feature"), std::string::npos);

    std::ofstream(dir.file("ok.txt")) << "point\t1\t0\t1\t1\n";
    EXPECT_EQ(run_tool("'" + dir.file("ok.txt") + "' '" + dir.file("missing/dir/x.ozm") + "'", dir.file("log")), 1);
    EXPECT_EQ(run_tool("", dir.file("log")), 2);
}

}  // namespace
