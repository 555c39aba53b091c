// The main procedure from the lock to the exit code: every refusal at start-up
// with its box, the wizard's pages in their order, and what is started at the
// end. The pages are played by the stand-in's page player, which leaves in
// the setup state what each page would.
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ty_main.h"
#include "ty_pages.h"
#include "ty_resource.h"
#include "ty_standin_run_control.h"
#include "ty_test_support.h"

namespace {

const HINSTANCE kInstance = (HINSTANCE)(uintptr_t)0x400000;
const char kInstallDir[] = "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS\\";
const char kProductKey[] = "SOFTWARE\\Tessaly\\Quenfold for Vexor for DOS";
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const int kResultSentinel = 99;

const std::string kSameVersionText =
    "You have the EXACT SAME version (2.9) of this application installed on the system as you "
    "are trying to install now.\nIf you want to install the program again, you need to "
    "uninstall it first.\nYou can uninstall it via Add/Remove Programs in Control Panel.\nIf you "
    "think that the program is not installed, and you are getting this message in error, please "
    "go to " TY_WEB_SITE "/support to get the latest support information, or contact "
    TY_SUPPORT_EMAIL ".";
const std::string kCorruptedText =
    "The installer has detected a corrupted previous installation of this software. The location "
    "of this installation could not be determined by reading the product configuration data in "
    "the system configuration (registry).\n\nPlease contact " TY_SUPPORT_EMAIL " about this "
    "problem, and you will be instructed on how to proceed. You will receive a prompt response "
    "to aid you.";
const std::string kRegistryErrorText =
    "The installer is unable to access the Windows registry for reading. Please check that you "
    "are logged in with administrative system privileges, and run the installer again.\nIf you "
    "have questions, contact " TY_SUPPORT_EMAIL ".";
const std::string kNewerVersionText =
    "A newer version of this product is already installed on the system, and you are trying to "
    "install a lower version. Most probably you do not need this lower version, so you don't "
    "need to perform any installation. To obtain the latest version, visit " TY_WEB_SITE
    ".\nIf you think that there is no newer version of this product installed on your system, "
    "and you are getting this message in error, please contact " TY_SUPPORT_EMAIL ".";
const std::string kInitialisationText =
    "The installer encountered an error during initialization. Please reboot the system, and try "
    "running the installation again. Record error messages if any.\nIf you get further "
    "problems, contact " TY_SUPPORT_EMAIL " and you will get prompt aid.";
const std::string kPendingRebootText =
    "Before the install process can continue, it is necessary that you restart your operating "
    "system. Past operations executed on this system are pending the copying or deletion of "
    "files and/or directories, but can only be performed during system start-up because those "
    "items are not in use (not locked) then. Following a restart, those operations and this "
    "product installation's operations would be independent from each other, and would not "
    "potentially interfere to damage the integrity of your operating system.\n\nIn rare cases, "
    "an application you have previously installed on your computer routinely requires to "
    "abovementioned operations to be performed at EVERY system startup. In such cases, it is "
    "usually safe to proceed with the installation of this software without rebooting. To "
    "determine if you fall in this rare cases category, please restart your computer at least "
    "1-2 times and try running the installer again. If you still get this message, then it is "
    "usually safe to continue with installation.\n\nWould you like to proceed with the "
    "installation now? If you choose no, please restart your computer and run the installer "
    "again.";
const std::string kModulePathText =
    "An error has occurred obtaining the program module path. This indicates a serious problem "
    "with your Windows installation. Please investigate it and re-run the uninstallation.";
const std::string kNoMemoryText =
    "Could not allocate enough memory to open the installation package. The installation "
    "package could be corrupted. Please obtain a new package. Please visit " TY_WEB_SITE
    " to obtain the newest version of the product. In case of further problems, "
    TY_SUPPORT_EMAIL " and you are going to receive promt aid.";
const std::string kNoWindowText =
    "The installer could not show its window. Please reboot the system, and try running the "
    "installation again.\nIf you get further problems, contact " TY_SUPPORT_EMAIL ".";

std::string upgradeQuestion(const std::string &name) {
    return "The installer has detected an existing installation of a previous version of "
           "Quenfold for Vexor for DOS.\nThe existing software is version " + name +
           ", and the new version that you can now install is 2.9. \nWould you like to upgrade "
           "the existing installation to the new version?\n\nNOTE: If problems occur while "
           "upgrading, you will be notified. Be sure to record any error messages you receive, "
           "since they contain instructions on how to successfully resolve the problem.";
}

const char kUpgradeDeclinedText[] =
    "The installer will now close because you have chosen not to upgrade your previous "
    "installation of this software. When you would like to upgrade, please run again the "
    "installation of this new version.";

std::string versionKey(const std::string &version) { return std::string(kProductKey) + "\\" + version; }

void makeKey(const std::string &path) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, NULL, &key, NULL),
              ERROR_SUCCESS)
        << path;
    RegCloseKey(key);
}

void setValue(const std::string &path, const char *name, DWORD type, const std::string &data) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, NULL, &key, NULL),
              ERROR_SUCCESS)
        << path;
    LONG result = RegSetValueExA(key, name, 0, type, (const BYTE *)data.data(), (DWORD)data.size());
    RegCloseKey(key);
    ASSERT_EQ(result, ERROR_SUCCESS) << path << " " << name;
}

// An installed version as the product records it.
void installVersion(const std::string &version) {
    setValue(versionKey(version), TY_VALUE_INSTALL_DIR, REG_SZ,
             std::string("C:\\Program Files\\Tessaly\\Old") + '\0');
}

void setPendingRenames() {
    setValue(kSessionManager, "PendingFileRenameOperations", REG_MULTI_SZ, std::string(2, '\0'));
}

std::string describeCalls() {
    std::string out = "pages:";
    for (const StandinDialogCall &call : standinDialogCalls()) out += " " + std::to_string(call.templateId);
    return out;
}

class RunSetupTest : public ProductTest {
protected:
    void SetUp() override {
        ProductTest::SetUp();
        standinSetModulePath(writeFile("TYInstaller.exe", standardImage()).c_str());
        standinSetPagePlayer([this](int templateId) { return playPage(templateId); });
    }

    void TearDown() override {
        // A run that ended the process leaves the package open; the process
        // would have gone, the leak checker has not.
        if (setupState.package != NULL) {
            closePackage(setupState.package);
            free(setupState.package);
            setupState.package = NULL;
        }
        ProductTest::TearDown();
    }

    // What each page leaves behind: the destination page the folder, the
    // ready page its task, every page the result of exitOn (2, Exit) or 1.
    INT_PTR playPage(int templateId) {
        if (templateId == IDD_DESTINATION) strcpy(setupState.installDir, kInstallDir);
        if (templateId == IDD_PROGRESS && progressLeavesStartProduct) setupState.startProduct = true;
        if (templateId == IDD_READY && readyTicksStartProduct) setupState.startProduct = true;
        setupState.pageResult = templateId == exitOn || templateId == IDD_READY ? 2 : 1;
        return 0;
    }

    ProductRun run() {
        result = kResultSentinel;
        return runProduct([&] { result = runSetup(kInstance); });
    }

    std::vector<int> shownPages() const {
        std::vector<int> pages;
        for (const StandinDialogCall &call : standinDialogCalls()) pages.push_back(call.templateId);
        return pages;
    }

    // Ended through exitInstaller with -1 after exactly this one box, before
    // any page, with the lock given back.
    void expectRefused(const ProductRun &ran, const std::string &text, UINT style) {
        EXPECT_TRUE(ran.exited) << "returned " << result << "; " << describeBoxes();
        EXPECT_EQ(ran.exitCode, -1);
        ASSERT_EQ(standinMessageBoxes().size(), 1u) << describeBoxes();
        const StandinMessageBox &box = standinMessageBoxes()[0];
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.caption, "Tessaly Installer");
        EXPECT_EQ(box.style, style);
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_TRUE(standinDialogCalls().empty()) << describeCalls();
        EXPECT_EQ(standinSemaphoreCount(TY_LOCK_NAME), 1);
        EXPECT_EQ(standinOpenHandleCount(), 0);
    }

    int exitOn = 0;
    bool readyTicksStartProduct = false;
    bool progressLeavesStartProduct = false;
    int result = kResultSentinel;
};

const std::vector<int> kAllPages = {IDD_WELCOME, IDD_LICENCE, IDD_DESTINATION, IDD_PROGRESS, IDD_READY};

// -- The lock ------------------------------------------------------------------

TEST_F(RunSetupTest, AnotherInstallerHoldingTheLockEndsWithMinusOneBeforeTheRegistry) {
    standinHoldSemaphore(TY_LOCK_NAME);
    // A registry read would meet this and report a registry error.
    standinFailRegistryCall(kStandinRegOpenKey, 1, ERROR_ACCESS_DENIED);
    ProductRun ran = run();
    EXPECT_FALSE(ran.exited);
    EXPECT_EQ(result, -1);
    ASSERT_EQ(standinMessageBoxes().size(), 1u) << describeBoxes();
    const StandinMessageBox &box = standinMessageBoxes()[0];
    EXPECT_EQ(box.text, "Another Tessaly installer, un-installer or updater is running.\nPlease wait "
                        "until it completes or interrupt it before trying to install or update this "
                        "product.");
    EXPECT_EQ(box.caption, "Tessaly Installer / Updater");
    EXPECT_EQ(box.style, MB_ICONWARNING);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_TRUE(standinDialogCalls().empty()) << describeCalls();
    EXPECT_EQ(standinOpenHandleCount(), 0);
    EXPECT_EQ(standinSemaphoreCount(TY_LOCK_NAME), 0);  // the other one's still
}

// -- Refusals at start-up --------------------------------------------------------

struct RefusalRow {
    const char *name;
    void (*arrange)();
    const std::string *text;
    UINT style;
};
TY_PRINT_ROW_AS_NAME(RefusalRow)

class RunSetupRefusalTest : public RunSetupTest, public ::testing::WithParamInterface<RefusalRow> {};

TEST_P(RunSetupRefusalTest, ShowsItsBoxAndEndsWithMinusOne) {
    GetParam().arrange();
    if (HasFatalFailure()) return;
    expectRefused(run(), *GetParam().text, GetParam().style);
}

const RefusalRow kRefusals[] = {
    {"SameVersion", [] { installVersion("2.9"); }, &kSameVersionText, MB_ICONINFORMATION},
    {"SameVersionWithoutFolder", [] { makeKey(versionKey("2.9")); }, &kCorruptedText, MB_ICONERROR},
    {"OlderVersionWithoutFolder", [] { makeKey(versionKey("2.5")); }, &kCorruptedText, MB_ICONERROR},
    // A name without a leading number reads as 0: an older version.
    {"UnnumberedSubkeyWithoutFolder", [] { makeKey(versionKey("Settings")); }, &kCorruptedText,
     MB_ICONERROR},
    {"NewerVersion", [] { installVersion("3.0"); }, &kNewerVersionText, MB_ICONINFORMATION},
    {"OlderThenNewerVersion", [] { installVersion("2.5"); installVersion("3.0"); },
     &kNewerVersionText, MB_ICONINFORMATION},
    {"NewerThenOlderVersion", [] { installVersion("3.0"); installVersion("2.5"); },
     &kNewerVersionText, MB_ICONINFORMATION},
    {"RegistryErrorReadingThisVersion",
     [] { standinFailRegistryCall(kStandinRegOpenKey, 1, ERROR_ACCESS_DENIED); },
     &kRegistryErrorText, MB_ICONERROR},
    {"RegistryErrorListingVersions",
     [] { makeKey(kProductKey); standinFailRegistryCall(kStandinRegEnumKey, 1, ERROR_ACCESS_DENIED); },
     &kRegistryErrorText, MB_ICONERROR},
    // Opens: this version, the list of versions, the older one's folder.
    {"RegistryErrorReadingTheOlderFolder",
     [] { installVersion("2.5"); standinFailRegistryCall(kStandinRegOpenKey, 3, ERROR_ACCESS_DENIED); },
     &kRegistryErrorText, MB_ICONERROR},
    // A subkey name over 200 characters cannot be listed.
    {"RegistryErrorProbingTheMakerKey",
     [] { makeKey(std::string("SOFTWARE\\Tessaly\\") + std::string(201, 'x')); },
     &kRegistryErrorText, MB_ICONERROR},
    // Opens: this version, the list, the pending check, the maker key, the
    // product key.
    {"RegistryErrorProbingTheProductKey",
     [] { makeKey(kProductKey); standinFailRegistryCall(kStandinRegOpenKey, 5, ERROR_ACCESS_DENIED); },
     &kRegistryErrorText, MB_ICONERROR},
    {"PendingCheckFails",
     [] { ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSessionManager), ERROR_SUCCESS); },
     &kInitialisationText, MB_ICONERROR},
    {"ModulePathUnknown", [] { standinSetModulePath(NULL); }, &kModulePathText, MB_ICONERROR},
    {"NoMemoryForThePackage", [] { standinFailAllocation(1); }, &kNoMemoryText, MB_ICONERROR},
};
INSTANTIATE_TEST_SUITE_P(Refusals, RunSetupRefusalTest, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<RefusalRow> &info) { return info.param.name; });

// An older version with a known folder is offered for upgrading; versions are
// compared as numbers against 2.9 in single precision, so 2.90 is older.
class RunSetupEarlierVersionTest : public RunSetupTest, public ::testing::WithParamInterface<const char *> {};

// Declining the offered upgrade ends the run with 0 before anything is
// copied; both boxes still carry the installer's caption.
TEST_P(RunSetupEarlierVersionTest, IsOfferedByNameAndDecliningEndsWithZero) {
    installVersion(GetParam());
    standinQueueAnswer(IDNO);
    ProductRun ran = run();
    EXPECT_FALSE(ran.exited) << "exited with " << ran.exitCode << "; " << describeBoxes();
    EXPECT_EQ(result, 0);
    ASSERT_EQ(standinMessageBoxes().size(), 2u) << describeBoxes();
    EXPECT_EQ(standinMessageBoxes()[0].text, upgradeQuestion(GetParam()));
    EXPECT_EQ(standinMessageBoxes()[0].caption, "Tessaly Installer");
    EXPECT_EQ(standinMessageBoxes()[0].style, (UINT)(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(standinMessageBoxes()[1].text, kUpgradeDeclinedText);
    EXPECT_EQ(standinMessageBoxes()[1].caption, "Tessaly Installer");
    EXPECT_EQ(standinMessageBoxes()[1].style, (UINT)MB_ICONINFORMATION);
    EXPECT_TRUE(standinCopies().empty()) << standinCopies().size() << " files copied";
}

INSTANTIATE_TEST_SUITE_P(Versions, RunSetupEarlierVersionTest, ::testing::Values("2.5", "2.90", "2.10"));

TEST_F(RunSetupTest, OlderVersionWhoseKeyWentAwayIsAFreshInstallation) {
    installVersion("2.5");
    // Opens: this version, the list of versions, the older one's folder.
    standinFailRegistryCall(kStandinRegOpenKey, 3, ERROR_FILE_NOT_FOUND);
    expectQuiet(run());
    EXPECT_EQ(result, 0);
    EXPECT_EQ(shownPages(), kAllPages);
}

// -- Pending restart operations ----------------------------------------------------

TEST_F(RunSetupTest, PendingRebootAskedWithNoAsDefaultAndNoEndsWithMinusOne) {
    setPendingRenames();
    standinQueueAnswer(IDNO);
    expectRefused(run(), kPendingRebootText, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
}

TEST_F(RunSetupTest, PendingRebootAnsweredYesGoesOn) {
    setPendingRenames();
    standinQueueAnswer(IDYES);
    ProductRun ran = run();
    EXPECT_FALSE(ran.exited) << ran.exitCode << "; " << describeBoxes();
    EXPECT_EQ(result, 0);
    ASSERT_EQ(standinMessageBoxes().size(), 1u) << describeBoxes();
    EXPECT_EQ(standinMessageBoxes()[0].text, kPendingRebootText);
    EXPECT_EQ(shownPages(), kAllPages);
}

TEST_F(RunSetupTest, WindowsNinetyFiveFamilyAsksWhenWininitExists) {
    standinSetVersion(0xC0000A04u);
    standinSetWindowsDirectory(folder.c_str());
    writeFile("WININIT.INI", Bytes());
    standinQueueAnswer(IDNO);
    expectRefused(run(), kPendingRebootText, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
}

// -- Registry keys before the installation -----------------------------------------

struct KeysRow {
    const char *name;
    void (*arrange)();
    bool makerHad;
    bool productHad;
};
TY_PRINT_ROW_AS_NAME(KeysRow)

class RunSetupKeysTest : public RunSetupTest, public ::testing::WithParamInterface<KeysRow> {};

TEST_P(RunSetupKeysTest, NotesWhetherTheKeysHeldSubkeys) {
    GetParam().arrange();
    setupState.makerKeyHadSubkeys = !GetParam().makerHad;
    setupState.productKeyHadSubkeys = !GetParam().productHad;
    expectQuiet(run());
    EXPECT_EQ(setupState.makerKeyHadSubkeys, GetParam().makerHad);
    EXPECT_EQ(setupState.productKeyHadSubkeys, GetParam().productHad);
}

const KeysRow kKeys[] = {
    {"NoMakerKey", [] {}, false, false},
    {"MakerKeyWithAnotherProduct", [] { makeKey("SOFTWARE\\Tessaly\\Other Product"); }, true, false},
    {"EmptyProductKey", [] { makeKey(kProductKey); }, true, false},
};
INSTANTIATE_TEST_SUITE_P(Keys, RunSetupKeysTest, ::testing::ValuesIn(kKeys),
                         [](const ::testing::TestParamInfo<KeysRow> &info) { return info.param.name; });

// -- The wizard ---------------------------------------------------------------------

TEST_F(RunSetupTest, ShowsTheFivePagesInOrderAndReturnsZero) {
    ProductRun ran = run();
    expectQuiet(ran);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(shownPages(), kAllPages) << describeCalls();
    const DLGPROC procedures[] = {welcomePageProc, licencePageProc, destinationPageProc,
                                  progressPageProc, readyPageProc};
    const std::vector<StandinDialogCall> &calls = standinDialogCalls();
    for (size_t i = 0; i < calls.size() && i < 5; i++) {
        EXPECT_EQ(calls[i].instance, kInstance) << i;
        EXPECT_EQ(calls[i].owner, nullptr) << i;
        EXPECT_EQ(calls[i].procedure, procedures[i]) << "page " << calls[i].templateId;
        EXPECT_EQ(calls[i].parameter, 0) << i;
    }
    EXPECT_EQ(standinInitCommonControlsCount(), 1);
    EXPECT_EQ(setupState.package, nullptr);
    EXPECT_EQ(standinOpenDescriptorCount(), 0);
    EXPECT_TRUE(standinShellExecutes().empty());
    EXPECT_TRUE(standinChdirs().empty());
}

class RunSetupExitTest : public RunSetupTest, public ::testing::WithParamInterface<int> {};

TEST_P(RunSetupExitTest, ExitReturnsOneWithThePackageClosed) {
    exitOn = GetParam();
    ProductRun ran = run();
    expectQuiet(ran);
    EXPECT_EQ(result, 1);
    std::vector<int> expected(kAllPages.begin(), std::find(kAllPages.begin(), kAllPages.end(), exitOn) + 1);
    EXPECT_EQ(shownPages(), expected) << describeCalls();
    EXPECT_EQ(setupState.package, nullptr);
    EXPECT_EQ(standinOpenDescriptorCount(), 0);
    EXPECT_TRUE(standinShellExecutes().empty());
}

INSTANTIATE_TEST_SUITE_P(Pages, RunSetupExitTest,
                         ::testing::Values(IDD_WELCOME, IDD_LICENCE, IDD_DESTINATION, IDD_PROGRESS));

TEST_F(RunSetupTest, StartsTheSchedulerFromTheInstallationFolderWhenAsked) {
    readyTicksStartProduct = true;
    ProductRun ran = run();
    expectQuiet(ran);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(standinShellExecutes().size(), 1u);
    const StandinShellExecute &start = standinShellExecutes()[0];
    EXPECT_EQ(start.owner, nullptr);
    EXPECT_EQ(start.operation, "open");
    EXPECT_EQ(start.file, std::string(kInstallDir) + "Tessaly Ticklet.exe");
    EXPECT_EQ(start.parameters, "<null>");
    EXPECT_EQ(start.directory, "<null>");
    EXPECT_EQ(start.showCommand, SW_SHOWDEFAULT);
    EXPECT_EQ(start.currentFolder, kInstallDir);
    EXPECT_EQ(standinChdirs(), std::vector<std::string>{kInstallDir});
    EXPECT_EQ(setupState.package, nullptr);
    EXPECT_TRUE(standinWinHelps().empty());
}

TEST_F(RunSetupTest, StartProductLeftBeforeTheReadyPageStartsNothing) {
    progressLeavesStartProduct = true;
    expectQuiet(run());
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(standinShellExecutes().empty());
    EXPECT_TRUE(standinChdirs().empty());
}

// A page whose dialog cannot be made must not count as agreed: failing with
// -1 (no template) or 0 (no page procedure run) ends the run.
struct NoWindowRow {
    const char *name;
    int page;        // 1 to 4
    INT_PTR dialogResult;
};
TY_PRINT_ROW_AS_NAME(NoWindowRow)

class RunSetupNoWindowTest : public RunSetupTest, public ::testing::WithParamInterface<NoWindowRow> {};

TEST_P(RunSetupNoWindowTest, EndsWithABoxAndMinusOne) {
    standinFailDialog(GetParam().page, GetParam().dialogResult);
    ProductRun ran = run();
    EXPECT_TRUE(ran.exited) << "returned " << result << "; " << describeCalls();
    EXPECT_EQ(ran.exitCode, -1);
    ASSERT_EQ(standinMessageBoxes().size(), 1u) << describeBoxes();
    const StandinMessageBox &box = standinMessageBoxes()[0];
    EXPECT_EQ(box.text, kNoWindowText);
    EXPECT_EQ(box.caption, "Tessaly Installer");
    EXPECT_EQ(box.style, MB_ICONERROR);
    EXPECT_EQ(box.owner, nullptr);
    std::vector<int> expected(kAllPages.begin(), kAllPages.begin() + GetParam().page);
    EXPECT_EQ(shownPages(), expected) << describeCalls();
    EXPECT_EQ(standinSemaphoreCount(TY_LOCK_NAME), 1);
    EXPECT_EQ(standinOpenHandleCount(), 0);
}

const NoWindowRow kNoWindow[] = {
    {"WelcomeMinusOne", 1, -1},   {"WelcomeZero", 1, 0},   {"LicenceMinusOne", 2, -1},
    {"LicenceZero", 2, 0},        {"DestinationMinusOne", 3, -1}, {"DestinationZero", 3, 0},
    {"ProgressMinusOne", 4, -1},  {"ProgressZero", 4, 0},
};
INSTANTIATE_TEST_SUITE_P(Pages, RunSetupNoWindowTest, ::testing::ValuesIn(kNoWindow),
                         [](const ::testing::TestParamInfo<NoWindowRow> &info) { return info.param.name; });

// The product is installed by then: no tasks run, and the run still succeeds.
TEST_F(RunSetupTest, ReadyPageThatCannotBeShownStillEndsWithZero) {
    readyTicksStartProduct = true;
    standinFailDialog(5, -1);
    expectQuiet(run());
    EXPECT_EQ(result, 0);
    EXPECT_EQ(shownPages(), kAllPages);
    EXPECT_EQ(setupState.package, nullptr);
    EXPECT_TRUE(standinShellExecutes().empty());
}

}  // namespace
