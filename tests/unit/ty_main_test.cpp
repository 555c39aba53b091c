// The main procedure's refusals at start-up that only injected faults cause
// (a refused registry read, no module path, no memory, no pending-restart
// check, a page without its window), each with its box and exit code. The
// pages are played by the test's page player, which leaves in the setup
// state what each page would; the walks, the version checks and the lock
// are the Wine suite's.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "ty_main.h"
#include "ty_pages.h"
#include "ty_resource.h"
#include "ty_standin_run_control.h"
#include "ty_common_test_support.h"
#include "ty_standin_system_control.h"

namespace {

const HINSTANCE kInstance = (HINSTANCE)(uintptr_t)0x400000;
const char kInstallDir[] = "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS\\";
const int kResultSentinel = 99;

const std::string kRegistryErrorText = expectedText("registry-error");
const std::string kInitialisationText = expectedText("initialisation");
const std::string kModulePathText = expectedText("module-path");
const std::string kNoMemoryText = expectedText("no-memory");
const std::string kNoWindowText = expectedText("no-window");

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

    // What each page leaves behind: the destination page the folder, every
    // page Next.
    INT_PTR playPage(int templateId) {
        if (templateId == IDD_DESTINATION) strcpy(setupState.installDir, kInstallDir);
        setupState.pageResult = 1;
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

    int result = kResultSentinel;
};

const std::vector<int> kAllPages = {IDD_WELCOME, IDD_LICENCE, IDD_DESTINATION, IDD_PROGRESS, IDD_READY};

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
    if (HasFatalFailure() || IsSkipped()) return;
    expectRefused(run(), *GetParam().text, GetParam().style);
}

const RefusalRow kRefusals[] = {
    {"RegistryErrorReadingThisVersion",
     [] { standinFailRegistryCall(kStandinRegOpenKey, 1, ERROR_ACCESS_DENIED); },
     &kRegistryErrorText, MB_ICONERROR},
    // The third key the start opens is "Session Manager", on the NT family.
    {"PendingCheckFails",
     [] {
         if (GetVersion() & 0x80000000u) GTEST_SKIP() << "the pending check reads no key on this family";
         standinFailRegistryCall(kStandinRegOpenKey, 3, ERROR_FILE_NOT_FOUND);
     },
     &kInitialisationText, MB_ICONERROR},
    {"ModulePathUnknown", [] { standinSetModulePath(NULL); }, &kModulePathText, MB_ICONERROR},
    {"NoMemoryForThePackage", [] { standinFailAllocation(1); }, &kNoMemoryText, MB_ICONERROR},
};
INSTANTIATE_TEST_SUITE_P(Refusals, RunSetupRefusalTest, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<RefusalRow> &info) { return info.param.name; });

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
