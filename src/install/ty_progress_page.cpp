#include <windows.h>

#include "ty_page_frame.h"
#include "ty_pages.h"
#include "ty_setup_state.h"

// The page stays up this long, so that the user sees the step go by.
#define TY_PLACEHOLDER_SHOWN_MS 800
#define TY_PLACEHOLDER_TIMER 1

// Stands in for the installation until the install sequence exists: the page
// shows its frame for a moment and ends itself with "go on", installing
// nothing. Should the timer not start, the page ends at once.
INT_PTR CALLBACK progressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result;
    if (pageFrameMessage(page, message, wParam, lParam, 0, &result)) return result;
    if (message == WM_INITDIALOG) {
        if (SetTimer(page, TY_PLACEHOLDER_TIMER, TY_PLACEHOLDER_SHOWN_MS, NULL) == 0) {
            EndDialog(page, 0);
            setupState.pageResult = 1;
        }
        return TRUE;
    }
    if (message == WM_TIMER && wParam == TY_PLACEHOLDER_TIMER) {
        KillTimer(page, TY_PLACEHOLDER_TIMER);
        EndDialog(page, 0);
        setupState.pageResult = 1;
        return TRUE;
    }
    return FALSE;
}
