// The Start Menu shortcuts on the stand-in: what each link object was told,
// and the failures of the shell that the Wine suite cannot cause (no
// programs folder, no Windows folder, links the shell can no longer locate),
// through the progress page and on their own.
#include <string.h>

#include "ty_install_test_support.h"
#include "ty_shortcuts.h"

namespace {

std::string shortcutFailedText(const std::string &folder) {
    return expectedText("shortcut-not-made", {{"folder", folder}});
}

std::string linkIn(const std::string &folder, int number) {
    return folder + "\\Quenfold for Vexor for DOS\\" + kLinkFiles[number - 1];
}

std::vector<const StandinLink *> savedLinks() {
    std::vector<const StandinLink *> saved;
    for (const StandinLink &link : standinLinks())
        if (link.saved) saved.push_back(&link);
    return saved;
}

struct FamilyCase {
    const char *name;
    int osFamily;
    int programsFolderId;
    const char *programs;
    bool described;
};
TY_PRINT_ROW_AS_NAME(FamilyCase)

}  // namespace

class ShortcutsTest : public InstallTest {};

class ShortcutFamilyTest : public ShortcutsTest, public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(ShortcutFamilyTest, TheSixLinksPointIntoTheInstallationFolder) {
    const FamilyCase &row = GetParam();
    setupState.osFamily = row.osFamily;
    setupState.programsFolderId = row.programsFolderId;
    expectQuiet(runPage());
    std::string folder = std::string(row.programs) + "\\Quenfold for Vexor for DOS";
    EXPECT_STREQ(setupState.startMenuFolder, folder.c_str());

    struct Expected {
        const char *target;
        const char *arguments;
        const char *description;
    };
    const Expected expected[6] = {
        {"Tessaly Quenfold.exe", "-c", "Open configuration dialog; manually update AV definitions"},
        {"Tessaly Quenfold.exe", "-e", "Create a configurable set of emergency disks"},
        {"quenfold_for_vexor_for_dos.hlp", NULL, "Learn more from help and documentation"},
        {TY_WEB_SHORTCUT_FILE, NULL, "Browse to " TY_WEB_SITE},
        {"mail_to_tessaly.url", NULL, "Your feedback is very welcome -- our aim is flawlessness!"},
        {"uninstaller.exe", NULL, "Remove this utility and its associated data files"},
    };
    std::vector<const StandinLink *> saved = savedLinks();
    ASSERT_EQ(saved.size(), 6u);
    for (int i = 0; i < 6; i++) {
        const StandinLink &link = *saved[i];
        std::vector<std::string> calls;
        if (row.described) calls.push_back("SetDescription");
        if (expected[i].arguments) calls.push_back("SetArguments");
        calls.insert(calls.end(), {"SetWorkingDirectory", "SetPath", "Save"});
        EXPECT_EQ(link.calls, calls) << "link " << i + 1;
        EXPECT_EQ(link.savedPath, linkIn(row.programs, i + 1));
        EXPECT_EQ(link.remember, TRUE) << "link " << i + 1;
        EXPECT_EQ(link.target, kDefaultInstallDir + std::string(expected[i].target));
        EXPECT_EQ(link.arguments, expected[i].arguments ? expected[i].arguments : "");
        EXPECT_EQ(link.description, row.described ? expected[i].description : "");
        EXPECT_EQ(link.workingFolder, i == 5 ? kWindowsFolder : kDefaultInstallDir);
        EXPECT_TRUE(exists(link.savedPath)) << link.savedPath;
    }
    for (const StandinFolderLookup &lookup : standinFolderLookups()) {
        EXPECT_EQ(lookup.owner, nullptr) << "a lookup of folder " << lookup.folder;
        EXPECT_EQ(lookup.folder, row.programsFolderId);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shortcuts, ShortcutFamilyTest,
    ::testing::Values(FamilyCase{"NtFamily", 2, CSIDL_COMMON_PROGRAMS, kCommonPrograms, true},
                      FamilyCase{"Windows95Family", 4, CSIDL_PROGRAMS, kUserPrograms, false}),
    [](const ::testing::TestParamInfo<FamilyCase> &info) { return info.param.name; });

// -- The folders the shortcuts need ----------------------------------------------

TEST_F(ShortcutsTest, AProgramsFolderTheShellDoesNotKnowIsReportedAsUndetermined) {
    standinSetSpecialFolder(CSIDL_COMMON_PROGRAMS, NULL);
    ProductRun run = runPage();
    expectFailedRun(run, 3);
    // The shell's own box: no owner, and Windows' caption in place of one.
    ASSERT_GE(standinMessageBoxes().size(), 1u);
    const StandinMessageBox &shellBox = standinMessageBoxes()[0];
    EXPECT_EQ(shellBox.text, "SHGetSpecialFolderLocation error");
    EXPECT_TRUE(shellBox.captionNull) << "caption \"" << shellBox.caption << "\"";
    EXPECT_EQ(shellBox.style, MB_OK);
    EXPECT_EQ(shellBox.owner, nullptr);
    expectBox(1, kUndeterminedFolderText, MB_ICONERROR, page);
    expectBox(2, kUndoAfterShortcutsText, MB_ICONINFORMATION, page);
    EXPECT_STREQ(setupState.startMenuFolder, "");
    EXPECT_FALSE(exists(kDefaultInstallDir));
}

TEST_F(ShortcutsTest, AFileWhereTheProductsFolderGoesIsReportedAsUndeterminedAndKept) {
    makeFile(kStartMenuFolder, "not a folder");
    ProductRun run = runPage();
    expectFailedRun(run, 2);
    expectBox(0, kUndeterminedFolderText, MB_ICONERROR, page);
    expectBox(1, kUndoAfterShortcutsText, MB_ICONINFORMATION, page);
    EXPECT_EQ(contentOf(kStartMenuFolder), "not a folder");
    EXPECT_TRUE(standinLinks().empty());
}

// Five shortcuts are made before the uninstaller's needs the Windows folder;
// the undo takes them out with their folder and reports nothing more.
TEST_F(ShortcutsTest, NoWindowsFolderBeforeTheSixthShortcutUndoesTheFiveAndTheFolder) {
    standinSetWindowsDirectory(NULL);
    ProductRun run = runPage();
    expectFailedRun(run, 3);
    expectBox(0, kNoWindowsFolderText, MB_ICONERROR, NULL);
    expectBox(1, shortcutFailedText(kStartMenuFolder), MB_ICONERROR, page);
    expectBox(2, kUndoAfterShortcutsText, MB_ICONINFORMATION, page);
    std::vector<const StandinLink *> saved = savedLinks();
    ASSERT_EQ(saved.size(), 5u);
    EXPECT_EQ(saved[4]->savedPath, linkIn(kCommonPrograms, 5));
    EXPECT_FALSE(exists(kStartMenuFolder));
    EXPECT_FALSE(exists(kDefaultInstallDir));
}

// -- Links the shell cannot locate when removing -----------------------------------

// The third link cannot be saved (stage 3); the shell cannot make the link
// object for the second one's removal, so it is not located and keeps the
// folder for the next start: outcome 5, both shortcut reports.
TEST_F(ShortcutsTest, ALinkNotLocatedAndAFolderLeftForTheNextStartGiveBothReports) {
    standinFailLinkCall(kStandinSave, 3, E_ACCESSDENIED);
    standinFailLinkCall(kStandinCoCreateInstance, 4, E_OUTOFMEMORY);
    ProductRun run = runPage();
    expectFailedRun(run, 4);
    expectBox(0, shortcutFailedText(kStartMenuFolder), MB_ICONERROR, page);
    expectBox(1, kUndoAfterShortcutsText, MB_ICONINFORMATION, page);
    expectBox(2, kShortcutsLeftText + kStartMenuFolder, MB_ICONWARNING, page);
    expectBox(3, kSystemProblemText, MB_ICONERROR, page);
    EXPECT_FALSE(exists(linkIn(kCommonPrograms, 1)));
    EXPECT_TRUE(exists(linkIn(kCommonPrograms, 2)));
    EXPECT_FALSE(exists(kDefaultInstallDir));
}

