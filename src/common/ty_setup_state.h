// The one record of the run, reachable from the main procedure and from every
// page's dialog procedure. The installer has a single thread, so no field is
// guarded.
#ifndef TY_SETUP_STATE_H
#define TY_SETUP_STATE_H

#include <windows.h>

#define TY_PATH_SIZE 260      // paths: at most 259 characters and the NUL
#define TY_MESSAGE_SIZE 2000  // composed message texts, NUL included

struct Package;

struct SetupState {
    HINSTANCE appInstance;
    HANDLE instanceLock;
    const char *setupCaption;
    int osFamily;  // TY_OS_*
    int programsFolderId;
    bool upgradeMode;
    bool configSaved;
    // Set once the old uninstaller has reported the old version removed:
    // from then on the saved copies are the only copy of the user's
    // configuration.
    bool oldVersionRemoved;
    // Whether every saved copy went back into the new installation.
    bool configMigrated;
    // The upgrade's own folder under the temporary folder, ending in a
    // backslash; empty until it is made.
    char upgradeFolder[TY_PATH_SIZE];
    // The folder held open without delete sharing while it is in use, so
    // that nobody can rename it away and put a folder of their own in its
    // place; NULL where it could not be opened (the Windows 95 family).
    HANDLE upgradeFolderHandle;
    char savedConfigPath[TY_PATH_SIZE];
    // Empty when the scheduler's file was not there to be saved.
    char savedSchedulerPath[TY_PATH_SIZE];
    char oldInstallDir[TY_PATH_SIZE];
    char installDir[TY_PATH_SIZE];
    // The folder levels of installDir that this run created, in the order
    // they were made: each is installDir cut at that length. Only these are
    // ever removed again; a level that was there before is the user's.
    unsigned short createdFolderLengths[TY_PATH_SIZE / 2];
    unsigned createdFolderCount;
    bool makerKeyHadSubkeys;
    bool productKeyHadSubkeys;
    char startMenuFolder[TY_PATH_SIZE];
    bool startProduct;
    int pageResult;  // TY_PAGE_RESULT_*
    HBITMAP welcomePicture;
    Package *package;
};

extern SetupState setupState;

// What a page leaves in pageResult when it ends: go on, or Exit.
enum { TY_PAGE_RESULT_NEXT = 1, TY_PAGE_RESULT_EXIT = 2 };

// The Windows families getOsFamily tells apart.
enum {
    TY_OS_NT = 2,          // the NT family
    TY_OS_OLDER = 3,       // older non-NT systems (Win32s)
    TY_OS_WINDOWS_95 = 4,  // the Windows 95 family
};

// The running system's family, TY_OS_*.
int getOsFamily(void);

// folder immediately followed by name into path (TY_PATH_SIZE bytes; folder
// may be path itself). False, with path untouched, when it would not fit: a
// cut path names some other file.
bool composePath(char *path, const char *folder, const char *name);

#endif
