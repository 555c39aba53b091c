// The fixture of the system-state tests: the registry, the Windows folder and
// files of the machine the tests run on, reached only through Win32 and C
// runtime calls. On the host the machine is the Win32 stand-in, fresh for
// every test; a Windows build of the same tests implements this fixture over
// the real registry and file system, where the reset removes what the tests
// leave behind (the maker's key, "PendingFileRenameOperations",
// WININIT.INI).
#ifndef TY_SYSTEM_TEST_SUPPORT_H
#define TY_SYSTEM_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>

#include "ty_common_test_support.h"

// Around a test that changes the machine: on Windows, what it added to the
// registry keys and the folders of drive C: that the installer works in goes
// again, and "PendingFileRenameOperations" is set aside for it; the stand-in
// starts afresh for every test anyway.
void machineBefore();
void machineAfter();

class SystemTest : public ::testing::Test {
protected:
    // A clean machine of the NT family and an empty folder of the test's own.
    void SetUp() override;
    // Also checks that no registry key was left open.
    void TearDown() override;

    // Makes the machine report this Windows family (2, 3 or 4) to GetVersion.
    // Where that cannot be chosen, tells whether it already does; the test is
    // then skipped on a machine of another family.
    bool useFamily(int family);

    // A name in the test's folder, joined with "\".
    std::string inFolder(const std::string &name) const;

    std::string folder;
};

#endif
