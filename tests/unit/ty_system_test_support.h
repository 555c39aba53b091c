// The fixture of the system-state tests, on Windows: the real registry and
// file system, a private folder as the Windows folder, and afterwards what the
// test left behind removed (tests/win/ty_system_test_support_win.cpp).
#ifndef TY_SYSTEM_TEST_SUPPORT_H
#define TY_SYSTEM_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>

#include "ty_common_test_support.h"

// Around a test that changes the machine: what it added to the registry keys
// and the folders of drive C: that the installer works in goes again, and
// "PendingFileRenameOperations" is set aside for it.
void machineBefore();
void machineAfter();

class SystemTest : public ::testing::Test {
protected:
    // A clean machine of the NT family and an empty folder of the test's own.
    void SetUp() override;
    // Also checks that no registry key was left open.
    void TearDown() override;

    // Whether GetVersion reports this Windows family (2, 3 or 4): the family
    // cannot be chosen from inside the process, so a test of another family
    // is skipped (win_unit_tests runs the program as each family).
    bool useFamily(int family);

    // A name in the test's folder, joined with "\".
    std::string inFolder(const std::string &name) const;

    std::string folder;
};

#endif
