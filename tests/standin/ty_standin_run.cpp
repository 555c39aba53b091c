// The run side of the Win32 stand-in: pages played by the tests, programs and
// help started only on record.
#include "ty_standin.h"
#include "ty_standin_internal.h"
#include "ty_standin_run_control.h"

#include <commctrl.h>
#include <direct.h>
#include <string.h>

namespace {

struct DialogFault {
    int atCall;
    INT_PTR result;
};

std::vector<StandinDialogCall> dialogCalls;
std::vector<DialogFault> dialogFaults;
std::function<INT_PTR(int)> pagePlayer;
int initCommonControlsCalls;
std::vector<StandinShellExecute> shellExecutes;
std::vector<StandinWinHelp> winHelps;
std::vector<std::string> chdirs;

// Process and thread handles, two per started process, in their own range.
struct ProcessHandle {
    bool open;
    size_t process;
};

const uintptr_t kFirstProcessHandle = 0x9000;
const uintptr_t kProcessHandleStep = 4;

std::vector<StandinProcess> processes;
std::vector<DWORD> exitCodes;              // by process
std::vector<ProcessHandle> processHandles;
std::function<bool(const std::string &, DWORD *)> processPlayer;

std::string textOrNull(const char *text) { return text ? text : "<null>"; }

ProcessHandle *findProcessHandle(HANDLE handle) {
    uintptr_t value = (uintptr_t)handle;
    if (value < kFirstProcessHandle || (value - kFirstProcessHandle) % kProcessHandleStep != 0)
        return NULL;
    size_t index = (value - kFirstProcessHandle) / kProcessHandleStep;
    return index < processHandles.size() && processHandles[index].open ? &processHandles[index]
                                                                      : NULL;
}

HANDLE newProcessHandle(size_t process) {
    processHandles.push_back({true, process});
    return (HANDLE)(kFirstProcessHandle + (processHandles.size() - 1) * kProcessHandleStep);
}

}  // namespace

void standinResetRun() {
    dialogCalls.clear();
    dialogFaults.clear();
    pagePlayer = nullptr;
    initCommonControlsCalls = 0;
    shellExecutes.clear();
    winHelps.clear();
    chdirs.clear();
    processes.clear();
    exitCodes.clear();
    processHandles.clear();
    processPlayer = nullptr;
}

const std::vector<StandinDialogCall> &standinDialogCalls() { return dialogCalls; }

void standinSetPagePlayer(const std::function<INT_PTR(int)> &player) { pagePlayer = player; }

void standinFailDialog(int nth, INT_PTR result) {
    dialogFaults.push_back({(int)dialogCalls.size() + nth, result});
}

int standinInitCommonControlsCount() { return initCommonControlsCalls; }
const std::vector<StandinShellExecute> &standinShellExecutes() { return shellExecutes; }
const std::vector<StandinWinHelp> &standinWinHelps() { return winHelps; }
const std::vector<std::string> &standinChdirs() { return chdirs; }

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

void WINAPI InitCommonControls(void) { initCommonControlsCalls++; }

HINSTANCE WINAPI ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                               LPCSTR directory, int showCommand) {
    shellExecutes.push_back({owner, textOrNull(operation), textOrNull(file), textOrNull(parameters),
                             textOrNull(directory), showCommand,
                             chdirs.empty() ? std::string() : chdirs.back()});
    return (HINSTANCE)(uintptr_t)42;  // above 32: started
}

BOOL WINAPI WinHelpA(HWND owner, LPCSTR helpFile, UINT command, ULONG_PTR data) {
    winHelps.push_back({owner, textOrNull(helpFile), command, data});
    return TRUE;
}

int _chdir(const char *path) {
    chdirs.push_back(textOrNull(path));
    return 0;
}


// Processes --------------------------------------------------------------

const std::vector<StandinProcess> &standinProcesses() { return processes; }

void standinSetProcessPlayer(const std::function<bool(const std::string &, DWORD *)> &player) {
    processPlayer = player;
}


bool standinIsProcessHandle(HANDLE handle) { return findProcessHandle(handle) != NULL; }

bool standinCloseProcessHandle(HANDLE handle) {
    ProcessHandle *slot = findProcessHandle(handle);
    if (slot == NULL) return false;
    slot->open = false;
    return true;
}

int standinOpenProcessHandleCount() {
    int count = 0;
    for (const ProcessHandle &handle : processHandles) count += handle.open;
    return count;
}

BOOL WINAPI CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL inheritHandles, DWORD creationFlags,
                           LPVOID, LPCSTR currentFolder, LPSTARTUPINFOA startup,
                           LPPROCESS_INFORMATION information) {
    processes.push_back({textOrNull(application), textOrNull(commandLine), inheritHandles != FALSE,
                         creationFlags, startup ? startup->dwFlags : 0,
                         startup ? startup->wShowWindow : (WORD)0, textOrNull(currentFolder)});
    DWORD exitCode = 0;
    if (!processPlayer || information == NULL ||
        !processPlayer(commandLine ? commandLine : "", &exitCode)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    exitCodes.push_back(exitCode);
    size_t process = exitCodes.size() - 1;
    information->hProcess = newProcessHandle(process);
    information->hThread = newProcessHandle(process);
    information->dwProcessId = (DWORD)(0x400 + process * 4);
    information->dwThreadId = (DWORD)(0x800 + process * 4);
    return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    ProcessHandle *slot = findProcessHandle(process);
    if (slot == NULL || exitCode == NULL) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *exitCode = exitCodes[slot->process];
    return TRUE;
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE *handles, BOOL, DWORD, DWORD) {
    // Started processes have ended by the time anyone waits for them.
    for (DWORD i = 0; i < count; i++)
        if (findProcessHandle(handles[i]) != NULL) return WAIT_OBJECT_0 + i;
    return WAIT_FAILED;
}

BOOL WINAPI PeekMessageA(LPMSG, HWND, UINT, UINT, UINT) { return FALSE; }

LRESULT WINAPI DispatchMessageA(const MSG *) { return 0; }
