// System state when the system fails: registry calls refused, keys that will
// not close, no Windows folder, hand-overs refused, paths too long to compose.
// The faults come through the Windows test program's import slots.
#include <direct.h>
#include <string.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ty_deferred_delete.h"
#include "ty_pending_reboot.h"
#include "ty_product.h"
#include "ty_registry.h"
#include "ty_system_test_support.h"
#include "ty_common_test_support.h"
#include "ty_standin_system_control.h"

namespace {

const int kStatusSentinel = -77;

const std::string kNoWindowsFolderText = expectedText("no-windows-folder");
const std::string kNoWindowsFolderLaterText = expectedText("no-windows-folder-later");

// A folder that cannot go now: it holds a file.
std::string folderNotEmpty(const std::string &path) {
    EXPECT_EQ(_mkdir(path.c_str()), 0) << path;
    writeFile(path + "\\kept.dat", "x");
    return path;
}

// A file that cannot go now: the system refuses to delete it.
std::string fileNotDeletable(const std::string &path) {
    writeFile(path, "x");
    standinDenyPath(path.c_str());
    return path;
}

const char kRunOnce[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

std::string runOnceValue(const char *name) {
    std::string data = valueData(kRunOnce, name);
    return data.c_str();
}

void expectOneErrorBox(const char *caption, const std::string &text) {
    const std::vector<StandinMessageBox> &boxes = standinMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << describeBoxes();
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].caption, caption);
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_EQ(boxes[0].style, MB_ICONERROR) << "got 0x" << std::hex << boxes[0].style;
}

}  // namespace

bool readInstallDir() {
    char buffer[TY_REGISTRY_DATA_SIZE];
    return readRegistryString(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, "2.9",
                              TY_VALUE_INSTALL_DIR, buffer);
}

bool scanVersions() {
    bool noNewer, olderFound;
    char olderName[TY_SUBKEY_NAME_SIZE];
    return scanInstalledVersions(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, NULL, (double)2.9f,
                                 &noNewer, &olderFound, olderName);
}

void installedVersion() { setString(TY_KEY_VERSION, TY_VALUE_INSTALL_DIR, "C:\\Q"); }

// -- Each primitive under each fault ----------------------------------------------

struct FaultCase {
    const char *name;
    StandinRegistryCall failing;
    int nth;
    LONG error;
    bool (*call)();
    int status;
    bool (*jobDone)();     // what must hold afterwards; NULL: nothing to see
};

void PrintTo(const FaultCase &row, std::ostream *os) { *os << row.name; }

class RegistryFaultTest : public SystemTest, public ::testing::WithParamInterface<FaultCase> {};

// Before every row: the version key with "InstallDir", an older version's
// key, and the Run key with a value of someone else's.
TEST_P(RegistryFaultTest, FailsWithItsStatus) {
    const FaultCase &c = GetParam();
    installedVersion();
    makeKey(std::string(TY_KEY_PRODUCT) + "\\2.5");
    setString(TY_KEY_RUN, "Other", "C:\\Other.exe");
    standinFailRegistryCall(c.failing, c.nth, c.error);
    registryStatus = kStatusSentinel;
    EXPECT_FALSE(c.call());
    EXPECT_EQ(registryStatus, c.status) << "got " << registryStatus << ", expected " << c.status;
    if (c.jobDone) {
        EXPECT_TRUE(c.jobDone());
    }
}

bool createUninstallEntry() {
    return createRegistryKey(HKEY_LOCAL_MACHINE, TY_KEY_UNINSTALL, TY_PRODUCT_NAME_VERSION, NULL);
}

bool setRunValue() {
    char data[TY_REGISTRY_DATA_SIZE] = "C:\\Q\\Tessaly Ticklet.exe";
    return setRegistryValueIfAbsent(HKEY_LOCAL_MACHINE, TY_KEY_RUN, NULL, NULL, TY_VALUE_RUN_SCHEDULER, data);
}

bool deleteOlderKey() { return deleteRegistryKey(HKEY_LOCAL_MACHINE, TY_KEY_PRODUCT, NULL, NULL, "2.5"); }

bool runValueWritten() { return valueData(TY_KEY_RUN, TY_VALUE_RUN_SCHEDULER) != "<no value>"; }
bool runValueAbsent() { return !runValueWritten(); }
bool olderKeyGone() { return !keyExists(std::string(TY_KEY_PRODUCT) + "\\2.5"); }
bool olderKeyKept() { return keyExists(std::string(TY_KEY_PRODUCT) + "\\2.5"); }

const LONG kDenied = ERROR_ACCESS_DENIED;
const LONG kBadHandle = ERROR_INVALID_HANDLE;

INSTANTIATE_TEST_SUITE_P(
    Registry, RegistryFaultTest,
    ::testing::Values(
        // A key that will not close fails the call after its job is done.
        FaultCase{"ReadCloseFails", kStandinRegCloseKey, 1, kBadHandle, readInstallDir, 3, NULL},
        FaultCase{"SetCloseFails", kStandinRegCloseKey, 1, kBadHandle, setRunValue, 3, runValueWritten},
        FaultCase{"DeleteKeyCloseFails", kStandinRegCloseKey, 1, kBadHandle, deleteOlderKey, 3, olderKeyGone},
        // A key that may not be opened.
        FaultCase{"ReadOpenDenied", kStandinRegOpenKey, 1, kDenied, readInstallDir, 0, NULL},
        FaultCase{"CreateDenied", kStandinRegCreateKey, 1, kDenied, createUninstallEntry, 10, NULL},
        // The call itself refused.
        FaultCase{"ReadQueryFails", kStandinRegQueryValue, 1, kDenied, readInstallDir, 0, NULL},
        FaultCase{"ScanSecondEnumerationFails", kStandinRegEnumKey, 2, kDenied, scanVersions, 4, NULL},
        FaultCase{"SetWriteFails", kStandinRegSetValue, 1, kDenied, setRunValue, 0, runValueAbsent},
        FaultCase{"DeleteKeyFails", kStandinRegDeleteKey, 1, kDenied, deleteOlderKey, 0, olderKeyKept}),
    [](const ::testing::TestParamInfo<FaultCase> &info) { return info.param.name; });

// -- The pending-reboot check when it cannot tell ---------------------------------

TEST_F(SystemTest, NoWindowsFolderOnTheWindows95FamilyShowsItsBoxAndCannotTell) {
    standinSetWindowsDirectory(NULL);
    bool pending = true;
    registryStatus = kStatusSentinel;
    EXPECT_FALSE(checkPendingReboot(&pending, 4));
    EXPECT_FALSE(pending);
    EXPECT_EQ(registryStatus, 0) << "got " << registryStatus << ", expected 0";
    expectOneErrorBox("Tessaly Installer/Uinstaller", kNoWindowsFolderText);
}

TEST_F(SystemTest, WininitThatCannotBeLookedAtCannotTell) {
    char folder[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(folder, sizeof folder), 0u);
    standinDenyPath((std::string(folder) + "\\WININIT.INI").c_str());
    bool pending = true;
    registryStatus = kStatusSentinel;
    EXPECT_FALSE(checkPendingReboot(&pending, 4));
    EXPECT_FALSE(pending);
    EXPECT_EQ(registryStatus, 0) << "got " << registryStatus << ", expected 0";
    EXPECT_TRUE(standinMessageBoxes().empty()) << describeBoxes();
}

// -- Hand-overs that fail ----------------------------------------------------------

class DeferredDeleteFaultTest : public SystemTest {};

class NoWindowsFolderTest : public SystemTest, public ::testing::WithParamInterface<int> {};

TEST_P(NoWindowsFolderTest, ShowsItsBoxAndCountsTheItemAsGone) {
    if (!useFamily(GetParam())) GTEST_SKIP() << "the system is not of family " << GetParam();
    standinSetWindowsDirectory(NULL);
    std::string item = folderNotEmpty(inFolder("Quenfold"));
    EXPECT_TRUE(deleteNowOrAtReboot(item.c_str(), true));
    expectOneErrorBox("Tessaly Installer/Uninstaller", kNoWindowsFolderLaterText);
    EXPECT_TRUE(exists(inFolder("Quenfold\\kept.dat")));
    EXPECT_EQ(pendingRenames(), "<no value>");
}

INSTANTIATE_TEST_SUITE_P(DeferredDelete, NoWindowsFolderTest, ::testing::Values(3, 4),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return "Family" + std::to_string(info.param);
                         });

TEST_F(DeferredDeleteFaultTest, ARefusedHandOverIsStillReportedAsHandedOver) {
    if (!useFamily(2)) GTEST_SKIP() << "the system is not of the NT family";
    standinRefuseMoveFile();
    std::string item = folderNotEmpty(inFolder("Quenfold"));
    EXPECT_FALSE(deleteNowOrAtReboot(item.c_str(), true));
    EXPECT_EQ(pendingRenames(), "<no value>");
    EXPECT_TRUE(standinMessageBoxes().empty()) << describeBoxes();
}

// WININIT.INI is rewritten whole; when that cannot be done safely, it is left
// as it was.
struct WininitFaultCase {
    const char *name;
    void (*fault)();
};

void PrintTo(const WininitFaultCase &row, std::ostream *os) { *os << row.name; }

class WininitFaultTest : public SystemTest, public ::testing::WithParamInterface<WininitFaultCase> {};

TEST_P(WininitFaultTest, LeavesTheFileAsItWas) {
    if (!useFamily(4)) GTEST_SKIP() << "the system is not of the Windows 95 family";
    const std::string before = "[boot]\r\nshell=Explorer.exe\r\n[Rename]\r\nNUL=C:\\OLD.TMP\r\n";
    writeFile(windowsFile("WININIT.INI"), before);
    std::string item = fileNotDeletable(inFolder("TYEngine.dll"));
    GetParam().fault();
    EXPECT_FALSE(deleteNowOrAtReboot(item.c_str(), false));
    EXPECT_EQ(readFile(windowsFile("WININIT.INI")), before);
    EXPECT_TRUE(standinMessageBoxes().empty()) << describeBoxes();
}

INSTANTIATE_TEST_SUITE_P(
    DeferredDelete, WininitFaultTest,
    ::testing::Values(
        WininitFaultCase{"NoMemoryForTheOldContent", [] { standinFailAllocation(1); }},
        WininitFaultCase{"FileCannotBeRead", [] { standinSetReadResult(1, -1); }}),
    [](const ::testing::TestParamInfo<WininitFaultCase> &info) { return info.param.name; });

// -- Folders on the other families ---------------------------------------------

struct FolderRemovalCase {
    const char *name;
    int family;
    bool comspecExists;  // else COMSPEC names no file: the Windows folder's interpreter runs
};

void PrintTo(const FolderRemovalCase &row, std::ostream *os) { *os << row.name; }

class FolderRemovalTest : public SystemTest, public ::testing::WithParamInterface<FolderRemovalCase> {};

// Removals run innermost first after the restart as long as each folder's
// entry is numbered below the ones made before it, an earlier run's included.
TEST_P(FolderRemovalTest, EachFolderGetsARunOnceRemovalNumberedDownwards) {
    if (!useFamily(GetParam().family)) GTEST_SKIP() << "the system is not of family " << GetParam().family;
    setString(kRunOnce, "Tessaly folder 999", "C:\\WINDOWS\\COMMAND.COM /C RD C:\\EARLIER");
    std::string interpreter = inFolder("COMMAND.COM");
    if (GetParam().comspecExists) {
        writeFile(inFolder("COMMAND.COM"), "MZ");
    } else {
        writeFile(windowsFile("COMMAND.COM"), "MZ");
    }
    ASSERT_TRUE(SetEnvironmentVariableA("COMSPEC", interpreter.c_str()));
    if (!GetParam().comspecExists) {
        char windows[MAX_PATH] = "";
        ASSERT_GT(GetWindowsDirectoryA(windows, sizeof windows), 0u);
        interpreter = std::string(windows) + "\\COMMAND.COM";
    }
    std::string outer = folderNotEmpty(inFolder("Tessaly Maker"));
    std::string inner = folderNotEmpty(outer + "\\Quenfold for Vexor");
    // The installation folder comes with its closing "\", which RD does not take.
    EXPECT_FALSE(deleteNowOrAtReboot((inner + "\\").c_str(), true));
    EXPECT_FALSE(deleteNowOrAtReboot(outer.c_str(), true));
    const std::string run = "\"" + interpreter + "\" /C RD \"";
    EXPECT_EQ(runOnceValue("Tessaly folder 998"), run + shortName(inner) + "\"");
    EXPECT_EQ(runOnceValue("Tessaly folder 997"), run + shortName(outer) + "\"");
    EXPECT_EQ(runOnceValue("Tessaly folder 996"), "<no value>");
    EXPECT_EQ(readFile(windowsFile("WININIT.INI")), "<no file>");
    EXPECT_TRUE(standinMessageBoxes().empty()) << describeBoxes();
}

INSTANTIATE_TEST_SUITE_P(DeferredDelete, FolderRemovalTest,
                         ::testing::Values(FolderRemovalCase{"Family3", 3, true},
                                           FolderRemovalCase{"Family4", 4, true},
                                           FolderRemovalCase{"ComspecNamesNoFile", 4, false}),
                         [](const ::testing::TestParamInfo<FolderRemovalCase> &info) {
                             return info.param.name;
                         });

// When no removal can be arranged, the user is told which folder to delete.
struct FolderLeftCase {
    const char *name;
    void (*fault)(const std::string &folder);
    const char *folderName = "Quenfold for Vexor";
};

void PrintTo(const FolderLeftCase &row, std::ostream *os) { *os << row.name; }

class FolderLeftTest : public SystemTest, public ::testing::WithParamInterface<FolderLeftCase> {};

TEST_P(FolderLeftTest, NamesTheFolderAndCountsItAsGone) {
    if (!useFamily(4)) GTEST_SKIP() << "the system is not of the Windows 95 family";
    std::string item = folderNotEmpty(inFolder(GetParam().folderName));
    GetParam().fault(folder);
    EXPECT_TRUE(deleteNowOrAtReboot(item.c_str(), true));
    const std::vector<StandinMessageBox> &boxes = standinMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << describeBoxes();
    EXPECT_EQ(boxes[0].caption, "Tessaly Installer/Uninstaller");
    EXPECT_EQ(boxes[0].text,
              "The following folder could not be deleted, and Windows cannot be asked to delete "
              "it at the next system reboot. Please delete it yourself after the next reboot:\n\n\t" +
                  item);
    EXPECT_EQ(boxes[0].style, MB_ICONWARNING) << "got 0x" << std::hex << boxes[0].style;
    EXPECT_EQ(runOnceValue("Tessaly folder 999"), keyExists(kRunOnce) ? "<no value>" : "<no key>");
    EXPECT_EQ(readFile(windowsFile("WININIT.INI")), "<no file>");
}

INSTANTIATE_TEST_SUITE_P(
    DeferredDelete, FolderLeftTest,
    ::testing::Values(
        FolderLeftCase{"NoInterpreter", [](const std::string &) {}},
        FolderLeftCase{"ComspecAndWindowsFolderNameNoInterpreter", [](const std::string &folder) {
            SetEnvironmentVariableA("COMSPEC", (folder + "\\CMD.EXE").c_str()); }},
        // Read by the interpreter, "&" would end RD's folder and start a command.
        FolderLeftCase{"NameReadByTheInterpreter", [](const std::string &) {
            writeFile(windowsFile("COMMAND.COM"), "MZ"); }, "R&D"},
        FolderLeftCase{"CommandTooLong", [](const std::string &folder) {
            // 255 characters: it fits, and quoted with RD's words does not.
            std::string interpreter = folder + "\\" + std::string(254 - folder.size(), 'c');
            writeFile(interpreter, "MZ");
            SetEnvironmentVariableA("COMSPEC", interpreter.c_str()); }},
        FolderLeftCase{"RunOnceKeyCannotBeMade", [](const std::string &) {
            writeFile(windowsFile("COMMAND.COM"), "MZ");
            standinFailRegistryCall(kStandinRegCreateKey, 1, ERROR_ACCESS_DENIED); }},
        FolderLeftCase{"RunOnceValueRefused", [](const std::string &) {
            writeFile(windowsFile("COMMAND.COM"), "MZ");
            standinFailRegistryCall(kStandinRegSetValue, 1, ERROR_ACCESS_DENIED); }}),
    [](const ::testing::TestParamInfo<FolderLeftCase> &info) { return info.param.name; });
