// The stand-in as the machine of the common fixtures (ty_test_platform.h).
#include "ty_common_test_support.h"

#include <stdio.h>
#include <stdlib.h>

// -- ty_test_platform.h over the stand-in -------------------------------------

void platformReset() { standinReset(); }

std::string makePrivateFolder() {
    char pattern[] = "/tmp/ty_unit_XXXXXX";
    if (mkdtemp(pattern) == NULL) {
        ADD_FAILURE() << "mkdtemp " << pattern;
        return "";
    }
    return pattern;
}

void removePrivateFolder(const std::string &folder) {
    std::string command = "rm -rf '" + folder + "'";
    if (system(command.c_str()) != 0) ADD_FAILURE() << "could not remove " << folder;
}

std::string pathIn(const std::string &folder, const std::string &name) { return folder + "/" + name; }

// The stand-in's bitmaps hold nothing: the picture is the one the last
// CreateDIBitmap was given, read as GDI reads a DIB of these formats.
bool readBitmap(HBITMAP bitmap, int *width, int *height, std::vector<uint32_t> *pixels) {
    const std::vector<StandinDibCall> &calls = standinDibCalls();
    if (bitmap == NULL || calls.empty()) return false;
    const StandinDibCall &call = calls.back();
    const BITMAPINFOHEADER &header = call.header;
    int bitCount = header.biBitCount;
    if (header.biCompression != BI_RGB || (bitCount != 24 && bitCount != 8) || header.biWidth <= 0)
        return false;
    int rows = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    size_t rowSize = ((size_t)header.biWidth * bitCount + 31) / 32 * 4;
    if (call.bits.size() < rowSize * rows) return false;
    if (bitCount == 8 && call.colourTable.size() < 256 * 4) return false;
    *width = header.biWidth;
    *height = rows;
    pixels->clear();
    for (int y = 0; y < rows; y++) {
        int row = header.biHeight < 0 ? y : rows - 1 - y;
        const unsigned char *p = &call.bits[row * rowSize];
        for (int x = 0; x < header.biWidth; x++) {
            const unsigned char *bgr = bitCount == 8 ? &call.colourTable[p[x] * 4] : &p[x * 3];
            pixels->push_back((uint32_t)bgr[2] << 16 | (uint32_t)bgr[1] << 8 | bgr[0]);
        }
    }
    return true;
}
