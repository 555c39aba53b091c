// windows.h first: the shell headers build on it.
#include <windows.h>
#include <shellapi.h>
#include <string.h>

#include "ty_page_frame.h"
#include "ty_pages.h"
#include "ty_product.h"
#include "ty_resource.h"
#include "ty_setup_state.h"

static const int taskBoxes[] = {IDC_TASK_HELP, IDC_TASK_START, IDC_TASK_START_MENU};

static bool ticked(HWND page, int box) {
    return SendMessageA(GetDlgItem(page, box), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// The product is installed: the maker's other programs may run from now on,
// and nothing after this page ends the process through exitInstaller.
static void releaseLock(void) {
    ReleaseSemaphore(setupState.instanceLock, 1, NULL);
    CloseHandle(setupState.instanceLock);
    setupState.instanceLock = NULL;
}

// The ticked tasks start as the page is left; the scheduler is the main
// procedure's, after the package is closed. Nothing started is waited for and
// a task that cannot start fails silently.
static void startTickedTasks(HWND page) {
    if (ticked(page, IDC_TASK_HELP)) {
        char program[TY_PATH_SIZE];
        if (composePath(program, setupState.installDir, TY_FILE_MAIN_PROGRAM)) {
            ShowWindow(page, SW_HIDE);
            ShellExecuteA(page, "open", program, "?", NULL, SW_SHOWDEFAULT);
        }
    }
    if (ticked(page, IDC_TASK_START)) setupState.startProduct = true;
    if (ticked(page, IDC_TASK_START_MENU))
        ShellExecuteA(page, "open", setupState.startMenuFolder, NULL, NULL, SW_SHOWDEFAULT);
}

INT_PTR CALLBACK readyPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result;
    if (pageFrameMessage(page, message, wParam, lParam,
                         TY_PAGE_LOADS_PICTURE | TY_PAGE_OWN_NEXT | TY_PAGE_OWN_EXIT, &result))
        return result;
    if (message == WM_INITDIALOG) {
        for (size_t i = 0; i < sizeof taskBoxes / sizeof taskBoxes[0]; i++)
            SendMessageA(GetDlgItem(page, taskBoxes[i]), BM_SETCHECK, BST_CHECKED, 0);
        releaseLock();
        return TRUE;
    }
    // There is no forward button: IDOK (Enter) does nothing. Exit, Esc and the
    // caption's close button all leave with the tasks.
    if (message == WM_COMMAND && wParam == IDCANCEL) {
        startTickedTasks(page);
        EndDialog(page, 0);
        setupState.pageResult = TY_PAGE_RESULT_EXIT;
    }
    return FALSE;
}
