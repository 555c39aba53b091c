// ty_boxes: a small GUI program that the harness's own tests drive instead of
// the installer. Its command line is a script, run in order:
//   box CAPTION TEXT STYLE   MessageBoxA without owner; STYLE is a number
//                            (0x10 = MB_ICONERROR)
//   form                     the form dialog; when it ends, a box "Driver Form"
//                            tells its name field, check box and closing button
//   sleep MS                 waits
//   exit N                   ends with N
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ty_boxes.h"

static char formName[256];
static int formRemember;

static INT_PTR CALLBACK formProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        GetDlgItemTextA(dialog, IDC_FORM_NAME, formName, sizeof formName);
        formRemember = (int)IsDlgButtonChecked(dialog, IDC_FORM_REMEMBER);
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    static char text[4096];
    for (int i = 1; i < __argc; i++) {
        const char *order = __argv[i];
        if (strcmp(order, "box") == 0 && i + 3 < __argc) {
            MessageBoxA(NULL, __argv[i + 2], __argv[i + 1], (UINT)strtoul(__argv[i + 3], NULL, 0));
            i += 3;
        } else if (strcmp(order, "form") == 0) {
            INT_PTR end = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_FORM), NULL, formProc, 0);
            snprintf(text, sizeof text, "name=%s\nremember=%d\nend=%d", formName, formRemember,
                     (int)end);
            MessageBoxA(NULL, text, "Driver Form", MB_ICONINFORMATION);
        } else if (strcmp(order, "sleep") == 0 && i + 1 < __argc) {
            Sleep((DWORD)strtoul(__argv[++i], NULL, 0));
        } else if (strcmp(order, "exit") == 0 && i + 1 < __argc) {
            return (int)strtoul(__argv[++i], NULL, 0);
        } else {
            MessageBoxA(NULL, order, "ty_boxes: unknown order", MB_ICONERROR);
            return 2;
        }
    }
    return 0;
}
