// The product's Start Menu folder and its six shortcuts: made through the
// shell's link object in a fixed order with a count of how far the making
// got, and removed again, newest first, up to that count when the
// installation fails.
#ifndef TY_SHORTCUTS_H
#define TY_SHORTCUTS_H

#include <windows.h>

// shortcutStage: 0 nothing, 1 the folder, 2 to 7 the folder and shortcuts 1
// to stage - 1.
#define TY_SHORTCUT_STAGE_NOTHING 0
#define TY_SHORTCUT_STAGE_FOLDER 1
#define TY_SHORTCUT_STAGE_COMPLETE 7

// shortcutRemovalOutcome
#define TY_SHORTCUTS_REMOVED 1
#define TY_SHORTCUTS_DEFERRED 3      // something is left for the next start
#define TY_SHORTCUTS_NOT_LOCATED 4   // the programs folder could not be found
#define TY_SHORTCUTS_DEFERRED_AND_NOT_LOCATED 5

// The file-system path of a shell special folder (CSIDL folderId) into path
// (TY_PATH_SIZE bytes). Says so in a box when the shell does not know the
// folder.
bool getSpecialFolderPath(HWND owner, int folderId, char *path);

// One link file, link being relative to the special folder folderId.
// description, arguments and workingFolder may be NULL; the description is
// set only on the NT family (osFamily TY_OS_NT).
bool createShortcut(const char *target, const char *link, const char *description,
                    const char *arguments, const char *workingFolder, int folderId,
                    int osFamily);

// True when the link's full path could be found; *deferred is set when the
// link could only be handed over for deletion at the next start.
bool deleteShortcut(const char *link, int folderId, bool *deferred);

// True when the folder and all six shortcuts exist; sets startMenuFolder
// from stage 1 on.
bool createShortcuts(int *shortcutStage);

// Removes what shortcutStage says exists; never stops early.
void removeShortcuts(int shortcutStage, int *shortcutRemovalOutcome);

#endif
