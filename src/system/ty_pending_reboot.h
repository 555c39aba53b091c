// Whether earlier programs left file operations for the next start.
#ifndef TY_PENDING_REBOOT_H
#define TY_PENDING_REBOOT_H

// True when it could tell, with pending set; false (pending false) when it
// could not. osFamily as getOsFamily gives it: the NT family looks for
// "PendingFileRenameOperations", the Windows 95 family for WININIT.INI, and
// older systems look nowhere.
bool checkPendingReboot(bool *pending, int osFamily);

#endif
