/* ty_planted: the library the Wine suite plants beside the installer under
 * the names of the libraries a run loads. Loaded by anyone, it adds a line
 * "LIBRARY-PATH<tab>PROGRAM-PATH" to C:\ty-planted.txt and stays loaded. It
 * exports nothing and needs nothing but kernel32. */
#include <windows.h>

BOOL WINAPI plantedEntry(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char line[2 * MAX_PATH + 4];
    DWORD length = GetModuleFileNameA(self, line, MAX_PATH);
    line[length++] = '\t';
    length += GetModuleFileNameA(NULL, line + length, MAX_PATH);
    line[length++] = '\r';
    line[length++] = '\n';
    HANDLE record = CreateFileA("C:\\ty-planted.txt", FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    if (record != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(record, line, length, &written, NULL);
        CloseHandle(record);
    }
    return TRUE;
}
