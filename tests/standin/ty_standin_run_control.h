// Control of the run side of the Win32 stand-in: how DialogBoxParamA plays a
// page, and what the program started at its end. Everything here goes back to
// its start with standinReset().
//
// DialogBoxParamA never runs the dialog procedure it is given: the stand-in
// has no windows to send it messages. A test installs a page player instead,
// which does what the page would have done (sets setupState.pageResult and
// whatever else the page writes, may show boxes or end the process) and
// returns the value the page would have passed to EndDialog.
#ifndef TY_STANDIN_RUN_CONTROL_H
#define TY_STANDIN_RUN_CONTROL_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct StandinDialogCall {
    HINSTANCE instance;
    int templateId;      // the MAKEINTRESOURCE number; -1 for a template name
    HWND owner;
    DLGPROC procedure;
    LPARAM parameter;
};
const std::vector<StandinDialogCall> &standinDialogCalls();

// Called with the template id for every dialog that is not made to fail.
// Without a player every dialog fails as a missing template does (-1).
void standinSetPagePlayer(const std::function<INT_PTR(int templateId)> &player);
// The nth DialogBoxParamA call from now returns result (-1 as when the
// template is missing, 0 as when the owner is invalid) without playing the
// page. The call is recorded all the same.
void standinFailDialog(int nth, INT_PTR result);

int standinInitCommonControlsCount();

struct StandinShellExecute {
    HWND owner;
    std::string operation;   // "<null>" for NULL, as for the others
    std::string file;
    std::string parameters;
    std::string directory;
    int showCommand;
    std::string currentFolder;  // the last _chdir's path at the time; "" none
};
const std::vector<StandinShellExecute> &standinShellExecutes();

struct StandinWinHelp {
    HWND owner;
    std::string helpFile;
    UINT command;
    ULONG_PTR data;
};
const std::vector<StandinWinHelp> &standinWinHelps();

// Every _chdir's path in order. They are recorded, not carried out: the test
// process keeps its own current folder. _chdir returns 0.
const std::vector<std::string> &standinChdirs();

// Started processes. CreateProcessA runs the process player (a test's stand-in
// for the program, which may change files, the registry or the lock as the
// program would) to its end before it returns: every wait on the process
// then finds it ended. Without a player, or when the player returns false,
// CreateProcessA fails with ERROR_FILE_NOT_FOUND.
struct StandinProcess {
    std::string application;    // "<null>" for NULL
    std::string commandLine;    // as CreateProcessA got it
    bool inheritHandles;
    DWORD creationFlags;
    DWORD startupFlags;         // STARTUPINFOA dwFlags
    WORD showWindow;            // STARTUPINFOA wShowWindow
    std::string currentFolder;  // "<null>" for NULL
};
const std::vector<StandinProcess> &standinProcesses();
void standinSetProcessPlayer(
    const std::function<bool(const std::string &commandLine, DWORD *exitCode)> &player);

// Called by standinReset().
void standinResetRun();

#endif
