// string_proc_test.cpp --
//
//     Variable expansion of the string service: braced and bare names,
//     the order of sources, and texts that stop the expansion (unclosed
//     brace, lone "$", "$" before a digit).

#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/env.h>
#include <kiv/core/string_proc.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

using namespace kiv;

namespace {

using values = std::map<std::string, std::string>;

// A source that knows a fixed set of names and counts its calls.
class map_source : public object, public i_var_subst {
public:
    explicit map_source(values known) : values_(std::move(known)) {}
    char* get_variable_value(const char* name) override {
        ++calls;
        auto it = values_.find(name);
        return it != values_.end() ? strdup(it->second.c_str()) : nullptr;
    }
    bool get_interface(const char* name, void** out) override {
        if (answer_interface(name, "i_var_subst", static_cast<i_var_subst*>(this), out))
            return true;
        return object::get_interface(name, out);
    }
    int calls = 0;

private:
    values values_;
};

class string_service : public ::testing::Test {
protected:
    void SetUp() override {
        proc_ = new string_proc();
        proc_->addref();
        kiv_set_env("KIV_TEST_ROOT", "c:/app");
        kiv_set_env("KIV_TEST_UNSET", nullptr);
    }
    void TearDown() override {
        kiv_set_env("KIV_TEST_ROOT", nullptr);
        proc_->release();
    }
    std::string process(const char* src, i_var_subst* source = nullptr) {
        auto_string out(proc_->process(src, source));
        return out.is_ok() ? std::string(out) : "<null>";
    }
    string_proc* proc_ = nullptr;
};

}  // namespace

TEST_F(string_service, braced_and_bare_names_expand_from_the_environment) {
    EXPECT_EQ(process("${KIV_TEST_ROOT}/plugins"), "c:/app/plugins");
    EXPECT_EQ(process("$KIV_TEST_ROOT/tmp"), "c:/app/tmp");
    EXPECT_EQ(process("[$KIV_TEST_ROOT][${KIV_TEST_ROOT}]"), "[c:/app][c:/app]");
}

TEST_F(string_service, unknown_variables_expand_to_nothing) {
    EXPECT_EQ(process("a${KIV_TEST_UNSET}b"), "ab");
    EXPECT_EQ(process("${KIV_TEST_UNSET}"), "");
    EXPECT_EQ(process("a${}b"), "ab");
}

TEST_F(string_service, a_bare_name_holds_letters_and_underscores_only) {
    EXPECT_EQ(process("$KIV_TEST_ROOT2"), "c:/app2");
    EXPECT_EQ(process("$KIV_TEST_ROOT.x"), "c:/app.x");
}

TEST_F(string_service, an_unclosed_brace_keeps_the_rest_unchanged) {
    EXPECT_EQ(process("${KIV_TEST_ROOT"), "${KIV_TEST_ROOT");
    EXPECT_EQ(process("$KIV_TEST_ROOT/${x/$KIV_TEST_ROOT"), "c:/app/${x/$KIV_TEST_ROOT");
}

TEST_F(string_service, a_dollar_before_a_digit_or_alone_keeps_the_rest_unchanged) {
    EXPECT_EQ(process("${KIV_TEST_ROOT} costs $5 ${KIV_TEST_ROOT}"), "c:/app costs $5 ${KIV_TEST_ROOT}");
    EXPECT_EQ(process("price $"), "price $");
    EXPECT_EQ(process("$"), "$");
    EXPECT_EQ(process("$ $KIV_TEST_ROOT"), "$ $KIV_TEST_ROOT");
    EXPECT_EQ(process("$$KIV_TEST_ROOT"), "$$KIV_TEST_ROOT");
}

TEST_F(string_service, values_are_not_expanded_again) {
    kiv_set_env("KIV_TEST_LOOP", "${KIV_TEST_LOOP}$KIV_TEST_ROOT");
    EXPECT_EQ(process("<$KIV_TEST_LOOP>"), "<${KIV_TEST_LOOP}$KIV_TEST_ROOT>");
    kiv_set_env("KIV_TEST_LOOP", nullptr);
}

TEST_F(string_service, texts_without_dollar_come_back_as_equal_copies) {
    const char* src = "plain text";
    auto_string out(proc_->process(src, nullptr));
    EXPECT_STREQ(out, src);
    EXPECT_NE(static_cast<const char*>(out), src);
    EXPECT_EQ(process(""), "");
    EXPECT_EQ(process(nullptr), "<null>");
}

TEST_F(string_service, the_callers_source_wins_then_registered_sources_then_the_environment) {
    auto_ptr_t<map_source> given(new map_source(values{{"KIV_TEST_ROOT", "given"}}));
    given->addref();
    auto_ptr_t<map_source> first(new map_source(values{{"KIV_TEST_ROOT", "first"}, {"ONLY_FIRST", "f"}}));
    first->addref();
    auto_ptr_t<map_source> second(new map_source(values{{"ONLY_FIRST", "second"}, {"ONLY_SECOND", "s"}}));
    second->addref();
    auto_ptr_t<i_object_col_x> sources(proc_->get_global_var_substs());
    auto_ptr_t<i_string> not_a_source(kiv_create_string("skipped"));
    sources->add_item(not_a_source);
    sources->add_item(static_cast<i_var_subst*>(first.get()));
    sources->add_item(static_cast<i_var_subst*>(second.get()));

    EXPECT_EQ(process("$KIV_TEST_ROOT", given.get()), "given");
    EXPECT_EQ(process("$KIV_TEST_ROOT"), "first");
    EXPECT_EQ(process("$ONLY_FIRST:$ONLY_SECOND"), "f:s");
    sources->remove_item(static_cast<i_var_subst*>(first.get()));
    EXPECT_EQ(process("$KIV_TEST_ROOT $ONLY_FIRST"), "c:/app second");
    EXPECT_GT(second->calls, 0);
}

TEST_F(string_service, answers_its_interfaces_and_its_name) {
    i_string_proc& iface = *proc_;
    EXPECT_EQ(kiv_cast_i_string_proc(&iface), &iface);
    i_named_object* named = kiv_cast_i_named_object(&iface);
    ASSERT_NE(named, nullptr);
    EXPECT_STREQ(named->get_name(), "string_service");
    EXPECT_EQ(kiv_cast_i_var_subst(&iface), nullptr);
}
