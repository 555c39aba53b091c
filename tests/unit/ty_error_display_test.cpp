// The fatal boxes, the composed boxes and the single exit path.
#include <limits.h>
#include <string.h>

#include "ty_error_display.h"
#include "ty_test_support.h"

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

class ExitCodeTest : public ErrorDisplayTest, public ::testing::WithParamInterface<int> {};

TEST_P(ExitCodeTest, ExitInstallerReleasesTheLockAndEndsWithTheCode) {
    ProductRun run = runProduct([] { exitInstaller(GetParam()); });
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, GetParam());
    EXPECT_EQ(standinSemaphoreCount(TY_LOCK_NAME), 1);
    EXPECT_EQ(standinOpenHandleCount(), 0);
    EXPECT_TRUE(standinMessageBoxes().empty()) << describeBoxes();
}

INSTANTIATE_TEST_SUITE_P(ErrorDisplay, ExitCodeTest, ::testing::Values(-1, 42));

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

