// A program that starts and ends as the installer does and does nothing in
// between: the same static imports (kernel32 and msvcrt), the same manifest,
// its own entry point, and the same system libraries loaded by full path.
// Its time under Wine is the floor under every whole-process time of the
// installation benchmark.
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static const char *const libraries[] = {
    "advapi32.dll", "gdi32.dll",   "user32.dll",  "comctl32.dll",
    "ole32.dll",    "shell32.dll", "msimg32.dll",
};

void WINAPI tyStart(void) {
    char path[MAX_PATH + 16];
    for (size_t i = 0; i < sizeof libraries / sizeof libraries[0]; i++) {
        UINT length = GetSystemDirectoryA(path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) break;
        path[length++] = '\\';
        strcpy(path + length, libraries[i]);
        LoadLibraryA(path);
    }
    exit(0);
}
