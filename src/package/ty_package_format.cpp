#include "ty_package_format.h"

#define TY_PE_OFFSET_AT 0x3C       // the DOS header's pointer to the PE headers
#define TY_PE_OPTIONAL_AT 24       // "PE\0\0" and the file header before it
#define TY_PE32_MAGIC 0x10B
#define TY_PE32_PLUS_MAGIC 0x20B
#define TY_SECURITY_DIRECTORY 4
#define TY_CERTIFICATE_HEADER_SIZE 8  // length u32, revision u16, type u16

uint32_t tyPackageEnd(const unsigned char *head, uint32_t headSize, uint32_t fileSize,
                      uint32_t *certificateSize) {
    *certificateSize = 0;
    if (headSize < TY_PE_OFFSET_AT + 4 || head[0] != 'M' || head[1] != 'Z') return fileSize;
    uint64_t optional = (uint64_t)tyLe32(head + TY_PE_OFFSET_AT) + TY_PE_OPTIONAL_AT;
    if (optional + 2 > headSize) return fileSize;
    const unsigned char *pe = head + optional - TY_PE_OPTIONAL_AT;
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return fileSize;
    // The directory count and the directories follow the fields that the two
    // kinds of image hold in 32 or 64 bits.
    uint32_t magic = tyLe16(head + optional);
    uint64_t countAt = optional + (magic == TY_PE32_PLUS_MAGIC ? 108 : 92);
    if (magic != TY_PE32_MAGIC && magic != TY_PE32_PLUS_MAGIC) return fileSize;
    uint64_t entryAt = countAt + 4 + 8 * TY_SECURITY_DIRECTORY;
    if (entryAt + 8 > headSize || tyLe32(head + countAt) <= TY_SECURITY_DIRECTORY)
        return fileSize;
    // The security directory holds a file offset, not an address.
    uint64_t tableStart = tyLe32(head + entryAt);
    uint64_t tableSize = tyLe32(head + entryAt + 4);
    if (tableSize < TY_CERTIFICATE_HEADER_SIZE || tableStart + tableSize != fileSize ||
        tableStart < optional)
        return fileSize;
    *certificateSize = (uint32_t)tableSize;
    return (uint32_t)tableStart;
}
