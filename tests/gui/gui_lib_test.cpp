// gui_lib_test.cpp --
//
//     The library's face: the loader protocol, the entry that registers
//     the auto translator, and what the auto translator does for the
//     libraries loaded after kiv_gui: their catalogs and their help books
//     (zip archives read through wxWidgets' zip file system), also for a
//     library whose entry fails, a damaged or missing book, and a load on
//     a worker thread.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_translator.h>
#include <kiv/core/library_protocol.h>

#include "gui_session.h"

#include <gtest/gtest.h>

#include <wx/html/helpctrl.h>
#include <wx/wfstream.h>
#include <wx/zipstrm.h>

#include <fstream>
#include <string>
#include <thread>

using namespace kiv;
using namespace kiv_gui_test;

namespace {

TEST(gui_library, names_itself_and_its_version_and_is_always_initialised) {
    EXPECT_STREQ(kiv_library_name(), "kiv_gui");
    EXPECT_STREQ(kiv_library_version(), "3.1.0031");
    EXPECT_TRUE(kiv_library_initialized());
}

TEST(gui_library, the_entry_without_a_core_registers_nothing_and_survives) {
    ASSERT_EQ(kiv_core(), nullptr);
    kiv_library_entry();
    EXPECT_EQ(kiv_core(), nullptr);
}

// A session with the frame service whose root holds catalogs and help
// books; kiv_gui is loaded through the loader, as a configuration does.
class auto_translation : public ::testing::Test {
protected:
    void SetUp() override {
        session.reset(new gui_session(false));
        session->register_frame_service();
        kiv_set_env("KIV_FONT_PATH", nullptr);
        write_catalog("kiv_zip", "Archive", "Archiv");
        write_catalog("kiv_image", "Font", "Schrift");
        write_catalog("kiv_gui", "Window", "Fenster");
        write_book("kiv_zip", "Archive help");
        write_book("kiv_gui", "GUI help");
        auto_ptr_t<i_object> service(kiv_core()->get_service("svc_translator"));
        kiv_cast_i_translator(service)->set_language("de");
    }
    void TearDown() override { session.reset(); }

    std::string root(const std::string& rel) const { return session->core.root.path() + "/" + rel; }

    void write_catalog(const std::string& library, const std::string& id, const std::string& text) {
        ASSERT_TRUE(kiv_make_path(root("i18n/de").c_str()));
        std::ofstream out(root("i18n/de/" + library + ".lng"));
        out << "msgid \"" << id << "\"\nmsgstr \"" << text << "\"\n";
    }
    // A help book: a zip archive holding a project file and one page.
    void write_book(const std::string& library, const std::string& title) {
        ASSERT_TRUE(kiv_make_path(root("help").c_str()));
        wxFFileOutputStream file(wxString::FromUTF8(root("help/" + library + "_doc.zip")));
        ASSERT_TRUE(file.IsOk());
        wxZipOutputStream zip(file);
        auto put = [&zip](const char* name, const std::string& text) {
            zip.PutNextEntry(name);
            zip.Write(text.data(), text.size());
        };
        put("book.hhp", "[OPTIONS]\nCompatibility=1.1 or later\nContents file=book.hhc\nTitle=" + title +
                            "\nDefault topic=index.htm\n\n[FILES]\nindex.htm\n");
        put("book.hhc", "<html><body><ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"Start\">"
                        "<param name=\"Local\" value=\"index.htm\"></object></ul></body></html>\n");
        put("index.htm", "<html><body><h1>" + title + "</h1></body></html>\n");
        ASSERT_TRUE(zip.Close());
    }
    void load(const char* library, bool should_succeed = true) {
        void* handle = kiv_core()->load_library((std::string(KIV_BIN_DIR "/") + library + ".so").c_str());
        EXPECT_EQ(handle != nullptr, should_succeed) << library;
    }
    std::vector<std::string> books() {
        std::vector<std::string> titles;
        wxHtmlHelpController* help = session->frame_service->get_help();
        const wxHtmlBookRecArray& records = help->GetHelpData()->GetBookRecArray();
        for (size_t n = 0; n < records.size(); ++n)
            titles.push_back(records[n].GetTitle().utf8_str().data());
        return titles;
    }
    static std::string translated(const char* message) { return kiv_translate(message, "de"); }

    std::unique_ptr<gui_session> session;
};

TEST_F(auto_translation, the_entry_registers_the_translator_once) {
    load("kiv_gui");
    auto_ptr_t<i_object> first(kiv_core()->get_service("svc_auto_translator"));
    ASSERT_TRUE(first);
    kiv_library_entry();
    auto_ptr_t<i_object> again(kiv_core()->get_service("svc_auto_translator"));
    EXPECT_EQ(again.get(), first.get());
}

TEST_F(auto_translation, a_library_loaded_later_gets_its_help_book_and_kiv_gui_itself_does_not) {
    load("kiv_gui");
    EXPECT_TRUE(books().empty());
    load("kiv_zip");
    EXPECT_EQ(books(), (std::vector<std::string>{"Archive help"}));
    EXPECT_EQ(translated("Archive"), "Archiv");
}

TEST_F(auto_translation, the_catalog_comes_with_the_load_event_even_when_the_entry_then_fails) {
    // Without a font folder kiv_image refuses to start, so the load is
    // announced but never completed: only the auto translator adds the
    // catalog. Its book is damaged and is passed over without a word to
    // the user.
    {
        std::ofstream damaged(root("help/kiv_image_doc.zip"));
        damaged << "PK this is no zip archive";
    }
    load("kiv_gui");
    EXPECT_EQ(translated("Font"), "Font");
    load("kiv_image", false);
    EXPECT_EQ(translated("Font"), "Schrift");
    EXPECT_TRUE(books().empty());
    EXPECT_TRUE(dialogs_seen().empty());
}

TEST_F(auto_translation, before_kiv_gui_is_loaded_nothing_is_added) {
    load("kiv_image", false);
    EXPECT_EQ(translated("Font"), "Font");
    EXPECT_TRUE(books().empty());
}

TEST_F(auto_translation, without_the_frame_service_only_the_catalog_is_added) {
    session->drop_frame_service();
    load("kiv_gui");
    load("kiv_image", false);
    EXPECT_EQ(translated("Font"), "Schrift");
}

TEST_F(auto_translation, a_load_on_a_worker_thread_hands_the_book_to_the_gui_thread) {
    load("kiv_gui");
    std::thread worker([] { kiv_core()->load_library(KIV_BIN_DIR "/kiv_zip.so"); });
    worker.join();
    EXPECT_TRUE(books().empty());
    pump_until([&] { return !books().empty(); });
    EXPECT_EQ(books(), (std::vector<std::string>{"Archive help"}));
}

}  // namespace

namespace {

TEST_F(auto_translation, with_a_tmp_folder_under_the_root_the_parsed_book_is_cached_there) {
    session->drop_frame_service();
    ASSERT_TRUE(kiv_make_path(root("tmp").c_str()));
    session->register_frame_service();
    load("kiv_gui");
    load("kiv_zip");
    EXPECT_EQ(books(), (std::vector<std::string>{"Archive help"}));
    auto_ptr_t<i_object_col> cached(kiv_scan_dir(root("tmp").c_str(), "*.cached", 1));
    ASSERT_TRUE(cached);
    EXPECT_EQ(cached->get_count(), 1u);
}

}  // namespace
