#include <bzlib.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ty_error_display.h"
#include "ty_package.h"
#include "ty_product.h"
#include "ty_setup_state.h"

#define TY_TEXT_UNPACK_FAILED                                                  \
    "\nError unpacking file from installation database.\nThe installation "   \
    "package appears to be corrupted. Download a new installation package "   \
    "from " TY_WEB_SITE ". If the problem persists, contact "                 \
    TY_SUPPORT_EMAIL "."

#define TY_BMP_FILE_HEADER_SIZE 14
#define TY_BMP_INFO_HEADER_SIZE 40

#ifdef BZ_NO_STDIO
// libbzip2 built without stdio reports a broken internal invariant here. It
// can only come from the data being decoded, so it is the corrupted package.
extern "C" void bz_internal_error(int) {
    fatalError(TY_TEXT_UNPACK_FAILED);
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
    if (status != BZ_OK || producedLength != outputLength) fatalError(TY_TEXT_UNPACK_FAILED);
    return 0;
}

static uint32_t bmpUint32(const unsigned char *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static uint16_t bmpUint16(const unsigned char *p) {
    return (uint16_t)(p[0] | p[1] << 8);
}

// Whether everything CreateDIBitmap will read of a BMP file of size bytes lies
// inside it: the information header, the colour masks and table behind it,
// and the pixel bits at their offset.
static bool bitmapFitsBuffer(const unsigned char *file, uint32_t size) {
    if (size < TY_BMP_FILE_HEADER_SIZE + TY_BMP_INFO_HEADER_SIZE) return false;
    const unsigned char *info = file + TY_BMP_FILE_HEADER_SIZE;
    uint64_t bitsOffset = bmpUint32(file + 10);
    uint64_t infoSize = bmpUint32(info);
    int32_t width = (int32_t)bmpUint32(info + 4);
    int32_t height = (int32_t)bmpUint32(info + 8);
    uint16_t bitCount = bmpUint16(info + 14);
    uint32_t compression = bmpUint32(info + 16);
    uint32_t imageSize = bmpUint32(info + 20);
    uint64_t coloursUsed = bmpUint32(info + 32);

    if (infoSize < TY_BMP_INFO_HEADER_SIZE || infoSize > size - TY_BMP_FILE_HEADER_SIZE)
        return false;
    if (bitsOffset >= size) return false;

    uint64_t colours = coloursUsed;
    if (colours == 0 && bitCount >= 1 && bitCount <= 8) colours = (uint64_t)1 << bitCount;
    uint64_t masks = (compression == 3 && infoSize == TY_BMP_INFO_HEADER_SIZE) ? 12 : 0;
    if (TY_BMP_FILE_HEADER_SIZE + infoSize + masks + colours * 4 > size) return false;

    uint64_t available = size - bitsOffset;
    if (compression == 0 || compression == 3) {  // BI_RGB, BI_BITFIELDS
        if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 &&
            bitCount != 24 && bitCount != 32)
            return false;
        if (width <= 0 || height == 0) return false;
        uint64_t rowSize = ((uint64_t)width * bitCount + 31) / 32 * 4;
        uint64_t rows = height < 0 ? (uint64_t)(-(int64_t)height) : (uint64_t)height;
        return rowSize * rows <= available;
    }
    // Run-length and embedded formats say how many bytes they take.
    return imageSize != 0 && imageSize <= available;
}

HBITMAP loadBitmapEntry(HDC dc, uint32_t index) {
    uint32_t size = entryUncompressedSize(index);
    unsigned char *file = (unsigned char *)malloc(size > 0 ? size : 1);
    if (file == NULL) return NULL;
    extractEntry(index, file);

    HBITMAP bitmap = NULL;
    if (size >= 2 && file[0] == 'B' && file[1] == 'M' && bitmapFitsBuffer(file, size)) {
        const BITMAPINFOHEADER *info = (const BITMAPINFOHEADER *)(file + TY_BMP_FILE_HEADER_SIZE);
        bitmap = CreateDIBitmap(dc, info, CBM_INIT, file + bmpUint32(file + 10),
                                (const BITMAPINFO *)info, DIB_RGB_COLORS);
    }
    free(file);
    return bitmap;
}
