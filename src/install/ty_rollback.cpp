#include "ty_rollback.h"

#include <string.h>

#include "ty_deferred_delete.h"
#include "ty_error_display.h"
#include "ty_package.h"
#include "ty_product.h"
#include "ty_registry_entries.h"
#include "ty_setup_state.h"
#include "ty_shortcuts.h"

#define TY_TEXT_FILES_LEFT                                                     \
    "Some of the files or directories copied to your computer to the point "   \
    "where the installation could not proceed any more could not be "         \
    "deleted.\nTheir deletion will be attempted on next system reboot.\nIn "   \
    "case they cannot be deleted even then, please go to the installation "    \
    "directory and remove them manually, including the installation "         \
    "directory. That would guarantee that your system is not contaminated "   \
    "by unused data.\nTo verify after the next reboot that your system is "    \
    "fully clean, the following directory and any data in it must NOT "       \
    "exist. If anything still exists, it can be SAFELY deleted without any "   \
    "worries:\n\n\t"

#define TY_TEXT_SHORTCUTS_LEFT                                                 \
    "Some of the program shortcuts and shortcut folders created by this "      \
    "installation to the point where the installation could not proceed any " \
    "more could not be deleted.\nTheir deletion will be attempted on next "    \
    "system reboot.\nIn case they cannot be deleted even then, please delete " \
    "the folder called '" TY_PRODUCT_NAME "' in your Start Menu. That would "  \
    "guarantee that your system is not contaminated by unused data.\nTo "      \
    "verify after the next reboot that your system is fully clean, the "      \
    "following directory and any data in it must NOT exist. If anything "     \
    "still exists, it can be SAFELY deleted without any worries either by "   \
    "deleting the abovementioned folder directly from the Start Menu, OR by "  \
    "deleting the following directory and all data under it:\n\n\t"

#define TY_TEXT_SHORTCUTS_SYSTEM_PROBLEM                                       \
    "Some of the program shortcuts and icons created by this installation to " \
    "the point where the installation could not proceed any more could not "  \
    "be deleted. The cause is a system problem, not a file access "           \
    "problem.\nPlease reboot your system and restart the installation. If "    \
    "the problem persists, contact " TY_SUPPORT_EMAIL " and you will receive " \
    "prompt help."

#define TY_TEXT_REGISTRY_LEFT                                                  \
    "Some of the product configuration information (registry entries) "        \
    "created by this installation to the point where the installation could " \
    "not proceed any more could not be deleted. Please ensure you have the "   \
    "necessary system privileges to install the product, and restart the "    \
    "installation.\nIf the problem persists, contact " TY_SUPPORT_EMAIL       \
    " and you will receive prompt help."

// Removes the installed files, the installation folder and possibly the
// maker's folder. installDir may end up naming the maker's folder.
static int removeFilesAndFolders(unsigned entryLimit) {
    int outcome = TY_FILES_REMOVED;
    char *installDir = setupState.installDir;
    size_t dirLength = strlen(installDir);
    for (unsigned index = TY_ENTRY_FIRST_INSTALLED; index < entryLimit; index++) {
        // A path too long was never created (the progress page refuses it).
        char path[TY_PATH_SIZE];
        if (composePath(path, installDir, entryName(index)) && !deleteNowOrAtReboot(path, false))
            outcome = TY_FILES_DEFERRED;
    }
    // Anything else in the folder (files that were there before) keeps it
    // until the next start, when it is tried again.
    if (!deleteNowOrAtReboot(installDir, true)) outcome = TY_FILES_DEFERRED;

    // Folders above it that the installation made go too, innermost first,
    // so that a new destination leaves nothing behind.
    size_t createdLength = strlen(setupState.firstCreatedFolder);
    if (createdLength > 0 && createdLength < dirLength) {
        char level[TY_PATH_SIZE];
        strcpy(level, installDir);
        level[dirLength - 1] = '\0';
        char *cut;
        while ((cut = strrchr(level, '\\')) != NULL && (size_t)(cut - level) >= createdLength) {
            *cut = '\0';
            if (!deleteNowOrAtReboot(level, true)) outcome = TY_FILES_DEFERRED;
        }
    }

    // The maker's folder may hold the maker's other products; it goes only
    // when the registry knew none of them before this installation. One of
    // the folders above that already went is not handed over twice.
    if (!setupState.makerKeyHadSubkeys && !setupState.productKeyHadSubkeys) {
        char *maker = strstr(installDir, TY_MAKER_FOLDER);
        if (maker != NULL) {
            maker[sizeof TY_MAKER_FOLDER - 2] = '\0';
            size_t makerLength = strlen(installDir);
            bool done = makerLength == dirLength - 1 ||
                        (createdLength > 0 && makerLength >= createdLength);
            if (!done && !deleteNowOrAtReboot(installDir, true)) outcome = TY_FILES_DEFERRED;
        }
    }
    return outcome;
}

int rollbackInstallation(HWND owner, unsigned entryLimit, int registryRemovalOutcome,
                         int shortcutRemovalOutcome) {
    int fileRemovalOutcome = removeFilesAndFolders(entryLimit);
    const char *caption = setupState.setupCaption;

    if (fileRemovalOutcome == TY_FILES_DEFERRED) {
        char *installDir = setupState.installDir;
        size_t length = strlen(installDir);
        if (length > 0 && installDir[length - 1] == '\\') installDir[length - 1] = '\0';
        showMessageWithDetail(owner, TY_TEXT_FILES_LEFT, installDir, caption, MB_ICONINFORMATION);
    }
    if (shortcutRemovalOutcome == TY_SHORTCUTS_DEFERRED ||
        shortcutRemovalOutcome == TY_SHORTCUTS_DEFERRED_AND_NOT_LOCATED)
        showMessageWithDetail(owner, TY_TEXT_SHORTCUTS_LEFT, setupState.startMenuFolder, caption,
                              MB_ICONWARNING);
    if (setupState.startMenuFolder[0] != '\0' &&
        (shortcutRemovalOutcome == TY_SHORTCUTS_NOT_LOCATED ||
         shortcutRemovalOutcome == TY_SHORTCUTS_DEFERRED_AND_NOT_LOCATED))
        MessageBoxA(owner, TY_TEXT_SHORTCUTS_SYSTEM_PROBLEM, caption, MB_ICONERROR);
    if (registryRemovalOutcome == TY_REGISTRY_NOT_REMOVED)
        MessageBoxA(owner, TY_TEXT_REGISTRY_LEFT, caption, MB_ICONERROR);
    return fileRemovalOutcome;
}
