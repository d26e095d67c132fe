// GoogleTest main for the tests that need no display.
#include <gtest/gtest.h>

#include "tests/support/test_environment.h"

int main(int argc, char** argv) {
    pw::testing::PrepareTestEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    curl_global_cleanup();
    return result;
}
