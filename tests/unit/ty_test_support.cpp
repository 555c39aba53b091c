#include "ty_test_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>

const std::string kCorruptedParagraph =
    "\nThe installation package is corrupted. It was probably damaged during network "
    "download or transfer, or due to errors on the distribution media. Please obtain a "
    "new package. The newest version can be found at " TY_WEB_SITE
    ". For questions or comments, please contact " TY_SUPPORT_EMAIL ".";

Bytes stubBytes(size_t size) {
    Bytes stub = patternBytes(size, 7);
    if (size >= 2) {
        stub[0] = 'M';
        stub[1] = 'Z';
    }
    return stub;
}

Bytes patternBytes(size_t size, unsigned seed) {
    Bytes bytes(size);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; i++) {
        state = state * 1103515245u + 12345u;
        bytes[i] = (unsigned char)(state >> 16);
    }
    return bytes;
}

Bytes textBytes(const std::string &text) { return Bytes(text.begin(), text.end()); }

static void putLe16(unsigned char *p, uint16_t value) {
    p[0] = (unsigned char)value;
    p[1] = (unsigned char)(value >> 8);
}

Bytes bmpFile(int width, int height, int bitCount) {
    uint32_t colours = bitCount <= 8 ? 1u << bitCount : 0;
    uint32_t rowSize = ((uint32_t)width * bitCount + 31) / 32 * 4;
    uint32_t bitsOffset = 14 + 40 + colours * 4;
    uint32_t bitsSize = rowSize * (uint32_t)(height < 0 ? -height : height);
    Bytes file(bitsOffset + bitsSize, 0);
    file[0] = 'B';
    file[1] = 'M';
    putLe32(&file[2], (uint32_t)file.size());
    putLe32(&file[10], bitsOffset);
    putLe32(&file[14], 40);
    putLe32(&file[18], (uint32_t)width);
    putLe32(&file[22], (uint32_t)height);
    putLe16(&file[26], 1);
    putLe16(&file[28], (uint16_t)bitCount);
    putLe32(&file[34], bitsSize);
    Bytes fill = patternBytes(colours * 4 + bitsSize, 99);
    std::copy(fill.begin(), fill.end(), file.begin() + 54);
    return file;
}

std::string describeBoxes() {
    std::string out;
    for (const StandinMessageBox &box : standinMessageBoxes()) {
        char style[32];
        snprintf(style, sizeof style, "0x%X", box.style);
        out += "[caption \"" + box.caption + "\" style " + style + " text \"" + box.text + "\"]\n";
    }
    return out.empty() ? "no box" : out;
}

void StandinTest::SetUp() {
    standinReset();
    setupState.instanceLock = NULL;
    setupState.setupCaption = TY_CAPTION_INSTALLER;
    setupState.upgradeMode = false;
    setupState.configSaved = false;
    setupState.package = NULL;
    setupState.welcomePicture = NULL;
    char pattern[] = "/tmp/ty_unit_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
}

void StandinTest::TearDown() {
    std::string command = "rm -rf '" + folder + "'";
    if (system(command.c_str()) != 0) ADD_FAILURE() << "could not remove " << folder;
    standinReset();
}

std::string StandinTest::writeFile(const std::string &name, const Bytes &bytes) {
    std::string path = folder + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out.write((const char *)bytes.data(), (std::streamsize)bytes.size());
    EXPECT_TRUE(out.good()) << path;
    return path;
}

void StandinTest::takeLock() {
    setupState.instanceLock = CreateSemaphoreA(NULL, 1, 1, TY_LOCK_NAME);
    ASSERT_EQ(WaitForSingleObject(setupState.instanceLock, 0), WAIT_OBJECT_0);
}

void StandinTest::expectFatalBox(const ProductRun &run, const std::string &text) {
    EXPECT_TRUE(run.exited) << describeBoxes();
    EXPECT_EQ(run.exitCode, -1);
    const std::vector<StandinMessageBox> &boxes = standinMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << describeBoxes();
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_EQ(boxes[0].caption, TY_CAPTION_FATAL);
    EXPECT_EQ(boxes[0].style, MB_ICONERROR);
    EXPECT_EQ(boxes[0].owner, nullptr);
    // The lock is given back for the next installer.
    EXPECT_EQ(standinSemaphoreCount(TY_LOCK_NAME), 1);
    EXPECT_EQ(standinOpenHandleCount(), 0);
}

void StandinTest::expectQuiet(const ProductRun &run) {
    EXPECT_FALSE(run.exited) << "exit code " << run.exitCode;
    EXPECT_TRUE(standinMessageBoxes().empty()) << describeBoxes();
}

void PackageTest::SetUp() {
    StandinTest::SetUp();
    memset(&package, 0xA5, sizeof package);  // what openPackage must set
    package.entries = NULL;                  // closePackage follows it
    package.descriptor = -1;
    package.fileCount = 0;
    setupState.package = &package;
    takeLock();
}

void PackageTest::TearDown() {
    // The process would have ended after a fatal box; here the partly read
    // table is released so that the leak checker sees only real leaks.
    closePackage(&package);
    setupState.package = NULL;
    StandinTest::TearDown();
}

std::string PackageTest::writeImage(const Bytes &image) { return writeFile("setup.exe", image); }

ProductRun PackageTest::openPath(const std::string &path) {
    return runProduct([&] { openPackage(&package, path.c_str()); });
}

ProductRun PackageTest::openImage(const Bytes &image) { return openPath(writeImage(image)); }
