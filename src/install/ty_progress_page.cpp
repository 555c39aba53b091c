#include <windows.h>

#include "ty_page_frame.h"
#include "ty_pages.h"
#include "ty_setup_state.h"

// Stands in for the installation until the install sequence exists: the page
// shows its frame and ends itself at once with "go on", installing nothing.
// Ending from WM_INITDIALOG keeps the dialog manager from entering its loop,
// as the install sequence will.
INT_PTR CALLBACK progressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result;
    if (pageFrameMessage(page, message, wParam, lParam, 0, &result)) return result;
    if (message == WM_INITDIALOG) {
        ShowWindow(page, SW_SHOW);
        UpdateWindow(page);
        EndDialog(page, 0);
        setupState.pageResult = 1;
        return TRUE;
    }
    return FALSE;
}
