// Opening sound packages: the entry table as written, the limits taken.
// Built for the host and for Windows, where the same files are read through
// the real C runtime.
#include <errno.h>
#include <io.h>
#include <string.h>

#include "ty_common_test_support.h"

TEST_F(PackageTest, OpensTheEntryTableOfAGoodPackage) {
    std::vector<WriterRecord> records = standardRecords();
    std::string path = writeImage(writePackage(stubBytes(kStub), kWidth, records));
    ProductRun run = openPath(path);
    expectQuiet(run);
    ASSERT_EQ(package.fileCount, 3u);
    EXPECT_EQ(package.nameWidth, kWidth);
    uint32_t dataStart = TY_HEADER_FIXED_SIZE + 3 * kRecordSize;
    const char *names[] = {"welcome.bmp", "licence.txt", "Tessaly Quenfold.exe"};
    for (uint32_t i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        ASSERT_NE(package.entries[i], nullptr);
        EXPECT_STREQ(package.entries[i]->name, names[i]);
        EXPECT_EQ(package.entries[i]->uncompressedSize, records[i].uncompressedSize);
        EXPECT_EQ(package.entries[i]->compressedSize, records[i].compressedSize);
        EXPECT_EQ(package.entries[i]->flags, records[i].flags);
        EXPECT_EQ(package.entries[i]->dataOffset, kStub + dataStart);
        dataStart += (uint32_t)records[i].data.size();
    }
    // The file stays open for extraction, and the runtime opens without
    // delete sharing: it cannot be deleted meanwhile.
    errno = 0;
    EXPECT_EQ(_unlink(path.c_str()), -1);
    EXPECT_EQ(errno, EACCES) << "errno " << errno;
}

TEST_F(PackageTest, ClosingReleasesTheFileAndTheTable) {
    std::string path = writeImage(standardImage());
    ASSERT_FALSE(openPath(path).exited) << describeBoxes();
    closePackage(&package);
    EXPECT_EQ(package.entries, nullptr);
    errno = 0;
    EXPECT_EQ(_unlink(path.c_str()), 0) << "errno " << errno;
}

TEST_F(PackageTest, ACheckedPartOfExactlyFourMillionBytesIsAccepted) {
    // header 12, one record 59, the package start 4: the rest is entry data
    uint32_t dataSize = 4000000 - TY_HEADER_FIXED_SIZE - kRecordSize - 4;
    Bytes image = writePackage(stubBytes(100), kWidth,
                               {makeStoredRecord("big.dat", patternBytes(dataSize, 5))});
    ASSERT_EQ(image.size() - 100 - TY_DIGEST_SIZE, 4000000u);
    expectQuiet(openImage(image));
    EXPECT_EQ(package.fileCount, 1u);
}

// The name buffer holds 259 bytes and the NUL.
TEST_F(PackageTest, ANameFieldOf259BytesIsAccepted) {
    std::string name(259, 'n');
    expectQuiet(openImage(writePackage(stubBytes(64), 259, {makeStoredRecord(name, patternBytes(8, 1))})));
    EXPECT_EQ(package.nameWidth, 259u);
    ASSERT_EQ(package.fileCount, 1u);
    EXPECT_EQ(std::string(package.entries[0]->name), name);
}

TEST_F(PackageTest, NamesWithDotsThatStayInTheFolderAreAccepted) {
    std::vector<WriterRecord> records = standardRecords();
    records[1].name = "..licence";
    records[2].name = "a.b.c";
    expectQuiet(openImage(writePackage(stubBytes(64), kWidth, records)));
    ASSERT_EQ(package.fileCount, 3u);
    EXPECT_STREQ(package.entries[1]->name, "..licence");
    EXPECT_STREQ(package.entries[2]->name, "a.b.c");
}
