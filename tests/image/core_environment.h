// core_environment.h --
//
//     Gives every test of the program that includes it a core for the
//     whole run, as every host of the image library has one: file names
//     are made absolute through it (without a core no path is made, and
//     neither files nor trace files can be named).

#ifndef KIV_TESTS_IMAGE_CORE_ENVIRONMENT_H
#define KIV_TESTS_IMAGE_CORE_ENVIRONMENT_H

#include <kiv/core/i_core.h>

#include <gtest/gtest.h>

namespace kiv_test {

class core_environment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(kiv_initialize()); }
    void TearDown() override { kiv_terminate(); }
};

inline ::testing::Environment* const image_core_environment =
    ::testing::AddGlobalTestEnvironment(new core_environment);

}  // namespace kiv_test

#endif
