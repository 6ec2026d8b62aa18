// files_test.cpp --
//
//     Paths under a temporary root, whole-file reads and writes (a failed
//     write leaves the old file), listings (their masks under a Turkish
//     locale too), trees with symbolic links, and directory creation.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/file_writer.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_binary.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_string.h>

#include "test_util.h"

#include <kiv_test/file_size_limit.h>
#include <kiv_test/made_locale.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

struct freer {
    void operator()(char* p) const { free(p); }
};
using text = std::unique_ptr<char, freer>;

std::string abs_path(const char* rel) {
    text p(kiv_get_absolute_path(rel));
    return p ? std::string(p.get()) : std::string("(null)");
}

std::vector<std::string> names_of(kiv::i_object_col* col) {
    std::vector<std::string> names;
    for (unsigned i = 0; col != nullptr && i < col->get_count(); ++i) {
        auto_ptr_t<kiv::i_object> item(col->get_item_by_pos(i));
        names.push_back(kiv_cast_i_string(item)->get_value());
    }
    return names;
}

void touch(const std::string& path, const std::string& content = "") {
    std::ofstream(path, std::ios::binary) << content;
}

// Gives each test a core and a root folder "app" inside a private
// temporary folder.
class rooted : public ::testing::Test {
protected:
    void SetUp() override {
        root = dir.file("app");
        mkdir(root.c_str(), 0700);
        kiv_set_env("KIV_ROOT_PATH", root.c_str());
        ASSERT_TRUE(kiv_initialize());
    }
    void TearDown() override {
        kiv_terminate();
        kiv_set_env("KIV_ROOT_PATH", nullptr);
    }
    kiv_test::temp_dir dir;
    std::string root;
};

}  // namespace

TEST_F(rooted, relative_paths_join_the_root_and_absolute_ones_stay) {
    EXPECT_EQ(abs_path("maps/a.ozm"), root + "/maps/a.ozm");
    EXPECT_EQ(abs_path("maps\\b.ozm"), root + "/maps/b.ozm");
    EXPECT_EQ(abs_path("/etc/x"), "/etc/x");
    EXPECT_EQ(abs_path("\\\\server\\share"), "//server/share");
    // Without ".." or "$" the path is joined as it is.
    EXPECT_EQ(abs_path("./a/./b"), root + "/./a/./b");
    EXPECT_EQ(kiv_get_absolute_path(nullptr), nullptr);
    kiv_set_env("KIV_ROOT_PATH", nullptr);
    EXPECT_EQ(kiv_get_absolute_path("x"), nullptr);
    // Without a core no path is made, not even from an absolute one.
    kiv_set_env("KIV_ROOT_PATH", root.c_str());
    kiv_terminate();
    EXPECT_EQ(kiv_get_absolute_path("/etc/x"), nullptr);
    EXPECT_EQ(kiv_get_absolute_path("maps/a.ozm"), nullptr);
}

TEST_F(rooted, text_reads_turn_crlf_into_lf_and_binary_reads_keep_every_byte) {
    touch(root + "/t.txt", std::string("a\r\nb\rc\0d\r\n", 11));
    text t(kiv_read_file("t.txt"));
    ASSERT_TRUE(t);
    EXPECT_STREQ(t.get(), "a\nb\rc");
    auto_ptr_t<kiv::i_binary> b(kiv_read_binary_file("t.txt"));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->get_data_size(), 11u);
    EXPECT_EQ(std::memcmp(b->get_data(), "a\r\nb\rc\0d\r\n", 11), 0);
    EXPECT_EQ(kiv_read_file("missing.txt"), nullptr);
    EXPECT_EQ(kiv_read_binary_file("missing.txt"), nullptr);
    // A folder is not a file.
    EXPECT_EQ(kiv_read_binary_file(root.c_str()), nullptr);
}

TEST_F(rooted, writes_replace_whole_files_and_append_adds) {
    ASSERT_TRUE(kiv_write_file("w.txt", "first"));
    ASSERT_TRUE(kiv_write_file("w.txt", "second"));
    EXPECT_EQ(kiv_test::read_all(root + "/w.txt"), "second");
    ASSERT_TRUE(kiv_write_file("w.txt", "+more", true));
    EXPECT_EQ(kiv_test::read_all(root + "/w.txt"), "second+more");
    EXPECT_FALSE(kiv_write_file(nullptr, "x"));
    EXPECT_FALSE(kiv_write_file("w.txt", nullptr));
    EXPECT_FALSE(kiv_write_file("no/such/dir/w.txt", "x"));
    // No temporary file is left behind.
    auto_ptr_t<kiv::i_object_col> all(kiv_scan_dir(".", "*", 0));
    EXPECT_EQ(names_of(all), std::vector<std::string>{"w.txt"});
}

TEST_F(rooted, a_failed_write_leaves_the_old_file_and_no_temporary) {
    touch(root + "/keep.txt", "old");
    {
        kiv::file_writer writer(root + "/keep.txt");
        ASSERT_TRUE(writer.ok());
        writer.write("partial", 7);
        // Dropped without commit: as if the program failed mid-write.
    }
    EXPECT_EQ(kiv_test::read_all(root + "/keep.txt"), "old");
    auto_ptr_t<kiv::i_object_col> all(kiv_scan_dir(".", "*", 0));
    EXPECT_EQ(names_of(all), std::vector<std::string>{"keep.txt"});
}

TEST_F(rooted, running_out_of_space_reports_false_and_keeps_the_old_file) {
    touch(root + "/big.bin", "old");
    // A file size limit makes writes fail as a full disk would (EFBIG).
    std::string data(8192, 'n');
    bool written = true;
    bool appended = true;
    {
        kiv_test::file_size_limit limit(1024);
        ASSERT_TRUE(limit.ok());
        written = kiv_write_binary_file("big.bin", data.data(), static_cast<unsigned>(data.size()));
        appended = kiv_write_binary_file("big.bin", data.data(), static_cast<unsigned>(data.size()), true);
    }
    EXPECT_FALSE(written);
    EXPECT_FALSE(appended);
    // Neither the replacement nor the append left a partial file.
    EXPECT_EQ(kiv_test::read_all(root + "/big.bin"), "old");
    auto_ptr_t<kiv::i_object_col> all(kiv_scan_dir(".", "*", 0));
    EXPECT_EQ(names_of(all), std::vector<std::string>{"big.bin"});
}

namespace {

// A small tmpfs mounted over a folder for the scope of the object; not
// mounted (ok() false) where the process may not mount.
class small_disk {
public:
    small_disk(const std::string& at, unsigned kib) : at_(at) {
        mkdir(at.c_str(), 0700);
        std::string options = "size=" + std::to_string(kib) + "k";
        mounted_ = mount("tmpfs", at.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~small_disk() {
        if (mounted_)
            umount2(at_.c_str(), MNT_DETACH);
    }
    bool ok() const { return mounted_; }

private:
    std::string at_;
    bool mounted_ = false;
};

}  // namespace

TEST_F(rooted, a_full_disk_fails_replacements_and_appends_without_partial_files) {
    small_disk disk(root + "/disk", 64);
    if (!disk.ok())
        GTEST_SKIP() << "mounting a tmpfs needs privileges this run lacks";
    ASSERT_TRUE(kiv_write_file("disk/keep.txt", "old"));
    std::string big(256 * 1024, 'x');
    EXPECT_FALSE(kiv_write_binary_file("disk/keep.txt", big.data(), static_cast<unsigned>(big.size())));
    EXPECT_FALSE(kiv_write_binary_file("disk/keep.txt", big.data(), static_cast<unsigned>(big.size()), true));
    EXPECT_FALSE(kiv_write_binary_file("disk/new.bin", big.data(), static_cast<unsigned>(big.size()), true));
    EXPECT_FALSE(kiv_write_binary_file("disk/other.bin", big.data(), static_cast<unsigned>(big.size())));
    EXPECT_EQ(kiv_test::read_all(root + "/disk/keep.txt"), "old");
    auto_ptr_t<kiv::i_object_col> all(kiv_scan_dir("disk", "*", 0));
    EXPECT_EQ(names_of(all), std::vector<std::string>{"keep.txt"});
    // The space the failed writes took is free again.
    EXPECT_TRUE(kiv_write_file("disk/keep.txt", std::string(32 * 1024, 'y').c_str()));
}

TEST_F(rooted, files_with_names_near_the_system_limit_can_be_replaced) {
    std::string name(250, 'n');
    ASSERT_TRUE(kiv_write_file(name.c_str(), "one"));
    ASSERT_TRUE(kiv_write_file(name.c_str(), "two"));
    EXPECT_EQ(kiv_test::read_all(root + "/" + name), "two");
}

TEST_F(rooted, listings_are_sorted_filtered_and_case_insensitive) {
    mkdir((root + "/sub").c_str(), 0700);
    touch(root + "/b.TCL");
    touch(root + "/a.tcl");
    touch(root + "/c.txt");
    auto_ptr_t<kiv::i_object_col> tcl(kiv_scan_dir(".", "*.tcl", 1));
    EXPECT_EQ(names_of(tcl), (std::vector<std::string>{"a.tcl", "b.TCL"}));
    auto_ptr_t<kiv::i_object_col> every(kiv_scan_dir(".", "*.*", 3));
    EXPECT_EQ(names_of(every), (std::vector<std::string>{"a.tcl", "b.TCL", "c.txt", "sub"}));
    auto_ptr_t<kiv::i_object_col> dirs(kiv_scan_dir(".", "*", 2));
    EXPECT_EQ(names_of(dirs), std::vector<std::string>{"sub"});
    auto_ptr_t<kiv::i_object_col> missing(kiv_scan_dir("nowhere", "*", 0));
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->get_count(), 0u);
    EXPECT_EQ(kiv_scan_dir("", "*", 0), nullptr);
    auto_ptr_t<kiv::i_object_col> split(kiv_split_path("*.tcl;sub/*;;c.*"));
    EXPECT_EQ(names_of(split), (std::vector<std::string>{root + "/a.tcl", root + "/b.TCL", root + "/c.txt"}));
}

TEST_F(rooted, a_turkish_locale_still_folds_i_in_listing_masks) {
    // Tcl takes LC_CTYPE from the environment; in a Turkish one "I" and
    // "i" are different letters to the C library.
    kiv_test::scoped_locale turkish(LC_CTYPE, "tr_TR.UTF-8");
    ASSERT_EQ(turkish.why(), "");
    touch(root + "/setup.ini");
    touch(root + "/LIST.INI");
    const char* masks[] = {"*.INI", "*.ini", "*.Ini"};
    for (const char* mask : masks) {
        auto_ptr_t<kiv::i_object_col> found(kiv_scan_dir(".", mask, 1));
        EXPECT_EQ(names_of(found), (std::vector<std::string>{"LIST.INI", "setup.ini"})) << mask;
    }
}

TEST_F(rooted, recursive_removal_removes_links_but_never_follows_them) {
    std::string outside = dir.file("outside");
    mkdir(outside.c_str(), 0700);
    touch(outside + "/precious.txt", "keep");
    ASSERT_TRUE(kiv_make_path("tree/a/b"));
    touch(root + "/tree/a/b/f.txt");
    touch(root + "/tree/top.txt");
    ASSERT_EQ(symlink(outside.c_str(), (root + "/tree/a/link").c_str()), 0);
    EXPECT_TRUE(kiv_rmdir("tree", true));
    EXPECT_FALSE(kiv_dir_exists((root + "/tree").c_str()));
    EXPECT_EQ(kiv_test::read_all(outside + "/precious.txt"), "keep");
    EXPECT_FALSE(kiv_rmdir("tree", true));
    // A link named as the folder to remove is refused, not emptied.
    ASSERT_EQ(symlink(outside.c_str(), (root + "/alias").c_str()), 0);
    EXPECT_FALSE(kiv_rmdir("alias", true));
    EXPECT_EQ(kiv_test::read_all(outside + "/precious.txt"), "keep");
}

TEST_F(rooted, recursive_removal_takes_entry_names_literally) {
    // Names that would mean something in a configured path: a variable
    // reference and dots. Inside a tree they are plain names.
    std::string home = dir.file("home");
    mkdir(home.c_str(), 0700);
    touch(home + "/precious.txt", "keep");
    kiv_set_env("KIV_TEST_HOME", home.c_str());
    ASSERT_TRUE(kiv_make_path("tree"));
    for (const char* name : {"${KIV_TEST_HOME}", "a$b", "x..y", ".."}) {
        std::string sub = root + "/tree/" + name;
        if (std::string(name) != "..") {
            ASSERT_EQ(mkdir(sub.c_str(), 0700), 0) << name;
            touch(sub + "/f.txt");
        }
    }
    EXPECT_TRUE(kiv_rmdir("tree", true));
    kiv_set_env("KIV_TEST_HOME", nullptr);
    EXPECT_FALSE(kiv_dir_exists((root + "/tree").c_str()));
    EXPECT_EQ(kiv_test::read_all(home + "/precious.txt"), "keep");
}

TEST_F(rooted, listings_count_a_link_to_a_folder_as_a_folder) {
    mkdir((root + "/real").c_str(), 0700);
    ASSERT_EQ(symlink((root + "/real").c_str(), (root + "/linked").c_str()), 0);
    ASSERT_EQ(symlink((root + "/gone").c_str(), (root + "/dangling").c_str()), 0);
    auto_ptr_t<kiv::i_object_col> dirs(kiv_scan_dir(".", "*", 2));
    EXPECT_EQ(names_of(dirs), (std::vector<std::string>{"linked", "real"}));
    auto_ptr_t<kiv::i_object_col> files(kiv_scan_dir(".", "*", 1));
    EXPECT_EQ(names_of(files), std::vector<std::string>{"dangling"});
}

TEST_F(rooted, make_path_creates_every_missing_level) {
    EXPECT_TRUE(kiv_make_path("x/y/z"));
    EXPECT_TRUE(kiv_dir_exists((root + "/x/y/z").c_str()));
    EXPECT_TRUE(kiv_make_path("x/y/z"));
    EXPECT_TRUE(kiv_make_path(nullptr));
    touch(root + "/plain");
    EXPECT_FALSE(kiv_make_path("plain/sub"));
    EXPECT_TRUE(kiv_mkdir("one"));
    EXPECT_FALSE(kiv_mkdir("one"));
    EXPECT_TRUE(kiv_rmdir("one", false));
}

// The path taken as given, the mode of every folder it made, and the
// errno of a failure; a path that cannot be made whole leaves none of
// the folders the call made.
TEST(make_dirs, new_folders_get_the_mode_and_a_failure_its_errno) {
    kiv_test::temp_dir dir;
    touch(dir.file("plain"));
    ASSERT_EQ(mkdir(dir.file("kept").c_str(), 0755), 0);
    const mode_t mask = umask(022);
    struct row {
        const char* name;
        std::string path;
        unsigned mode;
        int error;                       // 0: made
        std::vector<std::string> made;   // folders that must exist afterwards with `expected`
        unsigned expected;
        std::vector<std::string> absent; // folders that must not be left
    } rows[] = {
        {"every level private", "a/b/c", 0700, 0, {"a", "a/b", "a/b/c"}, 0700, {}},
        {"group may read", "g/h", 0750, 0, {"g", "g/h"}, 0750, {}},
        {"the umask applies", "u", 0777, 0, {"u"}, 0755, {}},
        {"an existing level keeps its mode", "kept/new", 0700, 0, {"kept/new"}, 0700, {}},
        {"a file in the way", "plain/sub", 0700, ENOTDIR, {}, 0, {}},
        {"a file at the end", "plain", 0700, ENOTDIR, {}, 0, {}},
        {"a name over the limit", "left/" + std::string(300, 'n'), 0700, ENAMETOOLONG, {}, 0, {"left"}},
    };
    for (const row& r : rows) {
        int error = -1;
        EXPECT_EQ(kiv_make_dirs(dir.file(r.path).c_str(), r.mode, &error), r.error == 0) << r.name;
        EXPECT_EQ(error, r.error) << r.name;
        for (const std::string& made : r.made) {
            struct stat st;
            ASSERT_EQ(stat(dir.file(made).c_str(), &st), 0) << r.name << ": " << made;
            EXPECT_TRUE(S_ISDIR(st.st_mode)) << r.name << ": " << made;
            EXPECT_EQ(st.st_mode & 07777, r.expected) << r.name << ": " << made;
        }
        for (const std::string& gone : r.absent)
            EXPECT_FALSE(kiv_dir_exists(dir.file(gone).c_str())) << r.name << ": " << gone;
    }
    struct stat kept;
    ASSERT_EQ(stat(dir.file("kept").c_str(), &kept), 0);
    EXPECT_EQ(kept.st_mode & 07777, 0755u);
    // Nothing to make: true, and no errno.
    int error = -1;
    EXPECT_TRUE(kiv_make_dirs(nullptr, 0700, &error));
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(kiv_make_dirs(dir.path().c_str(), 0700, nullptr));
    umask(mask);
}

TEST(absolute_paths, dotdot_and_variables_fold_through_the_string_service) {
    kiv_test::temp_dir dir;
    std::string root = dir.file("app");
    mkdir(root.c_str(), 0700);
    kiv_set_env("KIV_ROOT_PATH", root.c_str());
    // Without the core there is no string service to expand with.
    EXPECT_EQ(kiv_get_absolute_path("a/../b"), nullptr);
    ASSERT_TRUE(kiv_initialize());
    EXPECT_EQ(abs_path("a/../b"), root + "/b");
    EXPECT_EQ(abs_path("x/../a/./b"), root + "/a/b");
    // The expanded path begins with "/", so the root's own components go.
    EXPECT_EQ(abs_path("${KIV_ROOT_PATH}/../x"), dir.path() + "/x");
    kiv_set_env("KIV_TEST_MAPS", "maps");
    EXPECT_EQ(abs_path("$KIV_TEST_MAPS/../tiles/${KIV_TEST_MAPS}"), root + "/tiles/maps");
    // ".." never climbs above "/".
    EXPECT_EQ(abs_path("/../../etc/./x"), "/etc/x");
    kiv_set_env("KIV_TEST_MAPS", nullptr);
    kiv_terminate();
    kiv_set_env("KIV_ROOT_PATH", nullptr);
}

TEST(file_writer_stream, stdio_writes_and_plain_writes_land_in_order) {
    kiv_test::temp_dir dir;
    ASSERT_TRUE(kiv_initialize());  // the listing names the folder through the core
    std::string target = dir.file("out.txt");
    touch(target, "old");
    {
        kiv::file_writer writer(target);
        FILE* stream = writer.stream();
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(writer.stream(), stream);
        fputs("abc", stream);
        EXPECT_TRUE(writer.write("def", 3));
        // Not committed yet: readers still see the old file.
        EXPECT_EQ(kiv_test::read_all(target), "old");
        EXPECT_TRUE(writer.commit());
    }
    EXPECT_EQ(kiv_test::read_all(target), "abcdef");
    {
        kiv::file_writer abandoned(target);
        fputs("lost", abandoned.stream());
    }
    EXPECT_EQ(kiv_test::read_all(target), "abcdef");
    auto_ptr_t<kiv::i_object_col> all(kiv_scan_dir(dir.path().c_str(), "*", 0));
    EXPECT_EQ(names_of(all), std::vector<std::string>{"out.txt"});
    all.reset();
    kiv_terminate();
}

// The new file keeps the mode of the file it replaces, but one its owner
// could not read or write back becomes the owner's alone, readable and
// writable (a settings file of mode 000 would fail every later read).
TEST(file_writer_mode, a_replaced_file_keeps_its_mode_unless_its_owner_could_not_read_or_write_it) {
    struct row {
        int old_mode;  // -1: no file before
        mode_t expected;
    } rows[] = {
        {-1, 0644},   {0640, 0640}, {0600, 0600}, {0755, 0755}, {0604, 0604},
        {0000, 0600}, {0200, 0600}, {0400, 0600}, {0444, 0600}, {0077, 0600},
    };
    auto octal = [](mode_t mode) {
        char text[8];
        std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
        return std::string(text);
    };
    for (const row& r : rows) {
        kiv_test::temp_dir dir;
        const std::string target = dir.file("settings.conf");
        if (r.old_mode >= 0) {
            touch(target, "old");
            ASSERT_EQ(chmod(target.c_str(), static_cast<mode_t>(r.old_mode)), 0);
        }
        kiv::file_writer writer(target);
        ASSERT_TRUE(writer.write("new", 3));
        ASSERT_TRUE(writer.commit()) << octal(static_cast<mode_t>(r.old_mode));
        struct stat st;
        ASSERT_EQ(stat(target.c_str(), &st), 0);
        EXPECT_EQ(octal(st.st_mode), octal(r.expected)) << "old mode " << octal(static_cast<mode_t>(r.old_mode));
        EXPECT_EQ(kiv_test::read_all(target), "new");
    }
}
