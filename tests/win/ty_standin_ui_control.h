// Control of the dialog side of the Windows test program: page windows that a
// test drives a page procedure with, what their controls were given and what
// was painted. Everything here goes back to its start with standinReset().
//
// A test calls the page procedure itself with the messages Windows would send
// (WM_INITDIALOG, WM_COMMAND, WM_DRAWITEM) and the page window made here.
#ifndef TY_STANDIN_UI_CONTROL_H
#define TY_STANDIN_UI_CONTROL_H

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

// A new, visible page window: a dialog of that template of the installer's
// resources, which the test program holds, run by a procedure that does
// nothing.
HWND standinCreatePage(int templateId);

// What a control shows, and the user changing it.
void standinTypeText(HWND page, int id, const std::string &text);
// Every text SetDlgItemTextA put into the control, in order.
const std::vector<std::string> &standinControlTexts(HWND page, int id);

// Every message SendMessageA sent to a window (a page, or a control as
// GetDlgItem gives it), in order.
struct StandinSentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
const std::vector<StandinSentMessage> &standinSentMessages(HWND window);
int standinRepaintCount(HWND window);                     // UpdateWindow calls

// The page itself.
bool standinPageEnded(HWND page);                         // EndDialog called
INT_PTR standinPageEndResult(HWND page);
bool standinPageVisible(HWND page);
HICON standinPageBigIcon(HWND page);                      // WM_SETICON ICON_BIG
// What LoadIconA gives for a resource number of the test program.
HICON standinIconHandle(int resourceId);

// Item lists handed out by SHGetSpecialFolderLocation and not yet given back
// to the shell's allocator (SHGetMalloc's). Using one that was given back
// ends the test program.
int standinItemListsHeld();

// Special folders (CSIDL_*): until set, a folder is unknown and
// SHGetSpecialFolderLocation fails. path NULL makes it unknown again; ""
// is a folder without a file-system path (SHGetPathFromIDListA fails).
void standinSetSpecialFolder(int folder, const char *path);
// Painting, recorded without reaching the screen.
struct StandinBlit {
    HDC target;
    int x, y, width, height;
    HDC source;
    HGDIOBJ sourceBitmap;    // what was selected into source at the time
    int sourceX, sourceY;
    DWORD operation;
};
const std::vector<StandinBlit> &standinBlits();
int standinMemoryDcsHeld();                               // created, not deleted
const std::vector<HGDIOBJ> &standinDeletedObjects();      // DeleteObject calls

#endif
