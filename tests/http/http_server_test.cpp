// http_server_test.cpp --
//
//     Virtual servers: URL mapping, page settings and the access-log
//     path, and sessions (ids, start and expiry events, the sweep on a
//     clock the test drives, parallel use from many threads).

#include <kiv/core/object_col.h>
#include <kiv/http/i_http_server.h>
#include <kiv/http/i_http_session.h>

#include "http_fixture.h"

#include <set>
#include <thread>

using namespace kiv;
using namespace kiv_test;

namespace {

class http_server_test : public http_framework {
protected:
    void SetUp() override {
        http_framework::SetUp();
        folder("www");
        site.reset(http->create_server("site", "www"));
        ASSERT_TRUE(site);
    }
    void TearDown() override {
        site.reset();
        http_framework::TearDown();
    }

    std::string mapped(const char* url) { return take_text(site->get_url_mapping(url)); }

    auto_ptr_t<i_http_server> site;
};

bool is_lower_hex(const std::string& text) {
    return text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

TEST_F(http_server_test, url_mapping_uses_the_shortest_plain_prefix) {
    site->map_url("/a", "/x");
    site->map_url("/a0", "/y");
    site->map_url("/ab", "/z");
    site->map_url("/img", "/data/images");
    site->map_url("/img/big", "/never");
    site->map_url("/img", "/second/target/dropped");
    site->map_url("no-slash", "/t");
    site->map_url("/empty", "");
    site->map_url(nullptr, "/t");
    site->map_url("/n", nullptr);
    const char* rows[][2] = {
        {"/abc", "/xbc"},
        {"/a", "/x"},
        {"/a0", "/x0"},
        {"/ab", "/xb"},
        {"/img/a.png", "/data/images/a.png"},
        {"/imgx", "/data/imagesx"},
        {"/img", "/data/images"},
        {"/img/big/c", "/data/images/big/c"},
        {"/im", "<null>"},
        {"/", "<null>"},
        {"", "<null>"},
        {"no-slash/x", "<null>"},
        {"/empty/x", "<null>"},
        {"/b", "<null>"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(mapped(r[0]), r[1]) << r[0];
    EXPECT_EQ(site->get_url_mapping(nullptr), nullptr);
}

TEST_F(http_server_test, page_settings_and_log_path) {
    EXPECT_EQ(take_text(site->get_default_page()), "index.html");
    EXPECT_EQ(take_text(site->get_error_page()), "");
    EXPECT_EQ(take_text(site->get_log_file()), "");
    site->set_error_page("err.html");
    EXPECT_EQ(take_text(site->get_error_page()), "/err.html");
    site->set_error_page("/e/404.html");
    EXPECT_EQ(take_text(site->get_error_page()), "/e/404.html");
    site->set_default_page("/main.html");
    EXPECT_EQ(take_text(site->get_default_page()), "main.html");
    site->set_default_page("start.html");
    EXPECT_EQ(take_text(site->get_default_page()), "start.html");
    site->set_default_page(nullptr);
    site->set_error_page(nullptr);
    EXPECT_EQ(take_text(site->get_default_page()), "start.html");
    site->set_log_file("logs/site.log");
    EXPECT_EQ(take_text(site->get_log_file()), session.root.file("logs/site.log"));
    site->set_log_file(nullptr);
    EXPECT_EQ(take_text(site->get_log_file()), session.root.file("logs/site.log"));
}

TEST_F(http_server_test, names_ids_and_interfaces) {
    EXPECT_STREQ(site->get_name(), "site");
    EXPECT_FALSE(site->set_name("other"));
    EXPECT_STREQ(site->get_name(), "site");
    auto_ptr_t<i_http_server> second(http->create_server("second", "www"));
    EXPECT_GT(second->get_id(), site->get_id());
    EXPECT_EQ(kiv_cast_i_http_server(site), site.get());
    EXPECT_NE(kiv_cast_i_property_manager(site), nullptr);
    EXPECT_NE(kiv_cast_i_typed_object(site), nullptr);
    EXPECT_EQ(kiv_cast_i_http_session(site), nullptr);
    EXPECT_EQ(kiv_cast_i_http_service(site), nullptr);
    EXPECT_TRUE(kiv_cast_i_property_manager(site)->set_property("title", "Maps"));
    EXPECT_STREQ(kiv_cast_i_property_manager(site)->get_property("TITLE"), "Maps");
}

TEST_F(http_server_test, sessions_are_found_made_and_announced) {
    event_counter started("KIV_EVT_HTTP_SESSION_STARTED");
    EXPECT_EQ(site->find_session(nullptr, true, "h"), nullptr);
    EXPECT_EQ(site->find_session("abc", false, "h"), nullptr);
    auto_ptr_t<i_http_session> chosen(site->find_session("abc", true, "client.example"));
    ASSERT_TRUE(chosen);
    EXPECT_STREQ(chosen->get_name(), "abc");
    EXPECT_FALSE(chosen->set_name("other"));
    EXPECT_EQ(take_text(chosen->get_host()), "client.example");
    EXPECT_EQ(chosen->get_exp_interval(), 3600u);
    EXPECT_EQ(chosen->get_start_time(), chosen->get_access_time());
    auto_ptr_t<i_http_session> again(site->find_session("abc", true, "x"));
    EXPECT_EQ(again.get(), chosen.get());

    auto_ptr_t<i_http_session> first(site->find_session("", true, nullptr));
    auto_ptr_t<i_http_session> second(site->find_session("", true, nullptr));
    ASSERT_TRUE(first && second);
    std::string id1 = first->get_name(), id2 = second->get_name();
    EXPECT_EQ(id1.size(), 32u);
    EXPECT_TRUE(is_lower_hex(id1)) << id1;
    EXPECT_NE(id1, id2);
    EXPECT_EQ(take_text(first->get_host()), "");

    auto_ptr_t<i_object_col> all(site->get_sessions());
    EXPECT_EQ(all->get_count(), 3u);
    eventually([&] { return started.count() == 3; });
    std::vector<std::string> list = started.names();
    EXPECT_EQ(std::set<std::string>(list.begin(), list.end()), (std::set<std::string>{"abc", id1, id2}));
    for (int64_t id : started.ids())
        EXPECT_EQ(id, site->get_id());
}

TEST_F(http_server_test, touching_keeps_the_last_named_host) {
    auto_ptr_t<i_http_session> s(site->find_session("t", true, "one"));
    s->touch(nullptr);
    s->touch("");
    EXPECT_EQ(take_text(s->get_host()), "one");
    s->touch("two");
    EXPECT_EQ(take_text(s->get_host()), "two");
}

TEST_F(http_server_test, the_sweep_expires_idle_sessions_once) {
    uint32_t t = settle_driven_clock();
    event_counter expired("KIV_EVT_HTTP_SESSION_EXPIRED");
    auto_ptr_t<i_http_session> kept(site->find_session("kept", true, "h"));
    auto_ptr_t<i_http_session> idle(site->find_session("idle", true, "h"));
    auto_ptr_t<i_http_session> zero(site->find_session("zero", true, "h"));
    auto_ptr_t<i_http_session> forever(site->find_session("forever", true, "h"));
    ASSERT_EQ(idle->get_access_time(), t);
    zero->set_exp_interval(0);
    forever->set_exp_interval(0xFFFFFFFFu);
    zero.reset();

    // At the same second nothing expires, not even an interval of 0.
    site->bg_task();
    auto_ptr_t<i_object_col> all(site->get_sessions());
    EXPECT_EQ(all->get_count(), 4u);

    advance_clock_to(t + 1, 1);
    site->bg_task();
    eventually([&] { return expired.count() == 1; });
    EXPECT_EQ(expired.names(), std::vector<std::string>{"zero"});

    advance_clock_to(t + 1800, 1799);
    kept->touch("later");
    advance_clock_to(t + 3600, 1800);
    site->bg_task();
    all.reset(site->get_sessions());
    EXPECT_EQ(all->get_count(), 3u);

    advance_clock_to(t + 3601, 1);
    site->bg_task();
    eventually([&] { return expired.count() == 2; });
    EXPECT_EQ(expired.names()[1], "idle");
    all.reset(site->get_sessions());
    EXPECT_EQ(kiv_test::entries(all).size(), 2u);
    auto_ptr_t<i_http_session> still(site->find_session("kept", false, nullptr));
    EXPECT_TRUE(still);
    still.reset(site->find_session("forever", false, nullptr));
    EXPECT_TRUE(still);
    // The sweep holds on to nothing: once its event let go, the expired
    // session lives on in our reference only.
    eventually([&] {
        int count = idle->addref();
        idle->release();
        return count == 2;
    });
    for (int64_t id : expired.ids())
        EXPECT_EQ(id, site->get_id());
}

TEST_F(http_server_test, several_sessions_expire_in_one_sweep) {
    uint32_t t = settle_driven_clock();
    event_counter expired("KIV_EVT_HTTP_SESSION_EXPIRED");
    const char* ids[] = {"a", "b", "c", "d"};
    for (const char* id : ids) {
        auto_ptr_t<i_http_session> s(site->find_session(id, true, nullptr));
        s->set_exp_interval(id[0] == 'c' ? 100 : 10);
    }
    advance_clock_to(t + 11, 11);
    site->bg_task();
    eventually([&] { return expired.count() == 3; });
    std::vector<std::string> list = expired.names();
    EXPECT_EQ(std::set<std::string>(list.begin(), list.end()), (std::set<std::string>{"a", "b", "d"}));
    auto_ptr_t<i_object_col> left(site->get_sessions());
    EXPECT_EQ(left->get_count(), 1u);
}

TEST_F(http_server_test, the_service_thread_sweeps_on_its_own) {
    uint32_t t = settle_driven_clock();
    event_counter expired("KIV_EVT_HTTP_SESSION_EXPIRED");
    {
        auto_ptr_t<i_http_session> s(site->find_session("s", true, nullptr));
        s->set_exp_interval(1);
    }
    // The thread takes the clock when it starts, which a loaded machine
    // may delay past any one step: the clock moves on in server-pass
    // steps until the sweep has run.
    uint32_t now = t;
    while (expired.count() == 0) {
        now += 5;
        advance_clock_to(now, 5);
        holds_within([&] { return expired.count() == 1; }, 500);
    }
    EXPECT_EQ(expired.count(), 1u);
}

TEST_F(http_server_test, deleting_a_server_releases_its_sessions_without_events) {
    event_counter expired("KIV_EVT_HTTP_SESSION_EXPIRED");
    auto_ptr_t<i_http_session> held(site->find_session("held", true, nullptr));
    { auto_ptr_t<i_http_session> other(site->find_session("other", true, nullptr)); }
    http->delete_server(site);
    site.reset();
    // Only our reference is left on the held session, once the queued
    // start event has let go of its own.
    eventually([&] {
        int count = held->addref();
        held->release();
        return count == 2;
    });
    // An event would have been queued by now; the queue is first in,
    // first out, so one fired after it arrives after it.
    event_counter marker("KIV_TEST_MARKER");
    kiv_generate_event("KIV_TEST_MARKER", 0, nullptr, false);
    eventually([&] { return marker.count() == 1; });
    EXPECT_EQ(expired.count(), 0u);
}

TEST_F(http_server_test, parallel_requests_make_one_session_per_id_and_share_it) {
    const int threads = 8;
    std::vector<std::thread> workers;
    std::vector<i_http_session*> seen(threads, nullptr);
    for (int i = 0; i < threads; ++i) {
        workers.emplace_back([&, i] {
            auto_ptr_t<i_http_session> s(site->find_session("shared", true, "h"));
            seen[i] = s.get();
            for (int k = 0; k < 200; ++k) {
                s->touch(k % 2 == 0 ? "even.example" : "odd.example");
                std::string host = take_text(s->get_host());
                EXPECT_TRUE(host == "even.example" || host == "odd.example" || host == "h") << host;
                s->set_exp_interval(100 + k);
                EXPECT_GE(s->get_exp_interval(), 100u);
                auto_ptr_t<i_object_col> all(site->get_sessions());
                site->map_url("/m", "/n");
                take_text(site->get_url_mapping("/m/x"));
            }
        });
    }
    for (auto& w : workers)
        w.join();
    for (int i = 1; i < threads; ++i)
        EXPECT_EQ(seen[i], seen[0]);
    auto_ptr_t<i_object_col> all(site->get_sessions());
    EXPECT_EQ(all->get_count(), 1u);
}
