// MD5 message digest (RFC 1321): the package's control check.
#ifndef TY_MD5_H
#define TY_MD5_H

#include <stddef.h>
#include <stdint.h>

struct Md5Context {
    uint32_t state[4];
    uint64_t length;           // bytes digested so far
    unsigned char block[64];
    size_t blockUsed;
};

void md5Init(Md5Context *context);
void md5Update(Md5Context *context, const void *data, size_t size);
void md5Final(Md5Context *context, unsigned char digest[16]);

// One-pass digest of size bytes.
void md5Digest(const void *data, size_t size, unsigned char digest[16]);

#endif
