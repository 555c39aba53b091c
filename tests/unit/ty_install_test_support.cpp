#include "ty_install_test_support.h"

#include <direct.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <sstream>

#include "ty_pages.h"
#include "ty_system_test_support.h"

const char kDefaultInstallDir[] = "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS\\";
const char kMakerFolder[] = "C:\\Program Files\\Tessaly";
const char kCommonPrograms[] = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs";
const char kUserPrograms[] = "C:\\Documents and Settings\\Quen\\Start Menu\\Programs";
const char kWindowsFolder[] = "C:\\WINNT";
const char kStartMenuFolder[] =
    "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Quenfold for Vexor for DOS";

const std::string kUndoAfterShortcutsText = expectedText("undo-shortcuts");
const std::string kUndoAfterRegistryText = expectedText("undo-registry");
const std::string kUndeterminedFolderText = expectedText("start-menu-undetermined");
const std::string kRegistryFailedText = expectedText("registry-failed");
const std::string kShortcutsLeftText = expectedText("shortcuts-left", {{"folder", ""}});
const std::string kSystemProblemText = expectedText("system-problem");
const std::string kRegistryLeftText = expectedText("registry-left");
const std::string kNoWindowsFolderText = expectedText("no-windows-folder-later");

std::vector<PackageFile> InstallTest::standardFiles() {
    const char *const named[] = {"licence.txt", TY_FILE_MAIN_PROGRAM, TY_FILE_SCHEDULER,
                                 TY_FILE_UNINSTALLER, TY_FILE_HELP, TY_WEB_SHORTCUT_FILE,
                                 TY_FILE_MAIL_SHORTCUT};
    std::vector<PackageFile> list;
    for (unsigned entry = 1; entry <= 24; entry++) {
        std::string name = entry <= 7 ? named[entry - 1] : "data" + std::to_string(entry) + ".dat";
        // Sizes all different, so that a test can fail the allocation of
        // one; entry 8 is empty (compressed: a stored entry of no bytes is a
        // damaged package); entry 19, stored, is read in several pieces by
        // the thread.
        size_t size = entry == 8 ? 0 : entry == 19 ? 200003 : 700 * entry + 13 * entry * entry;
        list.push_back({name, patternBytes(size, entry), entry % 5 == 0 || size == 0});
    }
    return list;
}

void InstallTest::usePackage(const std::vector<PackageFile> &entries) {
    if (setupState.package != NULL) {
        closePackage(setupState.package);
        free(setupState.package);
        setupState.package = NULL;
    }
    files = entries;
    std::vector<WriterRecord> records;
    records.push_back(bzip2Record("welcome.bmp", bmpFile(5, 3, 24)));
    for (const PackageFile &file : files) {
        records.push_back(file.compressed ? bzip2Record(file.name, file.content)
                                          : makeStoredRecord(file.name, file.content));
        if (file.damaged) records.back().data[records.back().data.size() / 2] ^= 0x10;
    }
    std::string path = writeFile("TYInstaller.exe", writePackage(stubBytes(kStub), kWidth, records));
    setupState.package = (Package *)calloc(1, sizeof(Package));
    ASSERT_NE(setupState.package, nullptr);
    ProductRun run = runProduct([&] { openPackage(setupState.package, path.c_str()); });
    ASSERT_FALSE(run.exited) << describeBoxes();
}

void InstallTest::SetUp() {
    ProductTest::SetUp();
    // Windows of the 95 family hand what cannot go now over differently.
    if (GetVersion() & 0x80000000u) GTEST_SKIP() << "the system is not of the NT family";
    machineBefore();
    takeLock();
    makeFolder("C:\\Program Files");
    makeFolder(kWindowsFolder);
    makeFolder(kCommonPrograms);
    makeFolder(kUserPrograms);
    standinSetWindowsDirectory(kWindowsFolder);
    standinSetSpecialFolder(CSIDL_COMMON_PROGRAMS, kCommonPrograms);
    standinSetSpecialFolder(CSIDL_PROGRAMS, kUserPrograms);

    setupState.appInstance = (HINSTANCE)(uintptr_t)0x400000;
    setupState.osFamily = 2;
    setupState.programsFolderId = CSIDL_COMMON_PROGRAMS;
    strcpy(setupState.installDir, kDefaultInstallDir);
    setupState.createdFolderCount = 0;
    setupState.startMenuFolder[0] = '\0';
    setupState.makerKeyHadSubkeys = false;
    setupState.productKeyHadSubkeys = false;
    setupState.pageResult = 0;
    usePackage(standardFiles());
    page = standinCreatePage(IDD_PROGRESS);
}

void InstallTest::TearDown() {
    if (IsSkipped()) return ProductTest::TearDown();
    EXPECT_EQ(standinComReferences(), 0) << "COM references not released";
    EXPECT_EQ(standinCoInitializeCount(), standinCoUninitializeCount())
        << "CoInitialize and CoUninitialize calls";
    EXPECT_EQ(standinItemListsHeld(), 0) << "item lists not freed";
    EXPECT_EQ(standinOpenStreamCount(), 0) << "files left open";
    EXPECT_EQ(standinOpenRegistryKeyCount(), 0) << "registry keys left open";
    if (setupState.package != NULL) {
        closePackage(setupState.package);
        free(setupState.package);
        setupState.package = NULL;
    }
    machineAfter();
    ProductTest::TearDown();
}

ProductRun InstallTest::runPage() {
    standinTypeText(page, IDC_STATUS_TEXT, "Transferring product data...");
    return runProduct([&] { progressPageProc(page, WM_INITDIALOG, 0, 0); });
}

// Past the C runtime's calls, which a test may make fail.
bool InstallTest::exists(const std::string &windowsPath) const {
    return GetFileAttributesA(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string InstallTest::contentOf(const std::string &windowsPath) const {
    std::ifstream in(windowsPath.c_str(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return in ? content.str() : "<cannot read " + windowsPath + ">";
}

// Each level that is missing, through the C runtime.
void InstallTest::makeFolder(const std::string &windowsPath) const {
    for (size_t at = 3; at <= windowsPath.size(); at++)
        if (at == windowsPath.size() || windowsPath[at] == '\\') _mkdir(windowsPath.substr(0, at).c_str());
    ASSERT_TRUE(exists(windowsPath)) << windowsPath;
}

void InstallTest::makeFile(const std::string &windowsPath, const std::string &content) const {
    std::ofstream out(windowsPath.c_str(), std::ios::binary);
    out << content;
    ASSERT_TRUE(out.good()) << windowsPath;
}

void InstallTest::expectBox(size_t index, const std::string &text, UINT style, HWND owner,
                            const char *caption) const {
    const std::vector<StandinMessageBox> &boxes = standinMessageBoxes();
    ASSERT_GT(boxes.size(), index) << "no box " << index << "; " << describeBoxes();
    const StandinMessageBox &box = boxes[index];
    EXPECT_EQ(box.text, text) << "box " << index;
    EXPECT_EQ(box.style, style) << "box " << index;
    EXPECT_EQ(box.owner, owner) << "box " << index;
    EXPECT_FALSE(box.captionNull) << "box " << index;
    EXPECT_EQ(box.caption, caption) << "box " << index;
}

void InstallTest::expectFailedRun(const ProductRun &run, size_t boxes) const {
    EXPECT_TRUE(run.exited) << describeBoxes();
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_EQ(standinMessageBoxes().size(), boxes) << describeBoxes();
    EXPECT_EQ(standinSemaphoreCount(TY_LOCK_NAME), 1) << "the lock was not given back";
    EXPECT_EQ(setupState.package, nullptr) << "the package was not released";
}

void InstallTest::expectFiles(unsigned firstEntry, unsigned lastEntry, bool present) const {
    for (unsigned entry = firstEntry; entry <= lastEntry; entry++) {
        std::string path = kDefaultInstallDir + files[entry - 1].name;
        EXPECT_EQ(exists(path), present) << path;
    }
}
