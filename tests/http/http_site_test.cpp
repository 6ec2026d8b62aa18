// http_site_test.cpp --
//
//     A site started the way an application starts it: kiv_init_app reads
//     an environment file naming the site, loads kiv_http by name, and the
//     site's "start.tcl" (in a temporary tree) creates a server and binds
//     it; curl then fetches a Tcl page of the site.

#include <kiv/core/env.h>
#include <kiv/core/plugins.h>

#include <kiv_test/run_command.h>

#include "../core/net_peer.h"
#include "http_fixture.h"

#include <cstdlib>
#include <fstream>
#include <string>

using namespace kiv_test;

namespace {

class http_site_test : public http_framework {};

}  // namespace

TEST_F(http_site_test, a_site_from_its_start_script_serves_a_page_to_curl) {
    if (std::system("curl --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "curl is not installed";
    std::string site = folder("sites/web/www");
    std::ofstream(session.root.file("sites/web/start.tcl"))
        << "set h [kiv_cast_i_http_service [i_core_get_service [kiv_core] svc_http]]\n"
           "set s [i_http_service_create_server $h 127.0.0.1 $site_root/www]\n"
           "if {![i_http_service_bind_server $h $s 127.0.0.1 $::env(KIV_TEST_SITE_PORT)]} {\n"
           "  set site_error {cannot bind}\n"
           "} else {\n"
           "  set site_status 1\n"
           "}\n";
    std::ofstream(site + "/index.html") << "<h1><? puts [expr {6 * 7}] ?></h1>";
    uint16_t port = free_port();
    ASSERT_NE(port, 0);
    std::ofstream(session.root.file("app.env"))
        << "KIV_SITES_LIST=web\nKIV_TEST_SITE_PORT=" << port << "\nPATH=" << bin_dir() << "\n";
    std::string old_path = kiv_get_env("PATH");
    EXPECT_TRUE(kiv_init_app("app.env"));
    kiv_set_env("PATH", old_path.c_str());
    std::string page;
    run_command("curl -s http://127.0.0.1:" + std::to_string(port) + "/index.html", &page);
    EXPECT_EQ(page, "<h1>42</h1>");
    auto_ptr_t<kiv::i_http_server> server(http->find_server("127.0.0.1", "127.0.0.1", port));
    ASSERT_TRUE(server);
    http->unbind_server(server, "127.0.0.1", port);
    kiv_set_env("KIV_SITES_LIST", nullptr);
    kiv_set_env("KIV_TEST_SITE_PORT", nullptr);
}
