// http_page_bench.cpp --
//
//     Tcl pages of the web server against the same answers served as
//     static files, in one run over 127.0.0.1: a hello-world page, and a
//     4 KiB page (text around a code block) asked with gzip. Every answer
//     is checked: the page and the file must give the same body (after
//     gunzip for the 4 KiB case); otherwise the program exits with 1. The
//     ratio lines print page time over file time.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/http/i_http_server.h>
#include <kiv/http/i_http_service.h>

#include "../tests/http/http_exchange.h"
#include "ratio_main.h"

#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

uint16_t port = 0;
std::string hello_text = "Hello, world!";
std::string big_text;  // 4 KiB of text, what the big page prints
bool mismatch = false;

void fetch(benchmark::State& state, const char* page, const char* headers, const std::string& expected,
           bool gzipped) {
    std::string request = std::string("GET ") + page + " HTTP/1.0\r\nHost: site\r\n" + headers + "\r\n";
    for (auto _ : state) {
        kiv_test::response r = kiv_test::ask(port, request);
        std::string body = gzipped ? kiv_test::gunzip(r.body) : r.body;
        if (r.status != 200 || body != expected || (gzipped && r.headers["content-encoding"] != "gzip")) {
            mismatch = true;
            state.SkipWithError("wrong answer");
            break;
        }
    }
}

void bm_hello_page(benchmark::State& state) { fetch(state, "/hello.html", "", hello_text, false); }
void bm_hello_file(benchmark::State& state) { fetch(state, "/hello.txt", "", hello_text, false); }
void bm_4k_gzip_page(benchmark::State& state) {
    fetch(state, "/big.html", "Accept-Encoding: gzip\r\n", big_text, true);
}
void bm_4k_gzip_file(benchmark::State& state) {
    fetch(state, "/big.txt", "Accept-Encoding: gzip\r\n", big_text, true);
}

BENCHMARK(bm_hello_page)->Unit(benchmark::kMicrosecond);
BENCHMARK(bm_hello_file)->Unit(benchmark::kMicrosecond);
BENCHMARK(bm_4k_gzip_page)->Unit(benchmark::kMicrosecond);
BENCHMARK(bm_4k_gzip_file)->Unit(benchmark::kMicrosecond);

void write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string root = kiv_test::make_temp_folder("kiv_http_bench_");
    if (root.empty() || !kiv_set_env("KIV_ROOT_PATH", root.c_str()))
        return 1;
    kiv_set_env("TEMP", root.c_str());
    for (const char* name : {"KIV_HTTP_PROXY", "http_proxy", "HTTP_PROXY", "no_proxy"})
        kiv_set_env(name, nullptr);
    if (!kiv_initialize())
        return 1;
    int rc = 1;
    const std::string www = root + "/www";
    mkdir(www.c_str(), 0700);
    for (int line = 0; big_text.size() < 4096; ++line)
        big_text += "<tr><td>row " + std::to_string(line) + "</td><td>some text of the table</td></tr>\n";
    big_text.resize(4096);
    // The big page prints a tenth of its text from code.
    std::string code_part = big_text.substr(2048, 400);
    std::string tcl_word;
    for (char c : code_part) {
        if (std::string("[]{}$\"\\").find(c) != std::string::npos)
            tcl_word += '\\';
        tcl_word += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    write(www + "/hello.html", hello_text);
    write(www + "/hello.txt", hello_text);
    write(www + "/big.html", big_text.substr(0, 2048) + "<? puts \"" + tcl_word + "\" ?>" + big_text.substr(2448));
    write(www + "/big.txt", big_text);
    {
        kiv::i_core* core = kiv_core();
        bool loaded = core->load_library(KIV_BIN_DIR "/kiv_core.so") != nullptr &&
                      core->load_library(KIV_BIN_DIR "/kiv_zip.so") != nullptr &&
                      core->load_library(KIV_BIN_DIR "/kiv_http.so") != nullptr;
        auto_ptr_t<kiv::i_object> svc(loaded ? core->get_service("svc_http") : nullptr);
        kiv::i_http_service* http = kiv_cast_i_http_service(svc);
        auto_ptr_t<kiv::i_http_server> site(http != nullptr ? http->create_server("site", www.c_str()) : nullptr);
        port = kiv_test::free_port();
        if (site && port != 0 && http->bind_server(site, "127.0.0.1", port)) {
            kiv_bench::run_with_ratios(argc, argv,
                                       {{"hello-world page vs static file", "bm_hello_page", "bm_hello_file"},
                                        {"4 KiB page vs static file, gzip", "bm_4k_gzip_page", "bm_4k_gzip_file"}});
            rc = mismatch ? 1 : 0;
            if (mismatch)
                std::printf("a page and its static file gave different answers\n");
            http->unbind_server(site, "127.0.0.1", port);
        }
    }
    kiv_terminate();
    std::filesystem::remove_all(root);
    return rc;
}
