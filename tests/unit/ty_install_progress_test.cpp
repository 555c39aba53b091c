// The progress page through its dialog procedure: the bar and status line the user
// watches, the two boxes of each failure and what the undo leaves behind,
// for the failures that the Wine suite cannot cause (no memory, a short
// write, registry handles that will not close).
#include <string.h>

#include <sstream>

#include "ty_install_test_support.h"
#include "ty_pages.h"
#include "ty_progress_page.h"

// LeakSanitizer's switches, where it runs.
extern "C" void __lsan_disable(void) __attribute__((weak));
extern "C" void __lsan_enable(void) __attribute__((weak));

namespace {

const char kShortcutsStatus[] = "Creating Start Menu shortcuts and icons...";
const char kConfiguringStatus[] = "Configuring the product...";
const char kMigratingStatus[] = "Migrating existing configuration settings...";
const char kCompleteStatus[] = "Installation complete.";
const char kVersionKey[] = "SOFTWARE\\Tessaly\\Quenfold for Vexor for DOS\\2.9";

std::string joined(const std::vector<LPARAM> &values) {
    std::ostringstream out;
    for (LPARAM value : values) out << " " << value;
    return out.str();
}

}  // namespace

// Each case runs three ways: the page unpacking every entry itself, taking
// them from the thread that unpacked them ahead, and on a platform that
// refuses the thread. The user sees no difference.
enum Unpacking { kOnDemand, kAhead, kNoThread };

class ProgressTest : public InstallTest, public ::testing::WithParamInterface<Unpacking> {
protected:
    ProductRun runPage() {
        if (GetParam() == kNoThread) standinRefuseThreads();
        if (GetParam() != kOnDemand) startExtractingAhead();
        EXPECT_EQ(standinOpenThreadObjectCount() > 0, GetParam() == kAhead)
            << "threads, events and locks: " << standinOpenThreadObjectCount();
        return InstallTest::runPage();
    }
};

const char *const kUnpackingNames[] = {"OnDemand", "UnpackedAhead", "NoThread"};

INSTANTIATE_TEST_SUITE_P(Install, ProgressTest, ::testing::Values(kOnDemand, kAhead, kNoThread),
                         [](const ::testing::TestParamInfo<Unpacking> &info) {
                             return std::string(kUnpackingNames[info.param]);
                         });

// -- A complete run ------------------------------------------------------------

TEST_P(ProgressTest, ACompleteRunWritesEveryFileAndFillsTheBarExactlyWithTheLastOne) {
    expectQuiet(runPage());
    EXPECT_TRUE(standinPageEnded(page));
    EXPECT_EQ(standinPageEndResult(page), 0);
    EXPECT_EQ(setupState.pageResult, 1);
    EXPECT_EQ(standinPageBigIcon(page), standinIconHandle(IDI_INSTALLER));
    EXPECT_EQ(standinRepaintCount(page), 24) << "one repaint per file";
    for (const PackageFile &file : files) {
        std::string path = kDefaultInstallDir + file.name;
        std::string written = contentOf(path);
        EXPECT_TRUE(written == std::string(file.content.begin(), file.content.end()))
            << path << ": got " << written.size() << " bytes \"" << written.substr(0, 40)
            << "\"..., expected the entry's " << file.content.size();
    }
    EXPECT_EQ(standinControlTexts(page, IDC_STATUS_TEXT),
              std::vector<std::string>({kShortcutsStatus, kConfiguringStatus, kCompleteStatus}));

    // Only positions reach the bar, one per file: rising, 100 with the last
    // file and not before, never beyond; the empty entry 8 adds nothing.
    std::vector<LPARAM> positions;
    for (const StandinSentMessage &sent : standinSentMessages(GetDlgItem(page, IDC_PROGRESS_BAR))) {
        EXPECT_EQ(sent.message, (UINT)PBM_SETPOS) << "message 0x" << std::hex << sent.message;
        EXPECT_EQ(sent.lParam, 0);
        positions.push_back((LPARAM)sent.wParam);
    }
    ASSERT_EQ(positions.size(), 24u) << "positions:" << joined(positions);
    EXPECT_EQ(positions[23], 100) << "positions:" << joined(positions);
    EXPECT_LT(positions[22], 100) << "positions:" << joined(positions);
    EXPECT_EQ(positions[7], positions[6]) << "positions:" << joined(positions);
    for (size_t i = 1; i < positions.size(); i++)
        EXPECT_GE(positions[i], positions[i - 1]) << "positions:" << joined(positions);
}

TEST_P(ProgressTest, AnUpgradesSavedConfigurationReplacesTheNewInstallationsOwn) {
    std::vector<PackageFile> list = standardFiles();
    list[8].name = "TYQuenfold.ini";
    list[9].name = "TYScheduler.dat";
    usePackage(list);
    makeFolder("C:\\TEMP");
    makeFile("C:\\TEMP\\TYQuenfold.ini", "[Settings]\r\nkept=1\r\n");
    makeFile("C:\\TEMP\\TYScheduler.dat", "schedule");
    setupState.upgradeMode = true;
    setupState.setupCaption = TY_CAPTION_UPDATER;
    setupState.configSaved = true;
    strcpy(setupState.savedConfigPath, "C:\\TEMP\\TYQuenfold.ini");
    strcpy(setupState.savedSchedulerPath, "C:\\TEMP\\TYScheduler.dat");

    expectQuiet(runPage());
    EXPECT_EQ(setupState.pageResult, 1);
    EXPECT_EQ(standinControlTexts(page, IDC_STATUS_TEXT),
              std::vector<std::string>(
                  {kShortcutsStatus, kConfiguringStatus, kMigratingStatus, kCompleteStatus}));
    EXPECT_EQ(contentOf(std::string(kDefaultInstallDir) + "TYQuenfold.ini"), "[Settings]\r\nkept=1\r\n");
    EXPECT_EQ(contentOf(std::string(kDefaultInstallDir) + "TYScheduler.dat"), "schedule");
    EXPECT_FALSE(exists("C:\\TEMP\\TYQuenfold.ini"));
    EXPECT_FALSE(exists("C:\\TEMP\\TYScheduler.dat"));
}

// -- File failures -----------------------------------------------------------------

// Reported when the page reaches the entry, never earlier: the files before
// it are written, it and those after it are not, and nothing is undone.
TEST_P(ProgressTest, ADamagedEntryEndsTheRunWhenThePageReachesIt) {
    std::vector<PackageFile> list = standardFiles();
    list[4].damaged = true;
    usePackage(list);
    // The end of the process frees the page's buffer for the entry; here
    // the test process goes on.
    if (__lsan_disable != NULL) __lsan_disable();
    ProductRun run = runPage();
    if (__lsan_enable != NULL) __lsan_enable();
    expectFatalBox(run, "\n" + expectedText("unpack-failed"));
    expectFiles(1, 4, true);
    expectFiles(5, 24, false);
    EXPECT_EQ(standinSentMessages(GetDlgItem(page, IDC_PROGRESS_BAR)).size(), 4u);
}

TEST_P(ProgressTest, NoMemoryForAnEntryRemovesTheFilesBeforeItAndTheFolders) {
    standinFailAllocationOfSize(files[2].content.size());  // entry 3's buffer
    ProductRun run = runPage();
    expectFailedRun(run, 2);
    expectBox(0, expectedText("no-memory-copying"), MB_ICONERROR, page);
    expectBox(1, expectedText("undo-no-memory"), MB_ICONINFORMATION, page);
    EXPECT_FALSE(exists(kDefaultInstallDir));
    EXPECT_FALSE(exists(kMakerFolder));
}

TEST_P(ProgressTest, AShortWriteNamesTheFileInQuotesAndRemovesItWithTheOthers) {
    standinShortFwrite(5, 100);
    ProductRun run = runPage();
    expectFailedRun(run, 2);
    std::string path = kDefaultInstallDir + files[4].name;
    expectBox(0, expectedText("file-not-written", {{"path", path}}), MB_ICONERROR, page);
    expectBox(1, expectedText("undo-written"), MB_ICONINFORMATION, page);
    // A file left behind would have kept the folder for the next start,
    // with a third box about it.
    EXPECT_FALSE(exists(path));
    EXPECT_FALSE(exists(kDefaultInstallDir));
    EXPECT_FALSE(exists(kMakerFolder));
}

// -- Registry handles that will not close ---------------------------------------------

// "DisplayName" cannot be written (stage 6); eight keys were opened while
// writing, so the ninth close is the uninstall entry's removal.
TEST_P(ProgressTest, AKeyThatWillNotCloseDuringTheRemovalIsReportedLast) {
    standinFailRegistryCall(kStandinRegSetValue, 3, ERROR_ACCESS_DENIED);
    standinFailRegistryCall(kStandinRegCloseKey, 9, ERROR_INVALID_HANDLE);
    ProductRun run = runPage();
    expectFailedRun(run, 3);
    expectBox(0, kRegistryFailedText, MB_ICONERROR, page);
    expectBox(1, kUndoAfterRegistryText, MB_ICONINFORMATION, page);
    expectBox(2, kRegistryLeftText, MB_ICONERROR, page);
    EXPECT_FALSE(keyExists(kVersionKey));
    EXPECT_FALSE(exists(kStartMenuFolder));
    EXPECT_FALSE(exists(kDefaultInstallDir));
}
