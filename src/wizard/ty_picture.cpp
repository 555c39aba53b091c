#include <windows.h>

#include "ty_error_display.h"
#include "ty_package.h"
#include "ty_page_frame.h"
#include "ty_pages.h"
#include "ty_product.h"
#include "ty_resource.h"
#include "ty_setup_state.h"

// The panel shows the picture below its top edge, where the artwork expects it.
#define TY_PICTURE_TOP 26

void drawPicture(HDC dc, RECT *rect, HBITMAP bitmap, bool deleteBitmap) {
    HDC memory = CreateCompatibleDC(dc);
    if (memory == NULL) return;
    if (bitmap != NULL) {
        HGDIOBJ replaced = SelectObject(memory, bitmap);
        BITMAP size;
        if (GetObjectA(bitmap, sizeof size, &size) != 0)
            BitBlt(dc, rect->left, rect->top, size.bmWidth, size.bmHeight, memory, 0, 0, SRCCOPY);
        if (deleteBitmap) {
            SelectObject(memory, replaced);
            DeleteObject(bitmap);
        }
    }
    DeleteDC(memory);
}

// The picture is made once, by the first of the welcome and ready pages to
// open, and kept until the process ends: every later panel draws it.
static void loadWelcomePicture(HWND page) {
    if (setupState.welcomePicture == NULL) {
        HDC screen = GetDC(NULL);
        setupState.welcomePicture = loadBitmapEntry(screen, TY_ENTRY_WELCOME_PICTURE);
        ReleaseDC(NULL, screen);
    }
    if (setupState.welcomePicture == NULL) {
        MessageBoxA(page, "Could not load welcome installation picture.", setupState.setupCaption,
                    MB_ICONERROR);
        exitInstaller(-1);
    }
}

static void endPage(HWND page, int pageResult) {
    EndDialog(page, 0);
    setupState.pageResult = pageResult;
}

bool pageFrameMessage(HWND page, UINT message, WPARAM wParam, LPARAM lParam, unsigned flags,
                      INT_PTR *result) {
    switch (message) {
    case WM_INITDIALOG:
        if (flags & TY_PAGE_LOADS_PICTURE) loadWelcomePicture(page);
        SendMessageA(page, WM_SETICON, ICON_BIG,
                     (LPARAM)LoadIconA(setupState.appInstance, MAKEINTRESOURCEA(IDI_INSTALLER)));
        return false;
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT *item = (const DRAWITEMSTRUCT *)lParam;
        if (wParam == IDC_PICTURE && item->itemAction == ODA_DRAWENTIRE) {
            RECT at = {0, TY_PICTURE_TOP, 0, 0};
            drawPicture(item->hDC, &at, setupState.welcomePicture, false);
        }
        *result = FALSE;
        return true;
    }
    case WM_COMMAND:
        // Esc and the caption's close button arrive as IDCANCEL too.
        if (wParam == IDOK && !(flags & TY_PAGE_OWN_NEXT)) {
            endPage(page, TY_PAGE_RESULT_NEXT);
            *result = TRUE;
            return true;
        }
        if (wParam == IDCANCEL && !(flags & TY_PAGE_OWN_EXIT)) {
            endPage(page, TY_PAGE_RESULT_EXIT);
            *result = FALSE;
            return true;
        }
        return false;
    default:
        return false;
    }
}
