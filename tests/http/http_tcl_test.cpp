// http_tcl_test.cpp --
//
//     The HTTP library's Tcl package in script engines, after the core's
//     loader loaded kiv_http.so: the JSON writer, the service with its
//     servers and sessions, and heap texts handed back as Tcl values.

#include <kiv/core/env.h>

#include "../core/script_session.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

using kiv_test::run;

// A script engine with kiv_zip and kiv_http loaded, the machine's proxy
// variables cleared first.
class http_tcl : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(session.load("kiv_zip"));
        ASSERT_TRUE(session.load("kiv_http"));
        engine = session.engine();
        ASSERT_TRUE(engine);
    }

    // Clears the proxy variables before the session starts.
    struct no_proxy {
        no_proxy() {
            for (const char* name : {"KIV_HTTP_PROXY", "http_proxy", "HTTP_PROXY", "no_proxy"})
                kiv_set_env(name, nullptr);
        }
    } cleared;
    kiv_test::script_session session;
    auto_ptr_t<kiv::i_script_engine> engine;
};

TEST_F(http_tcl, scripts_build_json_and_configure_servers) {
    EXPECT_EQ(run(engine, "variable w [kiv_http_create_json_writer 1]\n"
                          "i_http_json_writer_start_object $w item\n"
                          "i_http_json_writer_add_property_int $w id 5\n"
                          "i_http_json_writer_add_property $w {full name} {a \"b\"}\n"
                          "i_http_json_writer_stop_element $w\n"
                          "puts [i_http_json_writer_get_json $w]\n"
                          "delete_i_http_json_writer $w"),
              "[{id:5,\"full name\":\"a \\\"b\\\"\"}]");
    EXPECT_EQ(run(engine, "puts [kiv_http_get_printable_jscript \"a\\nb\" 0]"), "a\\nb");
    // The minifier gives back what it cannot end, never an empty text.
    EXPECT_EQ(run(engine, "puts [kiv_http_minify_js {var  a = 1;}]|[kiv_http_minify_js {s = 'never closed}]|"
                          "[kiv_http_minify_js {a /* never closed}]"),
              "\nvar a=1;|s = 'never closed|a /* never closed");
    ASSERT_EQ(mkdir(session.root.file("www").c_str(), 0700), 0);
    EXPECT_EQ(run(engine, "variable h [kiv_cast_i_http_service [i_core_get_service [kiv_core] svc_http]]\n"
                          "variable s [i_http_service_create_server $h site www]\n"
                          "i_http_server_map_url $s /img /data/images\n"
                          "variable z [i_http_server_find_session $s abc 1 client]\n"
                          "puts [join [list [i_http_server_get_url_mapping $s /img/a.png] "
                          "[i_http_service_get_mime_type $h .png] [i_named_object_get_name $z] "
                          "[i_http_session_get_host $z] [i_http_session_get_exp_interval $z]] |]\n"
                          "delete_i_http_session $z\n"
                          "delete_i_http_server $s"),
              "/data/images/a.png|image/png|abc|client|3600");
    EXPECT_EQ(run(engine, "i_http_server_get_doc_root $s"),
              "error: i_http_server_get_doc_root: object not held by this interpreter");
}

TEST_F(http_tcl, http_client_from_scripts) {
    // Both arities of open refuse a resource without "/" before any
    // connection is tried.
    EXPECT_EQ(run(engine, "variable h [kiv_cast_i_http_service [i_core_get_service [kiv_core] svc_http]]\n"
                          "variable c [i_http_service_create_client $h]\n"
                          "i_http_client_set_timeout $c 7\n"
                          "i_http_client_set_use_proxy $c 0\n"
                          "i_http_client_set_header $c X-A b\n"
                          "i_http_cookie_manager_set_cookie $c sid v 0\n"
                          "set r1 [i_http_client_open $c bad 127.0.0.1 80]\n"
                          "set e1 [i_http_client_get_error_code $c]\n"
                          "set r2 [i_http_client_open $c bad 127.0.0.1 80 body]\n"
                          "puts [join [list [i_http_client_set_request_method $c POST] "
                          "[i_http_client_set_request_method $c PUT] [i_http_client_get_timeout $c] "
                          "[i_http_client_get_use_proxy $c] [i_http_cookie_manager_get_cookie $c sid] "
                          "$e1 [i_http_client_get_error_code $c] [expr {$r1 eq $r2}] "
                          "[i_http_client_get_status $c] <[i_http_client_get_reply_header $c Location]>] |]\n"
                          "delete_i_http_client $c"),
              "1|0|7|0|v|-1|-1|1|0|<>");
}
