// The failures of the shell that the Wine suite cannot cause (no programs
// folder, no Windows folder, links the shell can no longer locate), through
// the progress page. The links themselves are the Wine suite's.
#include <string.h>

#include "ty_install_test_support.h"
#include "ty_shortcuts.h"

namespace {

std::string shortcutFailedText(const std::string &folder) {
    return expectedText("shortcut-not-made", {{"folder", folder}});
}

// A link of the product's Start Menu folder.
std::string linkFile(const char *name) { return std::string(kStartMenuFolder) + "\\" + name; }

std::vector<const StandinLink *> savedLinks() {
    std::vector<const StandinLink *> saved;
    for (const StandinLink &link : standinLinks())
        if (link.saved) saved.push_back(&link);
    return saved;
}

}  // namespace

class ShortcutsTest : public InstallTest {};

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
    EXPECT_EQ(saved[4]->savedPath, linkFile("Give Feedback.lnk"));
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
    EXPECT_FALSE(exists(linkFile("Configuration and Manual Update.lnk")));
    EXPECT_TRUE(exists(linkFile("Create Emergency Disks.lnk")));
    EXPECT_FALSE(exists(kDefaultInstallDir));
}

