// The wizard's pages: modal dialogs that the main procedure runs one after
// another with DialogBoxParamA. A page never chooses the next one: it ends
// itself and leaves TY_PAGE_RESULT_NEXT or TY_PAGE_RESULT_EXIT in setupState.pageResult.
#ifndef TY_PAGES_H
#define TY_PAGES_H

#include <windows.h>

INT_PTR CALLBACK welcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK licencePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK destinationPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK progressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK readyPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The picture panel every page carries.
void drawPicture(HDC dc, RECT *rect, HBITMAP bitmap, bool deleteBitmap);

#endif
