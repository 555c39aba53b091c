// The functions of the system libraries other than kernel32 and msvcrt that
// the installer calls, by library: each is called through its import slot
// (__imp__Name@N, N the bytes of its arguments), which ty_winmain.cpp fills
// at start.
#ifndef TY_LATE_IMPORTS_H
#define TY_LATE_IMPORTS_H

#define TY_LATE_IMPORTS(X)                                                     \
    X("user32.dll", MessageBoxA, 16)                                           \
    X("user32.dll", DialogBoxParamA, 20)                                       \
    X("user32.dll", DispatchMessageA, 4)                                       \
    X("user32.dll", EndDialog, 8)                                              \
    X("user32.dll", GetDC, 4)                                                  \
    X("user32.dll", GetDlgItem, 8)                                             \
    X("user32.dll", GetDlgItemTextA, 16)                                       \
    X("user32.dll", LoadIconA, 8)                                              \
    X("user32.dll", MsgWaitForMultipleObjects, 20)                             \
    X("user32.dll", PeekMessageA, 20)                                          \
    X("user32.dll", ReleaseDC, 8)                                              \
    X("user32.dll", SendMessageA, 16)                                          \
    X("user32.dll", SetDlgItemTextA, 12)                                       \
    X("user32.dll", ShowWindow, 8)                                             \
    X("user32.dll", UpdateWindow, 4)                                           \
    X("user32.dll", WinHelpA, 16)                                              \
    X("advapi32.dll", RegCloseKey, 4)                                          \
    X("advapi32.dll", RegCreateKeyExA, 36)                                     \
    X("advapi32.dll", RegDeleteKeyA, 8)                                        \
    X("advapi32.dll", RegDeleteValueA, 8)                                      \
    X("advapi32.dll", RegEnumKeyExA, 32)                                       \
    X("advapi32.dll", RegOpenKeyExA, 20)                                       \
    X("advapi32.dll", RegQueryValueExA, 24)                                    \
    X("advapi32.dll", RegSetValueExA, 24)                                      \
    X("gdi32.dll", BitBlt, 36)                                                 \
    X("gdi32.dll", CreateCompatibleDC, 4)                                      \
    X("gdi32.dll", CreateDIBitmap, 24)                                         \
    X("gdi32.dll", DeleteDC, 4)                                                \
    X("gdi32.dll", DeleteObject, 4)                                            \
    X("gdi32.dll", GetObjectA, 12)                                             \
    X("gdi32.dll", SelectObject, 8)                                            \
    X("comctl32.dll", InitCommonControls, 0)                                   \
    X("ole32.dll", CoCreateInstance, 20)                                       \
    X("ole32.dll", CoInitialize, 4)                                            \
    X("ole32.dll", CoUninitialize, 0)                                          \
    X("shell32.dll", SHBrowseForFolderA, 4)                                    \
    X("shell32.dll", SHGetMalloc, 4)                                           \
    X("shell32.dll", SHGetPathFromIDListA, 8)                                  \
    X("shell32.dll", SHGetSpecialFolderLocation, 12)                           \
    X("shell32.dll", ShellExecuteA, 24)

#endif
