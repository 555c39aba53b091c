// The system tests' machine on the host: the Win32 stand-in, with a
// temporary folder as the Windows folder.
#include "ty_system_test_support.h"

#include <stdlib.h>

#include "ty_standin.h"

namespace {

std::string makeTemporaryFolder(const char *prefix) {
    std::string pattern = std::string("/tmp/") + prefix + "XXXXXX";
    if (mkdtemp(&pattern[0]) == NULL) {
        ADD_FAILURE() << "mkdtemp " << pattern;
        return "/nonexistent";
    }
    return pattern;
}

void removeTree(const std::string &path) {
    std::string command = "rm -rf '" + path + "'";
    if (system(command.c_str()) != 0) ADD_FAILURE() << "could not remove " << path;
}

std::string windowsFolder;

}  // namespace

void machineBefore() {}
void machineAfter() {}

void SystemTest::SetUp() {
    standinReset();
    folder = makeTemporaryFolder("ty_system_");
    windowsFolder = makeTemporaryFolder("ty_windows_");
    standinSetWindowsDirectory(windowsFolder.c_str());
}

void SystemTest::TearDown() {
    EXPECT_EQ(standinOpenRegistryKeyCount(), 0) << "registry keys left open";
    EXPECT_EQ(standinOpenDescriptorCount(), 0) << "files left open";
    standinReset();
    removeTree(folder);
    removeTree(windowsFolder);
}

bool SystemTest::useFamily(int family) {
    switch (family) {
    case 2: standinSetVersion(0x0A280105u); return true;  // NT 5.1
    case 3: standinSetVersion(0x80000003u); return true;  // top bit, major 3
    case 4: standinSetVersion(0xC0000A04u); return true;  // 4.10
    default: return false;
    }
}

std::string SystemTest::inFolder(const std::string &name) const { return folder + "\\" + name; }
