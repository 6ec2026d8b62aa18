// http_page_test.cpp --
//
//     Tcl pages and uploads end to end: a server bound on 127.0.0.1 with
//     a document root of pages made by the test, asked by a plain socket
//     client. Page text that looks like Tcl, code blocks, includes,
//     error paragraphs, encrypted pages, sessions, answers a page sends
//     itself, compression of page output, and multipart uploads built by
//     Python.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/bin_text.h>
#include <kiv/core/checksum.h>
#include <kiv/core/i_encryptor.h>
#include <kiv/core/i_script.h>
#include <kiv/http/i_http_server.h>

#include "http_exchange.h"
#include "http_fixture.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace kiv;
using namespace kiv_test;

namespace {

response get(uint16_t port, const std::string& page, const std::string& headers = "") {
    return ask(port, "GET " + page + " HTTP/1.0\r\nHost: site\r\n" + headers + "\r\n");
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

class http_page_test : public http_site_framework {};

}  // namespace

TEST_F(http_page_test, page_text_comes_out_literally_around_the_output_of_its_code) {
    struct {
        const char* page;
        const char* query;
        const char* body;
    } cases[] = {
        {"a $x [b] {c} \\d \"e\" 'f'\n\ttab ;# }", "", "a $x [b] {c} \\d \"e\" 'f'\n\ttab ;# }"},
        {"A<? set x 1 ?>B", "", "AB"},
        {"x=<? set v 6; puts [expr {$v * 7}] ?>.", "", "x=42."},
        {"<? puts 1; ?><? puts 2 ?>", "", "12"},
        // Adjacent code blocks are joined on one line.
        {"<?puts 1?><?puts 2?>", "", "1puts"},
        {"a<? # a comment to the end ?>b\nc", "", "ab\nc"},
        {"head<? puts never", "", "head"},
        {"[<? puts [i_http_request_get_var_value $http_request q] ?>]", "?q=%5Bexit%5D%24x", "[[exit]$x]"},
        {"<? puts [i_http_request_get_request_method $http_request] ?>", "", "GET"},
        {"<? puts [file tail $http_doc_root] ?>", "", "www"},
        {"<? puts [expr {$http_session eq {NULL}}] ?>", "", "1"},
    };
    for (const auto& c : cases) {
        put("p.html", c.page);
        response r = get(port, std::string("/p.html") + c.query);
        EXPECT_EQ(r.status, 200) << c.page;
        EXPECT_EQ(r.body, c.body) << c.page;
        EXPECT_EQ(r.headers["content-type"], "text/html; charset=utf-8");
        EXPECT_EQ(r.headers["content-length"], std::to_string(r.body.size()));
    }
}

TEST_F(http_page_test, what_one_request_leaves_in_its_engine_is_gone_for_the_next) {
    // Each case: a page that leaves something behind in the namespace its
    // code runs in, and a probe page that prints what a fresh namespace
    // gives. The workers keep their engines (and the pages' compiled
    // code) from request to request; the rounds make every worker serve
    // both pages more than once.
    struct {
        const char* leave;
        const char* probe;
        const char* fresh;
    } cases[] = {
        {"<? set left 1 ?>", "<? puts [info exists left] ?>", "0"},
        {"<? variable declared ?>", "<? puts [llength [info vars declared]] ?>", "0"},
        {"<? array set a {x 1}; trace add variable a unset {apply {args {}}} ?>", "<? puts [array exists a] ?>",
         "0"},
        {"<? proc helper {} {} ?>", "<? puts [llength [info procs helper]] ?>", "0"},
        {"<? proc puts {args} {} ?>", "<? puts fresh ?>", "fresh"},
        {"<? rename include {} ?>", "<? puts [llength [info procs include]] ?>", "1"},
        {"<? namespace eval child {} ?>", "<? puts [namespace exists child] ?>", "0"},
        {"<? upvar #0 ::global_target link; set link 1 ?>", "<? puts [info exists link] ?>", "0"},
    };
    for (const auto& c : cases) {
        put("leave.html", c.leave);
        put("probe.html", c.probe);
        for (int round = 0; round < 8; ++round) {
            ASSERT_EQ(get(port, "/leave.html").status, 200) << c.leave;
            response r = get(port, "/probe.html");
            EXPECT_EQ(r.status, 200) << c.leave;
            EXPECT_EQ(r.body, c.fresh) << c.leave << " round " << round;
        }
    }
}

TEST_F(http_page_test, includes_nest_and_missing_pages_answer_404) {
    put("a.html", "A[<? include $http_doc_root/b.html ?>]A<? include $http_doc_root/none.html ?>");
    put("b.html", "B[<? include $http_doc_root/c.html ?>]B<? include $http_doc_root/../www/c.html ?>");
    put("c.html", "C<? puts $http_doc_root ?>");
    response r = get(port, "/a.html");
    EXPECT_EQ(r.status, 200);
    // The include of a missing page prints nothing; ".." is refused.
    EXPECT_EQ(r.body, "A[B[C" + root + "]B]A");
    EXPECT_EQ(get(port, "/absent.html").status, 404);
}

// The line the core's engine reports for an error on the third line of
// a script: 3, or 1 while the core still counts every error inside its
// namespace wrapper as line 1.
int core_error_line_of_third_line() {
    auto_ptr_t<i_object> svc(kiv_core()->get_service("svc_script"));
    i_script_service* scripts = kiv_cast_i_script_service(svc);
    auto_ptr_t<i_script_engine> engine(scripts != nullptr ? scripts->get_script_engine() : nullptr);
    if (!engine || engine->execute_text("\n\nerror probe"))
        return -1;
    return engine->get_error_line();
}

TEST_F(http_page_test, a_script_error_becomes_an_escaped_paragraph_with_its_line) {
    // MARKED: the exact line needs the core's own-line error report (the
    // script error line fix of the core); without it the core says line
    // 1, which the page passes on, and this test ends as skipped.
    int core_line = core_error_line_of_third_line();
    ASSERT_TRUE(core_line == 3 || core_line == 1) << core_line;
    std::string line = std::to_string(core_line);

    put("e.html", "t1\nt2\n<? error \"}<script>\" ?>");
    response r = get(port, "/e.html");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "t1\nt2\n<p>HTTP error on line " + line + ": }&lt;script&gt;</p>");

    // In an included page the paragraph stands at the include, and the
    // including page goes on.
    put("outer.html", "<<? include $http_doc_root/inner.html ?>>");
    put("inner.html", "x\ny\n<? error {a&\"b\"} ?>never");
    r = get(port, "/outer.html");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "<x\ny\n<p>HTTP error on line " + line + ": a&amp;&quot;b&quot;</p>>");
    if (core_line != 3)
        GTEST_SKIP() << "MARKED: the core reports script errors on line 1; the exact line 3 is unchecked";
}

TEST_F(http_page_test, an_encrypted_page_runs_like_its_plain_text) {
    std::string text = "E<? puts [expr {1 + 1}] ?>E";
    unsigned crc = kiv_crc32("enc.html", 9, kiv_script_key_start);
    char key[4] = {static_cast<char>(crc), static_cast<char>(crc >> 8), static_cast<char>(crc >> 16),
                   static_cast<char>(crc >> 24)};
    auto_ptr_t<i_object> svc(kiv_core()->get_service("svc_encrypt"));
    i_encryptor* encryptor = kiv_cast_i_encryptor(svc);
    ASSERT_NE(encryptor, nullptr);
    auto_ptr_t<i_binary> cipher(encryptor->encrypt(text.data(), text.size(), key, 4, '2'));
    ASSERT_TRUE(cipher);
    std::string b64 = take_text(kiv_base64_encode(cipher->get_data(), cipher->get_data_size()));
    put("enc.html", "KIVENCF73\n" + b64 + "\n");
    EXPECT_EQ(get(port, "/enc.html").body, "E2E");
}

TEST_F(http_page_test, sessions_follow_the_sid_cookie_and_refuse_a_chosen_id) {
    put("s.html", "<? i_http_request_force_use_session $http_request\n"
                  "puts [i_named_object_get_name [i_http_request_get_session $http_request]] ?>");
    put("t.html", "<? puts [expr {$http_session eq {NULL} ? {none} : [i_named_object_get_name $http_session]}] ?>");
    response first = get(port, "/s.html", "Cookie: sid=attacker\r\n");
    std::string id = first.body;
    ASSERT_EQ(id.size(), 32u) << id;
    EXPECT_EQ(id.find_first_not_of("0123456789abcdefABCDEF"), std::string::npos) << id;
    EXPECT_EQ(first.headers["set-cookie"], "sid=" + id + "; path=/; HttpOnly; SameSite=Lax");
    response again = get(port, "/t.html", "Cookie: sid=" + id + "\r\n");
    EXPECT_EQ(again.body, id);
    EXPECT_EQ(again.headers.count("set-cookie"), 0u);
    EXPECT_EQ(get(port, "/t.html", "Cookie: sid=attacker\r\n").body, "none");
}

TEST_F(http_page_test, page_output_is_the_answer_unless_the_page_answers_itself) {
    put("ok.html", "ok");
    response wrapped = get(port, "/ok.html?rjsfunc=cb&rjsparam=1");
    EXPECT_EQ(wrapped.body, "cb(\"1\",\"ok\");");
    EXPECT_EQ(wrapped.headers["content-type"], "text/javascript");
    // A page that ends the answer before sending anything answers an
    // empty text: wrapped for a callback, empty without one.
    put("stops.html", "lost<? i_http_request_stop $http_request ?>");
    response stopped_call = get(port, "/stops.html?rjsfunc=cb&rjsparam=1");
    EXPECT_EQ(stopped_call.body, "cb(\"1\",\"\");");
    EXPECT_EQ(stopped_call.headers["content-type"], "text/javascript");
    response stopped = get(port, "/stops.html");
    EXPECT_EQ(stopped.status, 200);
    EXPECT_EQ(stopped.headers["content-length"], "0");
    EXPECT_EQ(stopped.body, "");

    put("f.txt", "the file");
    put("sends.html", "printed<? i_http_request_send_file $http_request $http_doc_root/f.txt 0 ?>after");
    response file = get(port, "/sends.html");
    EXPECT_EQ(file.status, 200);
    EXPECT_EQ(file.body, "the file");

    put("small.html", std::string(255, 's'));
    response small = get(port, "/small.html", "Accept-Encoding: gzip\r\n");
    EXPECT_EQ(small.headers.count("content-encoding"), 0u);
    EXPECT_EQ(small.headers["content-length"], "255");
    EXPECT_EQ(small.body, std::string(255, 's'));
    put("big.html", "<? puts [string repeat b 256] ?>");
    response big = get(port, "/big.html", "Accept-Encoding: gzip\r\n");
    EXPECT_EQ(big.headers["content-encoding"], "gzip");
    EXPECT_EQ(big.body.substr(0, 2), "\x1f\x8b");
    EXPECT_EQ(big.headers["content-length"], std::to_string(big.body.size()));
}

TEST_F(http_page_test, gzipped_page_output_unpacks_to_the_plain_answer_request_after_request) {
    // The workers keep their deflate streams from answer to answer: the
    // same pages asked again must still give whole, correct members. The
    // random page packs to more than one round of the packer's output
    // area.
    struct {
        const char* name;
        const char* page;
    } cases[] = {
        {"edge.html", "<? puts [string repeat e 256] ?>"},
        {"lines.html", "<? for {set i 0} {$i < 1000} {incr i} { puts \"line [format %04d $i]\n\" } ?>"},
        {"random.html", "<? expr {srand(7)}; for {set i 0} {$i < 12000} {incr i} { puts [expr {rand()}] } ?>"},
    };
    for (const auto& c : cases)
        put(c.name, c.page);
    for (int round = 0; round < 3; ++round) {
        for (const auto& c : cases) {
            std::string page = std::string("/") + c.name;
            response plain = get(port, page);
            response packed = get(port, page, "Accept-Encoding: gzip\r\n");
            ASSERT_EQ(plain.status, 200) << c.name;
            ASSERT_GE(plain.body.size(), 256u) << c.name;
            EXPECT_EQ(packed.headers["content-encoding"], "gzip") << c.name;
            EXPECT_EQ(packed.headers["content-length"], std::to_string(packed.body.size())) << c.name;
            EXPECT_EQ(gunzip(packed.body), plain.body) << c.name << " round " << round;
        }
    }
}

TEST(http_page_root, a_document_root_with_tcl_syntax_is_one_plain_value) {
    // A root holding braces, brackets and quotes must neither break the
    // page's set-up nor run.
    for (const char* name : {"KIV_HTTP_PROXY", "http_proxy", "HTTP_PROXY", "no_proxy"})
        kiv_set_env(name, nullptr);
    temp_dir temp;
    kiv_set_env("TEMP", temp.path().c_str());
    core_session session;
    ASSERT_TRUE(session.started);
    ASSERT_TRUE(load_library("kiv_core") && load_library("kiv_zip") && load_library("kiv_http"));
    auto_ptr_t<i_object> svc(kiv_core()->get_service("svc_http"));
    i_http_service* http = kiv_cast_i_http_service(svc);
    ASSERT_NE(http, nullptr);
    std::string odd = session.root.file("w} [exit] {x \" ;");
    ASSERT_EQ(mkdir(odd.c_str(), 0700), 0);
    std::ofstream(odd + "/r.html") << "<? puts $http_doc_root ?>";
    auto_ptr_t<i_http_server> site(http->create_server("site", odd.c_str()));
    ASSERT_TRUE(site);
    uint16_t port = free_port();
    ASSERT_TRUE(http->bind_server(site, "127.0.0.1", port));
    response r = get(port, "/r.html");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, odd);
    http->unbind_server(site, "127.0.0.1", port);
}

TEST_F(http_page_test, uploads_built_by_python_arrive_as_files_and_fields) {
    if (std::system("python3 -c 'import sys' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 is not installed";
    put("up.html",
        "a=<? puts [i_http_request_get_var_value $http_request a] ?> "
        "n=<? puts [i_http_request_get_var_value $http_request n] ?>\n"
        "<? set files [i_http_request_get_files $http_request]\n"
        "for {set i 0} {$i < [i_object_col_get_count $files]} {incr i} {\n"
        "  set f [kiv_cast_i_http_file_data [i_object_col_get_item_by_pos $files $i]]\n"
        "  puts \"[i_named_object_get_name $f]|[i_http_file_data_get_file_path $f]|\"\n"
        "  puts \"[i_http_file_data_get_file_name $f]|[i_http_file_data_get_content_type $f]|\"\n"
        "  puts \"[binary encode hex [i_binary_get_data [i_http_file_data_get_contents $f]]]\\n\"\n"
        "}\n"
        "set first [i_http_request_get_file $http_request f]\n"
        "puts \"first=[i_http_file_data_get_file_name $first] none=[i_http_request_get_file $http_request F]\"\n"
        "?>");
    // Python builds the body as a browser would; the first file holds
    // zero bytes, line breaks and the boundary's first byte.
    std::string script = session.root.file("upload.py");
    std::ofstream(script) << R"PY(
import sys
boundary = sys.argv[2]
quoted = sys.argv[3] == "quoted"
def part(name, data, filename=None, ctype=None):
    head = 'Content-Disposition: form-data; name="%s"' % name
    if filename is not None:
        head += '; filename="%s"' % filename
    if ctype is not None:
        head += '\r\nContent-Type: %s' % ctype
    return b'--' + boundary.encode() + b'\r\n' + head.encode() + b'\r\n\r\n' + data + b'\r\n'
body = (part('a', b'hello')
        + part('f', b'\x00-\r\n--x\x00' + boundary[:3].encode() + b'\xff', 'one.bin', 'application/octet-stream')
        + part('e', b'', '', 'application/octet-stream')
        + part('f', b'second', 'two.txt', 'text/plain')
        + part('w', b'win', 'C:\\d\\a.txt', 'text/plain')
        + part('n', b'no name', '', 'text/plain')
        + b'--' + boundary.encode() + b'--\r\n')
value = ('"%s"; charset=utf-8' % boundary) if quoted else boundary
head = ('POST /up.html?a=query HTTP/1.0\r\nHost: site\r\n'
        'Content-Type: multipart/form-data; boundary=%s\r\nContent-Length: %d\r\n\r\n' % (value, len(body)))
open(sys.argv[1], 'wb').write(head.encode() + body)
)PY";
    std::string first_file = std::string("\0-\r\n--x\0", 8) + "---\xff";
    // "n" has data but no file name: a field; the empty file input "e"
    // is left out.
    std::string expected = "a=hello n=no name\n"
                           "f|one.bin|one.bin|application/octet-stream|" + hex(first_file) + "\n" +
                           "f|two.txt|two.txt|text/plain|" + hex("second") + "\n" +
                           "w|C:\\d\\a.txt|a.txt|text/plain|" + hex("win") + "\n" +
                           "first=one.bin none=NULL";
    for (const char* form : {"plain", "quoted"}) {
        std::string request_file = session.root.file(std::string("request-") + form);
        std::string command = "python3 '" + script + "' '" + request_file + "' ---kivBoundary7 " + form;
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::ifstream in(request_file, std::ios::binary);
        std::stringstream raw;
        raw << in.rdbuf();
        response r = ask(port, raw.str());
        EXPECT_EQ(r.status, 200) << form;
        EXPECT_EQ(r.body, expected) << form;
    }
}
