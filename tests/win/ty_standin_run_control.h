// Control of the run side of the Windows test program: how DialogBoxParamA
// plays a page. Everything here goes back to its start with standinReset().
// No help and no program is started: WinHelpA and ShellExecuteA only succeed.
//
// DialogBoxParamA never runs the dialog procedure it is given. A test
// installs a page player instead, which does what the page would have done
// (sets setupState.pageResult and whatever else the page writes, may show
// boxes or end the process) and returns the value the page would have passed
// to EndDialog.
#ifndef TY_STANDIN_RUN_CONTROL_H
#define TY_STANDIN_RUN_CONTROL_H

#include <windows.h>

#include <functional>
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

#endif
