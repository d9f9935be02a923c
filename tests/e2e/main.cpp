// Every end-to-end test binary starts here: into a private network namespace first, so that
// the server's fixed ports are this test's alone.
#include <gtest/gtest.h>

#include "harness.h"

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no network.
    if (!testing::GTEST_FLAG(list_tests) && !e2e::enterPrivateNetwork()) return 1;
    return RUN_ALL_TESTS();
}
