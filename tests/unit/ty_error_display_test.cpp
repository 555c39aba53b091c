// The fatal boxes, the composed boxes and the single exit path.
#include <limits.h>
#include <string.h>

#include "ty_error_display.h"
#include "ty_test_support.h"

namespace {

const std::string kNumberedText =
    "An error has occurred. It may be due to system misconfiguration or instability. If the "
    "error persists, contact " TY_SUPPORT_EMAIL ", describe exactly what caused this, and "
    "report the following error identifier and the version of the installer:\n\n\tThe "
    "installer version is 1.0.\n\tThe error identifier is ";

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

TEST_F(ErrorDisplayTest, FatalPackageErrorKeepsTheLongestTextWhole) {
    std::string text(2000 - kCorruptedParagraph.size() - 1, 'x');
    ProductRun run = runProduct([&] { fatalPackageError(text.c_str()); });
    expectFatalBox(run, text + kCorruptedParagraph);
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

INSTANTIATE_TEST_SUITE_P(ErrorDisplay, ExitCodeTest, ::testing::Values(-1, 0, 1, 42));

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
                         ::testing::Values(NumberedCase{2, "2"}, NumberedCase{4, "4"},
                                           NumberedCase{-17, "-17"}, NumberedCase{1000, "1000"},
                                           NumberedCase{0, "0"},
                                           NumberedCase{INT_MIN, "-2147483648"},
                                           NumberedCase{INT_MAX, "2147483647"}));

struct PartsCase {
    const char *name;
    const char *first;
    const char *second;
    const char *third;
    const char *joined;
};

TY_PRINT_ROW_AS_NAME(PartsCase)

class MessageOfPartsTest : public ErrorDisplayTest, public ::testing::WithParamInterface<PartsCase> {};

TEST_P(MessageOfPartsTest, JoinsThePresentPartsWithoutSeparators) {
    const PartsCase &c = GetParam();
    HWND owner = (HWND)(uintptr_t)0x777;
    standinQueueAnswer(IDNO);
    int answer = showMessageOfParts(owner, c.first, c.second, c.third, "Tessaly Updater",
                                    MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(answer, IDNO);
    ASSERT_EQ(standinMessageBoxes().size(), 1u);
    const StandinMessageBox &box = standinMessageBoxes()[0];
    EXPECT_EQ(box.text, c.joined);
    EXPECT_EQ(box.caption, "Tessaly Updater");
    EXPECT_EQ(box.style, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(box.owner, owner);
}

INSTANTIATE_TEST_SUITE_P(
    ErrorDisplay, MessageOfPartsTest,
    ::testing::Values(PartsCase{"AllThree", "Version ", "2.7", " is installed.", "Version 2.7 is installed."},
                      PartsCase{"SecondAbsent", "first\n", NULL, "third", "first\nthird"},
                      PartsCase{"OnlyThird", NULL, NULL, "third", "third"},
                      PartsCase{"NoneAtAll", NULL, NULL, NULL, ""}),
    [](const ::testing::TestParamInfo<PartsCase> &info) { return info.param.name; });

TEST_F(ErrorDisplayTest, MessageOfPartsCutsAtTheBufferEnd) {
    std::string first(1500, 'a'), second(1500, 'b');
    showMessageOfParts(NULL, first.c_str(), second.c_str(), "c", "caption", MB_OK);
    ASSERT_EQ(standinMessageBoxes().size(), 1u);
    EXPECT_EQ(standinMessageBoxes()[0].text, first + std::string(499, 'b'));
}

TEST_F(ErrorDisplayTest, MessageWithDetailPutsTheDetailRightBehind) {
    standinQueueAnswer(IDOK);
    int answer = showMessageWithDetail(NULL, "Could not remove the folder ", "C:\\Program Files\\X\\",
                                       "Tessaly Installer", MB_ICONWARNING);
    EXPECT_EQ(answer, IDOK);
    ASSERT_EQ(standinMessageBoxes().size(), 1u);
    const StandinMessageBox &box = standinMessageBoxes()[0];
    EXPECT_EQ(box.text, "Could not remove the folder C:\\Program Files\\X\\");
    EXPECT_EQ(box.caption, "Tessaly Installer");
    EXPECT_EQ(box.style, MB_ICONWARNING);
}

TEST_F(ErrorDisplayTest, AFailedBoxIsReportedAsZero) {
    standinQueueAnswer(0);
    EXPECT_EQ(showMessageWithDetail(NULL, "a", "b", "c", MB_OK), 0);
}
