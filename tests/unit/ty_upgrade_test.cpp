// The upgrade of an older version through its own uninstaller, from the main
// procedure: the boxes of every way it ends, what lies in the temporary
// folder afterwards, the lock around the uninstaller's run, and the update
// that goes on into the old folder. The old uninstaller is the stand-in's
// process player; the progress page is the real one.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "ty_install_test_support.h"
#include "ty_main.h"
#include "ty_pages.h"
#include "ty_upgrade.h"

namespace {

const HINSTANCE kInstance = (HINSTANCE)(uintptr_t)0x400000;
const char kOldVersionKey[] = "SOFTWARE\\Tessaly\\Quenfold for Vexor for DOS\\2.5";
// The old version lies where this one goes by default.
const char kOldFolder[] = "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS";
const char kTempFolder[] = "C:\\TEMP\\";
// The upgrade's own folder: the first of its names that is free.
const char kUpgradeFolder[] = "C:\\TEMP\\TYUpgrade1";
const char kSavedConfig[] = "C:\\TEMP\\TYUpgrade1\\TYQuenfold.ini";
const char kSavedScheduler[] = "C:\\TEMP\\TYUpgrade1\\TYScheduler.dat";
const char kTempUninstaller[] = "C:\\TEMP\\TYUpgrade1\\uninstaller.exe";
const char kOldSettings[] = "[Settings]\r\nold=1\r\n";
const char kOldSchedule[] = "old schedule";
const char kOldUninstaller[] = "old uninstaller";
const int kResultSentinel = 12345;

const std::string kQuestion = expectedText("upgrade-question", {{"version", "2.5"}});
const std::string kNoTemporaryFolder = expectedText("no-temporary-folder");
const std::string kCannotCopy = expectedText("upgrade-cannot-copy");
const std::string kCannotRun = expectedText("upgrade-cannot-run");
const std::string kLockLost = expectedText("upgrade-lock-lost");
const std::string kKept = expectedText("kept", {{"folder", "C:\\TEMP\\TYUpgrade1\\"}});
const std::string kMigrated = expectedText("upgrade-migrated");
std::string notSaved(const std::string &file) { return expectedText("not-saved", {{"file", file}}); }
std::string notMigrated(const std::string &copies) {
    return expectedText("not-migrated", {{"copies", copies}});
}
const std::string kUpdateComplete = expectedText("upgrade-update-complete");
std::string oldFile(const char *name) { return std::string(kOldFolder) + "\\" + name; }

std::string asText(const Bytes &bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string describeCopies() {
    std::string out = "copies:";
    for (const StandinCopy &copy : standinCopies())
        out += "\n  " + copy.from + " -> " + copy.to + (copy.copied ? " (copied)" : " (failed)") +
               (copy.failIfExists ? " failIfExists" : "");
    return out;
}

std::string describeSleeps() {
    std::string out = "sleeps:";
    for (DWORD sleep : standinSleeps()) out += " " + std::to_string(sleep);
    return out;
}

std::vector<int> shownPages() {
    std::vector<int> pages;
    for (const StandinDialogCall &call : standinDialogCalls()) pages.push_back(call.templateId);
    return pages;
}

struct ExpectedCopy {
    std::string from;
    std::string to;
    bool copied;
};

// The installed 2.5 of an earlier run: its registry key, its folder with
// the configuration and its uninstaller; the installer's package has its own
// configuration files as entries 9 and 10. The lock is free and the package
// closed, as at the start of the process. The old uninstaller, when started,
// notes the lock and the program it runs, ends with uninstallerCode and, with
// 99, has removed the old version.
class UpgradeTest : public InstallTest {
protected:
    void SetUp() override {
        InstallTest::SetUp();
        if (HasFatalFailure()) return;
        std::vector<PackageFile> list = standardFiles();
        list[8].name = TY_FILE_PRODUCT_CONFIG;
        list[9].name = TY_FILE_SCHEDULER_CONFIG;
        usePackage(list);
        closePackage(setupState.package);
        free(setupState.package);
        setupState.package = NULL;
        standinSetModulePath(pathIn(folder, "TYInstaller.exe").c_str());
        ReleaseSemaphore(setupState.instanceLock, 1, NULL);
        CloseHandle(setupState.instanceLock);
        setupState.instanceLock = NULL;

        setOldFolder(kOldFolder);
        makeFolder(kOldFolder);
        makeFile(oldFile(TY_FILE_PRODUCT_CONFIG), kOldSettings);
        makeFile(oldFile(TY_FILE_SCHEDULER_CONFIG), kOldSchedule);
        makeFile(oldFile(TY_FILE_UNINSTALLER), kOldUninstaller);
        makeFile(oldFile(TY_FILE_MAIN_PROGRAM), "old program");
        makeFolder(kTempFolder);
        standinSetTempPath(kTempFolder);

        standinQueueAnswer(IDYES);
        standinSetPagePlayer([this](int templateId) -> INT_PTR {
            if (templateId == IDD_PROGRESS) {
                progressPageProc(page, WM_INITDIALOG, 0, 0);
                return standinPageEndResult(page);
            }
            setupState.pageResult = 1;
            return 0;
        });
        standinSetProcessPlayer([this](const std::string &, DWORD *code) {
            lockDuringRun = standinSemaphoreCount(TY_LOCK_NAME);
            // The unpacking thread's handles and the one that holds the
            // upgrade's folder cannot be inherited.
            folderHeldDuringRun = standinFolderHeld(kUpgradeFolder);
            handlesDuringRun = standinOpenHandleCount() - standinOpenThreadObjectCount() -
                               (folderHeldDuringRun ? 1 : 0);
            if (startFails || !exists(kTempUninstaller)) return false;
            programRun = contentOf(kTempUninstaller);
            if (othersTakeTheLock) standinHoldSemaphore(TY_LOCK_NAME);
            for (const std::string &deleted : deletedByUninstaller) remove(host(deleted).c_str());
            if (uninstallerCode == 99) {
                std::string command = "rm -rf '" + host(kOldFolder) + "'";
                EXPECT_EQ(system(command.c_str()), 0) << command;
                EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kOldVersionKey), ERROR_SUCCESS);
            }
            *code = uninstallerCode;
            return true;
        });
    }

    void setOldFolder(const std::string &path) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kOldVersionKey, 0, NULL,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &key, NULL),
                  ERROR_SUCCESS);
        LONG set = RegSetValueExA(key, TY_VALUE_INSTALL_DIR, 0, REG_SZ, (const BYTE *)path.c_str(),
                                  (DWORD)path.size() + 1);
        RegCloseKey(key);
        ASSERT_EQ(set, ERROR_SUCCESS);
    }

    ProductRun run() {
        result = kResultSentinel;
        return runProduct([&] { result = runSetup(kInstance); });
    }

    // Once the old uninstaller has reported the old version removed, the
    // process remembers it to its end, as the installer's one run does: such
    // a test runs in a child process, so that the tests after it start from
    // a process that has not seen a removal. The child prints its own
    // failures; here only its exit status counts.
    void inOwnProcess(const std::function<void()> &body) {
        fflush(stdout);
        fflush(stderr);
        pid_t child = fork();
        ASSERT_NE(child, -1) << "fork: " << strerror(errno);
        if (child == 0) {
            body();
            TearDown();
            fflush(stdout);
            fflush(stderr);
            _exit(HasFailure() ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child) << strerror(errno);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "the test's own process failed (its failures are above): wait status " << status;
    }

    // Box index with the updater's caption and no owner.
    void expectUpdaterBox(size_t index, const std::string &text, UINT style) const {
        expectBox(index, text, style, NULL, TY_CAPTION_UPDATER);
    }

    // The boxes are the question, under the installer's caption, and then
    // these, with the updater's.
    void expectBoxes(const std::vector<std::pair<std::string, UINT>> &after) const {
        ASSERT_EQ(standinMessageBoxes().size(), after.size() + 1) << describeBoxes();
        expectBox(0, kQuestion, MB_YESNO | MB_ICONQUESTION, NULL);
        for (size_t i = 0; i < after.size(); i++)
            expectUpdaterBox(i + 1, after[i].first, after[i].second);
    }

    void expectCopies(const std::vector<ExpectedCopy> &expected) const {
        const std::vector<StandinCopy> &copies = standinCopies();
        ASSERT_EQ(copies.size(), expected.size()) << describeCopies();
        for (size_t i = 0; i < copies.size(); i++) {
            EXPECT_EQ(copies[i].from, expected[i].from) << "copy " << i;
            EXPECT_EQ(copies[i].to, expected[i].to) << "copy " << i;
            EXPECT_EQ(copies[i].copied, expected[i].copied) << "copy " << i << "; " << describeCopies();
            EXPECT_FALSE(copies[i].failIfExists) << "copy " << i;
        }
    }

    // The copy of the old uninstaller was started once, as the uninstaller
    // expects, with the lock free and none of the installer's handles open.
    void expectUninstallerStarted() const {
        ASSERT_EQ(standinProcesses().size(), 1u);
        const StandinProcess &process = standinProcesses()[0];
        EXPECT_EQ(process.application, "C:\\TEMP\\TYUpgrade1\\uninstaller.exe");
        EXPECT_EQ(process.commandLine, "C:\\TEMP\\TYUpgrade1\\uninstaller.exe update");
        EXPECT_TRUE(process.inheritHandles);
        EXPECT_EQ(process.creationFlags, (DWORD)NORMAL_PRIORITY_CLASS);
        EXPECT_EQ(process.startupFlags, (DWORD)STARTF_USESHOWWINDOW);
        EXPECT_EQ(process.showWindow, SW_SHOWNORMAL);
        EXPECT_EQ(process.currentFolder, "<null>");
        EXPECT_EQ(lockDuringRun, 1) << "the lock was not free while the uninstaller ran";
        EXPECT_EQ(handlesDuringRun, 0);
    }

    // The run kept the lock it took back: it ends with the process.
    void expectLockHeld() const {
        EXPECT_EQ(standinSemaphoreCount(TY_LOCK_NAME), 0);
        EXPECT_EQ(standinOpenHandleCount(), 1);
    }

    void expectSavedCopies(bool present) const {
        EXPECT_EQ(exists(kSavedConfig), present) << kSavedConfig;
        EXPECT_EQ(exists(kSavedScheduler), present) << kSavedScheduler;
        if (!present) return;
        EXPECT_EQ(contentOf(kSavedConfig), kOldSettings);
        EXPECT_EQ(contentOf(kSavedScheduler), kOldSchedule);
    }

    DWORD uninstallerCode = 0;
    bool startFails = false;
    bool othersTakeTheLock = false;
    std::vector<std::string> deletedByUninstaller;  // before it ends
    long lockDuringRun = -2;
    int handlesDuringRun = -1;
    bool folderHeldDuringRun = false;
    std::string programRun;
    int result = kResultSentinel;
};

const std::vector<ExpectedCopy> kSavedAndCopied = {
    {oldFile(TY_FILE_PRODUCT_CONFIG), kSavedConfig, true},
    {oldFile(TY_FILE_SCHEDULER_CONFIG), kSavedScheduler, true},
    {oldFile(TY_FILE_UNINSTALLER), kTempUninstaller, true},
};

// -- Ending before the uninstaller runs ------------------------------------------

struct NoTemporaryFolderRow {
    const char *name;
    const char *tempPath;
    std::string box;
};
TY_PRINT_ROW_AS_NAME(NoTemporaryFolderRow)

class UpgradeNoTemporaryFolderTest : public UpgradeTest,
                                     public ::testing::WithParamInterface<NoTemporaryFolderRow> {};

TEST_P(UpgradeNoTemporaryFolderTest, EndsThroughTheExitPathBeforeAnythingIsCopied) {
    standinSetTempPath(GetParam().tempPath);
    ProductRun ran = run();
    EXPECT_TRUE(ran.exited) << "returned " << result;
    EXPECT_EQ(ran.exitCode, -1);
    expectBoxes({{GetParam().box, MB_ICONERROR}});
    EXPECT_TRUE(standinCopies().empty()) << describeCopies();
    EXPECT_TRUE(standinProcesses().empty());
    EXPECT_EQ(standinSemaphoreCount(TY_LOCK_NAME), 1);
    EXPECT_EQ(standinOpenHandleCount(), 0);
}

const NoTemporaryFolderRow kNoTemporaryFolderRows[] = {
    {"NotKnown", NULL, kNoTemporaryFolder},
    // Known, but no folder can be made there: the box names it.
    {"Missing", "C:\\Gone\\", expectedText("no-upgrade-folder", {{"folder", "C:\\Gone\\"}})},
};
INSTANTIATE_TEST_SUITE_P(Upgrade, UpgradeNoTemporaryFolderTest, ::testing::ValuesIn(kNoTemporaryFolderRows),
                         [](const ::testing::TestParamInfo<NoTemporaryFolderRow> &info) {
                             return info.param.name;
                         });

// Every failure to copy the old uninstaller ends the upgrade before the lock
// is given up; no program that happens to lie in the temporary folder runs.
struct CannotCopyRow {
    const char *name;
    int folderLength;   // 0: the old folder as installed
    bool folderGone;
    bool copyRefused;
};
TY_PRINT_ROW_AS_NAME(CannotCopyRow)

class UpgradeCannotCopyTest : public UpgradeTest, public ::testing::WithParamInterface<CannotCopyRow> {};

TEST_P(UpgradeCannotCopyTest, EndsWithMinusOneAndNoSavedCopies) {
    const CannotCopyRow &row = GetParam();
    if (row.folderLength != 0) {
        std::string longFolder = "C:\\" + std::string(row.folderLength - 3, 'o');
        ASSERT_EQ(longFolder.size(), (size_t)row.folderLength);
        setOldFolder(longFolder);
    } else if (row.folderGone) {
        std::string command = "rm -rf '" + host(kOldFolder) + "'";
        ASSERT_EQ(system(command.c_str()), 0) << command;
    } else if (row.copyRefused) {
        standinDenyPath(kTempUninstaller);
    } else {
        ASSERT_EQ(unlink(host(oldFile(TY_FILE_UNINSTALLER)).c_str()), 0);
    }
    makeFile(std::string(kTempFolder) + TY_FILE_UNINSTALLER, "stale uninstaller");
    ProductRun ran = run();
    EXPECT_FALSE(ran.exited) << "exit code " << ran.exitCode;
    EXPECT_EQ(result, -1);
    expectBoxes({{kCannotCopy, MB_ICONERROR}});
    expectSavedCopies(false);
    EXPECT_FALSE(exists(kUpgradeFolder));
    EXPECT_TRUE(standinProcesses().empty());
    EXPECT_TRUE(standinSleeps().empty()) << describeSleeps();
    EXPECT_TRUE(shownPages().empty());
    expectLockHeld();
}

const CannotCopyRow kCannotCopyRows[] = {
    {"FolderTooLongForABackslash", 259, false, false},
};
INSTANTIATE_TEST_SUITE_P(Upgrade, UpgradeCannotCopyTest, ::testing::ValuesIn(kCannotCopyRows),
                         [](const ::testing::TestParamInfo<CannotCopyRow> &info) {
                             return info.param.name;
                         });

// A configuration file that is there but cannot be saved would be lost with
// the old version: the upgrade stops before anything changes. One that is
// not there is nothing to lose.
struct SaveRow {
    const char *name;
    const char *refused;   // the copy refused
    const char *named;     // the file the box names
};
TY_PRINT_ROW_AS_NAME(SaveRow)

class UpgradeSaveTest : public UpgradeTest, public ::testing::WithParamInterface<SaveRow> {};

TEST_P(UpgradeSaveTest, StopsBeforeTheLockIsGivenUpWithNothingChanged) {
    const SaveRow &row = GetParam();
    standinDenyPath(row.refused);
    ProductRun ran = run();
    EXPECT_FALSE(ran.exited) << "exit code " << ran.exitCode;
    EXPECT_EQ(result, -1);
    expectBoxes({{notSaved(oldFile(row.named)), MB_ICONERROR}});
    EXPECT_FALSE(exists(kSavedConfig));
    EXPECT_TRUE(standinProcesses().empty());
    EXPECT_EQ(contentOf(oldFile(TY_FILE_PRODUCT_CONFIG)), kOldSettings);
    EXPECT_EQ(contentOf(oldFile(TY_FILE_SCHEDULER_CONFIG)), kOldSchedule);
    EXPECT_TRUE(shownPages().empty());
    expectLockHeld();
}

const SaveRow kSaveRows[] = {
    {"ConfigurationRefused", kSavedConfig, TY_FILE_PRODUCT_CONFIG},
};
INSTANTIATE_TEST_SUITE_P(Upgrade, UpgradeSaveTest, ::testing::ValuesIn(kSaveRows),
                         [](const ::testing::TestParamInfo<SaveRow> &info) {
                             return info.param.name;
                         });

// What stops the run stops it before the upgrade is offered: the old version
// is only removed by an installer that can then install.
TEST_F(UpgradeTest, AnUninstallerThatCannotStartEndsWithMinusOneWithTheLockTakenBack) {
    startFails = true;
    ProductRun ran = run();
    EXPECT_FALSE(ran.exited) << "exit code " << ran.exitCode;
    EXPECT_EQ(result, -1);
    expectBoxes({{kCannotRun, MB_ICONERROR}});
    expectSavedCopies(false);
    EXPECT_FALSE(exists(kUpgradeFolder));
    EXPECT_EQ(lockDuringRun, 1);
    EXPECT_TRUE(shownPages().empty());
    expectLockHeld();
}

// An uninstaller that ends with its own code (not 99) after another program
// took the lock: the code is passed on, and the saved settings go back into
// the old folder (the Wine suite plays the ones it deleted); one that
// cannot go back is named in a box and kept, the only copy there is.
struct LockLostRow {
    const char *name;
    bool configDeleted;
    bool configCannotGoBack;
};

const LockLostRow kLockLostRows[] = {
    {"NothingDeleted", false, false},
    {"SettingsThatCannotGoBackAreNamed", true, true},
};

class UpgradeLockLostTest : public UpgradeTest, public ::testing::WithParamInterface<LockLostRow> {};

TEST_P(UpgradeLockLostTest, EndsWithMinusOneWithoutHoldingTheLock) {
    const LockLostRow &row = GetParam();
    othersTakeTheLock = true;
    uninstallerCode = 5;
    if (row.configDeleted)
        deletedByUninstaller = {oldFile(TY_FILE_PRODUCT_CONFIG), oldFile(TY_FILE_SCHEDULER_CONFIG)};
    if (row.configCannotGoBack) standinDenyPath(oldFile(TY_FILE_PRODUCT_CONFIG).c_str());
    ProductRun ran = run();
    EXPECT_FALSE(ran.exited) << "exit code " << ran.exitCode;
    EXPECT_EQ(result, -1);
    if (row.configCannotGoBack)
        expectBoxes({{kLockLost, MB_ICONWARNING},
                     {expectedText("not-put-back", {{"copies", kSavedConfig}}), MB_ICONWARNING}});
    else
        expectBoxes({{kLockLost, MB_ICONWARNING}});
    expectUninstallerStarted();
    EXPECT_EQ(exists(kSavedConfig), row.configCannotGoBack) << kSavedConfig;
    EXPECT_FALSE(exists(kSavedScheduler)) << kSavedScheduler;
    if (!row.configCannotGoBack) EXPECT_EQ(contentOf(oldFile(TY_FILE_PRODUCT_CONFIG)), kOldSettings);
    EXPECT_EQ(contentOf(oldFile(TY_FILE_SCHEDULER_CONFIG)), kOldSchedule);
    EXPECT_FALSE(exists(kTempUninstaller));
    EXPECT_TRUE(shownPages().empty());
    EXPECT_EQ(standinSemaphoreCount(TY_LOCK_NAME), 0);  // the other one's
    EXPECT_EQ(standinOpenHandleCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Upgrade, UpgradeLockLostTest, ::testing::ValuesIn(kLockLostRows),
                         [](const ::testing::TestParamInfo<LockLostRow> &info) {
                             return std::string(info.param.name);
                         });

// -- The update after 99 -------------------------------------------------------------

struct CompletedRow {
    const char *name;
    bool configuration;   // the old folder held TYQuenfold.ini
    bool schedule;        // and TYScheduler.dat
    int failedCopy;       // this CopyFileA fails (0: none)
    int answer;           // to "Update complete."
};
TY_PRINT_ROW_AS_NAME(CompletedRow)

class UpgradeCompletedTest : public UpgradeTest, public ::testing::WithParamInterface<CompletedRow> {};

TEST_P(UpgradeCompletedTest, InstallsIntoTheOldFolderWithOnlyTheProgressPage) {
    const CompletedRow &row = GetParam();
    if (!row.configuration) ASSERT_EQ(unlink(host(oldFile(TY_FILE_PRODUCT_CONFIG)).c_str()), 0);
    if (!row.schedule) ASSERT_EQ(unlink(host(oldFile(TY_FILE_SCHEDULER_CONFIG)).c_str()), 0);
    if (row.failedCopy != 0) standinFailCopyFile(row.failedCopy);
    if (row.configuration) standinQueueAnswer(IDOK);  // "migrated", or where the copies are
    standinQueueAnswer(row.answer);
    uninstallerCode = 99;
    inOwnProcess([&] {
        ProductRun ran = run();
        EXPECT_FALSE(ran.exited) << "exit code " << ran.exitCode << "; " << describeBoxes();
        EXPECT_EQ(result, 0);
        EXPECT_EQ(shownPages(), std::vector<int>{IDD_PROGRESS});
        expectUninstallerStarted();
        const std::string installDir = std::string(kOldFolder) + "\\";
        EXPECT_EQ(setupState.installDir, installDir);
        expectFiles(1, 24, true);
        if (row.failedCopy != 0) {
            // The scheduler's file could not go back: its saved copy is
            // kept and named, and nothing says "successfully".
            EXPECT_EQ(contentOf(oldFile(TY_FILE_PRODUCT_CONFIG)), kOldSettings);
            EXPECT_EQ(contentOf(oldFile(TY_FILE_SCHEDULER_CONFIG)), asText(files[9].content));
            expectBoxes({{notMigrated(kSavedScheduler), MB_ICONWARNING},
                         {kUpdateComplete, MB_ICONINFORMATION | MB_YESNO}});
            EXPECT_FALSE(exists(kSavedConfig));
            EXPECT_EQ(contentOf(kSavedScheduler), kOldSchedule);
        } else if (row.configuration) {
            EXPECT_EQ(contentOf(oldFile(TY_FILE_PRODUCT_CONFIG)), kOldSettings);
            EXPECT_EQ(contentOf(oldFile(TY_FILE_SCHEDULER_CONFIG)),
                      row.schedule ? kOldSchedule : asText(files[9].content));
            expectBoxes({{kMigrated, MB_ICONINFORMATION},
                         {kUpdateComplete, MB_ICONINFORMATION | MB_YESNO}});
            expectSavedCopies(false);
            EXPECT_FALSE(exists(kUpgradeFolder));
        } else {
            // The package's own files, and no copy of the scheduler's file.
            EXPECT_EQ(contentOf(oldFile(TY_FILE_PRODUCT_CONFIG)), asText(files[8].content));
            EXPECT_EQ(contentOf(oldFile(TY_FILE_SCHEDULER_CONFIG)), asText(files[9].content));
            expectCopies({{oldFile(TY_FILE_PRODUCT_CONFIG), kSavedConfig, false}, kSavedAndCopied[2]});
            expectBoxes({{kUpdateComplete, MB_ICONINFORMATION | MB_YESNO}});
            EXPECT_FALSE(exists(kUpgradeFolder));
        }
        EXPECT_FALSE(exists(kTempUninstaller));
        EXPECT_TRUE(standinSleeps().empty()) << describeSleeps();

        ASSERT_EQ(standinShellExecutes().size(), 1u);
        EXPECT_EQ(standinShellExecutes()[0].file, installDir + TY_FILE_SCHEDULER);
        EXPECT_EQ(standinShellExecutes()[0].operation, "open");
        EXPECT_EQ(standinShellExecutes()[0].currentFolder, installDir);
        if (row.answer == IDYES) {
            ASSERT_EQ(standinWinHelps().size(), 1u);
            const StandinWinHelp &help = standinWinHelps()[0];
            EXPECT_EQ(help.owner, nullptr);
            EXPECT_EQ(help.helpFile, "quenfold_for_vexor_for_dos.hlp");
            EXPECT_EQ(help.command, (UINT)HELP_CONTEXT);
            EXPECT_EQ(help.data, 2u);
        } else {
            EXPECT_TRUE(standinWinHelps().empty()) << standinWinHelps().size() << " help calls";
        }
        expectLockHeld();
    });
}

const CompletedRow kCompletedRows[] = {
    {"WithConfigurationAndWhatIsNew", true, true, 0, IDYES},
    {"WithoutSchedule", true, false, 0, IDNO},
};
INSTANTIATE_TEST_SUITE_P(Upgrade, UpgradeCompletedTest, ::testing::ValuesIn(kCompletedRows),
                         [](const ::testing::TestParamInfo<CompletedRow> &info) {
                             return info.param.name;
                         });

// The old version is gone and the new one could not be installed: the saved
// files are the user's only copy of the settings.
TEST_F(UpgradeTest, AFailedInstallationAfterTheRemovalKeepsTheSavedCopiesAndNamesThem) {
    uninstallerCode = 99;
    standinFailFopen(3, EACCES);
    inOwnProcess([&] {
        ProductRun ran = run();
        EXPECT_TRUE(ran.exited) << "returned " << result;
        EXPECT_EQ(ran.exitCode, -1);
        ASSERT_EQ(standinMessageBoxes().size(), 4u) << describeBoxes();
        expectBox(0, kQuestion, MB_YESNO | MB_ICONQUESTION, NULL);
        expectBox(1, fileNotCreatedText(oldFile(files[2].name.c_str())), MB_ICONERROR, page,
                  TY_CAPTION_UPDATER);
        expectBox(2, kUndoAfterCreateText, MB_ICONINFORMATION, page, TY_CAPTION_UPDATER);
        expectUpdaterBox(3, kKept, MB_ICONWARNING);
        expectSavedCopies(true);
        expectFiles(1, 24, false);
        EXPECT_EQ(standinSemaphoreCount(TY_LOCK_NAME), 1);
        EXPECT_EQ(standinOpenHandleCount(), 0);
    });
}

}  // namespace
