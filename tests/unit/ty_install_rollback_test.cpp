// The rollback on its own, after a failure of the installation: which folders
// go, which stay for the next start, and the reports the user reads, in
// their order and under their conditions.
#include <string.h>

#include "ty_install_test_support.h"
#include "ty_progress_page.h"
#include "ty_rollback.h"
#include "ty_shortcuts.h"

namespace {

const HWND kOwner = (HWND)(uintptr_t)0x4321;
const char kInstalledFolder[] = "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS";

// The items handed to Windows for deletion at the next start, each followed
// by "|".
std::string pendingDeletions() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "<no key>";
    char data[4096];
    DWORD size = sizeof data;
    LONG result = RegQueryValueExA(key, "PendingFileRenameOperations", NULL, NULL, (BYTE *)data, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return "";
    std::string list;
    for (size_t at = 0; at < size && data[at] != '\0'; at += strlen(data + at) + 2)
        list += std::string(data + at) + "|";
    return list;
}

}  // namespace

// Every file of the package installed into installDir, whose folders the
// folder check made where they were missing.
class RollbackTest : public InstallTest {
protected:
    void SetUp() override {
        InstallTest::SetUp();
        if (!HasFatalFailure()) install(kDefaultInstallDir);
    }

    void install(const char *installDir) {
        strcpy(setupState.installDir, installDir);
        ASSERT_TRUE(ensureFolderChain(setupState.installDir));
        for (const PackageFile &file : files)
            makeFile(setupState.installDir + file.name,
                     std::string(file.content.begin(), file.content.end()));
    }

    int rollback(int registryOutcome, int shortcutOutcome) {
        int outcome = -1;
        ProductRun run = runProduct([&] {
            outcome = rollbackInstallation(kOwner, 25, registryOutcome, shortcutOutcome);
        });
        EXPECT_FALSE(run.exited);
        return outcome;
    }
};

// -- The reports -------------------------------------------------------------------

struct ReportCase {
    const char *name;
    int shortcutOutcome;
    bool startMenuFolderSet;
    int registryOutcome;
    std::vector<std::string> reports;
};
TY_PRINT_ROW_AS_NAME(ReportCase)

class RollbackReportTest : public RollbackTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(RollbackReportTest, ShowsTheReportsTheOutcomesCallFor) {
    const ReportCase &row = GetParam();
    if (row.startMenuFolderSet) strcpy(setupState.startMenuFolder, kStartMenuFolder);
    EXPECT_EQ(rollback(row.registryOutcome, row.shortcutOutcome), TY_FILES_REMOVED);
    std::vector<std::string> shown;
    for (const StandinMessageBox &box : standinMessageBoxes()) shown.push_back(box.text);
    EXPECT_EQ(shown, row.reports);
    for (size_t i = 0; i < standinMessageBoxes().size(); i++) {
        const StandinMessageBox &box = standinMessageBoxes()[i];
        UINT style = box.text == kShortcutsLeftText + kStartMenuFolder ? MB_ICONWARNING : MB_ICONERROR;
        expectBox(i, box.text, style, kOwner);
    }
    EXPECT_FALSE(exists(kMakerFolder));
}

INSTANTIATE_TEST_SUITE_P(
    Rollback, RollbackReportTest,
    ::testing::Values(
        ReportCase{"EverythingRemoved", 1, true, 1, {}},
        ReportCase{"ShortcutsLeftForTheNextStart", 3, true, 0, {kShortcutsLeftText + kStartMenuFolder}},
        ReportCase{"ShortcutNotLocated", 4, true, 0, {kSystemProblemText}},
        ReportCase{"AllThree", 5, true, 6,
                   {kShortcutsLeftText + kStartMenuFolder, kSystemProblemText, kRegistryLeftText}}),
    [](const ::testing::TestParamInfo<ReportCase> &info) { return info.param.name; });

// -- The folders: only those the run made go --------------------------------------

struct FolderCase {
    const char *name;
    std::vector<std::string> before;   // folders there before the run
    const char *installDir;
    const char *foreignFile;           // put into a folder after it was made
    const char *heldFile;              // cannot be deleted now
    std::vector<std::string> gone;
    std::vector<std::string> kept;
    std::string pending;               // handed over, each followed by "|"
    std::string reported;              // the files report's path(s); "" no report
};
TY_PRINT_ROW_AS_NAME(FolderCase)

class RollbackFolderTest : public RollbackTest, public ::testing::WithParamInterface<FolderCase> {
protected:
    void SetUp() override { InstallTest::SetUp(); }
};

TEST_P(RollbackFolderTest, RemovesExactlyTheFoldersTheRunMade) {
    const FolderCase &row = GetParam();
    for (const std::string &folder : row.before) {
        makeFolder(folder);
        makeFile(folder + "\\mine.txt", "mine");
    }
    install(row.installDir);
    if (row.foreignFile) makeFile(row.foreignFile, "foreign");
    if (row.heldFile) standinDenyPath(row.heldFile);
    EXPECT_EQ(rollback(0, 0), row.reported.empty() ? TY_FILES_REMOVED : TY_FILES_DEFERRED);
    for (const std::string &folder : row.gone) EXPECT_FALSE(exists(folder)) << folder << " is still there";
    for (const std::string &folder : row.kept) EXPECT_TRUE(exists(folder)) << folder << " has gone";
    for (const std::string &folder : row.before) EXPECT_TRUE(exists(folder + "\\mine.txt")) << folder;
    EXPECT_EQ(pendingDeletions(), row.pending);
    if (row.reported.empty()) {
        EXPECT_TRUE(standinMessageBoxes().empty()) << describeBoxes();
    } else {
        ASSERT_EQ(standinMessageBoxes().size(), 1u) << describeBoxes();
        expectBox(0, kFilesLeftText + row.reported, MB_ICONINFORMATION, kOwner);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rollback, RollbackFolderTest,
    ::testing::Values(
        FolderCase{"AllMadeByTheRun", {}, kDefaultInstallDir, NULL, NULL,
                   {kMakerFolder}, {"C:\\Program Files"}, "", ""},
        FolderCase{"NewLevelsOutsideAMakersFolder", {}, "C:\\New\\Deeper\\Quenfold\\", NULL,
                   NULL, {"C:\\New"}, {"C:\\Program Files"}, "", ""},
        FolderCase{"MakerFolderThereBefore", {kMakerFolder}, kDefaultInstallDir, NULL, NULL,
                   {kInstalledFolder}, {kMakerFolder}, "", ""},
        // The user's own folder, with the user's files: never handed over,
        // never named as something to delete.
        FolderCase{"DestinationThereBefore", {kInstalledFolder}, kDefaultInstallDir, NULL, NULL,
                   {}, {kInstalledFolder}, "", ""},
        // A typed ".." over an existing folder: the level made on the way
        // goes, the existing folder stays.
        FolderCase{"DotDotOverAnExistingFolder", {"C:\\Empty"}, "C:\\New\\..\\Empty\\Quenfold\\",
                   NULL, NULL, {"C:\\New", "C:\\Empty\\Quenfold"}, {"C:\\Empty"}, "", ""},
        FolderCase{"ForeignFileInAFolderOfTheRun", {}, kDefaultInstallDir,
                   "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS\\notes.txt", NULL, {},
                   {kInstalledFolder},
                   std::string("\\??\\") + kInstalledFolder + "|\\??\\" + kMakerFolder + "|",
                   kMakerFolder},
        FolderCase{"HeldFileInTheUsersFolder", {kInstalledFolder}, kDefaultInstallDir, NULL,
                   "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS\\data9.dat", {},
                   {kInstalledFolder},
                   "\\??\\C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS\\data9.dat|",
                   "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS\\data9.dat"}),
    [](const ::testing::TestParamInfo<FolderCase> &info) { return info.param.name; });
