// The main of every test program: GoogleTest with the check that fails a test on any
// unexpected level-1 log record.

#include <gtest/gtest.h>

#include "support/TestSupport.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    InstallLevelOneLogCheck();
    return RUN_ALL_TESTS();
}
