// Shared fixtures of the unit tests: a fresh stand-in and setup state per
// test, files in a private folder, installer images built with the package
// writer, and the checks of a fatal box.
#ifndef TY_TEST_SUPPORT_H
#define TY_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "ty_package.h"
#include "ty_package_writer.h"
#include "ty_product.h"
#include "ty_setup_state.h"
#include "ty_standin.h"

// Rows of parameterised tables print as their names in test listings.
#define TY_PRINT_ROW_AS_NAME(Type) \
    inline void PrintTo(const Type &row, std::ostream *os) { *os << row.name; }

// The paragraph fatalPackageError appends.
extern const std::string kCorruptedParagraph;

// Deterministic filler: a program image ("MZ" then a pattern) and contents.
Bytes stubBytes(size_t size);
Bytes patternBytes(size_t size, unsigned seed);
Bytes textBytes(const std::string &text);

// A small valid BMP file: 24 bits per pixel, or 8 with a palette.
Bytes bmpFile(int width, int height, int bitCount);

// Every recorded box, readable in a failure message.
std::string describeBoxes();

class StandinTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes bytes to a new file in the test's folder; returns its path.
    std::string writeFile(const std::string &name, const Bytes &bytes);
    // The instance lock, taken as the main procedure takes it at start.
    void takeLock();
    // The process ended through a fatal box with exactly this text.
    void expectFatalBox(const ProductRun &run, const std::string &text);
    // No box and no exit.
    void expectQuiet(const ProductRun &run);

    std::string folder;
};

// Tests that open installer images. The package is the setup state's.
class PackageTest : public StandinTest {
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

#endif
