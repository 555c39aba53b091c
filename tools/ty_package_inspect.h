// Reads installation packages back: the release tools' view of a finished
// installer image (list, verify, extract). Unlike the installer's reader it
// never ends the process; every problem comes back as one line of text, so a
// damaged image can still be examined.
#ifndef TY_PACKAGE_INSPECT_H
#define TY_PACKAGE_INSPECT_H

#include <stdint.h>

#include <string>
#include <vector>

#include "ty_package_writer.h"

struct InspectedEntry {
    std::string name;           // descrambled, up to its terminator
    uint32_t uncompressedSize;
    uint32_t compressedSize;
    uint8_t flags;
    uint32_t dataStart;         // relative to the package start
    uint32_t dataOffset;        // packageStart + dataStart, in 32 bits as the installer adds them
};

struct InspectedPackage {
    uint32_t packageEnd;        // the file's end, or where its certificate table starts
    uint32_t certificateSize;   // 0: not signed
    uint32_t packageStart;
    uint32_t fileCount;
    uint32_t headerSize;        // as stored; the installer ignores it
    uint32_t nameWidth;
    uint64_t checkedSize;       // bytes under the control check
    bool controlCheckHolds;
    std::vector<InspectedEntry> entries;
};

// Parses the trailer, the header and the entry records of a whole installer
// image. The control check is computed, not required. False with *error set
// when the image holds no readable entry table.
bool inspectPackage(const Bytes &image, InspectedPackage *package, std::string *error);

// The content of one entry, required to be exactly what the installer would
// extract: flags 0 with all uncompressedSize bytes present, or flags 2 with one
// bzip2 stream filling compressedSize bytes that decodes to exactly
// uncompressedSize bytes. False with *error set (without the entry's index).
bool decodeEntry(const Bytes &image, const InspectedPackage &package,
                 const InspectedEntry &entry, Bytes *content, std::string *error);

// A name that can only ever mean a file inside the installation folder, on
// either Windows family: not empty, not "." or "..", no control character and
// none of \ / : * ? " < > |.
bool isPlainFileName(const std::string &name);

// name for one line of output: control bytes as \xNN; quoteName adds single
// quotes for messages.
// A count in decimal, and with " byte" or " bytes" after it.
std::string number(uint64_t value);
std::string bytesText(uint64_t count);

std::string escapeName(const std::string &name);
std::string quoteName(const std::string &name);

#endif
