// Deleting a file or folder now, or handing it to Windows for deletion at the
// next start: MoveFileExA on the NT family; elsewhere a file's short name as
// a "NUL=" line in the [Rename] section of WININIT.INI, and a folder's as a
// RunOnce entry that removes it once empty.
#ifndef TY_DEFERRED_DELETE_H
#define TY_DEFERRED_DELETE_H

// True: the item is gone now or was never there (also after the
// Windows-folder box or the box naming a folder that nothing will remove,
// when nothing could be handed over). False: it is still there and has been
// handed over for the next start.
bool deleteNowOrAtReboot(const char *path, bool isFolder);

// The Windows folder followed by "\WININIT.INI" into path (TY_PATH_SIZE
// bytes); false when the Windows folder cannot be had or the name does not
// fit.
bool getWininitPath(char *path);

#endif
