// http_translator_test.cpp --
//
//     Translation scripts: the statement built from the collected texts
//     (without catalogs the translator gives each text back as it is),
//     and files that are written only when their content changes,
//     checked through their modification times.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/files.h>
#include <kiv/core/i_translator.h>
#include <kiv/http/i_http_translator.h>

#include "http_fixture.h"

#include <sys/stat.h>
#include <utime.h>

#include <fstream>

using namespace kiv;
using namespace kiv_test;

namespace {

// Sets the file's modification time to `seconds` after the epoch.
void set_mtime(const std::string& path, time_t seconds) {
    struct utimbuf times = {seconds, seconds};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
}

time_t mtime(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

class http_translator_test : public http_framework {
protected:
    void SetUp() override {
        http_framework::SetUp();
        translator.reset(kiv_http_create_translator());
        ASSERT_TRUE(translator);
    }
    std::string text(const char* lang) { return take_text(translator->get_translation_text(lang)); }

    auto_ptr_t<i_http_translator> translator;
};

}  // namespace

TEST_F(http_translator_test, the_statement_holds_every_text_in_map_order_and_the_first_text_wins) {
    EXPECT_EQ(text("en"), "var kiv_i18n={};\n");
    EXPECT_EQ(text(nullptr), "<null>");
    EXPECT_TRUE(translator->add_text("a", "b", "x"));
    EXPECT_EQ(text("en"), "var kiv_i18n={a:{b:\"x\"}};\n");
    EXPECT_TRUE(translator->add_text("a", "b", "second"));
    EXPECT_TRUE(translator->add_text("Z", "q", "say \"hi\"\n</script>"));
    EXPECT_TRUE(translator->add_text("a", "A", "upper"));
    EXPECT_FALSE(translator->add_text("", "b", "x"));
    EXPECT_FALSE(translator->add_text("a", nullptr, "x"));
    EXPECT_FALSE(translator->add_text("a", "c", nullptr));
    std::string all = text("en");
    // Byte order: "Z" before "a", "A" before "b".
    EXPECT_EQ(all.find("Z:"), 14u) << all;
    EXPECT_LT(all.find("A:\"upper\""), all.find("b:\"x\"")) << all;
    EXPECT_EQ(all.find("second"), std::string::npos);
    // Escaped like any script string, "</" included.
    EXPECT_NE(all.find("q:\"say \\\"hi\\\"\\n<\\/script>\""), std::string::npos) << all;

    auto_ptr_t<i_object> other(kiv_core()->get_service("svc_http"));
    EXPECT_EQ(kiv_cast_i_http_translator(other), nullptr);
    EXPECT_EQ(kiv_cast_i_http_translator(translator), translator.get());
}

TEST_F(http_translator_test, files_are_rewritten_only_when_their_content_changes) {
    std::string path = session.root.file("i18n-en.js");
    ASSERT_TRUE(translator->add_text("menu", "open", "Open"));
    ASSERT_TRUE(translator->create_translation_file(path.c_str(), "en"));
    std::string expected = "var kiv_i18n={menu:{open:\"Open\"}};\n";
    EXPECT_EQ(read_all(path), expected);

    // The same content under a new time: checked, left alone, recorded.
    set_mtime(path, 1000000);
    ASSERT_TRUE(translator->create_translation_file(path.c_str(), "en"));
    EXPECT_EQ(mtime(path), 1000000);  // same content: left alone, now recorded
    ASSERT_TRUE(translator->create_translation_file(path.c_str(), "en"));
    EXPECT_EQ(mtime(path), 1000000);

    // A text added: the file is compared, and unchanged content stays.
    ASSERT_TRUE(translator->add_text("menu", "open", "ignored, the first text stays"));
    ASSERT_TRUE(translator->create_translation_file(path.c_str(), "en"));
    EXPECT_EQ(mtime(path), 1000000);
    ASSERT_TRUE(translator->add_text("menu", "save", "Save"));
    ASSERT_TRUE(translator->create_translation_file(path.c_str(), "en"));
    EXPECT_NE(mtime(path), 1000000);
    EXPECT_EQ(read_all(path), "var kiv_i18n={menu:{open:\"Open\",save:\"Save\"}};\n");

    // A file changed by someone else is checked and put right.
    std::ofstream(path, std::ios::binary) << "stale";
    set_mtime(path, 2000000);
    ASSERT_TRUE(translator->create_translation_file(path.c_str(), "en"));
    EXPECT_EQ(read_all(path), "var kiv_i18n={menu:{open:\"Open\",save:\"Save\"}};\n");

    // force_update always writes.
    set_mtime(path, 3000000);
    ASSERT_TRUE(translator->create_translation_file(path.c_str(), "en", true));
    EXPECT_NE(mtime(path), 3000000);

    EXPECT_FALSE(translator->create_translation_file(session.root.file("no/such/dir/x.js").c_str(), "en"));
    EXPECT_FALSE(translator->create_translation_file("", "en"));
    EXPECT_FALSE(translator->create_translation_file(path.c_str(), nullptr));
}
