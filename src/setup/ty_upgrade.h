// Upgrading an older installed version: its configuration is saved, its own
// uninstaller removes it, and the new version then goes into its folder.
#ifndef TY_UPGRADE_H
#define TY_UPGRADE_H

#include <stdint.h>
#include <windows.h>

// Offers the upgrade of the version olderName installed in olderFolder and
// runs the old uninstaller. True: go on in upgrade mode, the lock held.
// False: the run ends with *exitCode.
bool upgradeOlderVersion(const char *olderName, const char *olderFolder, int *exitCode);

// Starts program with commandLine (its own path first, as the program reads
// it) and waits for it, answering messages meanwhile. 1 when it ran and
// ended (*exitCode set), 0 when it could not be started.
int runAndWait(const char *program, char *commandLine, uint32_t *exitCode, int showCommand);

// Disposes of an upgrade's saved configuration copies. When the old version
// has already been removed they are the user's only copy and are kept, and
// the user is told where they are; otherwise each goes back into the old
// folder where the file is missing there, and a copy that cannot is kept
// and named. Then removes the upgrade's folder if nothing is left in it.
void disposeSavedConfiguration(void);

// After an update whose saved configuration did not all go back into the
// new installation: the box that names the copies kept.
void reportConfigurationNotMigrated(void);

// Removes the upgrade's folder under the temporary folder when nothing of
// the run is left in it.
void removeUpgradeFolder(void);

#endif
