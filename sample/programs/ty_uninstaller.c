/* uninstaller.exe of the sample build: removes the version it was built
   with -- the files, the Start Menu shortcuts and the registry entries its
   installer wrote -- from the folder that this version's registry key
   names.

     uninstaller.exe          the ordinary removal, asked for first
     uninstaller.exe update   a newer installer's run, from a copy in the
                              temporary folder, before it installs into the
                              same folder; 99 tells it to go on

   Exit codes: 0 removed, or the user said No; 99 removed for an update;
   2 another installer or uninstaller of the maker is running; 3 something
   could not be removed; 4 this version is not recorded as installed.

   Nothing that finds the installation goes before its files: when one of
   them cannot be removed, the shortcuts, the registry entries and the
   uninstaller stay, so the user can free the file and remove the rest
   later, or let the newer installer try again. The ordinary removal
   usually runs from the installation folder and cannot delete its own
   file: Windows deletes it at the next start (MoveFileExA on the NT family,
   WININIT.INI on the Windows 95 family); the emptied folders follow it on
   the NT family and stay on the other. */
#include <windows.h>
#include <shlobj.h>

#include "ty_installed_files.h"
#include "ty_product.h"
#include "ty_start_log.h"

#define TY_CAPTION "Tessaly Uninstaller"
#define TY_UPDATE_ARGUMENT "update"

#define TY_EXIT_DONE 0
#define TY_EXIT_LOCK_BUSY 2
#define TY_EXIT_NOT_REMOVED 3
#define TY_EXIT_NOT_INSTALLED 4
#define TY_EXIT_UPDATE_DONE 99

#define TY_TEXT_SIZE 2000
/* Room kept in the report for its other sentences. */
#define TY_LIST_SIZE 1400

#define TY_HKLM "HKEY_LOCAL_MACHINE\\"

#define TY_TEXT_LOCK_BUSY                                                        \
    "Another Tessaly installer, un-installer or updater is running.\n"         \
    "Please wait until it completes or interrupt it before trying to "         \
    "uninstall this product."
#define TY_TEXT_NOT_INSTALLED                                                    \
    TY_PRODUCT_NAME_VERSION " cannot be removed: the registry does not say "   \
    "where it is installed (the value " TY_VALUE_INSTALL_DIR " of "            \
    TY_HKLM TY_KEY_VERSION " is missing).\n\nNothing has been removed."
#define TY_TEXT_ASK_BEFORE                                                       \
    TY_PRODUCT_NAME_VERSION " is installed in\n\n"
#define TY_TEXT_ASK_AFTER                                                        \
    "\n\nDo you want to remove it from your computer, with its Start Menu "    \
    "shortcuts and its registry entries?"
#define TY_TEXT_ASK_UPDATE_BEFORE                                                \
    "A newer version of " TY_PRODUCT_NAME " is about to be installed. "        \
    "The installed version " TY_PRODUCT_VERSION ", in\n\n"
#define TY_TEXT_ASK_UPDATE_AFTER                                                 \
    "\n\nhas to be removed first; your configuration is carried over to the "  \
    "new version.\n\nDo you want to remove version " TY_PRODUCT_VERSION " now?"
#define TY_TEXT_REMOVED                                                          \
    TY_PRODUCT_NAME_VERSION " has been removed from your computer."
#define TY_TEXT_REMOVED_AT_RESTART                                               \
    "\n\nThe uninstaller itself is removed when Windows starts next."
#define TY_TEXT_LEFT_BEFORE                                                      \
    "Some parts of " TY_PRODUCT_NAME_VERSION " could not be removed:\n"
#define TY_TEXT_LEFT_AFTER                                                       \
    "\n\nThey may be in use by a program that is still running, or you may "   \
    "lack the rights to remove them. Close the programs of " TY_PRODUCT_NAME   \
    ", or log on as an administrator, and try again."

/* The shortcuts the installer puts into the product's Start Menu folder. */
static const char *const shortcutFiles[] = {
    "Configuration and Manual Update.lnk",
    "Create Emergency Disks.lnk",
    "Help and Documentation.lnk",
    "Visit Website.lnk",
    "Give Feedback.lnk",
    "Uninstall.lnk",
};

static const char *const installedFiles[] = {TY_INSTALLED_FILES};

/* What could not be removed, one line each, for the report. */
static char leftList[TY_LIST_SIZE];
static int leftCount;

static int isNtFamily(void)
{
    return (GetVersion() & 0x80000000u) == 0;
}

static int isBlank(char c)
{
    return c == ' ' || c == '\t';
}

static void noteLeft(const char *item, const char *more)
{
    int used = lstrlenA(leftList);
    if (used + 1 + lstrlenA(item) + lstrlenA(more) + 5 < TY_LIST_SIZE) {
        lstrcatA(leftList, "\n");
        lstrcatA(leftList, item);
        lstrcatA(leftList, more);
    } else if (used + 5 < TY_LIST_SIZE && (used < 4 || lstrcmpA(leftList + used - 4, "\n...") != 0)) {
        lstrcatA(leftList, "\n...");
    }
    leftCount++;
}

/* The command line ends with the word "update": the program's own path
   before it may be unquoted and hold spaces. */
static int isUpdateRun(const char *line)
{
    const int word = sizeof TY_UPDATE_ARGUMENT - 1;
    int length = lstrlenA(line);
    while (length > 0 && isBlank(line[length - 1])) length--;
    if (length <= word || !isBlank(line[length - word - 1])) return 0;
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, line + length - word, word,
                          TY_UPDATE_ARGUMENT, word) == CSTR_EQUAL;
}

/* folder + "\" + name into path (MAX_PATH bytes); false when too long. */
static int joinPath(char *path, const char *folder, const char *name)
{
    if (lstrlenA(folder) + 1 + lstrlenA(name) >= MAX_PATH) return 0;
    lstrcpyA(path, folder);
    lstrcatA(path, "\\");
    lstrcatA(path, name);
    return 1;
}

/* The installation folder of this version, without a final backslash. */
static int readInstallDir(char *folder)
{
    HKEY key;
    DWORD type = 0;
    DWORD size = MAX_PATH;
    LONG result;
    int length;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TY_KEY_VERSION, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    result = RegQueryValueExA(key, TY_VALUE_INSTALL_DIR, NULL, &type, (BYTE *)folder, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ || size == 0) return 0;
    folder[size < MAX_PATH ? size : MAX_PATH - 1] = '\0';
    length = lstrlenA(folder);
    while (length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/')) folder[--length] = '\0';
    return length > 0;
}

/* True when the file is gone, or was never there. */
static int deleteFile(const char *path)
{
    DWORD error;
    if (DeleteFileA(path)) return 1;
    error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return 1;
    /* A read-only file is ours to remove all the same. */
    if (SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL) && DeleteFileA(path)) return 1;
    return GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES &&
           (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND);
}

static void removeFileIn(const char *folder, const char *name)
{
    char path[MAX_PATH];
    if (!joinPath(path, folder, name))
        noteLeft(name, " (its path is too long)");
    else if (!deleteFile(path))
        noteLeft(path, "");
}

static int isEmptyFolder(const char *folder)
{
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA found;
    HANDLE search;
    int empty = 1;

    if (!joinPath(pattern, folder, "*")) return 0;
    search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if (lstrcmpA(found.cFileName, ".") != 0 && lstrcmpA(found.cFileName, "..") != 0) empty = 0;
    } while (empty && FindNextFileA(search, &found));
    FindClose(search);
    return empty;
}

/* True when the folder is gone, or holds something that is not ours and
   therefore stays with it; false when it is empty and still there. */
static int removeFolderIfEmpty(const char *folder)
{
    if (RemoveDirectoryA(folder)) return 1;
    if (GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES) return 1;
    return !isEmptyFolder(folder);
}

/* The maker's folder above the installation folder, when it is named so;
   it stays while other products of the maker are in it. */
static int makerFolderOf(const char *folder, char *maker)
{
    int end;
    lstrcpyA(maker, folder);
    end = lstrlenA(maker);
    while (end > 0 && maker[end - 1] != '\\') end--;
    if (end == 0) return 0;
    maker[end - 1] = '\0';
    while (end > 1 && maker[end - 2] != '\\') end--;
    return lstrcmpiA(maker + end - 1, TY_MAKER_NAME) == 0;
}

/* Hands the file or empty folder to Windows for deletion at its next start.
   The Windows 95 family takes files only, by their short names, as lines
   "NUL=" of WININIT.INI's [Rename] section; lines other programs put there
   stay. */
static int deleteAtRestart(const char *path)
{
    char shortPath[MAX_PATH];
    char wininit[MAX_PATH + 16];
    char lines[4096];
    DWORD length;
    DWORD shortLength;

    if (isNtFamily()) return MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    shortLength = GetShortPathNameA(path, shortPath, sizeof shortPath);
    if (shortLength == 0 || shortLength >= sizeof shortPath) return 0;
    length = GetWindowsDirectoryA(wininit, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 0;
    lstrcatA(wininit, "\\WININIT.INI");
    length = GetPrivateProfileSectionA("Rename", lines, sizeof lines, wininit);
    if (length + 4 + shortLength + 2 > sizeof lines) return 0;
    lstrcpyA(lines + length, "NUL=");
    lstrcatA(lines + length, shortPath);
    lines[length + 4 + shortLength + 1] = '\0';
    return WritePrivateProfileSectionA("Rename", lines, wininit);
}

/* The product's folder in the Start Menu's programs folder: all users' on
   the NT family, the current user's otherwise, as the installer chose. */
static int startMenuFolder(char *folder)
{
    LPMALLOC allocator;
    LPITEMIDLIST list;
    char programs[MAX_PATH];
    int found;

    if (FAILED(SHGetMalloc(&allocator))) return 0;
    if (FAILED(SHGetSpecialFolderLocation(NULL, isNtFamily() ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS,
                                          &list))) {
        allocator->lpVtbl->Release(allocator);
        return 0;
    }
    found = SHGetPathFromIDListA(list, programs);
    allocator->lpVtbl->Free(allocator, list);
    allocator->lpVtbl->Release(allocator);
    return found && joinPath(folder, programs, TY_PRODUCT_NAME);
}

static void removeShortcuts(void)
{
    char folder[MAX_PATH];
    unsigned i;

    if (!startMenuFolder(folder)) {
        noteLeft("The Start Menu folder \"" TY_PRODUCT_NAME "\" (the programs folder was not found)", "");
        return;
    }
    for (i = 0; i < sizeof shortcutFiles / sizeof shortcutFiles[0]; i++) removeFileIn(folder, shortcutFiles[i]);
    if (!removeFolderIfEmpty(folder)) noteLeft(folder, "");
}

/* True when the subkey is gone, or was never there. */
static int deleteKey(const char *parent, const char *name)
{
    HKEY key;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, parent, 0, KEY_ALL_ACCESS, &key);
    if (result == ERROR_FILE_NOT_FOUND) return 1;
    if (result != ERROR_SUCCESS) return 0;
    result = RegDeleteKeyA(key, name);
    RegCloseKey(key);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

/* The maker's and the product's keys are shared with other products and
   versions: they go only when nothing is left in them. The Windows 95
   family's RegDeleteKeyA would take the subkeys along, so they are counted
   first. */
static int deleteKeyIfEmpty(const char *parent, const char *name, const char *path)
{
    HKEY key;
    DWORD subkeys = 0;
    DWORD values = 0;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key);
    if (result == ERROR_FILE_NOT_FOUND) return 1;
    if (result != ERROR_SUCCESS) return 0;
    result = RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL, NULL, NULL);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return 0;
    return subkeys > 0 || values > 0 || deleteKey(parent, name);
}

static void removeRegistryEntries(void)
{
    HKEY key;
    LONG result;

    if (!deleteKey(TY_KEY_UNINSTALL, TY_PRODUCT_NAME_VERSION))
        noteLeft(TY_HKLM TY_KEY_UNINSTALL "\\" TY_PRODUCT_NAME_VERSION, "");

    result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, TY_KEY_RUN, 0, KEY_SET_VALUE, &key);
    if (result == ERROR_SUCCESS) {
        result = RegDeleteValueA(key, TY_VALUE_RUN_SCHEDULER);
        RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
        noteLeft(TY_HKLM TY_KEY_RUN ", value " TY_VALUE_RUN_SCHEDULER, "");

    if (!deleteKey(TY_KEY_PRODUCT, TY_PRODUCT_VERSION)) noteLeft(TY_HKLM TY_KEY_VERSION, "");
    if (!deleteKeyIfEmpty(TY_KEY_MAKER, TY_PRODUCT_NAME, TY_KEY_PRODUCT)) noteLeft(TY_HKLM TY_KEY_PRODUCT, "");
    if (!deleteKeyIfEmpty(TY_KEY_SOFTWARE, TY_KEY_MAKER_LEAF, TY_KEY_MAKER)) noteLeft(TY_HKLM TY_KEY_MAKER, "");
}

static int reportLeft(void)
{
    char text[TY_TEXT_SIZE];
    lstrcpyA(text, TY_TEXT_LEFT_BEFORE);
    lstrcatA(text, leftList);
    lstrcatA(text, TY_TEXT_LEFT_AFTER);
    MessageBoxA(NULL, text, TY_CAPTION, MB_OK | MB_ICONERROR);
    return TY_EXIT_NOT_REMOVED;
}

static int uninstall(int update)
{
    char folder[MAX_PATH];
    char path[MAX_PATH];
    char maker[MAX_PATH];
    char text[TY_TEXT_SIZE];
    int atRestart = 0;
    unsigned i;

    if (!readInstallDir(folder)) {
        MessageBoxA(NULL, TY_TEXT_NOT_INSTALLED, TY_CAPTION, MB_OK | MB_ICONERROR);
        return TY_EXIT_NOT_INSTALLED;
    }
    lstrcpyA(text, update ? TY_TEXT_ASK_UPDATE_BEFORE : TY_TEXT_ASK_BEFORE);
    lstrcatA(text, folder);
    lstrcatA(text, update ? TY_TEXT_ASK_UPDATE_AFTER : TY_TEXT_ASK_AFTER);
    if (MessageBoxA(NULL, text, TY_CAPTION, MB_YESNO | MB_ICONQUESTION) != IDYES) return TY_EXIT_DONE;

    for (i = 0; i < sizeof installedFiles / sizeof installedFiles[0]; i++)
        if (lstrcmpiA(installedFiles[i], TY_FILE_UNINSTALLER) != 0) removeFileIn(folder, installedFiles[i]);
    removeFileIn(folder, TY_START_LOG_FILE);
    if (leftCount > 0) return reportLeft();

    removeShortcuts();
    removeRegistryEntries();
    if (leftCount > 0) return reportLeft();

    if (!joinPath(path, folder, TY_FILE_UNINSTALLER)) {
        noteLeft(TY_FILE_UNINSTALLER, " (its path is too long)");
    } else if (!deleteFile(path)) {
        if (!update && deleteAtRestart(path))
            atRestart = 1;
        else
            noteLeft(path, "");
    }
    if (atRestart) {
        if (isNtFamily()) {
            deleteAtRestart(folder);
            if (makerFolderOf(folder, maker)) deleteAtRestart(maker);
        }
    } else if (leftCount == 0) {
        if (!removeFolderIfEmpty(folder)) noteLeft(folder, "");
        if (makerFolderOf(folder, maker)) RemoveDirectoryA(maker);
    }
    if (leftCount > 0) return reportLeft();
    if (update) return TY_EXIT_UPDATE_DONE;

    lstrcpyA(text, TY_TEXT_REMOVED);
    if (atRestart) lstrcatA(text, TY_TEXT_REMOVED_AT_RESTART);
    MessageBoxA(NULL, text, TY_CAPTION, MB_OK | MB_ICONINFORMATION);
    return TY_EXIT_DONE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    HANDLE lock;
    int held = 0;
    int code;

    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;

    /* The lock of the maker's installers, uninstallers and updaters: taken
       without waiting; given back before the end, for the installer that may
       be waiting for this run. */
    lock = CreateSemaphoreA(NULL, 1, 1, TY_LOCK_NAME);
    if (lock != NULL) {
        DWORD result = WaitForSingleObject(lock, 0);
        if (result == WAIT_TIMEOUT) {
            MessageBoxA(NULL, TY_TEXT_LOCK_BUSY, TY_CAPTION, MB_OK | MB_ICONWARNING);
            CloseHandle(lock);
            return TY_EXIT_LOCK_BUSY;
        }
        held = result == WAIT_OBJECT_0;
    }
    code = uninstall(isUpdateRun(GetCommandLineA()));
    if (lock != NULL) {
        if (held) ReleaseSemaphore(lock, 1, NULL);
        CloseHandle(lock);
    }
    return code;
}
