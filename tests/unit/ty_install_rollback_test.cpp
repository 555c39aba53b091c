// The rollback on its own, after a failure of the installation: the reports
// of what the shell and the registry left, and the folders handed over for
// the next start with a list cut to fit its box. The Wine suite shows which
// folders of the user's stay.
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
    std::string data = pendingRenames(), list;
    if (data == "<no value>") return "";
    for (size_t at = 0; at < data.size() && data[at] != '\0'; at += strlen(data.c_str() + at) + 2)
        list += std::string(data.c_str() + at) + "|";
    return list;
}

}  // namespace

// Every file of the package installed into installDir, whose folders the
// folder check made where they were missing.
class RollbackTest : public InstallTest {
protected:
    void SetUp() override {
        InstallTest::SetUp();
        if (!HasFatalFailure() && !IsSkipped()) install(kDefaultInstallDir);
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
    std::vector<std::string> held;     // files that cannot be deleted now
    std::vector<std::string> gone;
    std::vector<std::string> kept;
    std::string pending;               // handed over, each followed by "|"
    const char *report;                // the files report's text; NULL: no report
    std::vector<std::string> reported; // the paths it names
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
    for (const std::string &file : row.held) standinDenyPath(file.c_str());
    EXPECT_EQ(rollback(0, 0), row.report ? TY_FILES_DEFERRED : TY_FILES_REMOVED);
    for (const std::string &folder : row.gone) EXPECT_FALSE(exists(folder)) << folder << " is still there";
    for (const std::string &folder : row.kept) EXPECT_TRUE(exists(folder)) << folder << " has gone";
    for (const std::string &folder : row.before) EXPECT_TRUE(exists(folder + "\\mine.txt")) << folder;
    EXPECT_EQ(pendingDeletions(), row.pending);
    if (!row.report) {
        EXPECT_TRUE(standinMessageBoxes().empty()) << describeBoxes();
        return;
    }
    ASSERT_EQ(standinMessageBoxes().size(), 1u) << describeBoxes();
    const StandinMessageBox &box = standinMessageBoxes()[0];
    const std::string introduction = expectedText(row.report, {{"folder", ""}});
    ASSERT_EQ(box.text.substr(0, introduction.size()), introduction) << describeBoxes();
    // Every path named is whole, in order; those that did not fit are counted.
    std::string list = box.text.substr(introduction.size()) + "\n\t";
    size_t named = 0, counted = 0;
    for (size_t at = 0, end; (end = list.find("\n\t", at)) != std::string::npos; at = end + 2) {
        std::string line = list.substr(at, end - at);
        if (named < row.reported.size() && line == row.reported[named]) {
            named++;
            continue;
        }
        counted = row.reported.size() - named;
        EXPECT_EQ(line, "and " + std::to_string(counted) + " more")
            << "line after " << named << " paths; " << describeBoxes();
        EXPECT_EQ(end + 2, list.size()) << "text after the count; " << describeBoxes();
        break;
    }
    EXPECT_GT(named, 0u) << describeBoxes();
    EXPECT_EQ(named + counted, row.reported.size()) << "paths named and counted; " << describeBoxes();
}

// A deep folder of the user's own, whose installed files' paths are all
// near the longest a path can be.
const std::string kDeepParent = "C:\\" + std::string(120, 'd');
const std::string kDeepFolder = kDeepParent + "\\" + std::string(100, 'e');
const std::string kDeepInstallDir = kDeepFolder + "\\";

std::vector<std::string> deepFiles(unsigned count) {
    std::vector<std::string> files;
    for (unsigned entry = 10; entry < 10 + count; entry++)
        files.push_back(kDeepFolder + "\\data" + std::to_string(entry) + ".dat");
    return files;
}

std::string pendingOf(const std::vector<std::string> &files) {
    std::string pending;
    for (const std::string &file : files) pending += "\\??\\" + file + "|";
    return pending;
}

INSTANTIATE_TEST_SUITE_P(
    Rollback, RollbackFolderTest,
    ::testing::Values(
        FolderCase{"ForeignFileInAFolderOfTheRun", {}, kDefaultInstallDir,
                   "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS\\notes.txt", {}, {},
                   {kInstalledFolder},
                   std::string("\\??\\") + kInstalledFolder + "|\\??\\" + kMakerFolder + "|",
                   "files-left", {kMakerFolder}},
        FolderCase{"NineHeldFilesInADeepFolder", {kDeepParent, kDeepFolder}, kDeepInstallDir.c_str(),
                   NULL, deepFiles(9), {}, {kDeepFolder}, pendingOf(deepFiles(9)), "files-left-in-folder",
                   deepFiles(9)}),
    [](const ::testing::TestParamInfo<FolderCase> &info) { return info.param.name; });
