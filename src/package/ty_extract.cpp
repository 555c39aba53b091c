#include <bzlib.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ty_bitmap_format.h"
#include "ty_error_display.h"
#include "ty_package.h"
#include "ty_product.h"
#include "ty_setup_state.h"
#include "ty_texts.h"

// Decompressing ahead: the installed entries are unpacked on a second thread
// while the user reads the wizard, so that the progress page finds them ready.
// The thread never reports anything. An entry it could not make (a read, the
// memory, the data) is left to the page, which extracts it itself when it
// reaches it and so fails exactly where and how it would without the thread.

// Above this much content the page unpacks on demand: an old machine's memory
// is not held for files the user may never install.
#define TY_AHEAD_CAP (16u * 1024u * 1024u)

// The thread reads an entry's data in pieces of at most this size, taking the
// lock for each and giving way between them while a page waits for it: on a
// slow medium a page's read (the welcome picture, the licence) would
// otherwise wait for a whole entry of up to 4 MB.
#define TY_AHEAD_PIECE (64u * 1024u)

enum { TY_AHEAD_PENDING, TY_AHEAD_READY, TY_AHEAD_LEFT };

static struct {
    HANDLE thread;          // NULL when nothing is unpacked ahead
    bool shared;            // the file is read by two threads: take the lock
    DWORD threadId;
    HANDLE done;            // set after each entry the thread settles
    CRITICAL_SECTION file;  // the package file's position: seek and read as one
    volatile LONG pageWaits;  // a read of the pages' thread wants the lock
    volatile LONG stop;
    bool broken;            // the library reported a broken invariant on the thread
    volatile LONG states[TY_ENTRY_INSTALL_BOUND];
    unsigned char *buffers[TY_ENTRY_INSTALL_BOUND];
} ahead;

// Stands for the unpacking message, which only the page's thread may compose.
static const char unpackFailed[] = "";

#ifdef BZ_NO_STDIO
// libbzip2 built without stdio reports a broken internal invariant here. It
// can only come from the data being decoded, so it is the corrupted package.
// On the thread it only spoils the entry, which the page then unpacks itself.
extern "C" void bz_internal_error(int) {
    if (ahead.shared && GetCurrentThreadId() == ahead.threadId) {
        ahead.broken = true;
        return;
    }
    fatalError(tyText(TY_TEXT_UNPACK_FAILED));
}
#endif

// Reads size bytes of the entry's data; a data offset the runtime cannot seek
// to lies past the end of the file and reads as its end (0). The result is
// that of one read of the whole: the bytes read, 0 at the end of the file, -1
// on an error. The thread (onThread) reads in pieces and lets a waiting page
// go first.
static int readEntryData(const PackageEntry *entry, void *into, unsigned int size, bool onThread) {
    bool shared = ahead.shared;
    unsigned int done = 0;
    for (;;) {
        unsigned int part = size - done;
        if (onThread) {
            if (part > TY_AHEAD_PIECE) part = TY_AHEAD_PIECE;
            while (InterlockedCompareExchange(&ahead.pageWaits, 0, 0) != 0) Sleep(1);
        }
        // Only the pages' thread sets the mark; the thread only reads it.
        if (shared && !onThread) InterlockedExchange(&ahead.pageWaits, 1);
        if (shared) EnterCriticalSection(&ahead.file);
        int descriptor = setupState.package->descriptor;
        int result = _lseek(descriptor, (long)(entry->dataOffset + done), SEEK_SET) == -1
                         ? 0
                         : _read(descriptor, (unsigned char *)into + done, part);
        if (shared) LeaveCriticalSection(&ahead.file);
        if (shared && !onThread) InterlockedExchange(&ahead.pageWaits, 0);
        if (result == -1) return -1;
        done += (unsigned int)result;
        if ((unsigned int)result != part || done == size) return (int)done;
    }
}

// The message for a read of size bytes of entry data that gave result, or
// NULL when the read is good. A zero-byte read returns 0, the end of file.
static const char *judgeDataRead(int result, unsigned int size,
                                 const char *endOfFile) {
    if (result == 0) return endOfFile;
    if (result == -1) return "\nUnexpected error while reading compressed file data";
    if ((unsigned int)result != size)
        return "\nIncorrect amount of data read while reading compressed file data";
    return NULL;
}

// Fills buffer with the content of a valid entry. NULL when done, else the
// failure's message (unpackFailed for the unpacking message).
static const char *unpackEntry(const PackageEntry *entry, unsigned char *buffer, bool onThread) {
    unsigned int outputLength = entry->uncompressedSize;
    if (entry->flags == TY_FLAG_STORED)
        return judgeDataRead(readEntryData(entry, buffer, outputLength, onThread), outputLength,
                             "Unexpected end of file while reading compressed file data");

    uint32_t compressedSize = entry->compressedSize;
    if (compressedSize > TY_MAX_CHECKED_SIZE) return "\nToo much data to uncompress for current file";
    unsigned char *compressed = (unsigned char *)malloc(compressedSize > 0 ? compressedSize : 1);
    if (compressed == NULL) return "Insufficient memory to allocate for compressed data buffer";

    const char *failure =
        judgeDataRead(readEntryData(entry, compressed, compressedSize, onThread), compressedSize,
                      "\nUnexpected end of file while reading compressed file data");
    if (failure == NULL && entry->flags != TY_FLAG_BZIP2)
        failure = "Unsupported compression method for decompressing data";
    if (failure == NULL) {
        // A stream that ends before the entry's size is as broken as one that
        // runs past it: either way the caller would get a file that is not
        // the one packed.
        unsigned int producedLength = outputLength;
        int status = BZ2_bzBuffToBuffDecompress((char *)buffer, &producedLength,
                                                (char *)compressed, compressedSize, 0, 0);
        if (status != BZ_OK || producedLength != outputLength) failure = unpackFailed;
    }
    free(compressed);
    return failure;
}

int extractEntry(uint32_t index, unsigned char *buffer) {
    Package *package = setupState.package;
    if (package == NULL || package->entries == NULL || index >= package->fileCount)
        fatalError("\nInvalid index for accessing data");
    const char *failure = unpackEntry(package->entries[index], buffer, false);
    if (failure == unpackFailed) fatalError(tyText(TY_TEXT_UNPACK_FAILED));
    if (failure != NULL) fatalError(failure);
    return 0;
}

static DWORD WINAPI unpackAhead(LPVOID) {
    ahead.threadId = GetCurrentThreadId();
    Package *package = setupState.package;
    for (unsigned index = TY_ENTRY_FIRST_INSTALLED; index < TY_ENTRY_INSTALL_BOUND; index++) {
        unsigned char *buffer = NULL;
        if (InterlockedCompareExchange(&ahead.stop, 0, 0) == 0) {
            const PackageEntry *entry = package->entries[index];
            buffer = (unsigned char *)malloc(entry->uncompressedSize > 0 ? entry->uncompressedSize : 1);
            if (buffer != NULL && (unpackEntry(entry, buffer, true) != NULL || ahead.broken)) {
                free(buffer);
                buffer = NULL;
            }
        }
        // Once one entry is left to the page, so are the rest: they would
        // only hold memory the page may need.
        if (buffer == NULL) InterlockedExchange(&ahead.stop, 1);
        ahead.buffers[index] = buffer;
        InterlockedExchange(&ahead.states[index], buffer != NULL ? TY_AHEAD_READY : TY_AHEAD_LEFT);
        SetEvent(ahead.done);
    }
    return 0;
}

void startExtractingAhead(void) {
    Package *package = setupState.package;
    if (package->fileCount < TY_ENTRY_INSTALL_BOUND) return;
    unsigned long long content = 0;
    for (unsigned index = TY_ENTRY_FIRST_INSTALLED; index < TY_ENTRY_INSTALL_BOUND; index++)
        content += package->entries[index]->uncompressedSize;
    if (content > TY_AHEAD_CAP) return;

    for (unsigned index = 0; index < TY_ENTRY_INSTALL_BOUND; index++) {
        ahead.states[index] = TY_AHEAD_PENDING;
        ahead.buffers[index] = NULL;
    }
    ahead.stop = 0;
    ahead.pageWaits = 0;
    ahead.broken = false;
    ahead.done = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (ahead.done == NULL) return;
    InitializeCriticalSection(&ahead.file);
    // From here on the page's own reads take the lock too. Win32s has no
    // threads; there the page unpacks on demand.
    ahead.shared = true;
    DWORD threadId;  // the Windows 95 family needs somewhere to put it
    ahead.thread = CreateThread(NULL, 0, unpackAhead, NULL, 0, &threadId);
    if (ahead.thread == NULL) {
        ahead.shared = false;
        DeleteCriticalSection(&ahead.file);
        CloseHandle(ahead.done);
        return;
    }
    // The wizard's pages come first on a machine with one processor.
    SetThreadPriority(ahead.thread, THREAD_PRIORITY_BELOW_NORMAL);
}

// Once the page waits for the thread, it is no longer behind the pages.
static void hurryAhead(void) {
    SetThreadPriority(ahead.thread, THREAD_PRIORITY_NORMAL);
}

unsigned char *takeExtractedEntry(uint32_t index) {
    if (ahead.thread == NULL || index < TY_ENTRY_FIRST_INSTALLED || index >= TY_ENTRY_INSTALL_BOUND)
        return NULL;
    while (InterlockedCompareExchange(&ahead.states[index], TY_AHEAD_PENDING, TY_AHEAD_PENDING) ==
           TY_AHEAD_PENDING) {
        hurryAhead();
        WaitForSingleObject(ahead.done, INFINITE);
    }
    unsigned char *buffer = ahead.buffers[index];
    ahead.buffers[index] = NULL;
    ahead.states[index] = TY_AHEAD_LEFT;
    return buffer;
}

void stopExtractingAhead(void) {
    if (ahead.thread == NULL) return;
    InterlockedExchange(&ahead.stop, 1);
    hurryAhead();
    WaitForSingleObject(ahead.thread, INFINITE);
    CloseHandle(ahead.thread);
    ahead.thread = NULL;
    ahead.shared = false;
    CloseHandle(ahead.done);
    DeleteCriticalSection(&ahead.file);
    for (unsigned index = 0; index < TY_ENTRY_INSTALL_BOUND; index++) {
        free(ahead.buffers[index]);
        ahead.buffers[index] = NULL;
    }
}

HBITMAP loadBitmapEntry(HDC dc, uint32_t index) {
    uint32_t size = entryUncompressedSize(index);
    unsigned char *file = (unsigned char *)malloc(size > 0 ? size : 1);
    if (file == NULL) return NULL;
    extractEntry(index, file);

    // The header, core or information, goes to CreateDIBitmap as it stands in
    // the file: GDI tells the two apart by their first field.
    HBITMAP bitmap = NULL;
    if (bitmapFault(file, size) == NULL) {
        const unsigned char *header = file + TY_BMP_FILE_HEADER_SIZE;
        bitmap = CreateDIBitmap(dc, (const BITMAPINFOHEADER *)header, CBM_INIT,
                                file + bitmapBitsOffset(file), (const BITMAPINFO *)header,
                                DIB_RGB_COLORS);
    }
    free(file);
    return bitmap;
}
