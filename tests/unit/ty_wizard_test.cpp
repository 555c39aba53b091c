// The welcome page's picture panel, drawn through the page's dialog
// procedure: where the picture lands and that it is kept for the next
// repaint. The pages' walks, boxes and decisions are the Wine suite's.
#include "ty_pages.h"
#include "ty_resource.h"
#include "ty_standin_ui_control.h"
#include "ty_test_support.h"

TEST_F(PackageTest, ThePicturePanelDrawsTheWelcomePicture26PixelsDown) {
    ASSERT_FALSE(openImage(standardImage()).exited) << describeBoxes();
    HWND page = standinCreatePage();
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
