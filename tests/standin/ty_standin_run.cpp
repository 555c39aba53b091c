// The run side of the Win32 stand-in: pages played by the tests; no program
// or help is ever started.
#include "ty_standin.h"
#include "ty_standin_internal.h"
#include "ty_standin_run_control.h"

#include <commctrl.h>
#include <direct.h>

namespace {

struct DialogFault {
    int atCall;
    INT_PTR result;
};

std::vector<StandinDialogCall> dialogCalls;
std::vector<DialogFault> dialogFaults;
std::function<INT_PTR(int)> pagePlayer;

}  // namespace

void standinResetRun() {
    dialogCalls.clear();
    dialogFaults.clear();
    pagePlayer = nullptr;
}

const std::vector<StandinDialogCall> &standinDialogCalls() { return dialogCalls; }

void standinSetPagePlayer(const std::function<INT_PTR(int)> &player) { pagePlayer = player; }

void standinFailDialog(int nth, INT_PTR result) {
    dialogFaults.push_back({(int)dialogCalls.size() + nth, result});
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC procedure, LPARAM parameter) {
    uintptr_t name = (uintptr_t)templateName;
    int templateId = name <= 0xFFFF ? (int)name : -1;
    dialogCalls.push_back({instance, templateId, owner, procedure, parameter});
    int call = (int)dialogCalls.size();
    for (const DialogFault &fault : dialogFaults)
        if (fault.atCall == call) return fault.result;
    if (!pagePlayer) return -1;
    // The player may end the process: nothing here needs destroying then.
    return pagePlayer(templateId);
}

void WINAPI InitCommonControls(void) {}

HINSTANCE WINAPI ShellExecuteA(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, int) {
    return (HINSTANCE)(uintptr_t)42;  // above 32: started
}

BOOL WINAPI WinHelpA(HWND, LPCSTR, UINT, ULONG_PTR) { return TRUE; }

int _chdir(const char *) { return 0; }

BOOL WINAPI CreateProcessA(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                           LPVOID, LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE, LPDWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD, const HANDLE *, BOOL, DWORD, DWORD) { return WAIT_FAILED; }

BOOL WINAPI PeekMessageA(LPMSG, HWND, UINT, UINT, UINT) { return FALSE; }

LRESULT WINAPI DispatchMessageA(const MSG *) { return 0; }
