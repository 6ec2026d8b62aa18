// http_pack_test.cpp --
//
//     The script and style packer: the JavaScript minifier on a
//     hand-written corpus, and "/pack" requests end to end against a
//     server with pack configurations made by the test (joining, comments
//     in configurations, unminified and style packs, refused parameters,
//     versions that follow the sources and the configuration, cache
//     files named by version).

#include <kiv/core/auto_ptr.h>
#include <kiv/http/http_pack.h>
#include <kiv/http/i_http_server.h>

#include "http_exchange.h"
#include "http_fixture.h"

#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <fstream>

using namespace kiv;
using namespace kiv_test;

namespace {

std::string minify(const char* text) {
    return take_text(kiv_http_minify_js(text));
}

void set_mtime(const std::string& path, time_t seconds) {
    struct utimbuf times = {seconds, seconds};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
}

// Returns: whether a file named `name` lies anywhere under `dir`.
bool file_under(const std::string& dir, const std::string& name) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir, ec))
        if (entry.path().filename() == name)
            return true;
    return false;
}

class http_pack_test : public http_site_framework {
protected:
    using http_site_framework::put;
    std::string put(const std::string& name, const std::string& text, time_t mtime) {
        std::string path = put(name, text);
        set_mtime(path, mtime);
        return path;
    }
    response get(const std::string& page) { return ask(port, "GET " + page + " HTTP/1.0\r\nHost: site\r\n\r\n"); }
};

}  // namespace

TEST(js_minify, a_hand_written_corpus) {
    struct {
        const char* source;
        const char* packed;  // what it gives; the input itself when it cannot end a literal
    } cases[] = {
        {"var  a = b / c;", "\nvar a=b/c;"},
        {"x=/a b/;", "\nx=/a b/;"},
        {"a = b / c / d;", "\na=b/c/d;"},
        {"f(/x\\/ y/g, 1)", "\nf(/x\\/ y/g,1)"},
        {"if (!/^a+$/.test(s)) return  x ;", "\nif(!/^a+$/.test(s))return x;"},
        {"s = \"a  b\\\" c\" + 'd  \\'e';", "\ns=\"a  b\\\" c\"+'d  \\'e';"},
        {"a; // a comment\nb;", "\na;b;"},
        {"a // a comment\n(b)", "\na\n(b)"},
        {"a /* block\n comment */ b", "\na b"},
        {"function  f ( x ) {\n\treturn x ;\n}\n", "\nfunction f(x){return x;}"},
        {"a\r\nb\rc", "\na\nb\nc"},
        {"a\tb", "\na b"},
        {"x = 1;\n(y)", "\nx=1;(y)"},
        {"\xd0\xbf\xd1\x80 = 1", "\n\xd0\xbf\xd1\x80=1"},
        {"a /* never closed", "a /* never closed"},
        {"s = 'never closed", "s = 'never closed"},
        {"s = \"never closed", "s = \"never closed"},
        {"s = 'broken\nstring'", "s = 'broken\nstring'"},
        {"s = 'ends in an escape\\", "s = 'ends in an escape\\"},
        {"x = /never closed", "x = /never closed"},
        {"", ""},
        {"  // only a comment", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(minify(c.source), c.packed) << c.source;
    EXPECT_EQ(minify(nullptr), "<null>");
}

TEST_F(http_pack_test, sources_are_joined_minified_and_cached_by_version) {
    put("a.js", "var  a = 1 ;", 2000);
    put("b.js", "var b = a / 2;", 3000);
    std::string config = put("lib.pack-js.cfg", "a.js # the first\n\n# nothing here\n  b.js\t\r\nmissing.js\n", 1000);
    put("s1.css", "a { color: red }", 2000);
    put("s2.css", "b { }", 2000);
    put("style.pack-css.cfg", "s1.css\ns2.css\n", 2000);
    put("empty.pack-js.cfg", "# only a comment\n", 2000);

    response js = get("/pack.js?c=lib");
    EXPECT_EQ(js.status, 200);
    EXPECT_EQ(js.headers["content-type"], "text/javascript");
    EXPECT_EQ(js.body, "\nvar a=1;var b=a/2;");
    EXPECT_EQ(get("/pack.js?c=lib&u=1").body, "var  a = 1 ;\nvar b = a / 2;");
    response css = get("/pack.css?c=style");
    EXPECT_EQ(css.headers["content-type"], "text/css");
    EXPECT_EQ(css.body, "a { color: red }\nb { }");
    // A source the minifier cannot take goes out as it is.
    put("open.js", "var  a; /* never closed", 2000);
    put("broken.pack-js.cfg", "open.js\n", 2000);
    EXPECT_EQ(get("/pack.js?c=broken").body, "var  a; /* never closed");
    response empty = get("/pack.js?c=empty");
    EXPECT_EQ(empty.status, 200);
    EXPECT_EQ(empty.body, "");

    // The version: the configuration's and the sources' times summed.
    EXPECT_EQ(kiv_http_pack_file_version(site, config.c_str()), 6000u);
    std::string cache = temp.path() + "/http_pack_cache";
    EXPECT_TRUE(file_under(cache, "lib.pack-js-1770.cfg"));
    EXPECT_TRUE(file_under(cache, "lib.pack-js1-1770.cfg"));
    EXPECT_TRUE(file_under(cache, "style.pack-css1-1770.cfg"));

    // A touched source makes a new version and a new pack.
    put("b.js", "var b = a * 3;", 3001);
    EXPECT_EQ(kiv_http_pack_file_version(site, config.c_str()), 6001u);
    EXPECT_EQ(get("/pack.js?c=lib").body, "\nvar a=1;var b=a*3;");
    EXPECT_TRUE(file_under(cache, "lib.pack-js-1771.cfg"));
    // A reordered configuration is a new version too.
    put("lib.pack-js.cfg", "b.js\na.js\n", 1001);
    EXPECT_EQ(get("/pack.js?c=lib").body, "\nvar b=a*3;var a=1;");
}

TEST_F(http_pack_test, bad_parameters_and_other_pages_are_left_to_the_request) {
    put("lib.pack-js.cfg", "a.js\n", 1000);
    put("a.js", "var a;", 1000);
    put("x.pack-js.cfg", "a.js\n", 1000);
    for (const char* page : {"/pack.js?c=../www/lib", "/pack.js?c=$lib", "/pack.js?c=lib&u=1;x", "/pack.js",
                             "/pack.js?c=none", "/pack", "/pack.css?c=lib"}) {
        response r = get(page);
        EXPECT_EQ(r.status, 404) << page;
    }
    EXPECT_EQ(kiv_http_pack_file_version(nullptr, "x"), 0u);
    EXPECT_EQ(kiv_http_pack_file_version(site, ""), 0u);
    EXPECT_EQ(kiv_http_pack_file_version(site, (root + "/none.pack-js.cfg").c_str()), 0u);
}

// Returns: how many files lie anywhere under `dir`.
size_t files_under(const std::string& dir) {
    size_t count = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir, ec))
        count += entry.is_regular_file() ? 1 : 0;
    return count;
}

TEST_F(http_pack_test, invented_flags_and_spellings_make_no_new_cache_file_or_configuration) {
    put("a.js", "var  a ;", 2000);
    put("lib.pack-js.cfg", "a.js\n", 1000);
    struct row {
        const char* u;
        bool minified;
    };
    const row rows[] = {{"", true}, {"0", true}, {"1", false}, {"1z0", false}, {"1z1", false},
                        {"11", false}, {"0a", true}, {"2", true}, {"1A", false}, {"zz", true}};
    for (int round = 0; round < 2; ++round)
        for (const row& r : rows) {
            response a = get(std::string("/pack.js?c=lib&u=") + r.u);
            EXPECT_EQ(a.status, 200) << r.u;
            EXPECT_EQ(a.body, r.minified ? "\nvar a;" : "var  a ;") << r.u;
        }
    // One file for each meaning of the flag.
    std::string cache = temp.path() + "/http_pack_cache";
    EXPECT_EQ(files_under(cache), 2u);
    EXPECT_TRUE(file_under(cache, "lib.pack-js-bb8.cfg"));
    EXPECT_TRUE(file_under(cache, "lib.pack-js1-bb8.cfg"));

    // Spellings of one configuration share what was read of it: the
    // configuration is rewritten under the same time, which only a new
    // entry would read again.
    put("b.js", "var  b ;", 2500);
    put("x.pack-js.cfg", "a.js\n", 1000);
    EXPECT_EQ(get("/pack.js?c=x&u=1").body, "var  a ;");
    put("x.pack-js.cfg", "b.js\n", 1000);
    for (const char* c : {"./x", "././x", ".//x", "/x", "//./x", "x"})
        EXPECT_EQ(get(std::string("/pack.js?u=1&c=") + c).body, "var  a ;") << c;
}

TEST_F(http_pack_test, denied_folders_give_nothing_to_the_packer) {
    folder("www/private");
    folder("www/later");
    put("private/.deny_http_access", "");
    put("private/p.pack-js.cfg", "open.js\n", 1000);
    put("private/conf.js", "var secret;", 1000);
    put("open.js", "var open;", 1000);
    put("later/late.js", "var late;", 1000);
    put("mix.pack-js.cfg", "private/conf.js\nopen.js\nlater/late.js\n", 1000);
    // A configuration in a denied folder is not packed, however spelled:
    // the request goes on as an ordinary one.
    for (const char* c : {"private/p", "./private/p", "private//p", "/private/p"}) {
        response a = get(std::string("/pack.js?c=") + c);
        EXPECT_EQ(a.status, 404) << c;
        EXPECT_EQ(a.body.find("open"), std::string::npos) << c;
    }
    // A source in a denied folder is left out, and out of the version.
    EXPECT_EQ(get("/pack.js?c=mix").body, "\nvar open;var late;");
    std::string mix = root + "/mix.pack-js.cfg";
    EXPECT_EQ(kiv_http_pack_file_version(site, mix.c_str()), 3000u);
    // A deny file put beside a source later takes it out of the next
    // packs (workers check a folder again once their answer is a second
    // old).
    put("later/.deny_http_access", "");
    eventually([&] { return get("/pack.js?c=mix").body == "\nvar open;"; });
    eventually([&] { return kiv_http_pack_file_version(site, mix.c_str()) == 2000u; });
}

namespace {

// A host that ends the framework from an exit handler, after a pack
// version was asked for: the HTTP service's destructor then clears the
// pack registry while the process's statics are being destroyed.
class http_pack_exit_test : public http_pack_test {
protected:
    static void end_framework_at_exit() {
        current->site.reset();
        current->svc_object.reset();
        kiv_terminate();
    }
    static http_pack_exit_test* current;
};

http_pack_exit_test* http_pack_exit_test::current = nullptr;

}  // namespace

TEST_F(http_pack_exit_test, the_registry_outlives_a_framework_ended_at_exit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            current = this;
            std::atexit(end_framework_at_exit);
            put("a.js", "var a;", 2000);
            std::string config = put("lib.pack-js.cfg", "a.js\n", 1000);
            if (kiv_http_pack_file_version(site, config.c_str()) != 3000u)
                std::_Exit(2);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
