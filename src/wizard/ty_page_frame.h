// What every wizard page does alike: its icon, the picture panel, and ending
// the page with its forward button or with Exit. Each page's dialog procedure
// hands every message to pageFrameMessage first.
#ifndef TY_PAGE_FRAME_H
#define TY_PAGE_FRAME_H

#include <windows.h>

// How a page departs from the common frame.
#define TY_PAGE_LOADS_PICTURE 0x1  // makes the welcome picture if no page has
#define TY_PAGE_OWN_NEXT 0x2       // decides itself what IDOK does
#define TY_PAGE_OWN_EXIT 0x4       // decides itself what IDCANCEL does

// True when the frame has dealt with message; *result is then what the
// procedure returns. WM_INITDIALOG is never dealt with completely: the frame
// sets the icon and the page goes on with its own opening.
bool pageFrameMessage(HWND page, UINT message, WPARAM wParam, LPARAM lParam, unsigned flags,
                      INT_PTR *result);

#endif
