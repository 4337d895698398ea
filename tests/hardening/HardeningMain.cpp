// The suite's entry point: a GoogleTest run, or one child of it.
#include <gtest/gtest.h>

#include "Child.h"

int main(int argc, char** argv) {
    int exitCode = 0;
    if (hardening::RunChildFromCommandLine(&exitCode)) return exitCode;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
