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

const std::string kSameVersionText = expectedText("same-version");
const std::string kCorruptedText = expectedText("corrupted");
const std::string kRegistryErrorText = expectedText("registry-error");
const std::string kNewerVersionText = expectedText("newer-version");
const std::string kInitialisationText = expectedText("initialisation");
const std::string kPendingRebootText = expectedText("pending-restart");
const std::string kModulePathText = expectedText("module-path");
const std::string kNoMemoryText = expectedText("no-memory");
const std::string kNoWindowText = expectedText("no-window");

std::string upgradeQuestion(const std::string &name) {
    return expectedText("upgrade-question", {{"version", name}});
}

const std::string kUpgradeDeclinedText = expectedText("upgrade-will-now-close");

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
    {"NewerVersion", [] { installVersion("3.0"); }, &kNewerVersionText, MB_ICONINFORMATION},
    {"NewerThenOlderVersion", [] { installVersion("3.0"); installVersion("2.5"); },
     &kNewerVersionText, MB_ICONINFORMATION},
    {"RegistryErrorReadingThisVersion",
     [] { standinFailRegistryCall(kStandinRegOpenKey, 1, ERROR_ACCESS_DENIED); },
     &kRegistryErrorText, MB_ICONERROR},
    // A subkey name over 200 characters cannot be listed.
    {"RegistryErrorProbingTheMakerKey",
     [] { makeKey(std::string("SOFTWARE\\Tessaly\\") + std::string(201, 'x')); },
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

INSTANTIATE_TEST_SUITE_P(Versions, RunSetupEarlierVersionTest, ::testing::Values("2.5", "2.10"));

// -- Pending restart operations ----------------------------------------------------

TEST_F(RunSetupTest, PendingRebootAskedWithNoAsDefaultAndNoEndsWithMinusOne) {
    setPendingRenames();
    standinQueueAnswer(IDNO);
    expectRefused(run(), kPendingRebootText, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
}

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
                         ::testing::Values(IDD_WELCOME, IDD_DESTINATION));

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
    {"WelcomeMinusOne", 1, -1}, {"ProgressZero", 4, 0},
};
INSTANTIATE_TEST_SUITE_P(Pages, RunSetupNoWindowTest, ::testing::ValuesIn(kNoWindow),
                         [](const ::testing::TestParamInfo<NoWindowRow> &info) { return info.param.name; });

}  // namespace
