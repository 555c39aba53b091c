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
    int osFamily;
    int programsFolderId;
    bool upgradeMode;
    bool configSaved;
    char savedConfigPath[TY_PATH_SIZE];
    char savedSchedulerPath[TY_PATH_SIZE];
    char oldInstallDir[TY_PATH_SIZE];
    char installDir[TY_PATH_SIZE];
    // The outermost folder level of installDir that the installation itself
    // created, without a final backslash; empty when it created none.
    char firstCreatedFolder[TY_PATH_SIZE];
    bool makerKeyHadSubkeys;
    bool productKeyHadSubkeys;
    char startMenuFolder[TY_PATH_SIZE];
    bool startProduct;
    int pageResult;
    HBITMAP welcomePicture;
    Package *package;
};

extern SetupState setupState;

// Windows family: 2 the NT family, 4 the Windows 95 family, 3 older non-NT.
int getOsFamily(void);

// folder immediately followed by name into path (TY_PATH_SIZE bytes; folder
// may be path itself). False, with path untouched, when it would not fit: a
// cut path names some other file.
bool composePath(char *path, const char *folder, const char *name);

#endif
