/* The start record of the sample build's programs. The arguments are the
   command line without the program's own name, which may come quoted or,
   as the Run entry writes it, unquoted with spaces in it. Starts that meet
   (the scheduler and the main program at the end of an installation) take
   turns at the file: it is opened for this process alone, and a start that
   finds it busy tries again for a while. */
#include <windows.h>

#include "ty_start_log.h"

static int isBlank(char c)
{
    return c == ' ' || c == '\t';
}

static const char *argumentsOf(const char *line)
{
    char module[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, module, sizeof module);

    if (*line == '"') {
        line++;
        while (*line != '\0' && *line != '"') line++;
        if (*line == '"') line++;
    } else if (length > 0 && length < sizeof module && (DWORD)lstrlenA(line) >= length &&
               CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, line, (int)length, module,
                              (int)length) == CSTR_EQUAL &&
               (line[length] == '\0' || isBlank(line[length]))) {
        line += length;
    } else {
        while (*line != '\0' && !isBlank(*line)) line++;
    }
    while (isBlank(*line)) line++;
    return line;
}

static int writeText(HANDLE file, const char *text)
{
    DWORD written = 0;
    DWORD size = (DWORD)lstrlenA(text);
    return WriteFile(file, text, size, &written, NULL) && written == size;
}

int logStart(const char *programName)
{
    char path[MAX_PATH + sizeof TY_START_LOG_FILE];
    char folder[MAX_PATH];
    char *slash = NULL;
    char *at;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD length;
    int tries;
    int written;

    length = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 0;
    for (at = path; *at != '\0'; at++)
        if (*at == '\\' || *at == '/') slash = at;
    if (slash == NULL) return 0;
    lstrcpyA(slash + 1, TY_START_LOG_FILE);

    length = GetCurrentDirectoryA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder) folder[0] = '\0';

    for (tries = 0; tries < 100; tries++) {
        file = CreateFileA(path, GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) break;
        Sleep(20);
    }
    if (file == INVALID_HANDLE_VALUE) return 0;
    written = SetFilePointer(file, 0, NULL, FILE_END) != INVALID_SET_FILE_POINTER &&
              writeText(file, programName) && writeText(file, "\t") &&
              writeText(file, argumentsOf(GetCommandLineA())) && writeText(file, "\t") &&
              writeText(file, folder) && writeText(file, "\r\n");
    return CloseHandle(file) && written;
}
