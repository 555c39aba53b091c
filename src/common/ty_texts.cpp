#include "ty_texts.h"

#include <string.h>

#include <bzlib.h>

// Made with ty_texts.h by cmake/ty_pack_texts.py.
extern const unsigned tyPackedTextsSize;
extern const unsigned char tyPackedTexts[];
extern const unsigned short tyTextStarts[TY_TEXT_COUNT];

// What libbzip2 asks for to unpack a stream of its smallest blocks in its
// small mode: its state (about 64 KB) and 2.5 bytes for each of a block's
// 100,000. Taken from uninitialised data, which costs the image nothing:
// unpacking the texts needs no memory from anybody, so that even the
// report that memory has run out can be shown.
static char workMemory[96 * 1024 + 250 * 1000];
static size_t workUsed;

static void *takeWorkMemory(void *, int count, int size) {
    size_t wanted = ((size_t)count * (size_t)size + 15) & ~(size_t)15;
    if (wanted > sizeof workMemory - workUsed) return NULL;
    workUsed += wanted;
    return workMemory + workUsed - wanted;
}

static void giveBackWorkMemory(void *, void *) {}

static char texts[TY_TEXTS_SIZE];
static bool textsUnpacked;

const char *tyText(TyText text) {
    if (!textsUnpacked) {
        textsUnpacked = true;
        bz_stream stream;
        memset(&stream, 0, sizeof stream);
        stream.bzalloc = takeWorkMemory;
        stream.bzfree = giveBackWorkMemory;
        if (BZ2_bzDecompressInit(&stream, 0, 1) == BZ_OK) {
            stream.next_in = (char *)tyPackedTexts;
            stream.avail_in = tyPackedTextsSize;
            stream.next_out = texts;
            stream.avail_out = sizeof texts;
            // Only a changed image could fail here; its texts stay empty.
            if (BZ2_bzDecompress(&stream) != BZ_STREAM_END) memset(texts, 0, sizeof texts);
            BZ2_bzDecompressEnd(&stream);
        }
        workUsed = 0;
    }
    return texts + tyTextStarts[text];
}
