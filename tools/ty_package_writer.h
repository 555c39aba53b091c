// Writes installation packages: the release tools' side of the package format
// (the installer's reader is src/package/ty_package.cpp). Records are taken
// as given, so the tests can also write packages the tools would refuse.
#ifndef TY_PACKAGE_WRITER_H
#define TY_PACKAGE_WRITER_H

#include <stdint.h>

#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

struct WriterRecord {
    std::string name;           // plain; scrambled and padded when written
    uint32_t uncompressedSize;
    uint32_t compressedSize;
    uint8_t flags;
    Bytes data;                 // what is stored for the entry
};

// A record holding content compressed as one bzip2 stream (best compression).
// Returns false when libbzip2 fails.
bool makeBzip2Record(const std::string &name, const Bytes &content, WriterRecord *record);

// A record holding content as is (flags 0).
WriterRecord makeStoredRecord(const std::string &name, const Bytes &content);

// stub + header + records + entry data (in record order) + zero bytes that
// make the whole a multiple of alignment + trailer with the package start and
// the MD5 control check. Names longer than nameWidth are cut to it; a name of
// exactly nameWidth bytes fills its field unpadded.
Bytes writePackage(const Bytes &stub, uint32_t nameWidth,
                   const std::vector<WriterRecord> &records, uint32_t alignment = 1);

// Recomputes the control check of a whole installer image in place (after a
// test has changed bytes of its package on purpose). The image must hold a
// trailer whose package start lies inside it.
void resealPackage(Bytes *image);

uint32_t readLe32(const unsigned char *p);
void putLe32(unsigned char *p, uint32_t value);

#endif
