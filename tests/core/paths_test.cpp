// paths_test.cpp --
//
//     Testing for files and directories (trailing separators, roots,
//     empty text) and the stored local charset name.

#include <kiv/core/files.h>

#include "test_util.h"

#include <fstream>
#include <string>

#include <sys/stat.h>

TEST(paths_exist, directories_and_files_are_told_apart) {
    kiv_test::temp_dir dir;
    std::string file = dir.file("a.txt");
    std::ofstream(file) << "x";
    EXPECT_TRUE(kiv_dir_exists(dir.path().c_str()));
    EXPECT_FALSE(kiv_file_exists(dir.path().c_str()));
    EXPECT_TRUE(kiv_file_exists(file.c_str()));
    EXPECT_FALSE(kiv_dir_exists(file.c_str()));
    EXPECT_FALSE(kiv_file_exists(dir.file("missing").c_str()));
    EXPECT_FALSE(kiv_dir_exists(dir.file("missing").c_str()));
}

TEST(paths_exist, trailing_separators_are_ignored_and_a_root_keeps_its_own) {
    kiv_test::temp_dir dir;
    EXPECT_TRUE(kiv_dir_exists((dir.path() + "//").c_str()));
    EXPECT_TRUE(kiv_dir_exists((dir.path() + "/\\").c_str()));
    EXPECT_TRUE(kiv_dir_exists("/"));
    EXPECT_TRUE(kiv_dir_exists("//"));
    std::string file = dir.file("f");
    std::ofstream(file) << "x";
    EXPECT_TRUE(kiv_file_exists((file + "/").c_str()));
}

TEST(paths_exist, null_and_empty_text_exist_nowhere) {
    EXPECT_FALSE(kiv_dir_exists(nullptr));
    EXPECT_FALSE(kiv_dir_exists(""));
    EXPECT_FALSE(kiv_file_exists(nullptr));
    EXPECT_FALSE(kiv_file_exists(""));
}

TEST(paths_charset, a_name_too_long_keeps_the_old_one) {
    EXPECT_TRUE(kiv_set_local_charset("cp1251"));
    EXPECT_FALSE(kiv_set_local_charset(std::string(1023, 'a').c_str()));
    EXPECT_STREQ(kiv_get_local_charset(), "cp1251");
    EXPECT_TRUE(kiv_set_local_charset(std::string(1022, 'b').c_str()));
    EXPECT_EQ(std::string(kiv_get_local_charset()), std::string(1022, 'b'));
    EXPECT_FALSE(kiv_set_local_charset(nullptr));
}
