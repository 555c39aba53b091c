#include "ty_rollback.h"

#include <string.h>

#include "ty_deferred_delete.h"
#include "ty_error_display.h"
#include "ty_package.h"
#include "ty_product.h"
#include "ty_registry_entries.h"
#include "ty_setup_state.h"
#include "ty_texts.h"
#include "ty_shortcuts.h"

// Adds path to the list in left (size bytes), one per line as a box shows
// them; a path that no longer fits is left out whole rather than cut.
static void appendPathLine(char *left, size_t size, const char *path) {
    size_t used = strlen(left);
    const char *separator = used > 0 ? "\n\t" : "";
    if (used + strlen(separator) + strlen(path) >= size) return;
    strcat(left, separator);
    strcat(left, path);
}

// Removes the installed files, then the folder levels that this run created,
// innermost first. A folder that was there before the run is never removed
// nor handed over, even when it ends up empty: it is the user's. Fills left
// with what had to wait for the next start (the outermost created folder that
// did, else the files themselves) and returns the files' outcome.
static int removeFilesAndFolders(unsigned entryLimit, char *left, size_t leftSize) {
    int outcome = TY_FILES_REMOVED;
    const char *installDir = setupState.installDir;
    left[0] = '\0';
    char path[TY_PATH_SIZE];
    for (unsigned index = TY_ENTRY_FIRST_INSTALLED; index < entryLimit; index++) {
        // A path too long was never created (the progress page refuses it).
        if (composePath(path, installDir, entryName(index)) && !deleteNowOrAtReboot(path, false)) {
            outcome = TY_FILES_DEFERRED;
            appendPathLine(left, leftSize, path);
        }
    }
    for (unsigned i = setupState.createdFolderCount; i-- > 0;) {
        size_t length = setupState.createdFolderLengths[i];
        memcpy(path, installDir, length);
        path[length] = '\0';
        if (!deleteNowOrAtReboot(path, true)) {
            outcome = TY_FILES_DEFERRED;
            // The outermost one left holds every other thing left.
            strcpy(left, path);
        }
    }
    return outcome;
}

int rollbackInstallation(HWND owner, unsigned entryLimit, int registryRemovalOutcome,
                         int shortcutRemovalOutcome) {
    // Sized so that the box shows every path it names whole.
    char left[TY_MESSAGE_SIZE - sizeof tyText(TY_TEXT_FILES_LEFT) + 1];
    int fileRemovalOutcome = removeFilesAndFolders(entryLimit, left, sizeof left);
    const char *caption = setupState.setupCaption;

    if (fileRemovalOutcome == TY_FILES_DEFERRED)
        showMessageWithDetail(owner, tyText(TY_TEXT_FILES_LEFT), left, caption, MB_ICONINFORMATION);
    if (shortcutRemovalOutcome == TY_SHORTCUTS_DEFERRED ||
        shortcutRemovalOutcome == TY_SHORTCUTS_DEFERRED_AND_NOT_LOCATED)
        showMessageWithDetail(owner, tyText(TY_TEXT_SHORTCUTS_LEFT), setupState.startMenuFolder, caption,
                              MB_ICONWARNING);
    if (setupState.startMenuFolder[0] != '\0' &&
        (shortcutRemovalOutcome == TY_SHORTCUTS_NOT_LOCATED ||
         shortcutRemovalOutcome == TY_SHORTCUTS_DEFERRED_AND_NOT_LOCATED))
        MessageBoxA(owner, tyText(TY_TEXT_SHORTCUTS_SYSTEM_PROBLEM), caption, MB_ICONERROR);
    if (registryRemovalOutcome == TY_REGISTRY_NOT_REMOVED)
        MessageBoxA(owner, tyText(TY_TEXT_REGISTRY_LEFT), caption, MB_ICONERROR);
    return fileRemovalOutcome;
}
