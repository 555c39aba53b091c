// Control of the COM side of the Windows test program: the shell's link
// object that CoCreateInstance makes, what each link object was told and
// where it was saved, faults of its calls, and the counts that show that COM
// was set up and taken down in pairs and every object released. Everything
// here goes back to its start with standinReset(); fault counts start at the
// call that sets them.
//
// The link object is the test program's own (ty_standin_shell_win.cpp). Save
// writes a small real file at the path it is given, so that the file can be
// seen and deleted; it fails as creating that file fails (a missing folder,
// a denied path). The links the real shell makes are the Wine suite's.
#ifndef TY_STANDIN_LINK_CONTROL_H
#define TY_STANDIN_LINK_CONTROL_H

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

enum StandinLinkCall {
    kStandinCoCreateInstance,
    kStandinQueryInterface,       // on either interface of a link object
    kStandinSetDescription,
    kStandinSetArguments,
    kStandinSetWorkingDirectory,
    kStandinSetPath,
    kStandinSave,
    kStandinLinkCallKinds
};
// The nth call of that kind returns error and does nothing else.
void standinFailLinkCall(StandinLinkCall call, int nth, HRESULT error);

// One link object, from CoCreateInstance on. A field is set by the call of
// its name that succeeded.
struct StandinLink {
    std::vector<std::string> calls;  // "SetPath", "Save", ... in order,
                                     // failed ones included
    std::string description;
    std::string arguments;
    std::string workingFolder;
    std::string target;              // SetPath
    bool saved;
    std::string savedPath;           // as given to Save, in 8-bit characters
    BOOL remember;
    int references;                  // still held
};
// Every link object made since the reset, in order.
const std::vector<StandinLink> &standinLinks();

int standinCoInitializeCount();
int standinCoUninitializeCount();
// References to link objects and to the shell's allocator that were handed
// out and not released.
int standinComReferences();

#endif
