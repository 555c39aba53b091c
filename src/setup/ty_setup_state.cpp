#include "ty_setup_state.h"

#include <string.h>

#include "ty_product.h"

SetupState setupState = {
    NULL,                 // appInstance
    NULL,                 // instanceLock
    TY_CAPTION_INSTALLER, // setupCaption
    0, 0,                 // osFamily, programsFolderId: set at start
    false, false, false,  // upgradeMode, configSaved, configMigrated
    "",                   // upgradeFolder
    "", "", "", "",       // savedConfigPath, savedSchedulerPath, oldInstallDir, installDir
    {0}, 0,               // createdFolderLengths, createdFolderCount
    false, false,         // makerKeyHadSubkeys, productKeyHadSubkeys
    "",                   // startMenuFolder
    false,                // startProduct
    0,                    // pageResult
    NULL,                 // welcomePicture
    NULL,                 // package
};

bool composePath(char *path, const char *folder, const char *name) {
    size_t folderLength = strlen(folder);
    size_t nameLength = strlen(name);
    if (folderLength + nameLength >= TY_PATH_SIZE) return false;
    memmove(path, folder, folderLength);
    memcpy(path + folderLength, name, nameLength + 1);
    return true;
}

int getOsFamily(void) {
    DWORD version = GetVersion();
    if ((version & 0x80000000u) == 0) return 2;
    return (version & 0xFFu) < 4 ? 3 : 4;
}
