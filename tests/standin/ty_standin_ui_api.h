// Dialogs, controls and painting of the wizard pages, for host builds: what
// the page procedures call, with Windows' values. The behaviour lives in
// ty_standin_ui.cpp; tests steer it through ty_standin_ui_control.h.
#ifndef TY_STANDIN_UI_API_H
#define TY_STANDIN_UI_API_H

// The run side may define these as well; both spell the Windows values.
#ifndef MAKEINTRESOURCEA
#define MAKEINTRESOURCEA(id) ((LPSTR)(uintptr_t)(WORD)(id))
#endif
#ifndef SW_SHOWDEFAULT
#define SW_SHOWDEFAULT 10
#endif
#ifndef MB_DEFBUTTON2
#define MB_DEFBUTTON2 0x00000100u
#endif

// Window messages
#define WM_SETICON 0x0080
#define WM_DRAWITEM 0x002B
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_USER 0x0400
#define ICON_SMALL 0
#define ICON_BIG 1

// Owner-drawn controls
#define ODT_STATIC 5
#define ODA_DRAWENTIRE 0x0001
#define ODA_SELECT 0x0002
#define ODA_FOCUS 0x0004

typedef struct tagDRAWITEMSTRUCT {
    UINT CtlType;
    UINT CtlID;
    UINT itemID;
    UINT itemAction;
    UINT itemState;
    HWND hwndItem;
    HDC hDC;
    RECT rcItem;
    uintptr_t itemData;
} DRAWITEMSTRUCT, *LPDRAWITEMSTRUCT;

// Buttons
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BST_UNCHECKED 0x0000
#define BST_CHECKED 0x0001

// Progress bar
#define PBM_SETPOS (WM_USER + 2)

// Showing windows
#define SW_HIDE 0
#define SW_SHOW 5

// GDI
#define SRCCOPY 0x00CC0020u

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP;

#ifdef __cplusplus
extern "C" {
#endif

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);
HWND WINAPI GetDlgItem(HWND dialog, int id);
BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size);
LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL WINAPI ShowWindow(HWND window, int showCommand);
BOOL WINAPI UpdateWindow(HWND window);
UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT milliseconds, void *callback);
BOOL WINAPI KillTimer(HWND window, UINT_PTR id);
HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name);

HDC WINAPI CreateCompatibleDC(HDC dc);
BOOL WINAPI DeleteDC(HDC dc);
HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
int WINAPI GetObjectA(HANDLE object, int size, LPVOID buffer);
BOOL WINAPI BitBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX,
                   int sourceY, DWORD operation);

#ifdef __cplusplus
}
#endif

#endif
