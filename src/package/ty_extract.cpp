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

#ifdef BZ_NO_STDIO
// libbzip2 built without stdio reports a broken internal invariant here. It
// can only come from the data being decoded, so it is the corrupted package.
extern "C" void bz_internal_error(int) {
    fatalError(tyText(TY_TEXT_UNPACK_FAILED));
}
#endif

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

int extractEntry(uint32_t index, unsigned char *buffer) {
    Package *package = setupState.package;
    if (package == NULL || package->entries == NULL || index >= package->fileCount)
        fatalError("\nInvalid index for accessing data");
    const PackageEntry *entry = package->entries[index];
    int descriptor = package->descriptor;

    // An offset the runtime cannot seek to lies past the end of the file.
    bool positioned = _lseek(descriptor, (long)entry->dataOffset, SEEK_SET) != -1;
    unsigned int outputLength = entryUncompressedSize(index);

    if (entry->flags == TY_FLAG_STORED) {
        int result = positioned ? _read(descriptor, buffer, outputLength) : 0;
        const char *failure = judgeDataRead(
            result, outputLength, "Unexpected end of file while reading compressed file data");
        if (failure != NULL) fatalError(failure);
        return 0;
    }

    uint32_t compressedSize = entry->compressedSize;
    if (compressedSize > TY_MAX_CHECKED_SIZE)
        fatalError("\nToo much data to uncompress for current file");
    unsigned char *compressed = (unsigned char *)malloc(compressedSize > 0 ? compressedSize : 1);
    if (compressed == NULL)
        fatalError("Insufficient memory to allocate for compressed data buffer");

    int result = positioned ? _read(descriptor, compressed, compressedSize) : 0;
    const char *failure = judgeDataRead(
        result, compressedSize, "\nUnexpected end of file while reading compressed file data");
    if (failure == NULL && entry->flags != TY_FLAG_BZIP2)
        failure = "Unsupported compression method for decompressing data";
    if (failure != NULL) {
        free(compressed);
        fatalError(failure);
    }

    // A stream that ends before the entry's size is as broken as one that
    // runs past it: either way the caller would get a file that is not the
    // one packed.
    unsigned int producedLength = outputLength;
    int status = BZ2_bzBuffToBuffDecompress((char *)buffer, &producedLength,
                                            (char *)compressed, compressedSize, 0, 0);
    free(compressed);
    if (status != BZ_OK || producedLength != outputLength) fatalError(tyText(TY_TEXT_UNPACK_FAILED));
    return 0;
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
