// The run side of the Win32 stand-in: pages played by the tests, programs and
// help started only on record.
#include "ty_standin.h"
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
int initCommonControlsCalls;
std::vector<StandinShellExecute> shellExecutes;
std::vector<StandinWinHelp> winHelps;
std::vector<std::string> chdirs;

std::string textOrNull(const char *text) { return text ? text : "<null>"; }

}  // namespace

void standinResetRun() {
    dialogCalls.clear();
    dialogFaults.clear();
    pagePlayer = nullptr;
    initCommonControlsCalls = 0;
    shellExecutes.clear();
    winHelps.clear();
    chdirs.clear();
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

