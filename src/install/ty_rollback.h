// Undoing a failed installation's files and folders, and the reports of
// everything (files, shortcuts, registry entries) that could not be undone.
#ifndef TY_ROLLBACK_H
#define TY_ROLLBACK_H

#include <windows.h>

// fileRemovalOutcome
#define TY_FILES_REMOVED 1
#define TY_FILES_DEFERRED 2  // something is left for the next start

// Removes the files of entries 1 up to, not including, entryLimit and the
// folders that the folder check of this run created; then shows the reports
// that the three outcomes call for (0: that kind was not undone, nothing to
// report). Returns the files' outcome.
int rollbackInstallation(HWND owner, unsigned entryLimit, int registryRemovalOutcome,
                         int shortcutRemovalOutcome);

#endif
