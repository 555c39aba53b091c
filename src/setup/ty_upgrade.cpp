#include "ty_upgrade.h"

#include <string.h>

#include "ty_deferred_delete.h"
#include "ty_error_display.h"
#include "ty_product.h"
#include "ty_saved_configuration.h"
#include "ty_setup_state.h"
#include "ty_texts.h"

// The upgrade's own folder under the temporary folder: this name followed by
// the first number free.
#define TY_UPGRADE_FOLDER_NAME "TYUpgrade"
#define TY_UPGRADE_FOLDER_TRIES 1000

// The old uninstaller's exit code that lets the upgrade go on.
#define TY_UNINSTALLER_DONE 99
#define TY_UNINSTALLER_ARGUMENT " update"

static void deleteSavedCopies(void) {
    if (setupState.savedConfigPath[0] != '\0')
        deleteNowOrAtReboot(setupState.savedConfigPath, false);
    if (setupState.savedSchedulerPath[0] != '\0')
        deleteNowOrAtReboot(setupState.savedSchedulerPath, false);
}

int runAndWait(const char *program, char *commandLine, uint32_t *exitCode, int showCommand) {
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = (WORD)showCommand;
    PROCESS_INFORMATION process;
    // The program named apart: an unquoted path with blanks on the command
    // line alone could start another program (C:\Documents.exe for
    // C:\Documents and Settings\...).
    BOOL started = CreateProcessA(program, commandLine, NULL, NULL, TRUE, NORMAL_PRIORITY_CLASS, NULL,
                                  NULL, &startup, &process);
    if (started != TRUE) return 0;

    // Messages sent to this thread's windows are answered while the
    // uninstaller runs. A failing wait would spin: it ends the wait instead.
    for (;;) {
        DWORD woken = MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, INFINITE, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0) break;
        if (woken == WAIT_FAILED) {
            WaitForSingleObject(process.hProcess, INFINITE);
            break;
        }
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    *exitCode = code;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return 1;
}

// Asks once, then shows the closing box; false when the user declined.
static bool askUpgrade(const char *olderName) {
    if (showMessageOfParts(NULL, tyText(TY_TEXT_UPGRADE_BEFORE), olderName, tyText(TY_TEXT_UPGRADE_AFTER),
                           setupState.setupCaption, MB_YESNO | MB_ICONQUESTION) == IDYES)
        return true;
    MessageBoxA(NULL, tyText(TY_TEXT_UPGRADE_DECLINED), TY_CAPTION_INSTALLER, MB_ICONINFORMATION);
    return false;
}

// Who may write the upgrade's folder: administrators and the system, and
// nobody by inheritance. The old uninstaller runs from it with the
// installer's rights; no program of the user's may put a library beside it
// before it starts.
#define TY_UPGRADE_FOLDER_ACCESS "D:P(A;OICI;GA;;;BA)(A;OICI;GA;;;SY)"

typedef BOOL(WINAPI *DescriptorFromStringFunction)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR *, PULONG);

// The folder's security descriptor (to be freed with LocalFree), or NULL
// where the platform has no such thing to give (the Windows 95 family,
// NT 4): the folder is then made as any other.
static PSECURITY_DESCRIPTOR upgradeFolderDescriptor(void) {
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    DescriptorFromStringFunction fromString =
        advapi == NULL ? NULL
                       : (DescriptorFromStringFunction)(void *)GetProcAddress(
                             advapi, "ConvertStringSecurityDescriptorToSecurityDescriptorA");
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (fromString == NULL || !fromString(TY_UPGRADE_FOLDER_ACCESS, 1, &descriptor, NULL)) return NULL;
    return descriptor;
}

// A folder of the upgrade's own under the temporary folder, made fresh, so
// that nothing another run or program left there passes for this run's
// copies. False when none can be made.
static bool makeUpgradeFolder(const char *temporaryFolder) {
    char *folder = setupState.upgradeFolder;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, upgradeFolderDescriptor(), FALSE};
    bool made = false;
    for (unsigned number = 1; number <= TY_UPGRADE_FOLDER_TRIES; number++) {
        char name[sizeof TY_UPGRADE_FOLDER_NAME + 10];
        strcpy(name, TY_UPGRADE_FOLDER_NAME);
        appendDecimal(name, sizeof name, (int)number);
        if (!composePath(folder, temporaryFolder, name)) break;
        if (CreateDirectoryA(folder, &attributes)) {
            // The user's own programs may write the temporary folder, and so
            // rename this one away: held open without delete sharing, it
            // stays the folder that was made.
            HANDLE held = CreateFileA(folder, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
            setupState.upgradeFolderHandle = held == INVALID_HANDLE_VALUE ? NULL : held;
            // Every later path is the folder followed by a name.
            made = composePath(folder, folder, "\\");
            if (!made) removeUpgradeFolder();
            break;
        }
        // Taken by an earlier run: the next number. Anything else (a
        // temporary folder that is missing, full or read-only) ends the
        // search.
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    if (attributes.lpSecurityDescriptor != NULL) LocalFree(attributes.lpSecurityDescriptor);
    if (!made) folder[0] = '\0';
    return made;
}

// Whether a copy that failed failed only for want of its source, which is
// then not there to be lost.
static bool sourceMissing(const char *source) {
    if (GetFileAttributesA(source) != INVALID_FILE_ATTRIBUTES) return false;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Copies the old folder's file name into the upgrade's folder; the copy's
// path into copy. 1 copied, 0 not there to copy, -1 there but not copied.
static int saveFile(const char *name, char *copy) {
    char source[TY_PATH_SIZE];
    if (!composePath(source, setupState.oldInstallDir, name)) return 0;
    if (composePath(copy, setupState.upgradeFolder, name) && CopyFileA(source, copy, FALSE))
        return 1;
    copy[0] = '\0';
    if (sourceMissing(source)) return 0;
    // The box names the file the user would lose.
    showMessageOfParts(NULL, tyText(TY_TEXT_CONFIGURATION_NOT_SAVED), source,
                       tyText(TY_TEXT_CONFIGURATION_NOT_SAVED_AFTER), setupState.setupCaption,
                       MB_ICONERROR);
    return -1;
}

// The old configuration into the upgrade's folder. The scheduler's file is
// only worth saving with the configuration it belongs to. False when a file
// that is there could not be saved: the old uninstaller would delete the
// only copy, so the upgrade stops here, with nothing changed.
static bool saveConfiguration(void) {
    int saved = saveFile(TY_FILE_PRODUCT_CONFIG, setupState.savedConfigPath);
    if (saved <= 0) return saved == 0;
    setupState.configSaved = true;
    if (saveFile(TY_FILE_SCHEDULER_CONFIG, setupState.savedSchedulerPath) >= 0) return true;
    deleteSavedCopies();
    setupState.configSaved = false;
    return false;
}

// The temporary copy goes whether or not it ran; a copy still held by the
// ending uninstaller gets two more chances.
static void deleteTemporaryUninstaller(const char *path) {
    if (DeleteFileA(path)) return;
    Sleep(1000);
    if (DeleteFileA(path)) return;
    Sleep(10000);
    DeleteFileA(path);
}

bool upgradeOlderVersion(const char *olderName, const char *olderFolder, int *exitCode) {
    if (!askUpgrade(olderName)) {
        *exitCode = 0;
        return false;
    }
    setupState.upgradeMode = true;
    setupState.setupCaption = TY_CAPTION_UPDATER;
    // A folder too long to take a file name cannot be upgraded in place; it
    // ends like an old installation without its uninstaller.
    bool folderFits = composePath(setupState.oldInstallDir, olderFolder, "\\");

    char temporaryFolder[TY_PATH_SIZE];
    DWORD length = GetTempPathA(sizeof temporaryFolder, temporaryFolder);
    if (length == 0 || length >= sizeof temporaryFolder) {
        MessageBoxA(NULL, tyText(TY_TEXT_NO_TEMPORARY_FOLDER), setupState.setupCaption, MB_ICONERROR);
        exitInstaller(-1);
    }
    if (!makeUpgradeFolder(temporaryFolder)) {
        showMessageOfParts(NULL, tyText(TY_TEXT_NO_UPGRADE_FOLDER), temporaryFolder,
                           tyText(TY_TEXT_NO_UPGRADE_FOLDER_AFTER), setupState.setupCaption, MB_ICONERROR);
        exitInstaller(-1);
    }
    if (folderFits && !saveConfiguration()) {
        *exitCode = -1;
        return false;
    }

    // The command line: the copy's path and the argument, in one buffer that
    // CreateProcessA may write to. Only this run's own copy is ever run.
    char commandLine[TY_PATH_SIZE + sizeof TY_UNINSTALLER_ARGUMENT];
    char source[TY_PATH_SIZE];
    bool copied = folderFits && composePath(source, setupState.oldInstallDir, TY_FILE_UNINSTALLER) &&
                  composePath(commandLine, setupState.upgradeFolder, TY_FILE_UNINSTALLER) &&
                  CopyFileA(source, commandLine, FALSE);
    if (!copied) {
        MessageBoxA(NULL, tyText(TY_TEXT_CANNOT_COPY_UNINSTALLER), setupState.setupCaption, MB_ICONERROR);
        disposeSavedConfiguration();
        *exitCode = -1;
        return false;
    }
    char uninstallerCopy[TY_PATH_SIZE];
    strcpy(uninstallerCopy, commandLine);
    strcat(commandLine, TY_UNINSTALLER_ARGUMENT);

    // The uninstaller takes the maker's lock itself.
    ReleaseSemaphore(setupState.instanceLock, 1, NULL);
    CloseHandle(setupState.instanceLock);
    setupState.instanceLock = NULL;
    uint32_t uninstallerCode = 0;
    int ran = runAndWait(uninstallerCopy, commandLine, &uninstallerCode, SW_SHOWNORMAL);
    if (ran == 1 && uninstallerCode == TY_UNINSTALLER_DONE) setupState.oldVersionRemoved = true;
    deleteTemporaryUninstaller(uninstallerCopy);

    setupState.instanceLock = CreateSemaphoreA(NULL, 1, 1, TY_LOCK_NAME);
    if (WaitForSingleObject(setupState.instanceLock, 0) == WAIT_TIMEOUT) {
        // Where copies are kept, the box that says where follows the reason.
        MessageBoxA(NULL, tyText(TY_TEXT_LOCK_LOST), setupState.setupCaption, MB_ICONWARNING);
        disposeSavedConfiguration();
        CloseHandle(setupState.instanceLock);
        setupState.instanceLock = NULL;
        *exitCode = -1;
        return false;
    }
    if (ran != 1) {
        MessageBoxA(NULL, tyText(TY_TEXT_CANNOT_RUN_UNINSTALLER), setupState.setupCaption, MB_ICONERROR);
        disposeSavedConfiguration();
        *exitCode = -1;
        return false;
    }
    if (uninstallerCode == TY_UNINSTALLER_DONE) return true;
    // The old version is still there, or the uninstaller has told the user
    // what to do; the configuration goes back where the next run finds it.
    MessageBoxA(NULL, uninstallerCode == 0 ? tyText(TY_TEXT_UPGRADE_STOPPED) : tyText(TY_TEXT_UPGRADE_PROBLEM),
                setupState.setupCaption, MB_ICONINFORMATION);
    disposeSavedConfiguration();
    *exitCode = (int)uninstallerCode;
    return false;
}
