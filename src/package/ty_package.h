// The installation package: the opened file and its entry table, and
// extraction of one entry into memory. Every failure is fatal: a box and the
// end of the process through exitInstaller(-1).
#ifndef TY_PACKAGE_H
#define TY_PACKAGE_H

#include <stdint.h>
#include <windows.h>

#include "ty_package_format.h"

struct PackageEntry {
    char *name;                // descrambled, allocation of nameWidth + 1
    uint32_t dataOffset;       // absolute: packageStart + dataStart
    uint32_t uncompressedSize;
    uint32_t compressedSize;
    uint8_t flags;
};

struct Package {
    int descriptor;            // low-level descriptor of the installer's file
    PackageEntry **entries;    // fileCount records, in header order
    uint32_t fileCount;
    uint32_t nameWidth;
};

// Opens path, checks the MD5 control check and reads the entry table into
// package. Returns only on success.
void openPackage(Package *package, const char *path);

// Closes the file and releases the entry table; not the Package itself.
void closePackage(Package *package);

// Index-checked accessors over setupState.package.
uint32_t entryUncompressedSize(uint32_t index);
const char *entryName(uint32_t index);
uint32_t packageNameWidth(uint32_t index);

// Fills buffer (at least the entry's uncompressedSize bytes) with the entry's
// content. Always returns 0.
int extractEntry(uint32_t index, unsigned char *buffer);

// Unpacks the installed entries on a second thread, after the control check,
// when their content fits the memory set aside for it; otherwise, or where
// threads are not to be had, nothing happens and the page unpacks on demand.
void startExtractingAhead(void);

// The content of installed entry index, unpacked ahead, waiting for it when it
// is not ready yet; the caller frees it. NULL when the entry was not unpacked
// ahead: the caller extracts it itself, with every failure of extractEntry.
unsigned char *takeExtractedEntry(uint32_t index);

// Ends the thread and frees what it unpacked; nothing when it is not running.
void stopExtractingAhead(void);

// The entry, a complete BMP file, as a bitmap compatible with dc; NULL when it
// is not a BMP or cannot be made.
HBITMAP loadBitmapEntry(HDC dc, uint32_t index);

#endif
