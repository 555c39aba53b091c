// Layout of the installation package appended behind the program image.
// Shared by the installer's reader and the release engineer's tools; it names
// no platform type so that both can include it.
//
//   P                  header: fileCount, headerSize, nameWidth (u32 each)
//   P + 12             fileCount records of nameWidth + 13 bytes:
//                        name (scrambled, padded with one stored byte 32)
//                        uncompressedSize u32, compressedSize u32, flags u8,
//                        dataStart u32 (relative to P)
//   P + dataStart      each entry's data
//   end - 20           trailer: packageStart u32 (= P), then the MD5 digest of
//                      every byte from P up to the digest itself
//   end                the end of the file, or of the package in a signed
//                      installer: the start of the certificate table that
//                      the PE header's security directory names, when that
//                      table lies at the very end of the file
// All integers little-endian. The tools write packages whose file size is a
// multiple of 8, so that signing adds no padding between trailer and table.
#ifndef TY_PACKAGE_FORMAT_H
#define TY_PACKAGE_FORMAT_H

#include <stdint.h>

#define TY_TRAILER_SIZE 20
#define TY_DIGEST_SIZE 16
#define TY_HEADER_FIXED_SIZE 12
#define TY_RECORD_EXTRA_SIZE 13        // record = nameWidth + this
#define TY_MAX_CHECKED_SIZE 4000000    // checked part and any compressed entry
#define TY_NAME_BUFFER_SIZE 260        // nameWidth + terminator must fit
#define TY_DEFAULT_NAME_WIDTH 46
#define TY_PACKAGE_ENTRY_COUNT 25      // welcome picture + 24 installed files
#define TY_PACKAGE_ALIGNMENT 8         // what signing pads a file to
#define TY_HEAD_SIZE 1024              // bytes of the file's start that hold its PE headers

#define TY_FLAG_STORED 0
#define TY_FLAG_BZIP2 2

#define TY_NAME_SCRAMBLE 32            // stored byte = name byte + 32 (mod 256)

// Little-endian fields of the package and of the files it carries, read from
// memory.
static inline uint32_t tyLe32(const unsigned char *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
static inline uint16_t tyLe16(const unsigned char *p) { return (uint16_t)(p[0] | p[1] << 8); }

static inline unsigned char tyScrambleByte(unsigned char c) {
    return (unsigned char)(c + TY_NAME_SCRAMBLE);
}
static inline unsigned char tyDescrambleByte(unsigned char c) {
    return (unsigned char)(c - TY_NAME_SCRAMBLE);
}

// Where the package ends in a file of fileSize bytes whose first headSize
// bytes are head: the start of the certificate table when the file is a PE
// image whose security directory names a table that ends exactly at the
// file's end and can hold a certificate's own header; the file's end in every
// other case (unsigned, not a PE image, a directory pointing elsewhere or
// outside the file, a table too short). *certificateSize: the table's size,
// 0 when the file counts as not signed.
uint32_t tyPackageEnd(const unsigned char *head, uint32_t headSize, uint32_t fileSize,
                      uint32_t *certificateSize);

#endif
