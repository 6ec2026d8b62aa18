// script_test.cpp --
//
//     Script engines on one thread: the namespace `kiv` and its preamble,
//     what counts as a failure, cleaning between users and rebuilding
//     after a failure, init commands and files, registered objects, and
//     the Tcl object registry as scripts and C++ see it.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_script.h>
#include <kiv/core/i_string.h>
#include <kiv/core/string_impl.h>
#include <kiv/core/tcl_registry.h>

#include "../../core/src/script_engine.h"
#include "script_session.h"

#include <gtest/gtest.h>

#include <string>

using kiv_test::run;

namespace {

class script_engine_test : public ::testing::Test {
protected:
    kiv_test::script_session session;
};

}  // namespace

TEST_F(script_engine_test, runs_text_in_the_kiv_namespace_and_collects_puts) {
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(run(engine, "puts [namespace current]"), "::kiv");
    EXPECT_EQ(run(engine, "puts hello; puts world"), "helloworld");
}
