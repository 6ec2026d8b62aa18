// env_test.cpp --
//
//     The locked environment's memory and its readers without a lock:
//     writes that repeat a value, switch among values already seen, or
//     unset and set variables in the middle of the environment again and
//     again leave the heap as it was; what glibc's getenv handed out stays
//     readable and keeps its text after later writes; a change made behind
//     the wrapper through glibc's own setenv and unsetenv (as Tcl's env
//     array makes them) survives the wrapper's next write.

#include <kiv/core/env.h>

#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// Bytes the process holds from the heap now. A sanitizer's allocator
// replaces glibc's, whose counters then stay still: ask the sanitizer.
size_t heap_in_use() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return __sanitizer_get_current_allocated_bytes();
#else
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

const int rounds = 200000;
const size_t growth_cap = 2u << 20;

}  // namespace

TEST(env, repeated_and_switching_writes_leave_the_heap_as_it_was) {
    struct writes {
        const char* name;
        std::function<void(int)> step;  // the writes of round i
    };
    const writes cases[] = {
        {"one value set again", [](int) { kiv_set_env("KIV_ENV_MEM_A", "one"); }},
        {"two values in turn", [](int i) { kiv_set_env("KIV_ENV_MEM_A", i % 2 == 0 ? "one" : "two"); }},
        {"set and unset in turn", [](int i) { kiv_set_env("KIV_ENV_MEM_A", i % 2 == 0 ? "one" : nullptr); }},
        // Each unset takes a variable out of the middle, so the
        // environment goes through a few orders of names over and over.
        {"middle variables unset and set again",
         [](int i) {
             const char* name = i % 2 == 0 ? "KIV_ENV_MEM_A" : "KIV_ENV_MEM_B";
             kiv_set_env(name, nullptr);
             kiv_set_env(name, "back");
         }},
    };
    for (const writes& c : cases) {
        kiv_set_env("KIV_ENV_MEM_A", "one");
        kiv_set_env("KIV_ENV_MEM_B", "one");
        kiv_set_env("KIV_ENV_MEM_C", "one");
        for (int i = 0; i < 8; ++i)  // every order and value seen once
            c.step(i);
        const size_t before = heap_in_use();
        for (int i = 0; i < rounds; ++i)
            c.step(i);
        const size_t after = heap_in_use();
        EXPECT_LT(after > before ? after - before : 0, growth_cap) << c.name << ": " << before << " -> " << after;
        EXPECT_EQ(kiv_get_env("KIV_ENV_MEM_C"), "one") << c.name;
    }
    for (const char* name : {"KIV_ENV_MEM_A", "KIV_ENV_MEM_B", "KIV_ENV_MEM_C"})
        kiv_set_env(name, nullptr);
}

TEST(env, texts_getenv_handed_out_outlive_later_writes_and_changes_made_through_glibc_are_kept) {
    ASSERT_TRUE(kiv_set_env("KIV_ENV_KEEP_A", "first"));
    ASSERT_TRUE(kiv_set_env("KIV_ENV_KEEP_B", "b"));
    const char* kept = std::getenv("KIV_ENV_KEEP_A");
    ASSERT_NE(kept, nullptr);
    // Changed in place, out of the middle, and back: the text read first
    // is still there, unchanged.
    ASSERT_TRUE(kiv_set_env("KIV_ENV_KEEP_A", "second"));
    ASSERT_TRUE(kiv_set_env("KIV_ENV_KEEP_A", nullptr));
    ASSERT_TRUE(kiv_set_env("KIV_ENV_KEEP_A", "third"));
    EXPECT_STREQ(kept, "first");

    // Tcl's env array writes through glibc, which changes the array in
    // `environ` in place (a value, an unset) or makes its own (a new
    // name). The wrapper's next write keeps what glibc did.
    struct change {
        const char* what;
        std::function<int()> by_glibc;
        const char* name;
        const char* value;  // null: unset
    };
    const change changes[] = {
        {"a value set in place", [] { return setenv("KIV_ENV_KEEP_B", "by glibc", 1); }, "KIV_ENV_KEEP_B",
         "by glibc"},
        {"a variable unset in place", [] { return unsetenv("KIV_ENV_KEEP_A"); }, "KIV_ENV_KEEP_A", nullptr},
        {"a variable added", [] { return setenv("KIV_ENV_KEEP_C", "added", 1); }, "KIV_ENV_KEEP_C", "added"},
    };
    int n = 0;
    for (const change& c : changes) {
        ASSERT_EQ(c.by_glibc(), 0) << c.what;
        ASSERT_TRUE(kiv_set_env("KIV_ENV_KEEP_D", std::to_string(++n).c_str())) << c.what;
        std::string value;
        EXPECT_EQ(kiv_get_env(c.name, value), c.value != nullptr) << c.what;
        if (c.value != nullptr) {
            EXPECT_EQ(value, c.value) << c.what;
        }
        EXPECT_EQ(kiv_get_env("KIV_ENV_KEEP_D"), std::to_string(n)) << c.what;
    }
    for (const char* name : {"KIV_ENV_KEEP_A", "KIV_ENV_KEEP_B", "KIV_ENV_KEEP_C", "KIV_ENV_KEEP_D"})
        kiv_set_env(name, nullptr);
}
