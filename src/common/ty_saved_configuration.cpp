#include "ty_saved_configuration.h"

#include <direct.h>
#include <string.h>

#include "ty_deferred_delete.h"
#include "ty_error_display.h"
#include "ty_product.h"
#include "ty_setup_state.h"
#include "ty_texts.h"

// The saved copies that are still in the upgrade's folder, named in a box
// between before and after.
static void showKeptCopies(const char *before, const char *after) {
    char paths[2 * TY_PATH_SIZE + 2] = "";
    const char *copies[] = {setupState.savedConfigPath, setupState.savedSchedulerPath};
    for (const char *copy : copies) {
        if (copy[0] == '\0' || GetFileAttributesA(copy) == INVALID_FILE_ATTRIBUTES) continue;
        if (paths[0] != '\0') strcat(paths, "\n\t");
        strcat(paths, copy);
    }
    showMessageOfParts(NULL, before, paths, after, setupState.setupCaption, MB_ICONWARNING);
}

// The old version was not removed, yet its uninstaller may have deleted
// some of its files before it stopped; the old version stays registered,
// and the next run upgrades its folder. So a saved file missing from that
// folder goes back into it, and the copy of a file still there goes. A copy
// that cannot go back is the only one left: the box names it.
static void putBackSavedCopies(void) {
    char *copies[] = {setupState.savedConfigPath, setupState.savedSchedulerPath};
    const char *names[] = {TY_FILE_PRODUCT_CONFIG, TY_FILE_SCHEDULER_CONFIG};
    bool kept = false;
    for (int i = 0; i < 2; i++) {
        char original[TY_PATH_SIZE];
        if (copies[i][0] == '\0') continue;
        if (composePath(original, setupState.oldInstallDir, names[i]) &&
            (GetFileAttributesA(original) != INVALID_FILE_ATTRIBUTES || CopyFileA(copies[i], original, TRUE)))
            deleteNowOrAtReboot(copies[i], false);
        else
            kept = true;
    }
    if (kept)
        showKeptCopies(tyText(TY_TEXT_CONFIGURATION_NOT_PUT_BACK),
                       tyText(TY_TEXT_CONFIGURATION_NOT_MIGRATED_AFTER));
}

void disposeSavedConfiguration(void) {
    if (setupState.configSaved) {
        if (setupState.oldVersionRemoved)
            showKeptCopies(tyText(TY_TEXT_CONFIGURATION_KEPT), tyText(TY_TEXT_CONFIGURATION_KEPT_AFTER));
        else
            putBackSavedCopies();
    }
    removeUpgradeFolder();
}

void reportConfigurationNotMigrated(void) {
    showKeptCopies(tyText(TY_TEXT_CONFIGURATION_NOT_MIGRATED), tyText(TY_TEXT_CONFIGURATION_NOT_MIGRATED_AFTER));
}

void removeUpgradeFolder(void) {
    if (setupState.upgradeFolderHandle != NULL) CloseHandle(setupState.upgradeFolderHandle);
    setupState.upgradeFolderHandle = NULL;
    if (setupState.upgradeFolder[0] != '\0') _rmdir(setupState.upgradeFolder);
}
