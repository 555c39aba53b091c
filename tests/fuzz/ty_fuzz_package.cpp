// libFuzzer target of the package reader: every input is an installer image
// (program image, package, trailer). It is opened and verified, every entry is
// extracted into a buffer of exactly its size, and entry 0 is also turned
// into the welcome picture; then the package is closed.
//
// A fatal box and exitInstaller(-1) are ordinary outcomes: the stand-in turns
// the exit into a return from runProduct, and the harness then releases what
// the package still holds, as the process's end would have. What counts as a
// finding: a sanitizer report, a leak, or a broken invariant of the error
// path (checked below and reported through abort).
//
// Each image runs twice: as it is, then with one failure of the platform
// (a read, a seek or an allocation) chosen from the image's bytes, so that the
// failure paths are checked for leaks as well.
//
// Built twice. The plain target mutates whole images, so almost every input
// stops at the control check. With TY_FUZZ_RESEAL the custom mutator keeps the
// trailer in place and recomputes the control check after each mutation, so
// the fuzzer spends its time in the header and in extraction.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "ty_md5.h"
#include "ty_package.h"
#include "ty_package_format.h"
#include "ty_setup_state.h"
#include "ty_standin.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);

namespace {

// RSS guards, not statements about the product. An entry's buffer is as
// large as its header says, up to 4 GiB; a table of fileCount pointers is up
// to 4 GiB on a 64-bit host and is walked in full by closePackage. Either
// would hit libFuzzer's memory limits by design, so entries above 8 MiB are
// skipped, and images whose fileCount asks for a table above 8 MiB are not
// run at all.
const uint32_t kMaxEntrySize = 8u << 20;
const uint32_t kMaxFileCount = (8u << 20) / sizeof(PackageEntry *);

const char kFatalCaption[] = "Tessaly Installer 1.0";

// The image lives in an anonymous in-memory file; the reader opens it again
// by its /proc path and gets its own descriptor and position, as it would
// with the installer's own file.
int imageFile = -1;
char imagePath[64];

Package package;
// The caller's buffer of the entry being extracted. Kept outside the product
// call so that a fatal exit from inside extractEntry does not lose it.
unsigned char *entryBuffer;
// Whether the welcome picture is made too; see readWholePackage.
bool loadPicture;

uint32_t le32(const uint8_t *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

[[noreturn]] void finding(const char *what) {
    fprintf(stderr, "ty_fuzz_package: %s\n", what);
    abort();
}

void writeImage(const uint8_t *data, size_t size) {
    if (ftruncate(imageFile, 0) != 0) finding("cannot empty the image file");
    size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(imageFile, data + done, size - done, (off_t)done);
        if (n <= 0) finding("cannot write the image file");
        done += (size_t)n;
    }
}

// Whether the header would ask for a table the RSS guard refuses.
bool tableTooLarge(const uint8_t *data, size_t size) {
    if (size < TY_TRAILER_SIZE) return false;
    uint32_t packageStart = le32(data + size - TY_TRAILER_SIZE);
    if (packageStart > size - 4) return false;
    return le32(data + packageStart) > kMaxFileCount;
}

// What the installer does with its package from start to end, short of
// writing files.
void readWholePackage() {
    openPackage(&package, imagePath);
    for (uint32_t i = 0; i < package.fileCount; i++) {
        // The name becomes a path in a 260-byte buffer: it must end inside
        // its field.
        if (strlen(entryName(i)) > packageNameWidth(i)) finding("a name longer than its field");
        uint32_t size = entryUncompressedSize(i);
        if (size > kMaxEntrySize) continue;
        entryBuffer = (unsigned char *)malloc(size);
        if (entryBuffer == NULL) continue;  // a caller checks its own buffer
        extractEntry(i, entryBuffer);
        free(entryBuffer);
        entryBuffer = NULL;
        // Only after entry 0 extracted once, and never with an injected
        // failure: loadBitmapEntry's own buffer is lost when the extraction
        // inside it ends the process, which the real process's end makes
        // harmless but LeakSanitizer would report.
        if (i == 0 && loadPicture) {
            HBITMAP picture = loadBitmapEntry(standinScreenDc(), 0);
            if (picture != NULL) DeleteObject(picture);
        }
    }
    closePackage(&package);
}

// One failure of the platform under the reader: the nth read ends the file,
// fails or comes back short, the nth seek fails, or the nth allocation.
enum FaultKind { kReadEnd, kReadError, kReadShort, kFailSeek, kFailAllocation };
struct Fault {
    FaultKind kind;
    int nth;
};

struct Counts {
    int reads;
    long allocations;
};

// Runs the reader over the image once, checks how it ended, and releases
// what a fatal exit left behind.
Counts runReader(const Fault *fault) {
    standinReset();
    if (fault != NULL) {
        switch (fault->kind) {
        case kReadEnd: standinSetReadResult(fault->nth, 0); break;
        case kReadError: standinSetReadResult(fault->nth, -1); break;
        case kReadShort: standinSetReadResult(fault->nth, 1); break;
        case kFailSeek: standinFailSeek(fault->nth); break;
        case kFailAllocation: standinFailAllocation(fault->nth); break;
        }
    }
    loadPicture = fault == NULL;
    setupState.package = &package;
    entryBuffer = NULL;
    ProductRun run = runProduct(readWholePackage);
    Counts counts = {standinReadCount(), standinAllocationCount()};

    if (run.exited) {
        // What exit left behind: the caller's buffer and the partly read
        // package, released as the end of the process would.
        free(entryBuffer);
        entryBuffer = NULL;
        closePackage(&package);

        const std::vector<StandinMessageBox> &boxes = standinMessageBoxes();
        if (run.exitCode != -1) finding("the reader exited with a code other than -1");
        if (boxes.size() != 1) finding("a fatal exit without exactly one box");
        if (boxes[0].caption != kFatalCaption) finding("a fatal box with another caption");
        if (boxes[0].style != MB_ICONERROR) finding("a fatal box with another style");
        if (boxes[0].owner != NULL) finding("a fatal box with an owner window");
        if (boxes[0].text.empty()) finding("a fatal box without text");
    } else if (!standinMessageBoxes().empty()) {
        finding("a box without the end of the process");
    }
    if (standinOpenDescriptorCount() != 0) finding("the package file was left open");
    setupState.package = NULL;
    return counts;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    imageFile = memfd_create("ty_fuzz_image", 0);
    if (imageFile == -1) finding("memfd_create failed");
    snprintf(imagePath, sizeof imagePath, "/proc/self/fd/%d", imageFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (tableTooLarge(data, size)) return -1;  // kept out of the corpus
    writeImage(data, size);

    Counts counts = runReader(NULL);
    // The same image again with one failure of the platform, chosen by the
    // image's bytes so that every input repeats exactly.
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; i++) hash = (hash ^ data[i]) * 16777619u;
    Fault fault;
    fault.kind = (FaultKind)(hash % 5);
    long calls = fault.kind == kFailAllocation ? counts.allocations : counts.reads;
    fault.nth = 1 + (int)((hash >> 8) % (uint32_t)(calls + 1));
    runReader(&fault);
    return 0;
}

#ifdef TY_FUZZ_RESEAL

namespace {

void putLe32(uint8_t *p, uint32_t value) {
    for (int i = 0; i < 4; i++) p[i] = (uint8_t)(value >> (8 * i));
}

// Writes the control check for the trailer's package start, when the start
// leaves a checked part of zero or more bytes.
void reseal(uint8_t *data, size_t size) {
    if (size < TY_TRAILER_SIZE) return;
    uint32_t packageStart = le32(data + size - TY_TRAILER_SIZE);
    size_t digestAt = size - TY_DIGEST_SIZE;
    if (packageStart > digestAt) return;
    md5Digest(data + packageStart, digestAt - packageStart, data + digestAt);
}

}  // namespace

// Mostly mutates the image in front of the trailer and puts the same package
// start back behind it; one time in sixteen the trailer is fair game too.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize,
                                          unsigned int seed) {
    if (size >= TY_TRAILER_SIZE && maxSize >= TY_TRAILER_SIZE && seed % 16 != 0) {
        uint32_t packageStart = le32(data + size - TY_TRAILER_SIZE);
        size_t body = LLVMFuzzerMutate(data, size - TY_TRAILER_SIZE, maxSize - TY_TRAILER_SIZE);
        putLe32(data + body, packageStart);
        size = body + TY_TRAILER_SIZE;
    } else {
        size = LLVMFuzzerMutate(data, size, maxSize);
    }
    reseal(data, size);
    return size;
}

#endif
