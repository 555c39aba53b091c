// Running the pages and starting programs, for host builds: the modal dialog
// call, the shell's program start and the help viewer. Their behaviour lives
// in ty_standin_run.cpp; tests steer it through ty_standin_run_control.h.
#ifndef TY_STANDIN_RUN_API_H
#define TY_STANDIN_RUN_API_H

typedef uintptr_t ULONG_PTR;

// The dialog side may define these as well; both spell the Windows values.
#ifndef MAKEINTRESOURCEA
#define MAKEINTRESOURCEA(id) ((LPSTR)(ULONG_PTR)(WORD)(id))
#endif
#ifndef SW_SHOWDEFAULT
#define SW_SHOWDEFAULT 10
#endif
#ifndef MB_DEFBUTTON2
#define MB_DEFBUTTON2 0x00000100u
#endif
#ifndef HELP_CONTEXT
#define HELP_CONTEXT 0x0001u
#endif
#define SW_SHOWNORMAL 1

// Processes
#define STARTF_USESHOWWINDOW 0x00000001u
#define NORMAL_PRIORITY_CLASS 0x00000020u
#define STILL_ACTIVE 259u

typedef struct _STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOA, *LPSTARTUPINFOA;

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *LPPROCESS_INFORMATION;

// The thread's message queue
#define QS_ALLINPUT 0x04FFu
#define PM_NOREMOVE 0x0000u
#define PM_REMOVE 0x0001u

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

#ifdef __cplusplus
extern "C" {
#endif

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC procedure, LPARAM parameter);
HINSTANCE WINAPI ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                               LPCSTR directory, int showCommand);
BOOL WINAPI WinHelpA(HWND owner, LPCSTR helpFile, UINT command, ULONG_PTR data);

BOOL WINAPI CreateProcessA(LPCSTR application, LPSTR commandLine,
                           LPSECURITY_ATTRIBUTES processAttributes,
                           LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                           DWORD creationFlags, LPVOID environment, LPCSTR currentFolder,
                           LPSTARTUPINFOA startup, LPPROCESS_INFORMATION information);
BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE *handles, BOOL waitAll,
                                       DWORD milliseconds, DWORD wakeMask);
BOOL WINAPI PeekMessageA(LPMSG message, HWND window, UINT first, UINT last, UINT remove);
LRESULT WINAPI DispatchMessageA(const MSG *message);

#ifdef __cplusplus
}
#endif

#endif
