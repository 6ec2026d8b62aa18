// script_locale_test.cpp --
//
//     Scripts under a host that switches to a decimal comma after start,
//     as a GUI program's locale object does for its translations: for
//     the whole process (LC_ALL or LC_NUMERIC) or for its own thread
//     only. Every script runs in the "C" locale, whether Tcl formats a
//     number when it compiles the code or when it runs it, nested
//     evaluations and failing scripts included, and the calling thread
//     has its own locale back afterwards.

#include <kiv/core/i_script.h>

#include "script_session.h"

#include <kiv_test/made_locale.h>

#include <gtest/gtest.h>

#include <locale.h>

#include <memory>
#include <string>

using kiv_test::run;

namespace {

const char german[] = "de_DE.UTF-8";

enum class switched { process_all, process_numeric, thread_only };

// The host's switch to the made German locale, in force while it lives.
class german_host {
public:
    explicit german_host(switched how) {
        if (how == switched::thread_only)
            thread_.reset(new kiv_test::scoped_thread_locale(LC_NUMERIC, german));
        else
            process_.reset(new kiv_test::scoped_locale(how == switched::process_all ? LC_ALL : LC_NUMERIC, german));
    }
    // Returns: "" when the locale is in force, else why not.
    const std::string& why() const { return thread_ ? thread_->why() : process_->why(); }

private:
    std::unique_ptr<kiv_test::scoped_locale> process_;
    std::unique_ptr<kiv_test::scoped_thread_locale> thread_;
};

}  // namespace

TEST(script_locale_test, scripts_format_numbers_in_c_and_the_thread_keeps_the_hosts_locale) {
    kiv_test::script_session session;
    const std::string file = session.write("three_quarters.tcl", "puts [format %.2f 0.75]");
    struct {
        const char* what;
        std::string script;
        const char* output;
    } const scripts[] = {
        {"a format of constants, folded when the text is compiled", "puts [format %.3f 1.5]", "1.500"},
        {"a format of a variable read back by expr", "set v 2.5; puts [expr {[format %.1f $v] + 1}]", "3.5"},
        {"a proc compiled at its first call", "proc quarter {} {format %.2f 0.25}; puts [quarter]", "0.25"},
        {"a script file run through source", "source {" + file + "}", "0.75"},
        // The inner evaluation ends first; the outer one goes on in C.
        {"an evaluation nested in another",
         "$kiv_script_engine execute_text {puts [format %.1f 0.5]|}; set v 2.5; puts [format %.1f $v]", "0.5|2.5"},
        // Last: a failure makes the engine's next user start afresh.
        {"a failing script", "error [format %.1f 1.5]", "error: 1.5"},
    };
    const struct {
        const char* what;
        switched how;
    } hosts[] = {
        {"setlocale(LC_ALL)", switched::process_all},
        {"setlocale(LC_NUMERIC)", switched::process_numeric},
        {"uselocale with a locale of the thread's own", switched::thread_only},
    };
    for (const auto& host : hosts) {
        german_host switch_made(host.how);
        ASSERT_EQ(switch_made.why(), "") << host.what;
        ASSERT_EQ(kiv_test::decimal_text(1.5), "1,5") << host.what << ": the made locale writes a decimal comma";
        // Fetched after the switch: the engine the last host's failing
        // script left goes, and a new interpreter is set up.
        auto engine = session.engine();
        ASSERT_TRUE(engine) << host.what;
        EXPECT_EQ(kiv_test::decimal_text(1.5), "1,5") << host.what << ", the thread's locale after the fetch";
        for (const auto& script : scripts) {
            EXPECT_EQ(run(engine, script.script), script.output) << host.what << ", " << script.what;
            EXPECT_EQ(kiv_test::decimal_text(1.5), "1,5") << host.what << ", the thread's locale after "
                                                          << script.what;
        }
        engine.reset();  // the last user's release cleans the engine
        EXPECT_EQ(kiv_test::decimal_text(1.5), "1,5") << host.what << ", the thread's locale after the release";
    }
}
