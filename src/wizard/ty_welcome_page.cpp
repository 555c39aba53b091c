#include <windows.h>

#include "ty_page_frame.h"
#include "ty_pages.h"

INT_PTR CALLBACK welcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result;
    if (pageFrameMessage(page, message, wParam, lParam, TY_PAGE_LOADS_PICTURE, &result))
        return result;
    return message == WM_INITDIALOG ? TRUE : FALSE;
}
