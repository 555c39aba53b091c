#include "ty_bitmap_format.h"

#include <stddef.h>

#include "ty_package_format.h"

// Compression methods a display's CreateDIBitmap draws.
#define TY_BMP_RGB 0
#define TY_BMP_RLE8 1
#define TY_BMP_RLE4 2
#define TY_BMP_BITFIELDS 3

// Three 32-bit colour masks follow an information header too short to hold
// them; GDI reads them there whatever the header's size.
#define TY_BMP_MASKS_END (TY_BMP_INFO_HEADER_SIZE + 12)

uint32_t bitmapBitsOffset(const unsigned char *file) {
    return tyLe32(file + 10);
}

// Whether bitCount goes with the header and compression: the core header
// knows only palettes and 24 bits, run-length coding one depth each, masks
// only 16 and 32 bits.
static bool bitCountAllowed(bool core, uint32_t compression, uint32_t bitCount) {
    if (core) return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24;
    if (compression == TY_BMP_RLE8) return bitCount == 8;
    if (compression == TY_BMP_RLE4) return bitCount == 4;
    if (compression == TY_BMP_BITFIELDS) return bitCount == 16 || bitCount == 32;
    return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
           bitCount == 32;
}

// All sizes in 64 bits: every field comes from the file and may be anything.
const char *bitmapFault(const unsigned char *file, uint32_t size) {
    if (size < 2 || file[0] != 'B' || file[1] != 'M') return "no \"BM\" signature";
    if (size < TY_BMP_FILE_HEADER_SIZE + 4) return "the file ends before its information header";
    const unsigned char *header = file + TY_BMP_FILE_HEADER_SIZE;
    uint64_t headerSize = tyLe32(header);
    bool core = headerSize == TY_BMP_CORE_HEADER_SIZE;
    if (!core && headerSize < TY_BMP_INFO_HEADER_SIZE)
        return "an information header of neither 12 nor at least 40 bytes";
    if (TY_BMP_FILE_HEADER_SIZE + headerSize > size)
        return "its information header runs past the end of the file";

    int64_t width, height;
    uint32_t bitCount, compression = TY_BMP_RGB, imageSize = 0;
    uint64_t colours, entrySize, tableStart = TY_BMP_FILE_HEADER_SIZE + headerSize;
    if (core) {
        width = tyLe16(header + 4);
        height = tyLe16(header + 6);
        bitCount = tyLe16(header + 10);
        colours = 0;
        entrySize = 3;
    } else {
        width = (int32_t)tyLe32(header + 4);
        height = (int32_t)tyLe32(header + 8);
        bitCount = tyLe16(header + 14);
        compression = tyLe32(header + 16);
        imageSize = tyLe32(header + 20);
        colours = tyLe32(header + 32);
        entrySize = 4;
        if (compression == TY_BMP_BITFIELDS && headerSize < TY_BMP_MASKS_END)
            tableStart = TY_BMP_FILE_HEADER_SIZE + TY_BMP_MASKS_END;
    }
    if (compression > TY_BMP_BITFIELDS)
        return "a compression method other than none, RLE8, RLE4 and bit fields";
    if (!bitCountAllowed(core, compression, bitCount))
        return "a bit count that its header and compression method do not allow";
    if (width <= 0 || height == 0) return "a width or height of 0, or a negative width";
    bool runLength = compression == TY_BMP_RLE8 || compression == TY_BMP_RLE4;
    if (runLength && height < 0) return "run-length coded rows stored top-down";

    if (colours == 0 && bitCount <= 8) colours = (uint64_t)1 << bitCount;
    if (tableStart + colours * entrySize > size)
        return "its colour table runs past the end of the file";

    uint64_t bitsOffset = bitmapBitsOffset(file);
    if (bitsOffset >= size) return "its pixel data starts past the end of the file";
    uint64_t available = size - bitsOffset;
    if (runLength) {
        if (imageSize == 0) return "run-length coded pixel data without its size";
        if (imageSize > available) return "its pixel data runs past the end of the file";
        return NULL;
    }
    uint64_t rowSize = ((uint64_t)width * bitCount + 31) / 32 * 4;
    uint64_t rows = height < 0 ? (uint64_t)(-height) : (uint64_t)height;
    // Rows and rowSize are at least 1; available, below 4 GiB, takes a
    // division the stub does without a 64-bit routine.
    if (rowSize > available || rows > (uint32_t)available / (uint32_t)rowSize)
        return "its pixel data runs past the end of the file";
    return NULL;
}
