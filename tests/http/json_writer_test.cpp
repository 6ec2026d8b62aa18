// json_writer_test.cpp --
//
//     The JSON writer's dialect: bare and quoted names, escaped texts,
//     numbers, empty objects as null, nesting, and the
//     writer's behaviour after misuse and after taking the text.

#include <kiv/core/auto_ptr.h>
#include <kiv/http/i_http_json_writer.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>

using namespace kiv;

namespace {

// Takes the text (with reset) and frees it; "<null>" for null.
std::string take(i_http_json_writer* w, bool reset = true) {
    char* text = w->get_json(reset);
    std::string out = text != nullptr ? text : "<null>";
    std::free(text);
    return out;
}

auto_ptr_t<i_http_json_writer> writer(bool collection) {
    return auto_ptr_t<i_http_json_writer>(kiv_http_create_json_writer(collection));
}

}  // namespace

TEST(json_writer, members_follow_the_dialect) {
    struct row {
        const char* what;
        bool collection;
        std::function<void(i_http_json_writer*)> build;
        const char* expected;
    };
    const row rows[] = {
        {"empty object writer", false, [](i_http_json_writer*) {}, "{}"},
        {"empty collection writer", true, [](i_http_json_writer*) {}, "[]"},
        {"name with a blank is quoted", false, [](i_http_json_writer* w) { w->add_property("a b", "x"); },
         "{\"a b\":\"x\"}"},
        {"plain name is bare", false, [](i_http_json_writer* w) { w->add_property("ab", "x"); }, "{ab:\"x\"}"},
        {"escapes in values", false, [](i_http_json_writer* w) { w->add_property("t", "say \"hi\"\nC:\\x\r"); },
         "{t:\"say \\\"hi\\\"\\nC:\\\\x\\r\"}"},
        {"unsigned int", false, [](i_http_json_writer* w) { w->add_property_int("n", -1, true); },
         "{n:4294967295}"},
        {"signed int", false, [](i_http_json_writer* w) { w->add_property_int("n", -7); }, "{n:-7}"},
        {"long", false, [](i_http_json_writer* w) { w->add_property_long("n", -9000000000LL); },
         "{n:-9000000000}"},
        {"double with six decimals", false, [](i_http_json_writer* w) { w->add_property_double("lat", 55.75); },
         "{lat:55.750000}"},
        {"negative double", false, [](i_http_json_writer* w) { w->add_property_double("x", -0.0000004); },
         "{x:-0.000000}"},
        {"non-finite numbers are null", false,
         [](i_http_json_writer* w) {
             w->add_property_double("a", std::numeric_limits<double>::quiet_NaN());
             w->add_property_double("b", -std::numeric_limits<double>::infinity());
         },
         "{a:null,b:null}"},
        {"raw json with a quoted name", false,
         [](i_http_json_writer* w) {
             w->add_json("raw", "[1,2]");
             w->add_json("x y", "{}");
         },
         "{raw:[1,2],\"x y\":{}}"},
        {"the name inside arrays is not written", true,
         [](i_http_json_writer* w) {
             w->add_property("ignored", "a");
             w->add_property_int("ignored", 2);
         },
         "[\"a\",2]"},
        {"item then empty item", true,
         [](i_http_json_writer* w) {
             w->start_object("item");
             w->add_property_int("id", 5);
             w->stop_element();
             w->start_object("item");
             w->stop_element();
         },
         "[{id:5},null]"},
        {"empty object member is null", false,
         [](i_http_json_writer* w) {
             w->start_object("a");
             w->stop_element();
         },
         "{a:null}"},
        {"nested arrays and objects with container names bare", false,
         [](i_http_json_writer* w) {
             w->add_property_int("count", 1);
             w->start_collection("maps list");
             w->start_object("m");
             w->add_property("name", "city");
             w->start_collection("tags");
             w->stop_element();
             w->stop_element();
             w->stop_element();
         },
         "{count:1,maps list:[{name:\"city\",tags:[]}]}"},
    };
    for (const row& r : rows) {
        auto w = writer(r.collection);
        r.build(w);
        EXPECT_EQ(take(w), r.expected) << r.what;
    }
}

TEST(json_writer, null_names_and_values_are_refused_without_changing_the_text) {
    auto w = writer(false);
    EXPECT_FALSE(w->add_property(nullptr, "x"));
    EXPECT_FALSE(w->add_property("a", nullptr));
    EXPECT_FALSE(w->add_json("a", nullptr));
    EXPECT_FALSE(w->add_property_int(nullptr, 1));
    EXPECT_FALSE(w->add_property_long(nullptr, 1));
    EXPECT_FALSE(w->add_property_double(nullptr, 1.0));
    EXPECT_FALSE(w->start_object(nullptr));
    EXPECT_FALSE(w->start_collection(nullptr));
    EXPECT_TRUE(w->add_property("a", "1"));
    EXPECT_EQ(take(w), "{a:\"1\"}");
}

TEST(json_writer, the_text_is_given_only_at_top_level) {
    auto w = writer(false);
    ASSERT_TRUE(w->start_object("o"));
    EXPECT_EQ(take(w), "<null>");
    ASSERT_TRUE(w->add_property_int("x", 1));
    ASSERT_TRUE(w->stop_element());
    EXPECT_EQ(take(w), "{o:{x:1}}");
}

TEST(json_writer, stop_at_top_level_disables_the_writer_until_reset) {
    auto w = writer(true);
    EXPECT_FALSE(w->stop_element());
    EXPECT_FALSE(w->add_property("a", "b"));
    EXPECT_FALSE(w->start_object("o"));
    EXPECT_FALSE(w->stop_element());
    EXPECT_EQ(take(w), "<null>");
    w->reset();
    EXPECT_TRUE(w->add_property_int("a", 3));
    EXPECT_EQ(take(w), "[3]");
}

TEST(json_writer, taking_the_text_with_reset_starts_a_fresh_one) {
    auto w = writer(false);
    w->add_property_int("a", 1);
    EXPECT_EQ(take(w, true), "{a:1}");
    w->add_property_int("b", 2);
    EXPECT_EQ(take(w, true), "{b:2}");
    // Without reset the writer goes on from where it was.
    w->add_property_int("c", 3);
    EXPECT_EQ(take(w, false), "{c:3}");
    w->add_property_int("d", 4);
    EXPECT_EQ(take(w, false), "{c:3,d:4}");
}

TEST(json_writer, reset_drops_open_containers) {
    auto w = writer(false);
    w->start_collection("a");
    w->start_object("b");
    w->add_property("c", "d");
    w->reset();
    EXPECT_EQ(take(w), "{}");
    EXPECT_FALSE(w->stop_element());
}

TEST(json_writer, deep_nesting_closes_in_order) {
    auto w = writer(true);
    const int depth = 1000;
    for (int i = 0; i < depth; ++i)
        ASSERT_TRUE(w->start_collection("x"));
    for (int i = 0; i < depth; ++i)
        ASSERT_TRUE(w->stop_element());
    EXPECT_EQ(take(w), std::string(depth + 1, '[') + std::string(depth + 1, ']'));
}

TEST(json_writer, the_cast_answers_only_the_writer_interface) {
    auto w = writer(false);
    EXPECT_EQ(kiv_cast_i_http_json_writer(w), w.get());
    EXPECT_EQ(kiv_cast_i_http_json_writer(nullptr), nullptr);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_FALSE(w->get_interface("i_string", &out));
    EXPECT_EQ(out, nullptr);
}
