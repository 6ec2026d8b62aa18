// zip_lib_test.cpp --
//
//     The library's face: the loader protocol, the registration of
//     "svc_zip" by the entry, the service's names and the casts, and
//     opening on paths that cannot be read or written.

#include <kiv/core/files.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_string.h>

#include "zip_fixtures.h"

#include <gtest/gtest.h>

using namespace kiv;
using namespace kiv_test;

TEST(zip_library, names_itself_and_its_version_and_is_always_initialised) {
    EXPECT_STREQ(kiv_library_name(), "kiv_zip");
    EXPECT_STREQ(kiv_library_version(), "3.3.0014");
    EXPECT_TRUE(kiv_library_initialized());
}

TEST(zip_library, the_entry_without_a_core_registers_nothing_and_survives) {
    ASSERT_EQ(kiv_core(), nullptr);
    kiv_library_entry();
    EXPECT_EQ(kiv_core(), nullptr);
}

TEST(zip_library, the_core_loader_runs_the_entry_that_registers_the_service) {
    core_session session(false);
    ASSERT_TRUE(session.started);
    ASSERT_NE(kiv_core()->load_library(KIV_ZIP_LIBRARY), nullptr);
    EXPECT_TRUE(kiv_library_loaded("kiv_zip"));
    auto_ptr_t<i_object> svc(kiv_core()->get_service("svc_zip"));
    ASSERT_NE(kiv_cast_i_zip_service(svc), nullptr);
}

TEST_F(zip_session, the_entry_registers_the_service_held_by_the_core_alone) {
    // Looked up and cast as other libraries do; the core's reference and
    // ours are the only ones.
    EXPECT_EQ(svc_object->addref(), 3);
    EXPECT_EQ(svc_object->release(), 2);
    i_named_object* named = nullptr;
    ASSERT_TRUE(svc_object->get_interface("i_named_object", reinterpret_cast<void**>(&named)));
    EXPECT_STREQ(named->get_name(), "zip_service");
    // A second entry run keeps the first registration.
    kiv_library_entry();
    auto_ptr_t<i_object> again(kiv_core()->get_service("svc_zip"));
    EXPECT_EQ(again.get(), svc_object.get());
}

TEST_F(zip_session, each_cast_answers_only_its_own_interface) {
    EXPECT_EQ(kiv_cast_i_zip_service(nullptr), nullptr);
    EXPECT_EQ(kiv_cast_i_zip_reader(nullptr), nullptr);
    EXPECT_EQ(kiv_cast_i_zip_writer(nullptr), nullptr);
    EXPECT_EQ(kiv_cast_i_gzip_writer(nullptr), nullptr);
    EXPECT_EQ(kiv_cast_i_zip_reader(svc_object), nullptr);

    auto_ptr_t<i_zip_writer> writer(zip->open_writer(path("a.zip").c_str()));
    ASSERT_TRUE(writer);
    EXPECT_EQ(kiv_cast_i_zip_writer(writer), writer.get());
    EXPECT_EQ(kiv_cast_i_zip_service(writer), nullptr);
    EXPECT_EQ(kiv_cast_i_gzip_writer(writer), nullptr);
    ASSERT_TRUE(writer->write_text_file("x", "x.txt"));
    writer.reset();

    auto_ptr_t<i_zip_reader> reader(zip->open_reader(path("a.zip").c_str()));
    ASSERT_TRUE(reader);
    EXPECT_EQ(kiv_cast_i_zip_reader(reader), reader.get());
    EXPECT_EQ(kiv_cast_i_zip_writer(reader), nullptr);

    auto_ptr_t<i_gzip_writer> gz(zip->open_gzip_writer(path("a.gz").c_str()));
    ASSERT_TRUE(gz);
    EXPECT_EQ(kiv_cast_i_gzip_writer(gz), gz.get());
    EXPECT_EQ(kiv_cast_i_zip_reader(gz), nullptr);
}

TEST_F(zip_session, relative_paths_are_under_the_root) {
    auto_ptr_t<i_zip_writer> writer(zip->open_writer("rel.zip"));
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->write_text_file("hello", "h.txt"));
    writer.reset();
    EXPECT_TRUE(exists(path("rel.zip")));
    auto_ptr_t<i_zip_reader> reader(zip->open_reader("rel.zip"));
    ASSERT_TRUE(reader);
    heap_text text(reader->get_text_file("h.txt"));
    EXPECT_STREQ(text.get(), "hello");
}

TEST_F(zip_session, a_replaced_file_keeps_its_mode_and_a_new_one_gets_0644) {
    struct row {
        std::string name;
        bool archive;  // a zip archive; else a gzip file
        int old_mode;  // -1: no file there before
        unsigned expected;
    } rows[] = {
        {"over0640.gz", false, 0640, 0640}, {"over0600.gz", false, 0600, 0600}, {"new.gz", false, -1, 0644},
        {"over0640.zip", true, 0640, 0640}, {"new.zip", true, -1, 0644},
        // A name near the system's limit still leaves room for the
        // temporary name beside it.
        {std::string(250, 'g') + ".gz", false, -1, 0644},
    };
    const mode_t mask = umask(077);  // the mode of a new file does not follow it
    for (const row& r : rows) {
        std::string file = path(r.name);
        if (r.old_mode >= 0) {
            put_file(file, bytes_of("old"));
            ASSERT_EQ(chmod(file.c_str(), mode_t(r.old_mode)), 0);
        }
        if (r.archive) {
            auto_ptr_t<i_zip_writer> writer(zip->open_writer(file.c_str()));
            ASSERT_TRUE(writer) << r.name;
            ASSERT_TRUE(writer->write_text_file("new", "n.txt")) << r.name;
        } else {
            auto_ptr_t<i_gzip_writer> gz(zip->open_gzip_writer(file.c_str()));
            ASSERT_TRUE(gz) << r.name;
            ASSERT_TRUE(gz->write("new", 3)) << r.name;
            ASSERT_TRUE(gz->close()) << r.name;
        }
        struct stat st;
        ASSERT_EQ(stat(file.c_str(), &st), 0) << r.name;
        EXPECT_EQ(st.st_mode & 07777, r.expected) << r.name;
        EXPECT_NE(file_bytes(file), bytes_of("old")) << r.name;
    }
    umask(mask);
}

TEST_F(zip_session, opening_fails_cleanly_for_missing_files_and_folders) {
    EXPECT_EQ(zip->open_reader(path("none.zip").c_str()), nullptr);
    EXPECT_EQ(zip->open_reader(nullptr), nullptr);
    EXPECT_EQ(zip->open_writer(path("no/such/dir/a.zip").c_str()), nullptr);
    EXPECT_EQ(zip->open_writer(nullptr), nullptr);
    EXPECT_EQ(zip->open_gzip_writer(path("no/such/dir/a.gz").c_str()), nullptr);
    EXPECT_EQ(zip->open_gzip_writer(nullptr), nullptr);
    // A folder is refused at open, with the reason, rather than by the
    // release or close after every write was accepted.
    ASSERT_EQ(mkdir(path("folder").c_str(), 0700), 0);
    {
        trace_capture trace(path("trace.log"));
        EXPECT_EQ(zip->open_writer(path("folder").c_str()), nullptr);
        EXPECT_EQ(zip->open_gzip_writer(path("folder").c_str()), nullptr);
        EXPECT_EQ(zip->open_writer(path("folder/").c_str()), nullptr);
        std::string text = trace.text();
        size_t first = text.find("cannot write '" + path("folder") + "': it is a folder");
        ASSERT_NE(first, std::string::npos) << text;
        EXPECT_NE(text.find("it is a folder", first + 1), std::string::npos) << text;
    }
    auto_ptr_t<i_object_col> inside(kiv_scan_dir(path("folder").c_str(), "*", 0));
    ASSERT_TRUE(inside);
    EXPECT_EQ(inside->get_count(), 0u);
    // A file that is not an archive.
    put_file(path("plain.txt"), bytes_of("just text, no zip directory"));
    EXPECT_EQ(zip->open_reader(path("plain.txt").c_str()), nullptr);
}
