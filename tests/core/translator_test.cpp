// translator_test.cpp --
//
//     The translation service: lookups and fall-backs, the catalog text
//     format, languages found under the roots, two roots, reloads driven
//     by modification times, stale and removed catalogs, the roots that
//     come with kiv_core's post-load event, and translations read while
//     background ticks reload them.
//
//     The clocks are driven from the start, so the housekeeping thread
//     raises no background tick; the tests fire them. A refresh comes
//     with the fifth tick and every sixth after it, so six ticks always
//     hold exactly one refresh.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/i_translator.h>
#include <kiv/core/string_impl.h>
#include <kiv_test/core_hooks.h>

#include "core_session.h"

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace kiv;
using kiv_test::core_session;

namespace {

// A base for modification times, far from "now" so no write of the test
// itself can give a file the time a test sets.
const time_t base_time = 1500000000;

class translation : public ::testing::Test {
protected:
    void SetUp() override {
        kiv_test_clock_drive(true);
        session.reset(new core_session);
        service = auto_ptr_t<i_object>(kiv_core()->get_service("svc_translator"));
        tr = kiv_cast_i_translator(service);
        ASSERT_NE(tr, nullptr);
    }
    void TearDown() override {
        tr = nullptr;
        service.reset();
        session.reset();
        kiv_set_env("KIV_I18N_LANGS", nullptr);
    }

    std::string root_path(const std::string& rel) const { return session->root.path() + "/" + rel; }

    // Writes <root>/<language>/<catalog>.lng and gives it the time
    // base_time + `at`.
    void write_catalog(const std::string& root, const std::string& language, const std::string& catalog,
                       const std::string& text, time_t at) {
        ASSERT_TRUE(kiv_make_path((root + "/" + language).c_str()));
        std::string path = root + "/" + language + "/" + catalog + ".lng";
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        utimbuf times{base_time + at, base_time + at};
        ASSERT_EQ(utime(path.c_str(), &times), 0);
    }

    static std::string entry(const std::string& id, const std::string& str) {
        return "msgid \"" + id + "\"\nmsgstr \"" + str + "\"\n\n";
    }

    void ticks(int count) {
        for (int i = 0; i < count; ++i)
            kiv_generate_event("KIV_CORE_EVT_BG_TASK", 0, nullptr, true);
    }
    void one_refresh() { ticks(6); }

    std::string de(const char* msg) { return tr->translate(msg, "de"); }

    std::unique_ptr<core_session> session;
    auto_ptr_t<i_object> service;
    i_translator* tr = nullptr;
};

}  // namespace

TEST_F(translation, messages_translate_in_the_current_or_given_language_and_fall_back_to_themselves) {
    write_catalog(root_path("i18n"), "de", "app", entry("Open", "\xC3\x96" "ffnen"), 1);
    tr->add_search_path("i18n");  // relative: under the root
    tr->add_catalog("app");       // read at once
    EXPECT_STREQ(tr->get_name(), "translator");
    EXPECT_EQ(de("Open"), "\xC3\x96" "ffnen");
    const char* msg = "Open";
    EXPECT_EQ(tr->translate(msg, ""), msg);  // the current language is "en"
    tr->set_language("de");
    tr->set_language("");
    tr->set_language(nullptr);
    EXPECT_STREQ(tr->translate("Open", ""), "\xC3\x96" "ffnen");
    EXPECT_EQ(tr->translate(msg, "fr"), msg);
    EXPECT_STREQ(tr->translate("Close", "de"), "Close");
    EXPECT_STREQ(tr->translate(nullptr, "de"), "");
    EXPECT_STREQ(tr->translate("Open", nullptr), "");
    EXPECT_STREQ(kiv_translate("Open", "de"), "\xC3\x96" "ffnen");
    EXPECT_STREQ(kiv_translate("Open", "fr"), "Open");
}

TEST(translation_service, kiv_translate_returns_the_message_without_a_core_or_service) {
    const char* msg = "Open";
    EXPECT_EQ(kiv_translate(msg, "de"), msg);
    core_session session(false);  // no translator before the core's entry
    EXPECT_EQ(kiv_translate(msg, "de"), msg);
}

TEST_F(translation, catalog_texts_decode_escapes_in_one_pass) {
    std::string text = "# a comment\n" + entry("empty", "") + entry("nl", "x\\ny") +
                       entry("quote", "say \\\"hi\\\"") + entry("path", "C:\\\\") + entry("bs-n", "\\\\n") +
                       entry("others", "\\q\\?\\t|\\b\\f\\v\\r") + entry("", "header") +
                       "msgid \"orphan\"\n\n" + entry("next", "Next") + entry("twice", "first") +
                       entry("twice", "second") + "msgid \"cut\"\nmsgstr \"never closed";
    write_catalog(root_path("i18n"), "de", "app", text, 1);
    tr->add_search_path("i18n");
    tr->add_catalog("app");
    EXPECT_EQ(de("empty"), "empty");
    EXPECT_EQ(de("nl"), "x\ny");
    EXPECT_EQ(de("quote"), "say \"hi\"");
    EXPECT_EQ(de("path"), "C:\\");
    EXPECT_EQ(de("bs-n"), "\\n");
    EXPECT_EQ(de("others"), "q?\t|\b\f\v\r");
    EXPECT_EQ(de("orphan"), "orphan");  // the next entry's msgstr is not its
    EXPECT_EQ(de("next"), "Next");
    EXPECT_EQ(de("twice"), "second");
    EXPECT_EQ(de("cut"), "cut");
}

TEST_F(translation, svn_and_cvs_folders_are_no_languages_and_the_rest_are_published) {
    std::string root = root_path("i18n");
    for (const char* dir : {"en", "de", ".svn", "CVS", ".SVN"})
        ASSERT_TRUE(kiv_make_path((root + "/" + dir).c_str()));
    write_catalog(root, ".svn", "app", entry("Open", "svn"), 1);
    tr->add_search_path("i18n");
    tr->add_search_path("i18n");  // known: ignored
    tr->add_catalog("app");
    EXPECT_EQ(kiv_get_env("KIV_I18N_LANGS"), "de,en");
    EXPECT_STREQ(tr->translate("Open", ".svn"), "Open");
}

TEST_F(translation, with_two_roots_the_first_added_answers_first) {
    write_catalog(root_path("one"), "de", "app", entry("Open", "eins") + entry("Only two", "-"), 1);
    write_catalog(root_path("two"), "de", "app", entry("Open", "zwei") + entry("Only two", "zwei allein"), 1);
    tr->add_search_path("one");
    tr->add_search_path(root_path("two").c_str());  // absolute
    tr->add_catalog("app");
    EXPECT_EQ(de("Open"), "eins");
    EXPECT_EQ(de("Only two"), "-");
    write_catalog(root_path("one"), "de", "app", entry("Open", "eins"), 2);
    one_refresh();
    // A reload merges: a message the file dropped keeps its old text.
    EXPECT_EQ(de("Only two"), "-");
}

TEST_F(translation, a_new_modification_time_reloads_at_the_next_refresh_and_old_texts_stay_valid) {
    std::string root = root_path("i18n");
    write_catalog(root, "de", "app", entry("Open", "alt"), 1);
    tr->add_search_path("i18n");
    tr->add_catalog("app");
    const char* old_text = tr->translate("Open", "de");
    EXPECT_STREQ(old_text, "alt");

    write_catalog(root, "de", "app", entry("Open", "neu"), 2);
    ticks(4);
    EXPECT_EQ(de("Open"), "alt");  // the first refresh comes with the fifth tick
    ticks(1);
    EXPECT_EQ(de("Open"), "neu");
    EXPECT_STREQ(old_text, "alt");  // still readable after the reload

    write_catalog(root, "de", "app", entry("Open", "neuer"), 3);
    ticks(5);
    EXPECT_EQ(de("Open"), "neu");  // then every sixth
    ticks(1);
    EXPECT_EQ(de("Open"), "neuer");

    // A file put back with an older time is read again too; one whose
    // time did not change is not.
    write_catalog(root, "de", "app", entry("Open", "restored"), -100);
    one_refresh();
    EXPECT_EQ(de("Open"), "restored");
    write_catalog(root, "de", "app", entry("Open", "same time"), -100);
    one_refresh();
    EXPECT_EQ(de("Open"), "restored");
    EXPECT_STREQ(old_text, "alt");
}

TEST_F(translation, a_vanished_catalog_is_stale_at_the_next_refresh_and_gone_at_the_one_after) {
    std::string first = root_path("first") + "/de/app.lng";
    write_catalog(root_path("first"), "de", "app", entry("Open", "first"), 1);
    write_catalog(root_path("second"), "de", "app", entry("Open", "second"), 1);
    tr->add_search_path("first");
    tr->add_search_path("second");
    tr->add_catalog("app");
    EXPECT_EQ(de("Open"), "first");

    // Stale: passed over, but still in its place when the file returns.
    ASSERT_EQ(unlink(first.c_str()), 0);
    one_refresh();
    EXPECT_EQ(de("Open"), "second");
    write_catalog(root_path("first"), "de", "app", entry("Open", "first again"), 2);
    one_refresh();
    EXPECT_EQ(de("Open"), "first again");

    // Gone: a returning file makes a new record behind the other root's.
    ASSERT_EQ(unlink(first.c_str()), 0);
    one_refresh();
    one_refresh();
    write_catalog(root_path("first"), "de", "app", entry("Open", "first once more"), 3);
    one_refresh();
    EXPECT_EQ(de("Open"), "second");
}

TEST_F(translation, kiv_core_s_post_load_event_adds_the_roots_and_other_libraries_add_none) {
    kiv_test::temp_dir extra;
    write_catalog(root_path("i18n"), "de", "core", entry("Open", "core"), 1);
    write_catalog(extra.path(), "de", "extra", entry("Close", "extra"), 1);
    kiv_set_env("KIV_TRANSLATION_PATH", extra.path().c_str());
    tr->add_catalog("core");
    tr->add_catalog("extra");

    // The event's object is the loaded library, known by its name.
    auto_ptr_t<i_named_string> other(kiv_create_named_string("kiv_zip", ""));
    kiv_generate_event("KIV_CORE_EVT_POST_LOAD_LIBRARY", 0, other, true);
    one_refresh();
    EXPECT_EQ(de("Open"), "Open");
    EXPECT_TRUE(kiv_get_env("KIV_I18N_LANGS").empty());

    auto_ptr_t<i_named_string> core_library(kiv_create_named_string("kiv_core", ""));
    kiv_generate_event("KIV_CORE_EVT_POST_LOAD_LIBRARY", 0, core_library, true);
    kiv_set_env("KIV_TRANSLATION_PATH", nullptr);
    EXPECT_EQ(de("Open"), "Open");  // roots alone read nothing
    one_refresh();
    EXPECT_EQ(de("Open"), "core");
    EXPECT_EQ(de("Close"), "extra");
    EXPECT_EQ(kiv_get_env("KIV_I18N_LANGS"), "de");

    // An event without a library object is ignored.
    kiv_generate_event("KIV_CORE_EVT_POST_LOAD_LIBRARY", 0, nullptr, true);
}

TEST_F(translation, a_catalog_over_the_size_cap_is_not_read) {
    std::string root = root_path("i18n");
    write_catalog(root, "de", "big", entry("Open", "big"), 1);
    std::string path = root + "/de/big.lng";
    ASSERT_EQ(truncate(path.c_str(), 65ll * 1024 * 1024), 0);  // sparse
    tr->add_search_path("i18n");
    tr->add_catalog("big");
    EXPECT_EQ(de("Open"), "Open");
}

TEST_F(translation, translations_read_on_many_threads_while_ticks_reload_them_stay_whole) {
    std::string root = root_path("i18n");
    write_catalog(root, "de", "app", entry("Open", "version 0"), 0);
    tr->add_search_path("i18n");
    tr->add_catalog("app");
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r) {
        readers.emplace_back([&] {
            std::vector<const char*> kept;
            while (!stop.load()) {
                const char* text = kiv_translate("Open", "de");
                if (std::string(text).compare(0, 8, "version ") != 0)
                    torn.fetch_add(1);
                if (kept.size() < 64)
                    kept.push_back(text);
            }
            for (const char* text : kept)  // still alive after the reloads
                if (std::string(text).compare(0, 8, "version ") != 0)
                    torn.fetch_add(1);
        });
    }
    for (int version = 1; version <= 20; ++version) {
        write_catalog(root, "de", "app", entry("Open", "version " + std::to_string(version)), version);
        // Queued, as the housekeeping thread sends them: refreshes run on
        // pool workers beside the readers.
        for (int i = 0; i < 6; ++i)
            kiv_generate_event("KIV_CORE_EVT_BG_TASK", 0, nullptr, false);
    }
    kiv_test::eventually([&] { return de("Open") == "version 20"; });
    stop = true;
    for (std::thread& t : readers)
        t.join();
    EXPECT_EQ(torn.load(), 0);
}
