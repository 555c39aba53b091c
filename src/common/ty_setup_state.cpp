#include "ty_setup_state.h"

#include <string.h>

// All zero at start (no image space): runSetup sets what it needs, the
// caption first.
SetupState setupState;

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
    if ((version & 0x80000000u) == 0) return TY_OS_NT;
    return (version & 0xFFu) < 4 ? TY_OS_OLDER : TY_OS_WINDOWS_95;
}
