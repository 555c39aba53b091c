#include "ty_package_writer.h"

#include <bzlib.h>
#include <limits.h>
#include <string.h>

#include "ty_md5.h"
#include "ty_package_format.h"

uint32_t readLe32(const unsigned char *p) { return tyLe32(p); }

void putLe32(unsigned char *p, uint32_t value) {
    p[0] = (unsigned char)value;
    p[1] = (unsigned char)(value >> 8);
    p[2] = (unsigned char)(value >> 16);
    p[3] = (unsigned char)(value >> 24);
}

static void appendLe32(Bytes *out, uint32_t value) {
    unsigned char b[4];
    putLe32(b, value);
    out->insert(out->end(), b, b + 4);
}

bool makeBzip2Record(const std::string &name, const Bytes &content, WriterRecord *record) {
    // bzip2's documented worst case: 1% larger plus 600 bytes (kept within
    // what libbzip2 can be told, for contents near the 4 GiB entry limit).
    if (content.size() > UINT32_MAX) return false;
    uint64_t worstCase = (uint64_t)content.size() + content.size() / 100 + 600;
    unsigned int capacity = worstCase > UINT_MAX ? UINT_MAX : (unsigned int)worstCase;
    Bytes compressed(capacity);
    // libbzip2 refuses a NULL source even for zero bytes; an empty file still
    // becomes a valid (empty) stream.
    char nothing = 0;
    int result = BZ2_bzBuffToBuffCompress(
        (char *)compressed.data(), &capacity,
        content.empty() ? &nothing : (char *)content.data(), (unsigned int)content.size(),
        9, 0, 0);
    if (result != BZ_OK) return false;
    compressed.resize(capacity);
    record->name = name;
    record->uncompressedSize = (uint32_t)content.size();
    record->compressedSize = capacity;
    record->flags = TY_FLAG_BZIP2;
    record->data = compressed;
    return true;
}

WriterRecord makeStoredRecord(const std::string &name, const Bytes &content) {
    WriterRecord record;
    record.name = name;
    record.uncompressedSize = (uint32_t)content.size();
    record.compressedSize = (uint32_t)content.size();
    record.flags = TY_FLAG_STORED;
    record.data = content;
    return record;
}

Bytes writePackage(const Bytes &stub, uint32_t nameWidth,
                   const std::vector<WriterRecord> &records, uint32_t alignment) {
    Bytes out(stub);
    uint32_t packageStart = (uint32_t)out.size();
    uint32_t headerSize = TY_HEADER_FIXED_SIZE +
                          (uint32_t)records.size() * (nameWidth + TY_RECORD_EXTRA_SIZE);
    appendLe32(&out, (uint32_t)records.size());
    appendLe32(&out, headerSize);
    appendLe32(&out, nameWidth);

    uint32_t dataStart = headerSize;
    for (const WriterRecord &record : records) {
        // The field is padded with one stored byte 32 (a scrambled NUL), then
        // zero bytes; a name that fills the field has no padding at all.
        Bytes field(nameWidth, 0);
        size_t length = record.name.size() < nameWidth ? record.name.size() : nameWidth;
        for (size_t i = 0; i < length; i++)
            field[i] = tyScrambleByte((unsigned char)record.name[i]);
        if (length < nameWidth) field[length] = tyScrambleByte(0);
        out.insert(out.end(), field.begin(), field.end());
        appendLe32(&out, record.uncompressedSize);
        appendLe32(&out, record.compressedSize);
        out.push_back(record.flags);
        appendLe32(&out, dataStart);
        dataStart += (uint32_t)record.data.size();
    }
    for (const WriterRecord &record : records)
        out.insert(out.end(), record.data.begin(), record.data.end());
    // Zero bytes after the data, inside the checked part, bring the file to
    // a multiple of alignment.
    while ((out.size() + TY_TRAILER_SIZE) % alignment != 0) out.push_back(0);

    appendLe32(&out, packageStart);
    out.resize(out.size() + TY_DIGEST_SIZE);
    resealPackage(&out);
    return out;
}

void resealPackage(Bytes *image) {
    size_t digestAt = image->size() - TY_DIGEST_SIZE;
    uint32_t packageStart = readLe32(image->data() + image->size() - TY_TRAILER_SIZE);
    md5Digest(image->data() + packageStart, digestAt - packageStart, image->data() + digestAt);
}
