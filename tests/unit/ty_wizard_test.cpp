// The wizard pages driven through their dialog procedures, for what the Wine
// suite cannot reach: failing controls and registry reads, and the
// destination page's decisions checked against setupState.
#include <functional>

#include "ty_pages.h"
#include "ty_resource.h"
#include "ty_standin_run_control.h"
#include "ty_standin_ui_control.h"
#include "ty_test_support.h"

namespace {

const std::string kNumberedText = expectedText("numbered");
const char kProgramFiles[] = "C:\\Program Files";
const char kDefaultFolder[] = "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS";
const std::string kTooLong = expectedText("too-long");

std::string question(const std::string &folder) {
    return "The program will be installed in the following location:\n\n\t" + folder +
           "\n\nWould you like to continue with installation?";
}

void setProgramFilesDir(const char *value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, TY_KEY_PROGRAM_FILES, 0, NULL, 0, KEY_SET_VALUE,
                              NULL, &key, NULL),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, TY_VALUE_PROGRAM_FILES, 0, REG_SZ, (const BYTE *)value,
                             (DWORD)strlen(value) + 1),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

}  // namespace

// An open package of name width 46 (this product's), the lock taken, a page
// window, and Program Files where Windows keeps it.
class WizardTest : public PackageTest {
protected:
    void SetUp() override {
        PackageTest::SetUp();
        ASSERT_FALSE(openImage(standardImage()).exited) << describeBoxes();
        setProgramFilesDir(kProgramFiles);
        page = standinCreatePage();
        memset(setupState.installDir, kSentinel, sizeof setupState.installDir);
        setupState.pageResult = 0;
    }

public:
    ProductRun send(DLGPROC procedure, UINT message, WPARAM wParam, INT_PTR *result = NULL) {
        return runProduct([=] {
            INT_PTR answer = procedure(page, message, wParam, 0);
            if (result) *result = answer;
        });
    }

    // The numbered box, the end of the process with -1, the lock given back.
    void expectNumberedExit(const ProductRun &run, int identifier) {
        EXPECT_TRUE(run.exited) << describeBoxes();
        EXPECT_EQ(run.exitCode, -1);
        ASSERT_EQ(standinMessageBoxes().size(), 1u) << describeBoxes();
        const StandinMessageBox &box = standinMessageBoxes()[0];
        EXPECT_EQ(box.text, kNumberedText + std::to_string(identifier));
        EXPECT_EQ(box.caption, "Tessaly Installer 1.0: Error");
        EXPECT_EQ(box.style, MB_ICONERROR);
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(standinSemaphoreCount(TY_LOCK_NAME), 1);
    }

protected:
    HWND page;
};


class DestinationTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        ASSERT_FALSE(send(destinationPageProc, WM_INITDIALOG, 0).exited) << describeBoxes();
    }

    // Types folder and presses Next; returns what the procedure returned.
    INT_PTR next(const std::string &folder) {
        standinTypeText(page, IDC_FOLDER, folder);
        INT_PTR result = -7;
        ProductRun run = send(destinationPageProc, WM_COMMAND, IDOK, &result);
        EXPECT_FALSE(run.exited) << describeBoxes();
        return result;
    }

    void expectQuestion(size_t index, const std::string &folder) {
        ASSERT_GT(standinMessageBoxes().size(), index) << describeBoxes();
        const StandinMessageBox &box = standinMessageBoxes()[index];
        EXPECT_EQ(box.text, question(folder));
        EXPECT_EQ(box.caption, "Tessaly Installer");
        EXPECT_EQ(box.style, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
        EXPECT_EQ(box.owner, page);
    }

    void expectAccepted(INT_PTR result, const std::string &installDir) {
        EXPECT_EQ(result, TRUE);
        EXPECT_TRUE(standinPageEnded(page));
        EXPECT_EQ(standinPageEndResult(page), 0);
        EXPECT_EQ(setupState.pageResult, 1);
        EXPECT_EQ(std::string(setupState.installDir), installDir);
    }
};

struct LengthCase {
    const char *name;
    size_t length;
    bool accepted;
};
TY_PRINT_ROW_AS_NAME(LengthCase)

class FolderLengthTest : public DestinationTest,
                         public ::testing::WithParamInterface<LengthCase> {};

TEST_P(FolderLengthTest, TheLimitIsTheNameWidthPlus201) {
    std::string folder = "C:\\" + std::string(GetParam().length - 3, 'f');
    standinQueueAnswer(IDYES);
    INT_PTR result = next(folder);
    if (GetParam().accepted) {
        expectQuestion(0, folder);
        expectAccepted(result, folder + "\\");
        return;
    }
    EXPECT_EQ(result, FALSE);
    ASSERT_EQ(standinMessageBoxes().size(), 1u) << describeBoxes();
    const StandinMessageBox &box = standinMessageBoxes()[0];
    EXPECT_EQ(box.text, kTooLong);
    EXPECT_EQ(box.caption, "Tessaly Installer");
    EXPECT_EQ(box.style, MB_ICONERROR);
    EXPECT_EQ(box.owner, page);
    EXPECT_FALSE(standinPageEnded(page));
    EXPECT_EQ(setupState.pageResult, 0);
    EXPECT_EQ(standinControlText(page, IDC_FOLDER), folder);
}

INSTANTIATE_TEST_SUITE_P(Wizard, FolderLengthTest,
                         ::testing::Values(LengthCase{"at_247", 247, true},
                                           LengthCase{"at_248", 248, false}),
                         [](const ::testing::TestParamInfo<LengthCase> &info) {
                             return info.param.name;
                         });

TEST_F(DestinationTest, AnEmptyFieldInstallsIntoTheDefaultFolder) {
    standinQueueAnswer(IDYES);
    INT_PTR result = next("");
    ASSERT_EQ(standinMessageBoxes().size(), 1u) << describeBoxes();
    expectQuestion(0, kDefaultFolder);
    expectAccepted(result, std::string(kDefaultFolder) + "\\");
    EXPECT_EQ(standinControlText(page, IDC_FOLDER), "");
}

// The folder is confirmed and taken as Windows resolves it; a trailing
// backslash typed stays, and gets a second one.
struct TypedCase {
    const char *name;
    const char *typed;
    const char *confirmed;
};
TY_PRINT_ROW_AS_NAME(TypedCase)

class TypedFolderTest : public DestinationTest, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(TypedFolderTest, IsConfirmedAndTakenAsResolved) {
    standinQueueAnswer(IDYES);
    INT_PTR result = next(GetParam().typed);
    expectQuestion(0, GetParam().confirmed);
    expectAccepted(result, std::string(GetParam().confirmed) + "\\");
}

INSTANTIATE_TEST_SUITE_P(
    Wizard, TypedFolderTest,
    ::testing::Values(TypedCase{"TrailingBackslash", "E:\\Apps\\", "E:\\Apps\\"},
                      TypedCase{"DotDot", "C:\\New\\..\\Empty\\Quenfold", "C:\\Empty\\Quenfold"}),
    [](const ::testing::TestParamInfo<TypedCase> &info) { return info.param.name; });

// -- The frame and the ready page --------------------------------------------

TEST_F(WizardTest, ThePicturePanelDrawsTheWelcomePicture26PixelsDown) {
    ASSERT_FALSE(send(welcomePageProc, WM_INITDIALOG, 0).exited) << describeBoxes();
    ASSERT_NE(setupState.welcomePicture, nullptr);
    HDC panelDc = (HDC)(uintptr_t)0xD0;
    DRAWITEMSTRUCT item;
    memset(&item, 0, sizeof item);
    item.CtlType = ODT_STATIC;
    item.CtlID = IDC_PICTURE;
    item.itemAction = ODA_DRAWENTIRE;
    item.hDC = panelDc;
    item.rcItem = {0, 0, 194, 244};
    INT_PTR result = -7;
    ProductRun run = runProduct(
        [&] { result = welcomePageProc(page, WM_DRAWITEM, IDC_PICTURE, (LPARAM)&item); });
    expectQuiet(run);
    EXPECT_EQ(result, FALSE);
    ASSERT_EQ(standinBlits().size(), 1u);
    const StandinBlit &blit = standinBlits()[0];
    EXPECT_EQ(blit.target, panelDc);
    EXPECT_EQ(blit.x, 0);
    EXPECT_EQ(blit.y, 26);
    EXPECT_EQ(blit.width, 5);   // the picture of standardRecords, at its size
    EXPECT_EQ(blit.height, 3);
    EXPECT_EQ(blit.sourceBitmap, (HGDIOBJ)setupState.welcomePicture);
    EXPECT_EQ(blit.operation, SRCCOPY);
    EXPECT_TRUE(standinDeletedObjects().empty());  // kept for the next repaint
    EXPECT_EQ(standinMemoryDcsHeld(), 0);
}

// Leaving the ready page starts the ticked tasks: the documentation through
// the main program with "?" (the page hidden first), the Start Menu folder,
// and the scheduler by way of startProduct, which the main procedure starts.
TEST_F(WizardTest, LeavingTheReadyPageStartsTheTickedTasks) {
    strcpy(setupState.installDir, "C:\\Apps\\Quenfold\\");
    strcpy(setupState.startMenuFolder, "C:\\Menu\\Quenfold for Vexor for DOS");
    setupState.startProduct = false;
    expectQuiet(send(readyPageProc, WM_INITDIALOG, 0));
    expectQuiet(send(readyPageProc, WM_COMMAND, IDCANCEL));

    EXPECT_TRUE(standinPageEnded(page));
    EXPECT_EQ(setupState.pageResult, 2);
    EXPECT_TRUE(setupState.startProduct);
    EXPECT_FALSE(standinPageVisible(page));
    const std::vector<StandinShellExecute> &started = standinShellExecutes();
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0].owner, page);
    EXPECT_EQ(started[0].operation, "open");
    EXPECT_EQ(started[0].file, "C:\\Apps\\Quenfold\\Tessaly Quenfold.exe");
    EXPECT_EQ(started[0].parameters, "?");
    EXPECT_EQ(started[0].showCommand, SW_SHOWDEFAULT);
    EXPECT_EQ(started[1].operation, "open");
    EXPECT_EQ(started[1].file, "C:\\Menu\\Quenfold for Vexor for DOS");
    EXPECT_EQ(started[1].parameters, "<null>");
    EXPECT_EQ(started[1].showCommand, SW_SHOWDEFAULT);
}

