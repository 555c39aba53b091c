// Fixtures and builders of the unit tests built for both the host's Win32
// stand-in and real Windows: a fresh setup state and a private folder per
// test, installer images made with the package writer, pictures with known
// pixels, and the check that product code ran without a box or an exit.
// Only Win32 and C runtime calls reach the machine (ty_test_platform.h).
#ifndef TY_COMMON_TEST_SUPPORT_H
#define TY_COMMON_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "ty_package.h"
#include "ty_package_writer.h"
#include "ty_product.h"
#include "ty_setup_state.h"
#include "ty_test_platform.h"

// Rows of parameterised tables print as their names in test listings.
#define TY_PRINT_ROW_AS_NAME(Type) \
    inline void PrintTo(const Type &row, std::ostream *os) { *os << row.name; }

const size_t kStub = 114688;  // where the shipped installer's package starts
const uint32_t kWidth = TY_DEFAULT_NAME_WIDTH;
const uint32_t kRecordSize = kWidth + TY_RECORD_EXTRA_SIZE;
const unsigned char kSentinel = 0xEE;  // fills output buffers before a call

// Deterministic filler: a program image ("MZ" then a pattern) and contents.
Bytes stubBytes(size_t size);
Bytes patternBytes(size_t size, unsigned seed);
Bytes textBytes(const std::string &text);

// A small valid BMP file: 24 bits per pixel, or 8 with a palette; the pixel
// bytes and palette are a pattern. A negative height stores rows top-down.
Bytes bmpFile(int width, int height, int bitCount);
// The same with a known picture: the pixel x, y (y counted from the top) has
// the colour pictureColour(x, y, bitCount), as 0xRRGGBB.
Bytes pictureFile(int width, int height, int bitCount);
uint32_t pictureColour(int x, int y, int bitCount);

// A record of content compressed as one bzip2 stream.
WriterRecord bzip2Record(const std::string &name, const Bytes &content);

// The package most reader tests open: "welcome.bmp" and "licence.txt"
// compressed, "Tessaly Quenfold.exe" (300 bytes) stored, behind a stub of
// kStub bytes.
std::vector<WriterRecord> standardRecords();
Bytes standardImage();

// Changes a field of the package and recomputes the control check, so that
// the reader gets past the check to the field.
void patchSealed(Bytes *image, size_t offset, uint32_t value);

// A text of the installer as tests/texts.txt gives it, its fields ("{path}")
// filled in.
std::string expectedText(const std::string &name,
                         const std::vector<std::pair<std::string, std::string>> &fields = {});

// The paragraph fatalPackageError appends.
extern const std::string kCorruptedParagraph;

// Every box shown since the test began, readable in a failure message.
std::string describeBoxes();

// HKEY_LOCAL_MACHINE's keys and values, made and read as the product makes
// and reads them.
void makeKey(const std::string &path);
void setValue(const std::string &path, const char *name, DWORD type, const std::string &data);
void setString(const std::string &path, const char *name, const std::string &text);  // REG_SZ
bool keyExists(const std::string &path);
// A value's bytes as stored (a string's zero included) and its type; false
// when the key or the value is missing.
bool readValue(const std::string &path, const char *name, std::string *data, DWORD *type = NULL);
// The same as one text: the bytes, or "<no key>" or "<no value>".
std::string valueData(const std::string &path, const char *name);
// "PendingFileRenameOperations" as stored, or "<no value>".
std::string pendingRenames();

// Files through the C runtime, as the product reaches them.
void writeFile(const std::string &path, const std::string &content);
std::string readFile(const std::string &path);  // "<no file>" when it cannot be read
bool exists(const std::string &path);
// The name under which Windows also knows an existing item, one that needs
// no long file names.
std::string shortName(const std::string &path);
// name in the Windows folder.
std::string windowsFile(const char *name);

// The process ended through a fatal box with exactly this text, and gave the
// lock back. The lock must have been taken (ProductTest::takeLock).
void expectFatalBox(const ProductRun &run, const std::string &text);

class ProductTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes bytes to a new file in the test's folder; returns its path.
    std::string writeFile(const std::string &name, const Bytes &bytes);
    // The instance lock, taken as the main procedure takes it at start.
    void takeLock();
    // No box and no exit.
    void expectQuiet(const ProductRun &run);

    std::string folder;
};

// Tests that open installer images. The package is the setup state's.
class PackageTest : public ProductTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes image and runs openPackage on it.
    ProductRun openImage(const Bytes &image);
    // The same in two steps, for faults that must count only the reader's
    // own calls.
    std::string writeImage(const Bytes &image);
    ProductRun openPath(const std::string &path);

    Package package;
};

class ExtractTest : public PackageTest {
protected:
    // Opens a package of these records; fails the test if it does not open.
    void openRecords(const std::vector<WriterRecord> &records);

    // Extracts entry index into a buffer of size bytes filled with kSentinel.
    ProductRun extract(uint32_t index, size_t size);

    // Opens a package whose single entry is given by hand: its fields need
    // not fit in a package whose control check would pass.
    void openHandMade(const Bytes &file, uint32_t dataOffset, uint32_t uncompressedSize,
                      uint32_t compressedSize, uint8_t flags);

    Bytes output;
};

class BitmapTest : public ExtractTest {
protected:
    // Loads file, packed as entry 0, for the screen; bitmap is set to a
    // sentinel before the call.
    ProductRun load(const Bytes &file, HBITMAP *bitmap);
};

#endif
