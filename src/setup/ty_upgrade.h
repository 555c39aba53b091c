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

#endif
