// The entry of every Win32 test program: the tests change the registry (the
// program's settings, Run keys, file associations), so they refuse to run
// anywhere but under Wine, where nobody's real settings are at stake.
#include <gtest/gtest.h>

#include <cstdio>

#include "SettingsSupport.h"

int main(int argc, char** argv) {
    if (!testsupport::RunningUnderWine()) {
        std::fprintf(stderr,
                     "These tests change the registry and run only under Wine; this is not Wine, so nothing was "
                     "run.\n");
        return 2;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
