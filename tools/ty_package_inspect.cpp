#include "ty_package_inspect.h"

#include <bzlib.h>
#include <stdio.h>
#include <string.h>

#include "ty_md5.h"
#include "ty_package_format.h"

std::string number(uint64_t value) {
    char text[32];
    snprintf(text, sizeof text, "%llu", (unsigned long long)value);
    return text;
}

std::string bytesText(uint64_t count) {
    return number(count) + (count == 1 ? " byte" : " bytes");
}

bool inspectPackage(const Bytes &image, InspectedPackage *package, std::string *error) {
    if (image.size() > UINT32_MAX) {
        *error = "the file is " + bytesText(image.size()) + ", more than 32-bit offsets reach";
        return false;
    }
    uint32_t head = image.size() < TY_HEAD_SIZE ? (uint32_t)image.size() : TY_HEAD_SIZE;
    package->packageEnd = tyPackageEnd(image.data(), head, (uint32_t)image.size(),
                                       &package->certificateSize);
    uint64_t length = package->packageEnd;
    if (length < TY_TRAILER_SIZE) {
        *error = "the file is " + bytesText(length) + ", too short for the " +
                 number(TY_TRAILER_SIZE) + "-byte trailer";
        return false;
    }
    uint64_t trailerAt = length - TY_TRAILER_SIZE;
    uint32_t packageStart = readLe32(image.data() + trailerAt);
    if (packageStart > trailerAt) {
        *error = "the package start " + number(packageStart) +
                 " lies beyond the trailer at offset " + number(trailerAt);
        return false;
    }
    package->packageStart = packageStart;
    package->checkedSize = length - TY_DIGEST_SIZE - packageStart;

    unsigned char digest[TY_DIGEST_SIZE];
    md5Digest(image.data() + packageStart, (size_t)package->checkedSize, digest);
    package->controlCheckHolds =
        memcmp(digest, image.data() + length - TY_DIGEST_SIZE, TY_DIGEST_SIZE) == 0;

    // Everything up to the trailer belongs to the package; the header and its
    // records must lie inside it (the installer would read on into the
    // trailer, but no package written by the tools looks like that).
    uint64_t available = trailerAt - packageStart;
    if (available < TY_HEADER_FIXED_SIZE) {
        *error = "the package holds " + bytesText(available) +
                 " before its trailer, too few for the " +
                 number(TY_HEADER_FIXED_SIZE) + "-byte header";
        return false;
    }
    const unsigned char *header = image.data() + packageStart;
    package->fileCount = readLe32(header);
    package->headerSize = readLe32(header + 4);
    package->nameWidth = readLe32(header + 8);

    uint64_t recordSize = (uint64_t)package->nameWidth + TY_RECORD_EXTRA_SIZE;
    if (package->fileCount > (available - TY_HEADER_FIXED_SIZE) / recordSize) {
        *error = "the entry table of " + number(package->fileCount) + " records of " +
                 number(recordSize) + " bytes runs past the package's end (" +
                 number(available) + " bytes before the trailer)";
        return false;
    }

    package->entries.clear();
    const unsigned char *record = header + TY_HEADER_FIXED_SIZE;
    for (uint32_t i = 0; i < package->fileCount; i++) {
        InspectedEntry entry;
        for (uint32_t k = 0; k < package->nameWidth; k++) {
            unsigned char c = tyDescrambleByte(record[k]);
            if (c == 0) break;
            entry.name.push_back((char)c);
        }
        const unsigned char *fields = record + package->nameWidth;
        entry.uncompressedSize = readLe32(fields);
        entry.compressedSize = readLe32(fields + 4);
        entry.flags = fields[8];
        entry.dataStart = readLe32(fields + 9);
        entry.dataOffset = packageStart + entry.dataStart;
        package->entries.push_back(entry);
        record += recordSize;
    }
    return true;
}

static const char *bzip2ErrorText(int result) {
    switch (result) {
    case BZ_DATA_ERROR_MAGIC: return "no bzip2 signature";
    case BZ_DATA_ERROR: return "corrupted data or a CRC mismatch";
    case BZ_MEM_ERROR: return "out of memory";
    default: return "unexpected libbzip2 result";
    }
}

// Decodes one bzip2 stream in pieces, so that a record claiming a huge size
// costs no more memory than the stream really holds.
static bool decodeBzip2(const unsigned char *data, uint32_t size, uint32_t expected,
                        Bytes *content, std::string *error) {
    bz_stream stream;
    memset(&stream, 0, sizeof stream);
    int result = BZ2_bzDecompressInit(&stream, 0, 0);
    if (result != BZ_OK) {
        *error = std::string("libbzip2 failed to start: ") + bzip2ErrorText(result);
        return false;
    }
    stream.next_in = (char *)data;
    stream.avail_in = size;
    content->clear();
    char piece[1 << 16];
    bool good = false;
    for (;;) {
        stream.next_out = piece;
        stream.avail_out = sizeof piece;
        result = BZ2_bzDecompress(&stream);
        size_t produced = sizeof piece - stream.avail_out;
        if (content->size() + produced > expected) {
            *error = "decompresses to more than its size of " + bytesText(expected);
            break;
        }
        content->insert(content->end(), piece, piece + produced);
        if (result == BZ_STREAM_END) {
            if (stream.avail_in != 0)
                *error = "its bzip2 stream ends after " + number(size - stream.avail_in) +
                         " of its " + bytesText(size) + " of compressed data";
            else if (content->size() != expected)
                *error = "decompresses to " + bytesText(content->size()) +
                         ", fewer than its size of " + number(expected);
            else
                good = true;
            break;
        }
        if (result != BZ_OK) {
            *error = std::string("its bzip2 stream cannot be decoded: ") + bzip2ErrorText(result);
            break;
        }
        if (stream.avail_in == 0 && produced == 0) {
            *error = "its bzip2 stream is cut short after " + bytesText(size);
            break;
        }
    }
    BZ2_bzDecompressEnd(&stream);
    return good;
}

bool decodeEntry(const Bytes &image, const InspectedPackage &package,
                 const InspectedEntry &entry, Bytes *content, std::string *error) {
    uint32_t stored;
    if (entry.flags == TY_FLAG_STORED) {
        // The installer reads a stored entry with one read of its size, and a
        // read of zero bytes looks to it like the end of the file.
        if (entry.uncompressedSize == 0) {
            *error = "a stored entry of 0 bytes, which the installer cannot read";
            return false;
        }
        stored = entry.uncompressedSize;
    } else if (entry.flags == TY_FLAG_BZIP2) {
        if (entry.compressedSize == 0) {
            *error = "a compressed size of 0, which the installer cannot read";
            return false;
        }
        if (entry.compressedSize > TY_MAX_CHECKED_SIZE) {
            *error = "its compressed size of " + number(entry.compressedSize) +
                     " bytes is over the limit of " + number(TY_MAX_CHECKED_SIZE);
            return false;
        }
        stored = entry.compressedSize;
    } else {
        *error = "flags " + number(entry.flags) + ", neither 0 (stored) nor 2 (bzip2)";
        return false;
    }

    uint64_t packageEnd = package.packageEnd - TY_TRAILER_SIZE;
    if (entry.dataOffset < package.packageStart || entry.dataOffset > packageEnd ||
        stored > packageEnd - entry.dataOffset) {
        *error = "its " + bytesText(stored) + " at offset " + number(entry.dataOffset) +
                 " lie outside the package (offsets " + number(package.packageStart) +
                 " to " + number(packageEnd) + ")";
        return false;
    }
    const unsigned char *data = image.data() + entry.dataOffset;
    if (entry.flags == TY_FLAG_STORED) {
        content->assign(data, data + stored);
        return true;
    }
    return decodeBzip2(data, stored, entry.uncompressedSize, content, error);
}

bool isPlainFileName(const std::string &name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (size_t i = 0; i < name.size(); i++) {
        unsigned char c = (unsigned char)name[i];
        if (c < 32 || c == 127 || strchr("\\/:*?\"<>|", c) != NULL) return false;
    }
    return true;
}

std::string escapeName(const std::string &name) {
    std::string out;
    for (size_t i = 0; i < name.size(); i++) {
        unsigned char c = (unsigned char)name[i];
        if (c < 32 || c == 127) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out.push_back((char)c);
        }
    }
    return out;
}

std::string quoteName(const std::string &name) {
    return "'" + escapeName(name) + "'";
}
