// windows.h first: the shell headers build on it.
#include <windows.h>
#include <shlobj.h>
#include <direct.h>
#include <errno.h>
#include <string.h>

#include "ty_deferred_delete.h"
#include "ty_product.h"
#include "ty_setup_state.h"
#include "ty_shortcuts.h"

// The shortcuts in the order they are made; removal goes the other way.
struct ShortcutSpec {
    const char *link;
    const char *target;
    const char *arguments;
    const char *description;
    bool inWindowsFolder;  // working folder: the Windows folder, not installDir
};

static const ShortcutSpec shortcuts[] = {
    {"Configuration and Manual Update.lnk", TY_FILE_MAIN_PROGRAM, "-c",
     "Open configuration dialog; manually update AV definitions", false},
    {"Create Emergency Disks.lnk", TY_FILE_MAIN_PROGRAM, "-e",
     "Create a configurable set of emergency disks", false},
    {"Help and Documentation.lnk", TY_FILE_HELP, NULL, "Learn more from help and documentation",
     false},
    {"Visit Website.lnk", TY_WEB_SHORTCUT_FILE, NULL, "Browse to " TY_WEB_SITE, false},
    {"Give Feedback.lnk", TY_FILE_MAIL_SHORTCUT, NULL,
     "Your feedback is very welcome -- our aim is flawlessness!", false},
    {"Uninstall.lnk", TY_FILE_UNINSTALLER, NULL,
     "Remove this utility and its associated data files", true},
};
#define TY_SHORTCUT_COUNT (sizeof shortcuts / sizeof shortcuts[0])

// folder + "\" + name into path (TY_PATH_SIZE bytes; folder may be path).
static bool joinPath(char *path, const char *folder, const char *name) {
    char withSeparator[TY_PATH_SIZE];
    return composePath(withSeparator, folder, "\\") && composePath(path, withSeparator, name);
}

// The link path relative to the programs folder.
static bool linkPath(char *path, const char *linkFile) {
    return joinPath(path, TY_PRODUCT_NAME, linkFile);
}

// The special folder's path; a shell that does not know the folder is
// reported in a box when report is set.
static bool findFolder(HWND owner, int folderId, char *path, bool report) {
    IMalloc *allocator;
    if (FAILED(SHGetMalloc(&allocator))) return false;
    LPITEMIDLIST list;
    bool found = false;
    if (SUCCEEDED(SHGetSpecialFolderLocation(owner, folderId, &list))) {
        found = SHGetPathFromIDListA(list, path) != FALSE;
        allocator->Free(list);
    } else if (report) {
        MessageBoxA(owner, "SHGetSpecialFolderLocation error", NULL, MB_OK);
    }
    allocator->Release();
    return found;
}

bool getSpecialFolderPath(HWND owner, int folderId, char *path) {
    return findFolder(owner, folderId, path, true);
}

// Looked up afresh for every single link, as the folder may have moved since
// the last one; no box.
static bool lookUpFolder(int folderId, char *path) {
    return findFolder(NULL, folderId, path, false);
}

// The shell's link object with its file interface; both NULL when either
// cannot be had.
static void createLinkObject(IShellLinkA **link, IPersistFile **file) {
    *link = NULL;
    *file = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void **)link))) {
        *link = NULL;
        return;
    }
    if (FAILED((*link)->QueryInterface(IID_IPersistFile, (void **)file))) {
        *file = NULL;
        (*link)->Release();
        *link = NULL;
    }
}

static void releaseLinkObject(IShellLinkA *link, IPersistFile *file) {
    if (file != NULL) file->Release();
    if (link != NULL) link->Release();
}

// Fills the link object and saves it; false at the first call that fails.
static bool saveLink(IShellLinkA *link, IPersistFile *file, const char *target,
                     const char *linkFile, const char *description, const char *arguments,
                     const char *workingFolder, int folderId, int osFamily) {
    // Older Windows families show no description; it is not set there.
    if (osFamily == TY_OS_NT && description != NULL && FAILED(link->SetDescription(description)))
        return false;
    if (arguments != NULL && FAILED(link->SetArguments(arguments))) return false;
    if (workingFolder != NULL && FAILED(link->SetWorkingDirectory(workingFolder))) return false;
    if (FAILED(link->SetPath(target))) return false;

    char folder[TY_PATH_SIZE];
    char fullPath[TY_PATH_SIZE];
    if (!lookUpFolder(folderId, folder) || !joinPath(fullPath, folder, linkFile)) return false;
    WCHAR widePath[TY_PATH_SIZE];
    if (MultiByteToWideChar(CP_ACP, 0, fullPath, -1, widePath, TY_PATH_SIZE) == 0) return false;
    return SUCCEEDED(file->Save(widePath, TRUE));
}

bool createShortcut(const char *target, const char *link, const char *description,
                    const char *arguments, const char *workingFolder, int folderId,
                    int osFamily) {
    IShellLinkA *shellLink;
    IPersistFile *file;
    createLinkObject(&shellLink, &file);
    if (shellLink == NULL) return false;
    bool saved = saveLink(shellLink, file, target, link, description, arguments, workingFolder,
                          folderId, osFamily);
    releaseLinkObject(shellLink, file);
    return saved;
}

bool deleteShortcut(const char *link, int folderId, bool *deferred) {
    *deferred = false;
    // The link object is only made to see that the shell can make one: a
    // shell that cannot cannot have made this link either.
    IShellLinkA *shellLink;
    IPersistFile *file;
    createLinkObject(&shellLink, &file);
    bool located = false;
    char folder[TY_PATH_SIZE];
    char fullPath[TY_PATH_SIZE];
    if (shellLink != NULL && lookUpFolder(folderId, folder) && joinPath(fullPath, folder, link))
        located = true;
    releaseLinkObject(shellLink, file);
    if (located && !deleteNowOrAtReboot(fullPath, false)) *deferred = true;
    return located;
}

// Makes shortcuts 1 to 6 into the product's folder; stage counts each one as
// it is saved. Runs between CoInitialize and CoUninitialize.
static void makeShortcuts(int *shortcutStage) {
    for (size_t i = 0; i < TY_SHORTCUT_COUNT; i++) {
        const ShortcutSpec *shortcut = &shortcuts[i];
        char target[TY_PATH_SIZE];
        char link[TY_PATH_SIZE];
        char windowsFolder[TY_PATH_SIZE];
        const char *workingFolder = setupState.installDir;
        if (shortcut->inWindowsFolder) {
            // The uninstaller removes the installation folder: it must not run
            // with that folder as its current one.
            if (GetWindowsDirectoryA(windowsFolder, sizeof windowsFolder) == 0) {
                MessageBoxA(NULL, TY_TEXT_NO_WINDOWS_FOLDER_LATER, setupState.setupCaption,
                            MB_ICONERROR);
                return;
            }
            workingFolder = windowsFolder;
        }
        if (!composePath(target, setupState.installDir, shortcut->target) ||
            !linkPath(link, shortcut->link))
            return;
        if (!createShortcut(target, link, shortcut->description, shortcut->arguments,
                            workingFolder, setupState.programsFolderId, setupState.osFamily))
            return;
        *shortcutStage = (int)i + 2;
    }
}

bool createShortcuts(int *shortcutStage) {
    *shortcutStage = TY_SHORTCUT_STAGE_NOTHING;
    char folder[TY_PATH_SIZE];
    if (!getSpecialFolderPath(NULL, setupState.programsFolderId, folder)) return false;
    if (!joinPath(folder, folder, TY_PRODUCT_NAME)) return false;
    // A folder of that name already there is taken over as the product's; a
    // file of that name is someone else's and stays as it is.
    if (_mkdir(folder) != 0) {
        int error = errno;
        DWORD attributes = GetFileAttributesA(folder);
        if (error != EEXIST || attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            return false;
    }
    *shortcutStage = TY_SHORTCUT_STAGE_FOLDER;
    strcpy(setupState.startMenuFolder, folder);

    CoInitialize(NULL);
    makeShortcuts(shortcutStage);
    CoUninitialize();
    return *shortcutStage == TY_SHORTCUT_STAGE_COMPLETE;
}

// A link not located is a system problem (4); something left for the next
// start is 3; both make 5.
static int withNotLocated(int outcome) {
    return outcome == TY_SHORTCUTS_REMOVED ? TY_SHORTCUTS_NOT_LOCATED
         : outcome == TY_SHORTCUTS_DEFERRED ? TY_SHORTCUTS_DEFERRED_AND_NOT_LOCATED
         : outcome;
}

static int withDeferred(int outcome) {
    return outcome == TY_SHORTCUTS_REMOVED ? TY_SHORTCUTS_DEFERRED
         : outcome == TY_SHORTCUTS_NOT_LOCATED ? TY_SHORTCUTS_DEFERRED_AND_NOT_LOCATED
         : outcome;
}

void removeShortcuts(int shortcutStage, int *shortcutRemovalOutcome) {
    *shortcutRemovalOutcome = TY_SHORTCUTS_REMOVED;
    if (shortcutStage <= TY_SHORTCUT_STAGE_NOTHING) return;

    if (shortcutStage > TY_SHORTCUT_STAGE_FOLDER) {
        CoInitialize(NULL);
        // Shortcut n exists from stage n + 1 on.
        for (int number = (int)TY_SHORTCUT_COUNT; number >= 1; number--) {
            if (shortcutStage <= number) continue;
            char link[TY_PATH_SIZE];
            bool deferred;
            // A link left for the next start keeps the folder from going now;
            // the folder's own removal below records that.
            if (!linkPath(link, shortcuts[number - 1].link) ||
                !deleteShortcut(link, setupState.programsFolderId, &deferred))
                *shortcutRemovalOutcome = withNotLocated(*shortcutRemovalOutcome);
        }
        CoUninitialize();
    }

    char folder[TY_PATH_SIZE];
    if (!getSpecialFolderPath(NULL, setupState.programsFolderId, folder) ||
        !joinPath(folder, folder, TY_PRODUCT_NAME) || !deleteNowOrAtReboot(folder, true))
        *shortcutRemovalOutcome = withDeferred(*shortcutRemovalOutcome);
}
