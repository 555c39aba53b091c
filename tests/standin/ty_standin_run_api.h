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

#ifdef __cplusplus
extern "C" {
#endif

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC procedure, LPARAM parameter);
HINSTANCE WINAPI ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                               LPCSTR directory, int showCommand);
BOOL WINAPI WinHelpA(HWND owner, LPCSTR helpFile, UINT command, ULONG_PTR data);

#ifdef __cplusplus
}
#endif

#endif
