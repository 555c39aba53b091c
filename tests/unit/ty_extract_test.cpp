// Pulling single entries out of the open package, and the welcome picture:
// every failure, and the calls the stand-in sees. The sound entries and
// pictures are in ty_extract_good_test.cpp.
#include <string.h>

#include "ty_common_test_support.h"

namespace {

const std::string kUnpackFailed = "\n" + expectedText("unpack-failed");

// The record with its data as stored, but other header fields.
WriterRecord withSizes(WriterRecord record, uint32_t uncompressedSize, uint32_t compressedSize) {
    record.uncompressedSize = uncompressedSize;
    record.compressedSize = compressedSize;
    return record;
}

WriterRecord withFlags(WriterRecord record, uint8_t flags) {
    record.flags = flags;
    return record;
}

}  // namespace

// -- Stored entries -------------------------------------------------------------

struct StoredReadCase {
    const char *name;
    int result;
    const char *text;
};

TY_PRINT_ROW_AS_NAME(StoredReadCase)

class StoredReadTest : public ExtractTest, public ::testing::WithParamInterface<StoredReadCase> {};

// The caller must never get a buffer that holds only part of the entry.
TEST_P(StoredReadTest, AFailedReadEndsTheInstaller) {
    openRecords({makeStoredRecord("a.dat", patternBytes(100, 1))});
    standinSetReadResult(1, GetParam().result);
    expectFatalBox(extract(0, 100), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Extraction, StoredReadTest,
    ::testing::Values(
        StoredReadCase{"EndOfFile", 0, "Unexpected end of file while reading compressed file data"},
        StoredReadCase{"ReadError", -1, "\nUnexpected error while reading compressed file data"},
        StoredReadCase{"ShortRead", 99, "\nIncorrect amount of data read while reading compressed file data"}),
    [](const ::testing::TestParamInfo<StoredReadCase> &info) { return info.param.name; });

// -- Compressed entries -----------------------------------------------------------

struct CompressedReadCase {
    const char *name;
    int result;
    const char *text;
};

TY_PRINT_ROW_AS_NAME(CompressedReadCase)

class CompressedReadTest : public ExtractTest,
                           public ::testing::WithParamInterface<CompressedReadCase> {};

TEST_P(CompressedReadTest, AFailedReadEndsTheInstaller) {
    WriterRecord record = bzip2Record("a.txt", patternBytes(4000, 8));
    openRecords({record});
    standinSetReadResult(1, GetParam().result);
    expectFatalBox(extract(0, record.uncompressedSize), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Extraction, CompressedReadTest,
    ::testing::Values(
        CompressedReadCase{"EndOfFile", 0, "\nUnexpected end of file while reading compressed file data"},
        CompressedReadCase{"ReadError", -1, "\nUnexpected error while reading compressed file data"},
        CompressedReadCase{"ShortRead", 10, "\nIncorrect amount of data read while reading compressed file data"}),
    [](const ::testing::TestParamInfo<CompressedReadCase> &info) { return info.param.name; });

TEST_F(ExtractTest, TheCompressedBufferMayFailToBeAllocated) {
    WriterRecord record = bzip2Record("a.txt", textBytes("abc"));
    openRecords({record});
    standinFailAllocation(1);
    expectFatalBox(extract(0, 3), "Insufficient memory to allocate for compressed data buffer");
}

class UnsupportedMethodTest : public ExtractTest, public ::testing::WithParamInterface<int> {};

TEST_P(UnsupportedMethodTest, IsRefusedAfterTheDataIsRead) {
    WriterRecord record = withFlags(bzip2Record("a.txt", textBytes("some text")), (uint8_t)GetParam());
    openRecords({record});
    int readsBefore = standinReadCount();
    expectFatalBox(extract(0, record.uncompressedSize), "Unsupported compression method for decompressing data");
    EXPECT_EQ(standinReadCount(), readsBefore + 1);
}

INSTANTIATE_TEST_SUITE_P(Extraction, UnsupportedMethodTest, ::testing::Values(3));

struct CompressedSizeCase {
    const char *name;
    uint32_t compressedSize;
};

TY_PRINT_ROW_AS_NAME(CompressedSizeCase)

class CompressedSizeLimitTest : public ExtractTest,
                                public ::testing::WithParamInterface<CompressedSizeCase> {};

// Over four million bytes, or a size that is negative as a signed number, is
// refused before anything is allocated.
TEST_P(CompressedSizeLimitTest, IsRefusedBeforeAllocation) {
    openHandMade(patternBytes(100, 4), 0, 10, GetParam().compressedSize, TY_FLAG_BZIP2);
    long allocationsBefore = standinAllocationCount();
    expectFatalBox(extract(0, 10), "\nToo much data to uncompress for current file");
    EXPECT_EQ(standinAllocationCount(), allocationsBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Extraction, CompressedSizeLimitTest,
    ::testing::Values(CompressedSizeCase{"Over4000000", 4000001},
                      CompressedSizeCase{"TwoGiB", 0x80000000u},
                      CompressedSizeCase{"Largest", 0xFFFFFFFFu}),
    [](const ::testing::TestParamInfo<CompressedSizeCase> &info) { return info.param.name; });

struct StreamCase {
    const char *name;
    long uncompressedDelta;     // header size minus real size
    long compressedDelta;       // header size minus the stream's size
    size_t flippedByte;         // 0: none; else this byte of the stream is changed
};

TY_PRINT_ROW_AS_NAME(StreamCase)

class BrokenStreamTest : public ExtractTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(BrokenStreamTest, EndsWithTheUnpackingMessage) {
    const StreamCase &c = GetParam();
    Bytes content = patternBytes(5000, 9);
    WriterRecord record = bzip2Record("a.dat", content);
    if (c.flippedByte) record.data[c.flippedByte] ^= 0x10;
    record = withSizes(record, (uint32_t)((long)content.size() + c.uncompressedDelta),
                       (uint32_t)((long)record.data.size() + c.compressedDelta));
    openRecords({record, makeStoredRecord("tail.dat", patternBytes(64, 1))});
    expectFatalBox(extract(0, content.size() + 1), kUnpackFailed);
}

INSTANTIATE_TEST_SUITE_P(
    Extraction, BrokenStreamTest,
    ::testing::Values(
        StreamCase{"OneByteSmaller", -1, 0, 0},
        StreamCase{"OneByteLarger", 1, 0, 0},
        StreamCase{"StreamCutShort", 0, -40, 0},
        StreamCase{"ChangedInside", 0, 0, 200},
        StreamCase{"NotAStream", 0, 0, 1}),
    [](const ::testing::TestParamInfo<StreamCase> &info) { return info.param.name; });

// -- The welcome picture ------------------------------------------------------------

TEST_F(BitmapTest, AFailedCreateDIBitmapGivesNoBitmap) {
    standinSetDibResult(NULL);
    HBITMAP bitmap;
    expectQuiet(load(bmpFile(2, 2, 24), &bitmap));
    EXPECT_EQ(bitmap, nullptr);
    EXPECT_EQ(standinDibCalls().size(), 1u);
}

struct BadBitmapCase {
    const char *name;
    Bytes (*make)();
};

TY_PRINT_ROW_AS_NAME(BadBitmapCase)

class BadBitmapTest : public BitmapTest, public ::testing::WithParamInterface<BadBitmapCase> {};

// Nothing is read outside the entry: such a file gives no bitmap.
TEST_P(BadBitmapTest, GivesNoBitmap) {
    HBITMAP bitmap;
    expectQuiet(load(GetParam().make(), &bitmap));
    EXPECT_EQ(bitmap, nullptr);
    EXPECT_TRUE(standinDibCalls().empty());
}

Bytes setLe32(Bytes file, size_t offset, uint32_t value) {
    putLe32(file.data() + offset, value);
    return file;
}

INSTANTIATE_TEST_SUITE_P(
    Picture, BadBitmapTest,
    ::testing::Values(
        BadBitmapCase{"NotABmp", [] { Bytes f = bmpFile(2, 2, 24); f[0] = 'P'; return f; }},
        BadBitmapCase{"OnlyTheSignature", [] { return textBytes("BM"); }},
        BadBitmapCase{"HeadersCut", [] { Bytes f = bmpFile(2, 2, 24); f.resize(53); return f; }},
        BadBitmapCase{"BitsOffsetAtTheEnd",
                      [] { Bytes f = bmpFile(2, 2, 24); return setLe32(f, 10, (uint32_t)f.size()); }},
        BadBitmapCase{"BitsOffsetFarOut", [] { return setLe32(bmpFile(2, 2, 24), 10, 0xFFFFFFF0u); }},
        BadBitmapCase{"InfoHeaderTooSmall", [] { return setLe32(bmpFile(2, 2, 24), 14, 16); }},
        BadBitmapCase{"InfoHeaderPastTheEnd",
                      [] { Bytes f = bmpFile(2, 2, 24); return setLe32(f, 14, (uint32_t)f.size()); }},
        BadBitmapCase{"LastRowCut", [] { Bytes f = bmpFile(5, 3, 24); f.resize(f.size() - 1); return f; }},
        BadBitmapCase{"HeightTooGreat", [] { return setLe32(bmpFile(2, 2, 24), 22, 0x7FFFFFFF); }},
        BadBitmapCase{"NoWidth", [] { return setLe32(bmpFile(2, 2, 24), 18, 0); }},
        BadBitmapCase{"ColourTableCut", [] { Bytes f = bmpFile(2, 1, 8); return setLe32(f, 46, 300); }},
        BadBitmapCase{"RunLengthSizeTooGreat",
                      [] { Bytes f = setLe32(bmpFile(4, 1, 8), 30, BI_RLE8); return setLe32(f, 34, 4096); }}),
    [](const ::testing::TestParamInfo<BadBitmapCase> &info) { return info.param.name; });
