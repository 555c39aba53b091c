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

// What had to wait for the next start, one path a line as the box shows
// them: a path that does not fit is counted, never cut.
struct LeftList {
    char *text;
    size_t size;
    unsigned omitted;
    bool isCreatedFolder;  // text names the outermost folder this run made
};

// Room kept at the end of the list for the count of the paths left out.
#define TY_LEFT_COUNT_ROOM 24

static void appendPathLine(LeftList *left, const char *path) {
    size_t used = strlen(left->text);
    const char *separator = used > 0 ? "\n\t" : "";
    if (used + strlen(separator) + strlen(path) + TY_LEFT_COUNT_ROOM >= left->size) {
        left->omitted++;
        return;
    }
    strcat(left->text, separator);
    strcat(left->text, path);
}

// Removes the installed files, then the folder levels that this run created,
// innermost first. A folder that was there before the run is never removed
// nor handed over, even when it ends up empty: it is the user's. Fills left
// with what had to wait for the next start (the outermost created folder that
// did, else the files themselves) and returns the files' outcome.
static int removeFilesAndFolders(unsigned entryLimit, LeftList *left) {
    int outcome = TY_FILES_REMOVED;
    const char *installDir = setupState.installDir;
    left->text[0] = '\0';
    char path[TY_PATH_SIZE];
    for (unsigned index = TY_ENTRY_FIRST_INSTALLED; index < entryLimit; index++) {
        // A path too long was never created (the progress page refuses it).
        if (composePath(path, installDir, entryName(index)) && !deleteNowOrAtReboot(path, false)) {
            outcome = TY_FILES_DEFERRED;
            appendPathLine(left, path);
        }
    }
    for (unsigned i = setupState.createdFolderCount; i-- > 0;) {
        size_t length = setupState.createdFolderLengths[i];
        memcpy(path, installDir, length);
        path[length] = '\0';
        if (!deleteNowOrAtReboot(path, true)) {
            outcome = TY_FILES_DEFERRED;
            // The outermost one left holds every other thing left.
            strcpy(left->text, path);
            left->omitted = 0;
            left->isCreatedFolder = true;
        }
    }
    if (left->omitted > 0) {
        strcat(left->text, tyText(TY_TEXT_AND_MORE));
        appendDecimal(left->text, left->size, (int)left->omitted);
        strcat(left->text, tyText(TY_TEXT_AND_MORE_AFTER));
    }
    return outcome;
}

int rollbackInstallation(HWND owner, unsigned entryLimit, int registryRemovalOutcome,
                         int shortcutRemovalOutcome) {
    // The list gets what the box has room for behind the longer of its two
    // texts, so that every path it names is whole.
    char text[TY_MESSAGE_SIZE];
    size_t introduction = strlen(tyText(TY_TEXT_FILES_LEFT));
    LeftList left = {text, sizeof text - introduction, 0, false};
    int fileRemovalOutcome = removeFilesAndFolders(entryLimit, &left);
    const char *caption = setupState.setupCaption;

    // Only a folder this run made is named as something to delete.
    if (fileRemovalOutcome == TY_FILES_DEFERRED)
        showMessageWithDetail(owner,
                              tyText(left.isCreatedFolder ? TY_TEXT_FILES_LEFT : TY_TEXT_FILES_LEFT_IN_FOLDER),
                              text, caption, MB_ICONINFORMATION);
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
