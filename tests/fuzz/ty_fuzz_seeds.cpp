// Writes the fuzzer's seed corpus: small valid installer images made with the
// release tools' package writer, each covering a shape the reader must take
// (bzip2 and stored entries, a real welcome picture, the product's name
// width, a name filling its field, no program image, no entries).
//
//   ty_fuzz_seeds OUTDIR
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "ty_package_format.h"
#include "ty_package_writer.h"

namespace {

Bytes programImage(size_t size) {
    Bytes image(size, 0);
    if (size >= 2) {
        image[0] = 'M';
        image[1] = 'Z';
    }
    for (size_t i = 2; i < size; i++) image[i] = (unsigned char)(i * 7);
    return image;
}

Bytes text(const std::string &s) { return Bytes(s.begin(), s.end()); }

void putLe32At(Bytes *image, size_t at, uint32_t value) {
    for (int i = 0; i < 4; i++) (*image)[at + i] = (unsigned char)(value >> (8 * i));
}

// A package behind a PE image's headers, signed: a certificate table at the
// end of the file that the security directory names.
Bytes signedImage(Bytes image, size_t tableSize) {
    const size_t pe = 0x40, optional = pe + 24, entry = optional + 96 + 32;
    putLe32At(&image, 0x3C, pe);
    image[pe] = 'P';
    image[pe + 1] = 'E';
    image[pe + 2] = image[pe + 3] = 0;
    image[optional] = 0x0B;
    image[optional + 1] = 0x01;
    putLe32At(&image, optional + 92, 16);
    putLe32At(&image, entry, (uint32_t)image.size());
    putLe32At(&image, entry + 4, (uint32_t)tableSize);
    image.resize(image.size() + tableSize, 0x30);
    putLe32At(&image, image.size() - tableSize, (uint32_t)tableSize);
    return image;
}

// Repetitive enough to compress, varied enough to need real Huffman tables.
Bytes pattern(size_t size, unsigned seed) {
    Bytes bytes(size);
    unsigned state = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; i++) {
        if (i % 16 == 0) state = state * 1103515245u + 12345u;
        bytes[i] = (unsigned char)((state >> 16) % 23 + 'a');
    }
    return bytes;
}

// A bottom-up BMP file: 24 bits per pixel, or 8 with a grey palette.
Bytes bmp(int width, int height, int bitCount) {
    uint32_t colours = bitCount == 8 ? 256 : 0;
    uint32_t rowSize = ((uint32_t)width * bitCount + 31) / 32 * 4;
    uint32_t bitsOffset = 14 + 40 + colours * 4;
    Bytes file(bitsOffset + rowSize * height, 0);
    unsigned char *p = file.data();
    p[0] = 'B';
    p[1] = 'M';
    putLe32(p + 2, (uint32_t)file.size());
    putLe32(p + 10, bitsOffset);
    putLe32(p + 14, 40);
    putLe32(p + 18, (uint32_t)width);
    putLe32(p + 22, (uint32_t)height);
    p[26] = 1;
    p[28] = (unsigned char)bitCount;
    putLe32(p + 34, rowSize * height);
    for (uint32_t i = 0; i < colours; i++) {
        p[54 + 4 * i] = p[55 + 4 * i] = p[56 + 4 * i] = (unsigned char)i;
    }
    for (size_t i = bitsOffset; i < file.size(); i++) p[i] = (unsigned char)(i * 13);
    return file;
}

WriterRecord bzip2(const std::string &name, const Bytes &content) {
    WriterRecord record;
    if (!makeBzip2Record(name, content, &record)) {
        fprintf(stderr, "ty_fuzz_seeds: libbzip2 failed for %s\n", name.c_str());
        exit(1);
    }
    return record;
}

bool writeSeed(const std::string &folder, const char *name, const Bytes &image) {
    std::string path = folder + "/" + name;
    FILE *file = fopen(path.c_str(), "wb");
    if (file == NULL) return false;
    bool written = fwrite(image.data(), 1, image.size(), file) == image.size();
    return fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: ty_fuzz_seeds OUTDIR\n");
        return 2;
    }
    std::string folder = argv[1];
    const uint32_t width = TY_DEFAULT_NAME_WIDTH;

    struct Seed {
        const char *name;
        Bytes image;
    };
    std::vector<Seed> seeds = {
        // The product's shape in small: picture, licence, programs.
        {"product-like.bin",
         writePackage(programImage(64), width,
                      {bzip2("welcome.bmp", bmp(8, 4, 24)),
                       bzip2("License.txt", text("Licence agreement.\r\nRead it.\r\n")),
                       makeStoredRecord("TYVersion.txt", text("2.9\r\n")),
                       bzip2("TYEngine.dll", pattern(700, 1))})},
        // A palette picture, and the same content stored and compressed.
        {"palette-picture.bin",
         writePackage(programImage(32), width,
                      {makeStoredRecord("welcome.bmp", bmp(4, 4, 8)),
                       bzip2("a.dat", pattern(300, 2)),
                       makeStoredRecord("b.dat", pattern(300, 2))})},
        // Stored entries only, the package right at the start of the file.
        {"stored-no-image.bin",
         writePackage(Bytes(), width,
                      {makeStoredRecord("one.txt", text("one")),
                       makeStoredRecord("two.txt", text("second entry"))})},
        // A name that fills its whole field, in a narrow table.
        {"full-width-name.bin",
         writePackage(programImage(16), 8,
                      {bzip2("ABCDEFGH", pattern(120, 3)),
                       makeStoredRecord("short", text("x"))})},
        // A header with no entries.
        {"no-entries.bin", writePackage(programImage(16), width, {})},
        // Signed: the package ends where the certificate table begins.
        {"signed.bin",
         signedImage(writePackage(programImage(256), width,
                                  {bzip2("welcome.bmp", bmp(2, 2, 24)),
                                   makeStoredRecord("one.txt", text("one"))}, 8),
                     24)},
        // An empty file compressed: a stream that decodes to nothing.
        {"empty-stream.bin",
         writePackage(programImage(16), width,
                      {bzip2("welcome.bmp", bmp(2, 2, 24)), bzip2("empty.txt", Bytes())})},
    };

    for (const Seed &seed : seeds) {
        if (!writeSeed(folder, seed.name, seed.image)) {
            fprintf(stderr, "ty_fuzz_seeds: cannot write %s/%s\n", folder.c_str(), seed.name);
            return 1;
        }
    }
    return 0;
}
