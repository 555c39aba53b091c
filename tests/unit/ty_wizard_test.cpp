// The wizard's pages through their dialog procedures, for what the Wine suite
// cannot see: where the welcome picture lands and that it is kept for the
// next repaint, and the ready page hidden before the help opens over it. The
// pages' walks, boxes and decisions are the Wine suite's.
#include "ty_pages.h"
#include "ty_resource.h"
#include "ty_standin_ui_control.h"
#include "ty_common_test_support.h"

TEST_F(PackageTest, ThePicturePanelDrawsTheWelcomePicture26PixelsDown) {
    ASSERT_FALSE(openImage(standardImage()).exited) << describeBoxes();
    HWND page = standinCreatePage(IDD_WELCOME);
    expectQuiet(runProduct([&] { welcomePageProc(page, WM_INITDIALOG, 0, 0); }));
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

// Leaving the ready page with the help task ticked hides the page before the
// documentation opens over it.
TEST_F(PackageTest, LeavingTheReadyPageWithTheHelpTaskHidesThePage) {
    ASSERT_FALSE(openImage(standardImage()).exited) << describeBoxes();
    HWND page = standinCreatePage(IDD_READY);
    strcpy(setupState.installDir, "C:\\Apps\\Quenfold\\");
    expectQuiet(runProduct([&] { readyPageProc(page, WM_INITDIALOG, 0, 0); }));
    ASSERT_TRUE(standinPageVisible(page));
    expectQuiet(runProduct([&] { readyPageProc(page, WM_COMMAND, IDCANCEL, 0); }));
    EXPECT_TRUE(standinPageEnded(page));
    EXPECT_FALSE(standinPageVisible(page));
}
