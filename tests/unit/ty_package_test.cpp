// Opening the installer's own file: every failed read of the trailer, control
// check, header and entry records, no memory, and the refusals that keep a
// crafted table from doing harm (the fuzz targets try the rest). The sound
// packages are in ty_package_good_test.cpp.
#include <string.h>

#include "ty_common_test_support.h"

namespace {

// The reader's low-level reads, in the order it makes them (for one entry);
// the first reads the file's start, to find a signature.
enum { kReadHead = 1, kReadPackageStart, kReadDigest, kReadChecked, kReadFileCount,
       kReadHeaderSize, kReadNameWidth, kReadName, kReadUncompressedSize,
       kReadCompressedSize, kReadFlags, kReadDataStart };

}  // namespace

// -- Every failed read, by step ---------------------------------------------------

enum ReadFailure { kEndOfFile, kReadError, kShortRead };

struct ReadFailureCase {
    const char *name;
    int nth;                // which read of openPackage fails
    unsigned size;          // what that read asks for; 0: the checked part
    ReadFailure failure;
    const char *text;
    bool packageBox;        // with the corrupted-package paragraph
};

TY_PRINT_ROW_AS_NAME(ReadFailureCase)

class ReadFailureTest : public PackageTest, public ::testing::WithParamInterface<ReadFailureCase> {};

TEST_P(ReadFailureTest, EndsWithTheStepsMessage) {
    const ReadFailureCase &c = GetParam();
    Bytes image = standardImage();
    unsigned size = c.size ? c.size : (unsigned)(image.size() - TY_DIGEST_SIZE - kStub);
    int result = c.failure == kEndOfFile ? 0 : c.failure == kReadError ? -1
                 : size > 1 ? (int)size - 1 : 2;  // a one-byte read can only say too much
    standinSetReadResult(c.nth, result);
    ProductRun run = openImage(image);
    expectFatalBox(run, std::string(c.text) + (c.packageBox ? kCorruptedParagraph : ""));
}

#define TY_READ_ROWS(name, nth, size, box, eof, error, shortText)            \
    ReadFailureCase{name "EndOfFile", nth, size, kEndOfFile, eof, box},       \
    ReadFailureCase{name "ReadError", nth, size, kReadError, error, box},     \
    ReadFailureCase{name "ShortRead", nth, size, kShortRead, shortText, box}

INSTANTIATE_TEST_SUITE_P(
    Reader, ReadFailureTest,
    ::testing::Values(
        TY_READ_ROWS("PackageStart", kReadPackageStart, 4, true,
            "\nThe installer encountered an unexpected end of file while reading the initial data in the installation package.",
            "\nError reading the initial data position in the installation package.",
            "\nIncorrect amount of data read for the initial data in the installation package."),
        TY_READ_ROWS("StoredDigest", kReadDigest, 16, true,
            "\nUnexpected end of file while reading the embedded installation package control check information.",
            "\nUnexpected error while reading the embedded installation package control check information.",
            "\nIncorrect amount of data read while reading the embedded installation package control check information."),
        TY_READ_ROWS("CheckedPart", kReadChecked, 0, true,
            "\nUnexpected end of file while reading the installation database for control check computation.",
            "\nUnexpected error while reading the installation package for control check computation.",
            "\nIncorrect amount of data read while reading the installation package for control check computation."),
        TY_READ_ROWS("FileCount", kReadFileCount, 4, false,
            "\nUnexpected end of file while reading the number of files.",
            "\nUnexpected error while reading the number of files",
            "\nIncorrect amount of data read while reading the number of files"),
        TY_READ_ROWS("HeaderSize", kReadHeaderSize, 4, false,
            "\nUnexpected end of file while reading the header size",
            "\nUnexpected error while reading the header size",
            "\nIncorrect amount of data read while reading the header size"),
        TY_READ_ROWS("NameWidth", kReadNameWidth, 4, false,
            "\nUnexpected end of file while reading the header size",
            "\nUnexpected error while reading the header size",
            "\nIncorrect amount of data read while reading the header size"),
        TY_READ_ROWS("FileName", kReadName, kWidth, false,
            "\nUnexpected end of file while reading the file name",
            "\nUnexpected error while reading the file name",
            "\nIncorrect amount of data read while reading the file name"),
        TY_READ_ROWS("UncompressedSize", kReadUncompressedSize, 4, false,
            "\nUnexpected end of file while reading the uncompressed file size for file",
            "\nUnexpected error while reading the uncompressed file size for file",
            "\nIncorrect amount of data read while reading the uncompressed file size"),
        TY_READ_ROWS("CompressedSize", kReadCompressedSize, 4, false,
            "\nUnexpected end of file while reading the compressed file size for file",
            "\nUnexpected error while reading the compressed file size for file",
            "\nIncorrect amount of data read while reading the compressed file size"),
        TY_READ_ROWS("Flags", kReadFlags, 1, false,
            "\nUnexpected end of file while reading the file flags",
            "\nUnexpected error while reading the file flags",
            "\nIncorrect amount of data read while reading the file flags"),
        TY_READ_ROWS("DataStart", kReadDataStart, 4, false,
            "\nUnexpected end of file while reading the file data start position",
            "\nUnexpected error while reading the file data start position for file",
            "\nIncorrect amount of data read while reading the file data start position")),
    [](const ::testing::TestParamInfo<ReadFailureCase> &info) { return info.param.name; });

TEST_F(PackageTest, AFileLockedByTheSystemCannotBeOpened) {
    std::string path = writeImage(standardImage());
    standinFailOpen();
    expectFatalBox(openPath(path),
                   "The database could not be opened. Please ensure that the file is not locked "
                   "up by the system. You may need to reboot the system and try again. In case "
                   "of further problems, please contact " TY_SUPPORT_EMAIL);
}

// -- A signature behind the package ------------------------------------------------

// The PE headers of a 32-bit image whose security directory (a file offset and
// a size) is set later; the rest of the stub as usual.
Bytes peStub() {
    Bytes stub = stubBytes(kStub);
    const size_t pe = 0x80, optional = pe + 24;
    putLe32(stub.data() + 0x3C, pe);
    memcpy(stub.data() + pe, "PE\0\0", 4);
    stub[optional] = 0x0B;
    stub[optional + 1] = 0x01;
    putLe32(stub.data() + optional + 92, 16);   // data directories
    putLe32(stub.data() + optional + 96 + 32, 0);
    putLe32(stub.data() + optional + 96 + 36, 0);
    return stub;
}

struct SignedCase {
    const char *name;
    size_t tableSize;      // certificate bytes appended behind the package
    long directoryStart;   // relative to the table's start
    long directorySize;    // relative to the table's size
    size_t after;          // bytes behind the table
    bool opens;            // else the trailer is looked for at the file's end
};
TY_PRINT_ROW_AS_NAME(SignedCase)

class SignedImageTest : public PackageTest, public ::testing::WithParamInterface<SignedCase> {};

TEST_P(SignedImageTest, FindsThePackageOnlyBeforeATableThatEndsTheFile) {
    const SignedCase &row = GetParam();
    Bytes image = writePackage(peStub(), kWidth, standardRecords());
    size_t tableStart = image.size();
    Bytes table = patternBytes(row.tableSize, 3);
    image.insert(image.end(), table.begin(), table.end());
    image.resize(image.size() + row.after, 0);
    const size_t entry = 0x80 + 24 + 96 + 32;
    putLe32(image.data() + entry, (uint32_t)((long)tableStart + row.directoryStart));
    putLe32(image.data() + entry + 4, (uint32_t)((long)row.tableSize + row.directorySize));
    ProductRun run = openImage(image);
    if (row.opens) {
        ASSERT_FALSE(run.exited) << describeBoxes();
        EXPECT_EQ(package.fileCount, 3u);
        EXPECT_STREQ(entryName(2), "Tessaly Quenfold.exe");
    } else {
        EXPECT_TRUE(run.exited) << "opened " << package.fileCount << " entries";
        EXPECT_EQ(run.exitCode, -1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Reader, SignedImageTest,
    ::testing::Values(SignedCase{"NotSigned", 0, 0, 0, 0, true},
                      SignedCase{"Signed", 1496, 0, 0, 0, true},
                      SignedCase{"TableOfOneCertificateHeader", 8, 0, 0, 0, true},
                      SignedCase{"TableTooShort", 7, 0, 0, 0, false},
                      SignedCase{"TableNotAtTheEnd", 1496, 0, 0, 1, false},
                      SignedCase{"DirectoryPastTheFile", 1496, 8, 0, 0, false},
                      SignedCase{"DirectoryShorterThanTheTable", 1496, 8, -8, 0, false}),
    [](const ::testing::TestParamInfo<SignedCase> &info) { return info.param.name; });

// -- The control check ------------------------------------------------------------

TEST_F(PackageTest, ACheckedPartOverFourMillionBytesIsTooGreat) {
    // header 12, one record 59, the package start 4: the rest is entry data
    uint32_t dataSize = 4000001 - TY_HEADER_FIXED_SIZE - kRecordSize - 4;
    Bytes image = writePackage(stubBytes(100), kWidth,
                               {makeStoredRecord("big.dat", patternBytes(dataSize, 5))});
    ASSERT_EQ(image.size() - 100 - TY_DIGEST_SIZE, 4000001u);
    expectFatalBox(openImage(image), "\nInstallation database too great; this means it is corrupted.");
}

struct ChangedByteCase {
    const char *name;
    long fromEnd;           // > 0: offset from the file's end; <= 0: from P, negated
    unsigned char mask;
};

TY_PRINT_ROW_AS_NAME(ChangedByteCase)

class ChangedByteTest : public PackageTest, public ::testing::WithParamInterface<ChangedByteCase> {};

TEST_P(ChangedByteTest, IsDetectedAsModified) {
    Bytes image = standardImage();
    const ChangedByteCase &c = GetParam();
    size_t offset = c.fromEnd > 0 ? image.size() - (size_t)c.fromEnd : kStub + (size_t)-c.fromEnd;
    image[offset] ^= c.mask;
    expectFatalBox(openImage(image),
                   "\nThe installer detected that the original installation data has been "
                   "modified." + kCorruptedParagraph);
}

// The package starts at 0x1C000: each changed byte of that start still points
// into the file, at other bytes.
INSTANTIATE_TEST_SUITE_P(
    Reader, ChangedByteTest,
    ::testing::Values(
        ChangedByteCase{"FileCount", 0, 0x01},
        ChangedByteCase{"DataStart", -(long)(TY_HEADER_FIXED_SIZE + kRecordSize - 1), 0x01},
        ChangedByteCase{"LastDataByte", TY_TRAILER_SIZE + 1, 0x01},
        ChangedByteCase{"PackageStartByte0", 20, 0x01},
        ChangedByteCase{"StoredDigestLast", 1, 0x80}),
    [](const ::testing::TestParamInfo<ChangedByteCase> &info) { return info.param.name; });

// -- Allocations ------------------------------------------------------------------

struct AllocationCase {
    const char *name;
    int nth;
    const char *text;
};

TY_PRINT_ROW_AS_NAME(AllocationCase)

class AllocationFailureTest : public PackageTest,
                              public ::testing::WithParamInterface<AllocationCase> {};

TEST_P(AllocationFailureTest, EndsWithTheStepsMessage) {
    std::string path = writeImage(standardImage());
    standinFailAllocation(GetParam().nth);
    expectFatalBox(openPath(path), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Reader, AllocationFailureTest,
    ::testing::Values(
        AllocationCase{"CheckedPart", 1, "\nInsufficient system memory to allocate for control check computation."},
        AllocationCase{"Table", 2, "\nInsufficient memory; cannot allocate headers"},
        AllocationCase{"FirstEntry", 3, "\nInsufficient memory to allocate file entry"},
        AllocationCase{"FirstName", 4, "\nInsufficient memory to allocate file name entry"},
        AllocationCase{"LastEntry", 7, "\nInsufficient memory to allocate file entry"},
        AllocationCase{"LastName", 8, "\nInsufficient memory to allocate file name entry"}),
    [](const ::testing::TestParamInfo<AllocationCase> &info) { return info.param.name; });

// -- The header -------------------------------------------------------------------

struct FileCountCase {
    const char *name;
    uint32_t fileCount;
    const char *text;
};

TY_PRINT_ROW_AS_NAME(FileCountCase)

class FileCountLimitTest : public PackageTest, public ::testing::WithParamInterface<FileCountCase> {};

// The table's size in bytes must fit in 32 bits; a count that passes reaches
// the table's allocation (made to fail here instead of taking gigabytes).
TEST_P(FileCountLimitTest, IsCheckedBeforeTheTableIsAllocated) {
    Bytes image = standardImage();
    patchSealed(&image, kStub, GetParam().fileCount);
    std::string path = writeImage(image);
    standinFailAllocation(2);
    expectFatalBox(openPath(path), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Reader, FileCountLimitTest,
    ::testing::Values(
        FileCountCase{"LargestThatFits", (uint32_t)(0xFFFFFFFFu / sizeof(void *)),
                      "\nInsufficient memory; cannot allocate headers"},
        FileCountCase{"OneMore", (uint32_t)(0xFFFFFFFFu / sizeof(void *)) + 1,
                      "\nToo many files in the installation database"}),
    [](const ::testing::TestParamInfo<FileCountCase> &info) { return info.param.name; });

struct NameWidthCase {
    const char *name;
    uint32_t nameWidth;
};

TY_PRINT_ROW_AS_NAME(NameWidthCase)

class NameWidthLimitTest : public PackageTest, public ::testing::WithParamInterface<NameWidthCase> {};

// The name buffer holds 259 bytes and the NUL; a wider field is refused
// before any name is read.
TEST_P(NameWidthLimitTest, IsRefusedBeforeAnyNameIsRead) {
    Bytes image = writePackage(stubBytes(64), 259, {makeStoredRecord("a", patternBytes(8, 1))});
    patchSealed(&image, 64 + 8, GetParam().nameWidth);
    expectFatalBox(openImage(image), "\nFile name width too great in the installation database");
    EXPECT_EQ(standinReadCount(), kReadNameWidth);
}

INSTANTIATE_TEST_SUITE_P(
    Reader, NameWidthLimitTest,
    ::testing::Values(NameWidthCase{"Width260", 260}),
    [](const ::testing::TestParamInfo<NameWidthCase> &info) { return info.param.name; });

// -- Entry names ------------------------------------------------------------------

class InvalidNameTest : public PackageTest, public ::testing::WithParamInterface<std::string> {};

// A name is a file inside the installation folder, never a way out of it.
TEST_P(InvalidNameTest, IsRefusedWhenThePackageIsOpened) {
    std::vector<WriterRecord> records = standardRecords();
    records[1].name = GetParam();
    expectFatalBox(openImage(writePackage(stubBytes(64), kWidth, records)),
                   "\nInvalid file name in the installation database");
}

INSTANTIATE_TEST_SUITE_P(Reader, InvalidNameTest,
                         ::testing::Values("", ".", "..", "..\\evil.exe", "sub/file.txt",
                                           "C:evil.exe", "trailing\\"));
