// The install sequence's folder check.
#ifndef TY_PROGRESS_PAGE_H
#define TY_PROGRESS_PAGE_H

// Creates every missing folder level of path that ends before a backslash or
// slash, turning slashes into backslashes as it goes, and records each level
// it made in setupState (path is installDir). True when every level exists or
// could not be judged; false when a creation failed.
bool ensureFolderChain(char *path);

#endif
