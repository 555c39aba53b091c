// ty_upgrade_helper: the programs the upgrade tests put around the installer
// under Wine. One GUI program (no console window appears when the installer
// starts it) with four roles, chosen by its command line:
//
//   hold-lock SECONDS        takes the maker's lock "TessalyInstallerOrUninstaller"
//                            and keeps it until SECONDS have passed or the file
//                            stop-holding.txt appears beside the program
//   hold-file PATH SECONDS   keeps PATH open without delete sharing, as a
//                            program still running from it would, until the
//                            same end
//   lock-file PATH SECONDS   the same, sharing nothing: nobody may even read it
//   lock-file-soon PATH SECONDS
//                            waits until PATH exists, then does the same
//   -x                       stands in for the help viewer (WinHelpA starts
//                            "winhlp32.exe -x"): owns a hidden window of class
//                            "MS_WINHELP" and records each WM_COPYDATA it gets
//                            as a line of help-requests.log beside the program
//   anything else            a stand-in for an old version's uninstaller, run by
//                            the installer from its temporary copy: it carries
//                            out the orders of C:\ty-e2e\fake-uninstaller.txt
//                            (below) and records its start (command line,
//                            current folder, who may do what in its own
//                            folder, and whether that folder can be renamed)
//                            in C:\ty-e2e\fake-uninstaller.log
//
// Orders of the stand-in uninstaller, one a line, in order:
//   lock                     takes the maker's lock as an uninstaller does,
//                            records "lock taken" or "lock busy", gives it
//                            back before the end
//   keep-open SECONDS        starts "hold-file <own file> SECONDS" and waits
//                            until the copy is held
//   take-lock SECONDS        starts "hold-lock SECONDS" and waits until the
//                            lock is held by it
//   lock-file PATH SECONDS   starts "lock-file PATH SECONDS" and waits until
//                            the file is held
//   folder PATH              creates the folder PATH
//   delete PATH              deletes the file PATH, as an uninstaller does
//   move PATH|NEW            moves the file or folder PATH to NEW
//   exit N                   ends with N (unsigned)
// Every line the programs write is "<what>\t<details>\r\n".
#include <windows.h>
#include <sddl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define HELPER_LOCK_NAME "TessalyInstallerOrUninstaller"
#define HELPER_FOLDER "C:\\ty-e2e\\"
#define HELPER_ORDERS HELPER_FOLDER "fake-uninstaller.txt"
#define HELPER_UNINSTALLER_LOG HELPER_FOLDER "fake-uninstaller.log"
#define HELPER_STOP_FILE "stop-holding.txt"
#define HELPER_HELP_LOG "help-requests.log"
#define HELPER_READY_WAIT_MS 10000

// The layout of the help request that WM_COPYDATA carries.
struct HelpRequest {
    WORD size;
    WORD command;
    LONG data;
    LONG reserved;
    WORD fileOffset;
    WORD dataOffset;
};

static char ownPath[MAX_PATH];
static char ownFolder[MAX_PATH];

static void findOwnFolder() {
    GetModuleFileNameA(NULL, ownPath, sizeof ownPath);
    lstrcpynA(ownFolder, ownPath, sizeof ownFolder);
    char *slash = strrchr(ownFolder, '\\');
    if (slash != NULL) slash[1] = '\0';
}

static void besideMe(char *path, const char *name) {
    lstrcpynA(path, ownFolder, MAX_PATH);
    lstrcatA(path, name);
}

// Appends one line; several programs may write at once, so a busy file is
// tried again for a while.
static void appendLine(const char *path, const char *what, const char *details) {
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int tries = 0; tries < 100; tries++) {
        file = CreateFileA(path, FILE_APPEND_DATA, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           NULL);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) break;
        Sleep(20);
    }
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written;
    WriteFile(file, what, (DWORD)strlen(what), &written, NULL);
    WriteFile(file, "\t", 1, &written, NULL);
    WriteFile(file, details, (DWORD)strlen(details), &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
}

// Waits until SECONDS have passed or the stop file appears.
static void holdOn(unsigned long seconds) {
    char stop[MAX_PATH];
    besideMe(stop, HELPER_STOP_FILE);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < seconds * 1000) {
        if (GetFileAttributesA(stop) != INVALID_FILE_ATTRIBUTES) return;
        Sleep(50);
    }
}

static void markReady(const char *name) {
    char path[MAX_PATH];
    besideMe(path, name);
    appendLine(path, "ready", "");
}

static int holdLock(unsigned long seconds) {
    HANDLE lock = CreateSemaphoreA(NULL, 1, 1, HELPER_LOCK_NAME);
    if (lock == NULL || WaitForSingleObject(lock, 0) == WAIT_TIMEOUT) {
        markReady("lock-holder-failed.txt");
        return 1;
    }
    markReady("lock-holder-ready.txt");
    holdOn(seconds);
    ReleaseSemaphore(lock, 1, NULL);
    CloseHandle(lock);
    return 0;
}

// waitSeconds > 0: tries that long for a file not there yet, or still held
// by the program writing it.
static int holdFile(const char *path, unsigned long seconds, DWORD sharing,
                    unsigned long waitSeconds) {
    DWORD start = GetTickCount();
    HANDLE file;
    for (;;) {
        file = CreateFileA(path, GENERIC_READ, sharing, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE || GetTickCount() - start >= waitSeconds * 1000) break;
        Sleep(10);
    }
    if (file == INVALID_HANDLE_VALUE) {
        markReady("file-holder-failed.txt");
        return 1;
    }
    markReady("file-holder-ready.txt");
    holdOn(seconds);
    CloseHandle(file);
    return 0;
}

// ---------------------------------------------------------------- help viewer

static LRESULT CALLBACK helpWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const COPYDATASTRUCT *data = (const COPYDATASTRUCT *)lParam;
        char details[MAX_PATH + 200];
        char file[MAX_PATH] = "";
        char folder[MAX_PATH] = "";
        const HelpRequest *request = (const HelpRequest *)data->lpData;
        GetCurrentDirectoryA(sizeof folder, folder);
        if (data->cbData >= sizeof(HelpRequest)) {
            DWORD room = data->cbData - request->fileOffset;
            if (request->fileOffset >= sizeof(HelpRequest) && request->fileOffset < data->cbData)
                lstrcpynA(file, (const char *)data->lpData + request->fileOffset,
                          (int)(room < sizeof file ? room : sizeof file));
            snprintf(details, sizeof details, "command=%u\tdata=%ld\tfile=%s\tfolder=%s",
                     request->command, request->data, file, folder);
        } else {
            snprintf(details, sizeof details, "size=%lu", (unsigned long)data->cbData);
        }
        char log[MAX_PATH];
        besideMe(log, HELPER_HELP_LOG);
        appendLine(log, "copydata", details);
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static int helpViewer() {
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = helpWindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "MS_WINHELP";
    if (!RegisterClassA(&windowClass)) return 1;
    HWND window = CreateWindowA("MS_WINHELP", "help requests", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                NULL, NULL, windowClass.hInstance, NULL);
    if (window == NULL) return 1;
    char log[MAX_PATH];
    char line[MAX_PATH * 2];
    besideMe(log, HELPER_HELP_LOG);
    snprintf(line, sizeof line, "%s", GetCommandLineA());
    appendLine(log, "started", line);
    // The requester waits for this program to be idle before it looks for the
    // window; then a minute is plenty.
    SetTimer(window, 1, 60000, NULL);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        if (message.message == WM_TIMER) break;
        DispatchMessageA(&message);
    }
    return 0;
}

// ---------------------------------------------------------------- uninstaller

// Starts this program in another role and waits for its ready mark.
static bool startHolder(const char *arguments, const char *readyName) {
    char ready[MAX_PATH];
    lstrcpynA(ready, HELPER_FOLDER, MAX_PATH);
    lstrcatA(ready, readyName);
    DeleteFileA(ready);
    char line[MAX_PATH * 3];
    snprintf(line, sizeof line, "\"%s%s\" %s", HELPER_FOLDER, "ty_upgrade_helper.exe", arguments);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, HELPER_FOLDER, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < HELPER_READY_WAIT_MS) {
        if (GetFileAttributesA(ready) != INVALID_FILE_ATTRIBUTES) return true;
        Sleep(20);
    }
    return false;
}

// Who may do what in FOLDER, in the descriptor's string form; "?" when it
// cannot be read.
static void folderAccess(const char *folder, char *access, size_t size) {
    lstrcpynA(access, "?", (int)size);
    SECURITY_INFORMATION wanted = DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    GetFileSecurityA(folder, wanted, NULL, 0, &needed);
    PSECURITY_DESCRIPTOR descriptor = needed == 0 ? NULL : malloc(needed);
    char *text = NULL;
    if (descriptor != NULL && GetFileSecurityA(folder, wanted, descriptor, needed, &needed) &&
        ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, wanted,
                                                             &text, NULL)) {
        lstrcpynA(access, text, (int)size);
        LocalFree(text);
    }
    free(descriptor);
}

// Whether a program of the user's could rename FOLDER away (and put one of
// its own in its place): tries, and puts it back.
static const char *folderRenamable(const char *folder) {
    char from[MAX_PATH], to[MAX_PATH];
    lstrcpynA(from, folder, MAX_PATH);
    size_t length = strlen(from);
    if (length > 0 && from[length - 1] == '\\') from[length - 1] = '\0';
    snprintf(to, sizeof to, "%s-moved", from);
    if (!MoveFileA(from, to)) return "kept";
    MoveFileA(to, from);
    return "renamable";
}

static int fakeUninstaller() {
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    char access[512];
    folderAccess(ownFolder, access, sizeof access);
    char line[MAX_PATH * 3 + sizeof access];
    snprintf(line, sizeof line, "%s\t%s\t%s\t%s", GetCommandLineA(), folder, access,
             folderRenamable(ownFolder));
    appendLine(HELPER_UNINSTALLER_LOG, "started", line);

    FILE *orders = fopen(HELPER_ORDERS, "r");
    if (orders == NULL) {
        appendLine(HELPER_UNINSTALLER_LOG, "no-orders", HELPER_ORDERS);
        return 1;
    }
    HANDLE lock = NULL;
    unsigned long code = 0;
    char order[MAX_PATH + 32];
    while (fgets(order, sizeof order, orders) != NULL) {
        order[strcspn(order, "\r\n")] = '\0';
        char *argument = strchr(order, ' ');
        if (argument != NULL) *argument++ = '\0';
        else argument = order + strlen(order);
        bool done = true;
        if (strcmp(order, "lock") == 0) {
            lock = CreateSemaphoreA(NULL, 1, 1, HELPER_LOCK_NAME);
            if (lock == NULL || WaitForSingleObject(lock, 0) == WAIT_TIMEOUT) {
                appendLine(HELPER_UNINSTALLER_LOG, "lock", "busy");
                if (lock != NULL) CloseHandle(lock);
                lock = NULL;
            } else {
                appendLine(HELPER_UNINSTALLER_LOG, "lock", "taken");
            }
        } else if (strcmp(order, "keep-open") == 0) {
            snprintf(line, sizeof line, "hold-file \"%s\" %s", ownPath, argument);
            done = startHolder(line, "file-holder-ready.txt");
        } else if (strcmp(order, "lock-file") == 0) {
            snprintf(line, sizeof line, "lock-file %s", argument);
            done = startHolder(line, "file-holder-ready.txt");
        } else if (strcmp(order, "take-lock") == 0) {
            snprintf(line, sizeof line, "hold-lock %s", argument);
            done = startHolder(line, "lock-holder-ready.txt");
        } else if (strcmp(order, "folder") == 0) {
            done = CreateDirectoryA(argument, NULL) != FALSE;
        } else if (strcmp(order, "delete") == 0) {
            done = DeleteFileA(argument) != FALSE;
        } else if (strcmp(order, "move") == 0) {
            char *to = strchr(argument, '|');
            if (to != NULL) *to++ = '\0';
            done = to != NULL && MoveFileA(argument, to) != FALSE;
        } else if (strcmp(order, "exit") == 0) {
            code = strtoul(argument, NULL, 0);
        } else {
            done = false;
        }
        appendLine(HELPER_UNINSTALLER_LOG, order, done ? "done" : "failed");
    }
    fclose(orders);
    if (lock != NULL) {
        ReleaseSemaphore(lock, 1, NULL);
        CloseHandle(lock);
    }
    snprintf(line, sizeof line, "%lu", code);
    appendLine(HELPER_UNINSTALLER_LOG, "exit", line);
    return (int)code;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    findOwnFolder();
    if (__argc == 3 && strcmp(__argv[1], "hold-lock") == 0)
        return holdLock(strtoul(__argv[2], NULL, 10));
    unsigned long seconds = __argc == 4 ? strtoul(__argv[3], NULL, 10) : 0;
    if (__argc == 4 && strcmp(__argv[1], "hold-file") == 0)
        return holdFile(__argv[2], seconds, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
    if (__argc == 4 && strcmp(__argv[1], "lock-file") == 0)
        return holdFile(__argv[2], seconds, 0, 0);
    if (__argc == 4 && strcmp(__argv[1], "lock-file-soon") == 0)
        return holdFile(__argv[2], seconds, 0, seconds);
    if (__argc == 2 && strcmp(__argv[1], "-x") == 0) return helpViewer();
    return fakeUninstaller();
}
