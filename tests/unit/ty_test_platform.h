// What the tests built for both the host and Windows need from the machine
// they run on. On the host that machine is the Win32 stand-in (implemented in
// ty_test_support.cpp); on Windows it is the real system
// (tests/win/ty_test_platform_win.cpp), whose calls the stand-in's controls
// record and make fail through the program's import slots
// (tests/win/ty_standin_win.cpp).
#ifndef TY_TEST_PLATFORM_H
#define TY_TEST_PLATFORM_H

#include <stdint.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ty_standin.h"  // ProductRun, runProduct, the records and faults

// Back to a clean start: no box on record, nothing of the last test held.
// Called before and after every test.
void platformReset();

// A new, empty folder of the test's own, and its removal with everything in
// it (a failure if anything in it cannot be removed, e.g. a file left open).
std::string makePrivateFolder();
void removePrivateFolder(const std::string &folder);

// name inside folder, as the product and the C runtime take paths.
std::string pathIn(const std::string &folder, const std::string &name);

// The message boxes shown since the reset, one line each with caption and text.
std::vector<std::string> shownBoxes();

// The picture a bitmap holds, as 0xRRGGBB values, top row first, left to
// right. False when the bitmap cannot be read.
bool readBitmap(HBITMAP bitmap, int *width, int *height, std::vector<uint32_t> *pixels);

#endif
