#include "ty_package.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ty_error_display.h"
#include "ty_md5.h"
#include "ty_product.h"
#include "ty_setup_state.h"
#include "ty_texts.h"

// The three ways one low-level read can go wrong, each with its own words.
struct ReadTexts {
    const char *endOfFile;
    const char *readError;
    const char *shortRead;
};

static const ReadTexts packageStartTexts = {
    "\nThe installer encountered an unexpected end of file while reading the "
    "initial data in the installation package.",
    "\nError reading the initial data position in the installation package.",
    "\nIncorrect amount of data read for the initial data in the installation "
    "package.",
};
static const ReadTexts storedDigestTexts = {
    "\nUnexpected end of file while reading the embedded installation package "
    "control check information.",
    "\nUnexpected error while reading the embedded installation package "
    "control check information.",
    "\nIncorrect amount of data read while reading the embedded installation "
    "package control check information.",
};
static const ReadTexts checkedPartTexts = {
    "\nUnexpected end of file while reading the installation database for "
    "control check computation.",
    "\nUnexpected error while reading the installation package for control "
    "check computation.",
    "\nIncorrect amount of data read while reading the installation package "
    "for control check computation.",
};
static const ReadTexts fileCountTexts = {
    "\nUnexpected end of file while reading the number of files.",
    "\nUnexpected error while reading the number of files",
    "\nIncorrect amount of data read while reading the number of files",
};
// headerSize and nameWidth share these words.
static const ReadTexts headerSizeTexts = {
    "\nUnexpected end of file while reading the header size",
    "\nUnexpected error while reading the header size",
    "\nIncorrect amount of data read while reading the header size",
};
static const ReadTexts fileNameTexts = {
    "\nUnexpected end of file while reading the file name",
    "\nUnexpected error while reading the file name",
    "\nIncorrect amount of data read while reading the file name",
};
static const ReadTexts uncompressedSizeTexts = {
    "\nUnexpected end of file while reading the uncompressed file size for file",
    "\nUnexpected error while reading the uncompressed file size for file",
    "\nIncorrect amount of data read while reading the uncompressed file size",
};
static const ReadTexts compressedSizeTexts = {
    "\nUnexpected end of file while reading the compressed file size for file",
    "\nUnexpected error while reading the compressed file size for file",
    "\nIncorrect amount of data read while reading the compressed file size",
};
static const ReadTexts flagsTexts = {
    "\nUnexpected end of file while reading the file flags",
    "\nUnexpected error while reading the file flags",
    "\nIncorrect amount of data read while reading the file flags",
};
static const ReadTexts dataStartTexts = {
    "\nUnexpected end of file while reading the file data start position",
    "\nUnexpected error while reading the file data start position for file",
    "\nIncorrect amount of data read while reading the file data start position",
};

// The message for a read of size bytes that gave result, or NULL when the
// read is good. A zero-byte read returns 0 and so counts as the end of file.
static const char *judgeRead(int result, unsigned int size, const ReadTexts *texts) {
    if (result == 0) return texts->endOfFile;
    if (result == -1) return texts->readError;
    if ((unsigned int)result != size) return texts->shortRead;
    return NULL;
}

// Positions the package file at an absolute offset. Offsets travel as 32-bit
// values; one the runtime cannot seek to is reported by the caller as the end
// of the file, exactly what the following read would have met.
static bool seekPackage(int descriptor, uint32_t offset) {
    return _lseek(descriptor, (long)offset, SEEK_SET) != -1;
}

// Reads size bytes at the current position; the end of the process on failure.
static void readField(int descriptor, void *field, unsigned int size,
                      const ReadTexts *texts, bool packageBox) {
    const char *failure = judgeRead(_read(descriptor, field, size), size, texts);
    if (failure == NULL) return;
    if (packageBox) fatalPackageError(failure);
    fatalError(failure);
}

static uint32_t readUint32(int descriptor, const ReadTexts *texts, bool packageBox) {
    unsigned char bytes[4];
    readField(descriptor, bytes, sizeof bytes, texts, packageBox);
    return tyLe32(bytes);
}

// Names travel scrambled: every byte is stored 32 higher (mod 256), so the
// one byte 32 that ends a short name comes back as its NUL.
static void descrambleName(char *name, uint32_t nameWidth) {
    for (uint32_t i = 0; i < nameWidth; i++)
        name[i] = (char)tyDescrambleByte((unsigned char)name[i]);
    name[nameWidth] = '\0';
}

// A name becomes a file in the installation folder and nothing else: it must
// not leave that folder, name the folder itself or be empty.
static bool isPlainFileName(const char *name) {
    if (name[0] == '\0') return false;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return false;
    return strpbrk(name, "\\/:") == NULL;
}

void openPackage(Package *package, const char *path) {
    package->descriptor = -1;
    package->entries = NULL;
    package->fileCount = 0;
    package->nameWidth = 0;

    int descriptor = _open(path, _O_RDONLY | _O_BINARY);
    if (descriptor == -1) fatalError(tyText(TY_TEXT_OPEN_FAILED));
    package->descriptor = descriptor;

    // The file's start, to learn whether a signature follows the package. A
    // start that cannot be read is a file without one; the steps below then
    // judge the file as they always have.
    unsigned char head[TY_HEAD_SIZE];
    int headRead = _read(descriptor, head, sizeof head);
    long end = _lseek(descriptor, 0, SEEK_END);
    if (end == -1) fatalPackageError("\nError reading the file size.");
    uint32_t certificateSize;
    uint32_t length = tyPackageEnd(head, headRead > 0 ? (uint32_t)headRead : 0, (uint32_t)end,
                                   &certificateSize);

    // The trailer: where the package starts, then the digest of everything
    // from there up to the digest itself.
    if (length < TY_TRAILER_SIZE || !seekPackage(descriptor, length - TY_TRAILER_SIZE))
        fatalPackageError(packageStartTexts.endOfFile);
    uint32_t packageStart = readUint32(descriptor, &packageStartTexts, true);
    unsigned char storedDigest[TY_DIGEST_SIZE];
    readField(descriptor, storedDigest, sizeof storedDigest, &storedDigestTexts, true);

    // A start behind the digest makes the checked part negative: no buffer
    // can be had for it.
    int32_t checkedSize = (int32_t)(length - TY_DIGEST_SIZE - packageStart);
    if (checkedSize > TY_MAX_CHECKED_SIZE)
        fatalError("\nInstallation database too great; this means it is corrupted.");
    unsigned char *checked = NULL;
    if (checkedSize >= 0) checked = (unsigned char *)malloc(checkedSize > 0 ? (size_t)checkedSize : 1);
    if (checked == NULL)
        fatalError("\nInsufficient system memory to allocate for control check computation.");

    const char *failure = checkedPartTexts.endOfFile;
    if (seekPackage(descriptor, packageStart))
        failure = judgeRead(_read(descriptor, checked, (unsigned int)checkedSize),
                            (unsigned int)checkedSize, &checkedPartTexts);
    if (failure != NULL) {
        free(checked);
        fatalPackageError(failure);
    }
    unsigned char digest[TY_DIGEST_SIZE];
    md5Digest(checked, (size_t)checkedSize, digest);
    free(checked);
    if (memcmp(digest, storedDigest, TY_DIGEST_SIZE) != 0)
        fatalPackageError("\nThe installer detected that the original installation data has been modified.");

    // The header and the entry table, read as they come.
    if (!seekPackage(descriptor, packageStart)) fatalError(fileCountTexts.endOfFile);
    uint32_t fileCount = readUint32(descriptor, &fileCountTexts, false);
    if (fileCount > 0xFFFFFFFFu / sizeof(PackageEntry *))
        fatalError("\nToo many files in the installation database");
    // Zero-filled, so that a table read only in part can still be released.
    package->entries = (PackageEntry **)calloc(fileCount > 0 ? fileCount : 1, sizeof(PackageEntry *));
    if (package->entries == NULL) fatalError("\nInsufficient memory; cannot allocate headers");
    package->fileCount = fileCount;

    readUint32(descriptor, &headerSizeTexts, false);  // implied by the records
    uint32_t nameWidth = readUint32(descriptor, &headerSizeTexts, false);
    if (nameWidth >= TY_NAME_BUFFER_SIZE)
        fatalError("\nFile name width too great in the installation database");
    package->nameWidth = nameWidth;

    char nameBuffer[TY_NAME_BUFFER_SIZE];
    for (uint32_t i = 0; i < fileCount; i++) {
        PackageEntry *entry = (PackageEntry *)calloc(1, sizeof(PackageEntry));
        if (entry == NULL) fatalError("\nInsufficient memory to allocate file entry");
        package->entries[i] = entry;

        readField(descriptor, nameBuffer, nameWidth, &fileNameTexts, false);
        descrambleName(nameBuffer, nameWidth);
        size_t nameLength = strlen(nameBuffer);
        entry->name = (char *)malloc(nameWidth + 1);
        if (entry->name == NULL) fatalError("\nInsufficient memory to allocate file name entry");
        memcpy(entry->name, nameBuffer, nameLength + 1);
        if (!isPlainFileName(entry->name))
            fatalError("\nInvalid file name in the installation database");

        entry->uncompressedSize = readUint32(descriptor, &uncompressedSizeTexts, false);
        entry->compressedSize = readUint32(descriptor, &compressedSizeTexts, false);
        unsigned char flags;
        readField(descriptor, &flags, 1, &flagsTexts, false);
        entry->flags = flags;
        uint32_t dataStart = readUint32(descriptor, &dataStartTexts, false);
        entry->dataOffset = dataStart + packageStart;
    }
}

void closePackage(Package *package) {
    // The thread reads this file and its table until it has ended.
    stopExtractingAhead();
    if (package->descriptor != -1) _close(package->descriptor);
    package->descriptor = -1;
    if (package->entries != NULL) {
        for (uint32_t i = 0; i < package->fileCount; i++) {
            PackageEntry *entry = package->entries[i];
            if (entry == NULL) continue;
            free(entry->name);
            free(entry);
        }
        free(package->entries);
        package->entries = NULL;
    }
    package->fileCount = 0;
}

// The entry at index of the open package; the end of the process for an index
// the table does not have.
static PackageEntry *checkedEntry(uint32_t index) {
    Package *package = setupState.package;
    if (package == NULL || package->entries == NULL || index >= package->fileCount)
        fatalError(tyText(TY_TEXT_INVALID_INDEX));
    return package->entries[index];
}

uint32_t entryUncompressedSize(uint32_t index) {
    return checkedEntry(index)->uncompressedSize;
}

const char *entryName(uint32_t index) {
    return checkedEntry(index)->name;
}

uint32_t packageNameWidth(uint32_t index) {
    checkedEntry(index);
    return setupState.package->nameWidth;
}
