// The fatal boxes, the composed boxes and the single exit path.
#include <limits.h>
#include <string.h>

#include "ty_error_display.h"
#include "ty_install_test_support.h"

namespace {

const std::string kNumberedText = expectedText("numbered");

}  // namespace

class ErrorDisplayTest : public ProductTest {
protected:
    void SetUp() override {
        ProductTest::SetUp();
        takeLock();
    }
};

TEST_F(ErrorDisplayTest, FatalErrorShowsTheTextAndEndsWithMinusOne) {
    expectFatalBox(runProduct([] { fatalError("\nSomething broke"); }), "\nSomething broke");
}

TEST_F(ErrorDisplayTest, FatalPackageErrorAppendsTheParagraph) {
    ProductRun run = runProduct([] { fatalPackageError("\nError reading the file size."); });
    expectFatalBox(run, "\nError reading the file size.\nThe installation package is corrupted. It "
                        "was probably damaged during network download or transfer, or due to "
                        "errors on the distribution media. Please obtain a new package. The newest "
                        "version can be found at " TY_WEB_SITE ". For questions or comments, "
                        "please contact " TY_SUPPORT_EMAIL ".");
}

// During an upgrade whose old version stays, the exit path puts each saved
// copy back into the old folder; one that cannot go back is kept and named.
struct ExitCase {
    const char *name;
    int code;
    bool savedCopies;
};
TY_PRINT_ROW_AS_NAME(ExitCase)

class ExitCodeTest : public InstallTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitCodeTest, ExitInstallerReleasesTheLockAndEndsWithTheCode) {
    const std::string copies = "C:\\TEMP\\TYUpgrade1\\";
    if (GetParam().savedCopies) {
        makeFolder("C:\\Old");
        makeFolder(copies);
        makeFile(copies + "TYQuenfold.ini", "settings");
        makeFile(copies + "TYScheduler.dat", "schedule");
        setupState.configSaved = true;
        strcpy(setupState.upgradeFolder, copies.c_str());
        strcpy(setupState.savedConfigPath, (copies + "TYQuenfold.ini").c_str());
        strcpy(setupState.savedSchedulerPath, (copies + "TYScheduler.dat").c_str());
        strcpy(setupState.oldInstallDir, "C:\\Old\\");
        standinDenyPath("C:\\Old\\TYQuenfold.ini");
    }
    ProductRun run = runProduct([] { exitInstaller(GetParam().code); });
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, GetParam().code);
    EXPECT_EQ(standinSemaphoreCount(TY_LOCK_NAME), 1);
    EXPECT_EQ(standinOpenHandleCount(), 0);
    if (!GetParam().savedCopies) {
        EXPECT_TRUE(standinMessageBoxes().empty()) << describeBoxes();
        return;
    }
    ASSERT_EQ(standinMessageBoxes().size(), 1u) << describeBoxes();
    expectBox(0, expectedText("not-put-back", {{"copies", copies + "TYQuenfold.ini"}}), MB_ICONWARNING,
              NULL, setupState.setupCaption);
    EXPECT_EQ(contentOf("C:\\Old\\TYScheduler.dat"), "schedule");
    EXPECT_FALSE(exists(copies + "TYScheduler.dat"));
    EXPECT_EQ(contentOf(copies + "TYQuenfold.ini"), "settings");
    EXPECT_FALSE(exists("C:\\Old\\TYQuenfold.ini"));
}

INSTANTIATE_TEST_SUITE_P(ErrorDisplay, ExitCodeTest,
                         ::testing::Values(ExitCase{"MinusOne", -1, false}, ExitCase{"FortyTwo", 42, false},
                                           ExitCase{"SavedCopyThatCannotGoBack", -1, true}),
                         [](const ::testing::TestParamInfo<ExitCase> &info) { return info.param.name; });

struct NumberedCase {
    int identifier;
    const char *number;
};

class NumberedErrorTest : public ErrorDisplayTest,
                          public ::testing::WithParamInterface<NumberedCase> {};

TEST_P(NumberedErrorTest, ShowsTheIdentifierLastAndReturns) {
    ProductRun run = runProduct([] { showNumberedError(GetParam().identifier); });
    EXPECT_FALSE(run.exited);
    ASSERT_EQ(standinMessageBoxes().size(), 1u) << describeBoxes();
    const StandinMessageBox &box = standinMessageBoxes()[0];
    EXPECT_EQ(box.text, kNumberedText + GetParam().number);
    EXPECT_EQ(box.caption, "Tessaly Installer 1.0: Error");
    EXPECT_EQ(box.style, MB_ICONERROR);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(standinSemaphoreCount(TY_LOCK_NAME), 0);  // still held
}

INSTANTIATE_TEST_SUITE_P(ErrorDisplay, NumberedErrorTest,
                         ::testing::Values(NumberedCase{2, "2"}, NumberedCase{INT_MIN, "-2147483648"}));

