// http_service_test.cpp --
//
//     The library's entry and the service "svc_http": loading through a
//     configuration, the private temp folder, media types, proxy
//     settings from the environment, servers, bindings to real listening
//     sockets on 127.0.0.1, and the choice of server for a host name.

#include <kiv/core/config.h>
#include <kiv/core/library_protocol.h>
#include <kiv/http/i_http_server.h>

#include "../core/net_peer.h"
#include "http_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

using namespace kiv;
using namespace kiv_test;

namespace {

// Whether a TCP connection to 127.0.0.1:port is accepted.
bool connects(uint16_t port) {
    fd_holder fd(connect_tcp(port));
    return fd.get() >= 0;
}

}  // namespace

TEST(http_library, names_itself_and_its_version) {
    EXPECT_STREQ(kiv_library_name(), "kiv_http");
    EXPECT_STREQ(kiv_library_version(), "3.18.0094");
}

TEST(http_library, loads_through_a_configuration_and_loads_kiv_zip_by_name) {
    clear_proxy_env();
    core_session session(false);
    ASSERT_TRUE(session.started);
    // kiv_zip is found by name on PATH, as in an installation.
    std::string old_path = kiv_get_env("PATH");
    kiv_set_env("PATH", (bin_dir() + ":" + old_path).c_str());
    std::ofstream(session.root.file("config.xml"))
        << "<config><libraries>"
           "<library path='" << bin_dir() << "/kiv_core.so' priority='100' platform=''/>"
           "<library path='" << bin_dir() << "/kiv_http.so' priority='50' platform=''/>"
           "</libraries></config>";
    EXPECT_TRUE(kiv_load_config("config.xml"));
    kiv_set_env("PATH", old_path.c_str());
    EXPECT_TRUE(kiv_library_loaded("kiv_http"));
    EXPECT_TRUE(kiv_library_loaded("kiv_zip"));
    auto_ptr_t<i_object> svc(kiv_core()->get_service("svc_http"));
    ASSERT_NE(kiv_cast_i_http_service(svc), nullptr);
    // The core's registry and ours are the only references.
    EXPECT_EQ(svc->addref(), 3);
    EXPECT_EQ(svc->release(), 2);
    // The private folder for request files.
    struct stat st;
    std::string folder = std::string(kiv_temp_path()) + "/http";
    ASSERT_EQ(lstat(folder.c_str(), &st), 0) << folder;
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(http_library, refuses_a_temp_http_entry_that_is_not_its_own_folder) {
    clear_proxy_env();
    temp_dir temp;
    kiv_set_env("TEMP", temp.path().c_str());
    {
        // A symbolic link planted where the folder belongs.
        temp_dir elsewhere;
        ASSERT_EQ(symlink(elsewhere.path().c_str(), temp.file("http").c_str()), 0);
        core_session session(false);
        ASSERT_TRUE(load_library("kiv_core"));
        ASSERT_TRUE(load_library("kiv_zip"));
        EXPECT_FALSE(load_library("kiv_http"));
        auto_ptr_t<i_object> svc(kiv_core()->get_service("svc_http"));
        EXPECT_FALSE(svc);
        ASSERT_EQ(unlink(temp.file("http").c_str()), 0);
    }
    {
        // A folder made open to everyone is made private again.
        ASSERT_EQ(mkdir(temp.file("http").c_str(), 0777), 0);
        ASSERT_EQ(chmod(temp.file("http").c_str(), 0777), 0);
        core_session session(false);
        ASSERT_TRUE(load_library("kiv_core"));
        ASSERT_TRUE(load_library("kiv_zip"));
        ASSERT_TRUE(load_library("kiv_http"));
        struct stat st;
        ASSERT_EQ(stat(temp.file("http").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    kiv_set_env("TEMP", nullptr);
}

TEST(http_library, reads_the_proxy_from_the_environment) {
    struct row {
        const char* what;
        const char* kiv_proxy;   // null: unset
        const char* http_proxy;  // null: unset
        const char* no_proxy;    // null: unset
        const char* host;
        unsigned short port;
        const char* bypass;
    };
    const row rows[] = {
        {"own variable", "proxy.local:3128", nullptr, nullptr, "proxy.local", 3128, ""},
        {"own variable with port 0", "proxy.local:0", nullptr, nullptr, "", 0, ""},
        {"own variable without port", "proxy.local", nullptr, nullptr, "", 0, ""},
        {"own variable with a bad port", "proxy.local:31x", nullptr, nullptr, "", 0, ""},
        {"own variable with a port too large", "proxy.local:70000", nullptr, nullptr, "", 0, ""},
        {"own variable wins over http_proxy", "a:1", "http://b:2/", nullptr, "a", 1, ""},
        {"http_proxy with scheme and slash", nullptr, "http://cache.example:8080/", "localhost,.corp.example, 10.1.1.1",
         "cache.example", 8080, "localhost *.corp.example 10.1.1.1"},
        {"http_proxy with credentials", nullptr, "http://user:pw@cache.example:8080", nullptr, "cache.example", 8080,
         ""},
        {"http_proxy without port", nullptr, "http://cache.example/", "x", "", 0, ""},
        {"nothing set", nullptr, nullptr, nullptr, "", 0, ""},
    };
    for (const row& r : rows) {
        clear_proxy_env();
        kiv_set_env("KIV_HTTP_PROXY", r.kiv_proxy);
        kiv_set_env("http_proxy", r.http_proxy);
        kiv_set_env("no_proxy", r.no_proxy);
        core_session session(false);
        auto_ptr_t<i_object> svc;
        i_http_service* http = nullptr;
        ASSERT_NO_FATAL_FAILURE(load_http(svc, http));
        EXPECT_EQ(take_text(http->get_proxy_host()), r.host) << r.what;
        EXPECT_EQ(http->get_proxy_port(), r.port) << r.what;
        EXPECT_EQ(take_text(http->get_proxy_bypass()), r.bypass) << r.what;
    }
    // The upper-case variable is read when the lower-case one is unset.
    clear_proxy_env();
    kiv_set_env("HTTP_PROXY", "upper.example:3128");
    core_session session(false);
    auto_ptr_t<i_object> svc;
    i_http_service* http = nullptr;
    ASSERT_NO_FATAL_FAILURE(load_http(svc, http));
    EXPECT_EQ(take_text(http->get_proxy_host()), "upper.example");
    clear_proxy_env();
}

TEST_F(http_framework, media_types_by_extension) {
    const char* rows[][2] = {
        {".html", "text/html; charset=utf-8"}, {".htm", "text/html"},
        {".js", "text/javascript"},            {".wmlc", "application/vnd.wap.wmlc"},
        {".kml", "application/vnd.google-earth.kml+xml"},
        {".HTML", "application/binary"},       {".unknown", "application/binary"},
        {"", "application/binary"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(take_text(http->get_mime_type(r[0])), r[1]) << r[0];
    EXPECT_EQ(http->get_mime_type(nullptr), nullptr);
    http->set_mime_type(".svg", "image/svg+xml");
    http->set_mime_type(".js", "application/javascript");
    http->set_mime_type("", "x/y");
    http->set_mime_type(".x", "");
    EXPECT_EQ(take_text(http->get_mime_type(".svg")), "image/svg+xml");
    EXPECT_EQ(take_text(http->get_mime_type(".js")), "application/javascript");
    EXPECT_EQ(take_text(http->get_mime_type(".x")), "application/binary");
}

TEST_F(http_framework, proxy_setter_rules) {
    EXPECT_TRUE(http->set_proxy_server("", 8080, nullptr));
    EXPECT_EQ(http->get_proxy_port(), 0);
    EXPECT_TRUE(http->set_proxy_server("p.example", 8080, "a b"));
    EXPECT_EQ(take_text(http->get_proxy_host()), "p.example");
    EXPECT_EQ(http->get_proxy_port(), 8080);
    EXPECT_TRUE(http->set_proxy_server(nullptr, 1, nullptr));
    EXPECT_EQ(take_text(http->get_proxy_host()), "");
    EXPECT_EQ(http->get_proxy_port(), 0);
    EXPECT_EQ(take_text(http->get_proxy_bypass()), "a b");
}

TEST_F(http_framework, servers_need_an_existing_root_and_a_free_name) {
    folder("www");
    auto_ptr_t<i_http_server> site(http->create_server("site", "www"));
    ASSERT_TRUE(site);
    EXPECT_EQ(take_text(site->get_doc_root()), session.root.file("www"));
    EXPECT_FALSE(http->create_server("site", "www"));
    EXPECT_FALSE(http->create_server("other", "missing"));
    EXPECT_FALSE(http->create_server("other", ""));
    EXPECT_FALSE(http->create_server(nullptr, "www"));
    EXPECT_FALSE(http->create_server("other", nullptr));
    auto_ptr_t<i_object_col> servers(http->get_servers());
    ASSERT_EQ(servers->get_count(), 1u);
    http->delete_server(site);
    servers.reset(http->get_servers());
    EXPECT_EQ(servers->get_count(), 0u);
    // Only our reference is left.
    EXPECT_EQ(site->addref(), 2);
    EXPECT_EQ(site->release(), 1);
    // The name is free again.
    auto_ptr_t<i_http_server> again(http->create_server("site", "www"));
    EXPECT_TRUE(again);
}

TEST_F(http_framework, find_server_prefers_the_name_then_the_first_bound) {
    folder("www");
    uint16_t port = free_port();
    ASSERT_NE(port, 0);
    auto_ptr_t<i_http_server> alpha(http->create_server("alpha", "www"));
    auto_ptr_t<i_http_server> beta(http->create_server("beta", "www"));
    ASSERT_TRUE(alpha && beta);
    ASSERT_TRUE(http->bind_server(beta, "127.0.0.1", port));
    // With one server every name finds it.
    auto_ptr_t<i_http_server> found(http->find_server("alpha", "127.0.0.1", port));
    EXPECT_EQ(found.get(), beta.get());
    ASSERT_TRUE(http->bind_server(alpha, "127.0.0.1", port));
    struct row {
        const char* name;
        i_http_server* expected;
    };
    const row rows[] = {
        {"alpha", alpha}, {"www.alpha", alpha}, {"beta", beta}, {"www.beta", beta},
        {"gamma", beta},  {"ALPHA", beta},      {"www.", beta}, {"", beta},
    };
    for (const row& r : rows) {
        found.reset(http->find_server(r.name, "127.0.0.1", port));
        EXPECT_EQ(found.get(), r.expected) << r.name;
    }
    EXPECT_FALSE(http->find_server("alpha", "127.0.0.2", port));
    EXPECT_FALSE(http->find_server("alpha", "127.0.0.1", port == 65535 ? 1 : port + 1));
    EXPECT_FALSE(http->find_server(nullptr, "127.0.0.1", port));
    EXPECT_FALSE(http->find_server("alpha", nullptr, port));
    // A deleted server leaves the binding, which keeps its socket.
    http->delete_server(beta);
    http->delete_server(alpha);
    EXPECT_FALSE(http->find_server("alpha", "127.0.0.1", port));
    EXPECT_TRUE(connects(port));
}

TEST_F(http_framework, binding_opens_and_the_last_unbinding_closes_the_socket) {
    folder("www");
    uint16_t port = free_port();
    ASSERT_NE(port, 0);
    auto_ptr_t<i_http_server> a(http->create_server("a", "www"));
    auto_ptr_t<i_http_server> b(http->create_server("b", "www"));
    EXPECT_FALSE(http->bind_server(nullptr, "127.0.0.1", port));
    EXPECT_FALSE(http->bind_server(a, nullptr, port));
    EXPECT_FALSE(http->bind_server(a, "127.0.0.1", 0));
    EXPECT_FALSE(http->bind_server(a, "127.0.0.1", 70000));
    EXPECT_FALSE(connects(port));

    ASSERT_TRUE(http->bind_server(a, "127.0.0.1", port));
    EXPECT_FALSE(http->bind_server(a, "127.0.0.1", port));
    ASSERT_TRUE(http->bind_server(b, "127.0.0.1", port));
    EXPECT_TRUE(connects(port));
    // A second address on the same port is a binding of its own.
    ASSERT_TRUE(http->bind_server(a, "127.0.0.2", port));

    EXPECT_FALSE(http->unbind_server(a, "127.0.0.3", port));
    EXPECT_TRUE(http->unbind_server(a, "127.0.0.1", port));
    EXPECT_FALSE(http->unbind_server(a, "127.0.0.1", port));
    EXPECT_TRUE(connects(port));
    EXPECT_TRUE(http->unbind_server(b, "127.0.0.1", port));
    EXPECT_FALSE(connects(port));
    // The other address is still served.
    auto_ptr_t<i_http_server> found(http->find_server("a", "127.0.0.2", port));
    EXPECT_EQ(found.get(), a.get());
    EXPECT_TRUE(http->unbind_server(a, "127.0.0.2", port));
    // The bindings hold no reference any more.
    found.reset();
    EXPECT_EQ(a->addref(), 3);  // ours, the servers collection's, this one
    a->release();
}

TEST_F(http_framework, an_empty_address_binds_every_address) {
    folder("www");
    uint16_t port = free_port();
    ASSERT_NE(port, 0);
    auto_ptr_t<i_http_server> a(http->create_server("a", "www"));
    ASSERT_TRUE(http->bind_server(a, "", port));
    EXPECT_FALSE(http->bind_server(a, "*", port));
    auto_ptr_t<i_http_server> found(http->find_server("x", "*", port));
    EXPECT_EQ(found.get(), a.get());
    found.reset(http->find_server("x", "", port));
    EXPECT_EQ(found.get(), a.get());
    EXPECT_TRUE(connects(port));
    EXPECT_TRUE(http->unbind_server(a, "", port));
    EXPECT_FALSE(connects(port));
}

TEST(http_service_shutdown, the_service_closes_its_sockets_when_the_framework_ends) {
    clear_proxy_env();
    uint16_t port = free_port();
    ASSERT_NE(port, 0);
    {
        core_session session(false);
        auto_ptr_t<i_object> svc;
        i_http_service* http = nullptr;
        ASSERT_NO_FATAL_FAILURE(load_http(svc, http));
        std::system(("mkdir -p '" + session.root.file("www") + "'").c_str());
        auto_ptr_t<i_http_server> site(http->create_server("site", "www"));
        ASSERT_TRUE(http->bind_server(site, "127.0.0.1", port));
        EXPECT_TRUE(connects(port));
    }
    EXPECT_FALSE(connects(port));
}
