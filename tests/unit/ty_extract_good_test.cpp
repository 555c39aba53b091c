// Pulling sound entries out of the open package, and the welcome picture as a
// bitmap. Built for the host and for Windows, where the picture goes through
// the real CreateDIBitmap and is read back from the bitmap it made.
#include <stdio.h>
#include <stdlib.h>

#include "ty_common_test_support.h"

TEST_F(ExtractTest, AStoredEntryIsCopiedAsIs) {
    Bytes content = patternBytes(777, 11);
    openRecords({bzip2Record("a.txt", textBytes("first")), makeStoredRecord("b.dat", content)});
    expectQuiet(extract(1, content.size() + 1));
    EXPECT_TRUE(std::equal(content.begin(), content.end(), output.begin()));
    EXPECT_EQ(output.back(), kSentinel);
}

TEST_F(ExtractTest, ABzip2EntryIsDecompressed) {
    Bytes content = patternBytes(50000, 12);
    content.insert(content.end(), 20000, 'z');  // something to compress
    openRecords({makeStoredRecord("a.dat", patternBytes(9, 1)), bzip2Record("b.dat", content)});
    expectQuiet(extract(1, content.size() + 1));
    EXPECT_TRUE(std::equal(content.begin(), content.end(), output.begin()));
    EXPECT_EQ(output.back(), kSentinel);
}

// The unpacking thread hands over each installed entry as extraction gives
// it, beside the test's own thread (under ThreadSanitizer on the host);
// stopping it gives back its thread, its event, its lock and what it unpacked
// that nobody took (the last entry here). Where no thread can be made, it
// gives them back at once and hands nothing over.
TEST_F(ExtractTest, TheUnpackingThreadHandsOverEachEntryWhole) {
    std::vector<WriterRecord> records = {bzip2Record("welcome.bmp", bmpFile(5, 3, 24))};
    std::vector<Bytes> contents(TY_ENTRY_INSTALL_BOUND);
    for (unsigned entry = TY_ENTRY_FIRST_INSTALLED; entry < TY_ENTRY_INSTALL_BOUND; entry++) {
        // Entry 19 is read in several pieces.
        contents[entry] = patternBytes(entry == 19 ? 200003 : 700 * entry, entry);
        std::string name = "data" + std::to_string(entry) + ".dat";
        records.push_back(entry % 5 == 0 ? bzip2Record(name, contents[entry])
                                         : makeStoredRecord(name, contents[entry]));
    }
    openRecords(records);
    startExtractingAhead();
    EXPECT_GT(standinOpenThreadObjectCount(), 0);
    for (unsigned entry = TY_ENTRY_FIRST_INSTALLED; entry < TY_ENTRY_INSTALL_BOUND - 1; entry++) {
        unsigned char *taken = takeExtractedEntry(entry);
        ASSERT_NE(taken, nullptr) << "entry " << entry;
        EXPECT_TRUE(std::equal(contents[entry].begin(), contents[entry].end(), taken)) << "entry " << entry;
        free(taken);
    }
    stopExtractingAhead();
    EXPECT_EQ(standinOpenThreadObjectCount(), 0);
    standinRefuseThreads();
    startExtractingAhead();
    EXPECT_EQ(standinOpenThreadObjectCount(), 0) << "threads, events and locks after a refused thread";
    EXPECT_EQ(takeExtractedEntry(TY_ENTRY_FIRST_INSTALLED), nullptr);
    EXPECT_TRUE(shownBoxes().empty()) << describeBoxes();
}

// -- The welcome picture ------------------------------------------------------------

struct PictureCase {
    const char *name;
    int width;
    int height;     // negative: rows stored top-down
    int bitCount;
    bool coreHeader;  // the 12-byte header, colour table of 3-byte entries
};

TY_PRINT_ROW_AS_NAME(PictureCase)

// The same picture behind a 12-byte core header instead of the 40-byte one.
static Bytes withCoreHeader(const Bytes &file) {
    uint32_t bitsOffset = readLe32(&file[10]);
    Bytes core(14 + 12, 0);
    core[0] = 'B';
    core[1] = 'M';
    putLe32(&core[14], 12);
    core[18] = file[18];  // width, height, planes and bit count in 16 bits each
    core[19] = file[19];
    core[20] = file[22];
    core[21] = file[23];
    core[22] = 1;
    core[24] = file[28];
    for (uint32_t entry = 54; entry < bitsOffset; entry += 4)
        core.insert(core.end(), file.begin() + entry, file.begin() + entry + 3);
    putLe32(&core[10], (uint32_t)core.size());
    core.insert(core.end(), file.begin() + bitsOffset, file.end());
    putLe32(&core[2], (uint32_t)core.size());
    return core;
}

class GoodPictureTest : public BitmapTest, public ::testing::WithParamInterface<PictureCase> {};

TEST_P(GoodPictureTest, BecomesABitmapOfThePicture) {
    const PictureCase &c = GetParam();
    HBITMAP bitmap;
    Bytes file = pictureFile(c.width, c.height, c.bitCount);
    expectQuiet(load(c.coreHeader ? withCoreHeader(file) : file, &bitmap));
    ASSERT_NE(bitmap, nullptr);
    int width = -1, height = -1;
    std::vector<uint32_t> pixels;
    ASSERT_TRUE(readBitmap(bitmap, &width, &height, &pixels));
    DeleteObject(bitmap);
    int rows = abs(c.height);
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(height, rows);
    ASSERT_EQ(pixels.size(), (size_t)(c.width * rows));
    int wrong = 0;
    std::string first;
    for (int y = 0; y < rows; y++) {
        for (int x = 0; x < c.width; x++) {
            uint32_t expected = pictureColour(x, y, c.bitCount), actual = pixels[y * c.width + x];
            if (actual == expected) continue;
            if (wrong++ == 0) {
                char text[96];
                snprintf(text, sizeof text, "pixel %d, %d: 0x%06X, expected 0x%06X", x, y,
                         (unsigned)actual, (unsigned)expected);
                first = text;
            }
        }
    }
    EXPECT_EQ(wrong, 0) << "first " << first;
}

// Widths whose rows need padding to four bytes, both row orders, both header
// kinds.
INSTANTIATE_TEST_SUITE_P(
    Picture, GoodPictureTest,
    ::testing::Values(PictureCase{"TrueColourBottomUp", 5, 3, 24, false},
                      PictureCase{"TrueColourTopDown", 6, -4, 24, false},
                      PictureCase{"OnePixel", 1, 1, 24, false},
                      PictureCase{"PaletteBottomUp", 7, 5, 8, false},
                      PictureCase{"PaletteTopDown", 3, -2, 8, false},
                      PictureCase{"CoreHeaderTrueColour", 5, 3, 24, true},
                      PictureCase{"CoreHeaderPalette", 7, 5, 8, true}),
    [](const ::testing::TestParamInfo<PictureCase> &info) { return info.param.name; });
