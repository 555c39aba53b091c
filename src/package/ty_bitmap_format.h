// The welcome picture (entry 0): a BMP file that the installer hands to
// CreateDIBitmap as it stands in memory. Shared by the installer, which draws
// the picture, and the release engineer's tools, which refuse at build and at
// verify exactly the pictures the installer would refuse; it names no
// platform type so that both can include it.
//
//   0                  file header: "BM", file size u32, reserved u32,
//                      bitsOffset u32 (from the start of the file)
//   14                 a 12-byte core header (width u16, height u16, planes
//                      u16, bit count u16; colour table of 3-byte entries)
//                      or an information header of 40 bytes or more (width
//                      i32, height i32, ...; colour table of 4-byte entries)
//   bitsOffset         the pixel bits
// All integers little-endian.
#ifndef TY_BITMAP_FORMAT_H
#define TY_BITMAP_FORMAT_H

#include <stdint.h>

#define TY_BMP_FILE_HEADER_SIZE 14
#define TY_BMP_CORE_HEADER_SIZE 12
#define TY_BMP_INFO_HEADER_SIZE 40

// NULL when CreateDIBitmap takes the BMP file of size bytes at file and
// everything it reads of it (header, colour masks and table, pixel bits) lies
// inside those bytes; otherwise why not, as a phrase such as "its pixel data
// runs past the end of the file".
const char *bitmapFault(const unsigned char *file, uint32_t size);

// Where the pixel bits of a BMP file start; only for a file bitmapFault passed.
uint32_t bitmapBitsOffset(const unsigned char *file);

#endif
