#include "ty_common_test_support.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <fstream>
#include <map>

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

namespace {

void putLe16(unsigned char *p, uint16_t value) {
    p[0] = (unsigned char)value;
    p[1] = (unsigned char)(value >> 8);
}

const size_t kBitsOffsetField = 10;

// The file and information headers of a BMP, its colour table and pixel
// bytes left zero.
Bytes bmpHeaders(int width, int height, int bitCount) {
    uint32_t colours = bitCount <= 8 ? 1u << bitCount : 0;
    uint32_t rowSize = ((uint32_t)width * bitCount + 31) / 32 * 4;
    uint32_t bitsOffset = 14 + 40 + colours * 4;
    uint32_t bitsSize = rowSize * (uint32_t)(height < 0 ? -height : height);
    Bytes file(bitsOffset + bitsSize, 0);
    file[0] = 'B';
    file[1] = 'M';
    putLe32(&file[2], (uint32_t)file.size());
    putLe32(&file[kBitsOffsetField], bitsOffset);
    putLe32(&file[14], 40);
    putLe32(&file[18], (uint32_t)width);
    putLe32(&file[22], (uint32_t)height);
    putLe16(&file[26], 1);
    putLe16(&file[28], (uint16_t)bitCount);
    putLe32(&file[34], bitsSize);
    return file;
}

uint32_t paletteColour(unsigned index) {
    return ((index * 37u + 11u) & 0xFF) << 16 | ((index * 91u + 17u) & 0xFF) << 8 |
           ((255u - index) * 13u & 0xFF);
}

unsigned paletteIndex(int x, int y) { return (unsigned)(x * 7 + y * 29 + 3) & 0xFF; }

}  // namespace

Bytes bmpFile(int width, int height, int bitCount) {
    Bytes file = bmpHeaders(width, height, bitCount);
    Bytes fill = patternBytes(file.size() - 54, 99);
    std::copy(fill.begin(), fill.end(), file.begin() + 54);
    return file;
}

uint32_t pictureColour(int x, int y, int bitCount) {
    if (bitCount == 8) return paletteColour(paletteIndex(x, y));
    return (uint32_t)((x * 40 + y * 3) & 0xFF) << 16 | (uint32_t)((y * 50 + x + 1) & 0xFF) << 8 |
           (uint32_t)((x * y * 11 + 5) & 0xFF);
}

Bytes pictureFile(int width, int height, int bitCount) {
    Bytes file = bmpHeaders(width, height, bitCount);
    int rows = height < 0 ? -height : height;
    size_t rowSize = ((size_t)width * bitCount + 31) / 32 * 4;
    size_t bits = readLe32(&file[kBitsOffsetField]);
    if (bitCount == 8) {
        for (unsigned i = 0; i < 256; i++) {
            uint32_t colour = paletteColour(i);
            file[54 + i * 4] = (unsigned char)colour;
            file[54 + i * 4 + 1] = (unsigned char)(colour >> 8);
            file[54 + i * 4 + 2] = (unsigned char)(colour >> 16);
        }
    }
    for (int row = 0; row < rows; row++) {
        int y = height < 0 ? row : rows - 1 - row;  // bottom-up unless the height is negative
        unsigned char *p = &file[bits + row * rowSize];
        for (int x = 0; x < width; x++) {
            if (bitCount == 8) {
                p[x] = (unsigned char)paletteIndex(x, y);
            } else {
                uint32_t colour = pictureColour(x, y, bitCount);
                p[x * 3] = (unsigned char)colour;
                p[x * 3 + 1] = (unsigned char)(colour >> 8);
                p[x * 3 + 2] = (unsigned char)(colour >> 16);
            }
        }
    }
    return file;
}

WriterRecord bzip2Record(const std::string &name, const Bytes &content) {
    WriterRecord record;
    EXPECT_TRUE(makeBzip2Record(name, content, &record));
    return record;
}

std::vector<WriterRecord> standardRecords() {
    std::vector<WriterRecord> records;
    records.push_back(bzip2Record("welcome.bmp", bmpFile(5, 3, 24)));
    records.push_back(bzip2Record("licence.txt", textBytes("Licence agreement.\r\n")));
    records.push_back(makeStoredRecord("Tessaly Quenfold.exe", patternBytes(300, 3)));
    return records;
}

Bytes standardImage() { return writePackage(stubBytes(kStub), kWidth, standardRecords()); }

void patchSealed(Bytes *image, size_t offset, uint32_t value) {
    putLe32(image->data() + offset, value);
    resealPackage(image);
}

std::vector<std::string> shownBoxes() {
    std::vector<std::string> lines;
    for (const StandinMessageBox &box : standinMessageBoxes()) {
        char style[32];
        snprintf(style, sizeof style, "0x%X", box.style);
        lines.push_back("[caption \"" + box.caption + "\" style " + style + " text \"" + box.text + "\"]");
    }
    return lines;
}

std::string describeBoxes() {
    std::string out;
    for (const std::string &box : shownBoxes()) out += box + "\n";
    return out.empty() ? "no box" : out;
}

namespace {

void replaceAll(std::string *text, const std::string &from, const std::string &to) {
    for (size_t at = 0; (at = text->find(from, at)) != std::string::npos; at += to.size())
        text->replace(at, from.size(), to);
}

// The file's texts by name; a text runs from its "== name" line to the next,
// without the blank lines before it, "\t" a tab and "{name}" another text.
std::map<std::string, std::string> readTexts() {
    std::map<std::string, std::string> texts;
    std::ifstream file(TY_TEXTS_FILE);
    std::string line, *current = nullptr;
    while (std::getline(file, line)) {
        if (line.compare(0, 3, "== ") == 0) {
            current = &texts[line.substr(3)];
        } else if (current != nullptr) {
            replaceAll(&line, "\\t", "\t");
            *current += line + "\n";
        }
    }
    for (auto &entry : texts) entry.second.erase(entry.second.find_last_not_of('\n') + 1);
    for (int pass = 0; pass < 3; pass++)
        for (auto &entry : texts)
            for (const auto &other : texts) replaceAll(&entry.second, "{" + other.first + "}", other.second);
    return texts;
}

}  // namespace

std::string expectedText(const std::string &name,
                         const std::vector<std::pair<std::string, std::string>> &fields) {
    static const std::map<std::string, std::string> texts = readTexts();
    auto found = texts.find(name);
    EXPECT_NE(found, texts.end()) << "no text '" << name << "' in " << TY_TEXTS_FILE;
    std::string text = found == texts.end() ? "" : found->second;
    for (const auto &field : fields) replaceAll(&text, "{" + field.first + "}", field.second);
    return text;
}

const std::string kCorruptedParagraph = "\n" + expectedText("corrupted-package");

void makeKey(const std::string &path) {
    HKEY key;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, NULL, &key, NULL);
    ASSERT_EQ(result, ERROR_SUCCESS) << path;
    RegCloseKey(key);
}

void setValue(const std::string &path, const char *name, DWORD type, const std::string &data) {
    HKEY key;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, NULL, &key, NULL);
    ASSERT_EQ(result, ERROR_SUCCESS) << path;
    result = RegSetValueExA(key, name, 0, type, (const BYTE *)data.data(), (DWORD)data.size());
    RegCloseKey(key);
    ASSERT_EQ(result, ERROR_SUCCESS) << path << " " << name;
}

void setString(const std::string &path, const char *name, const std::string &text) {
    setValue(path, name, REG_SZ, text + std::string(1, '\0'));
}

bool keyExists(const std::string &path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool readValue(const std::string &path, const char *name, std::string *data, DWORD *type) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, name, NULL, type, NULL, &size);
    if (result == ERROR_SUCCESS) {
        std::vector<BYTE> bytes(size + 1);
        result = RegQueryValueExA(key, name, NULL, type, bytes.data(), &size);
        data->assign((const char *)bytes.data(), size);
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::string valueData(const std::string &path, const char *name) {
    std::string data;
    if (readValue(path, name, &data)) return data;
    return keyExists(path) ? "<no value>" : "<no key>";
}

std::string pendingRenames() {
    return valueData("SYSTEM\\CurrentControlSet\\Control\\Session Manager", "PendingFileRenameOperations");
}

void writeFile(const std::string &path, const std::string &content) {
    int descriptor = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY,
                           _S_IREAD | _S_IWRITE);
    ASSERT_NE(descriptor, -1) << path << " errno " << errno;
    EXPECT_EQ(_write(descriptor, content.data(), (unsigned)content.size()), (int)content.size());
    _close(descriptor);
}

std::string readFile(const std::string &path) {
    std::string content;
    int descriptor = _open(path.c_str(), _O_RDONLY | _O_BINARY);
    if (descriptor == -1) return "<no file>";
    char chunk[512];
    int got;
    while ((got = _read(descriptor, chunk, sizeof chunk)) > 0) content.append(chunk, (size_t)got);
    _close(descriptor);
    return content;
}

bool exists(const std::string &path) { return _access(path.c_str(), 0) == 0; }

std::string shortName(const std::string &path) {
    char name[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), name, sizeof name);
    EXPECT_GT(length, 0u) << path;
    EXPECT_LT(length, (DWORD)sizeof name) << path;
    return length > 0 && length < sizeof name ? name : path;
}

std::string windowsFile(const char *name) {
    char folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    EXPECT_GT(length, 0u);
    EXPECT_LT(length, (UINT)sizeof folder);
    return std::string(folder) + "\\" + name;
}

void expectFatalBox(const ProductRun &run, const std::string &text) {
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

void ProductTest::SetUp() {
    platformReset();
    setupState.instanceLock = NULL;
    setupState.setupCaption = TY_CAPTION_INSTALLER;
    setupState.upgradeMode = false;
    setupState.configSaved = false;
    setupState.package = NULL;
    setupState.welcomePicture = NULL;
    folder = makePrivateFolder();
    ASSERT_FALSE(folder.empty());
}

void ProductTest::TearDown() {
    if (!folder.empty()) removePrivateFolder(folder);
    platformReset();
}

std::string ProductTest::writeFile(const std::string &name, const Bytes &bytes) {
    std::string path = pathIn(folder, name);
    std::ofstream out(path.c_str(), std::ios::binary);
    out.write((const char *)bytes.data(), (std::streamsize)bytes.size());
    EXPECT_TRUE(out.good()) << path;
    return path;
}

void ProductTest::takeLock() {
    setupState.instanceLock = CreateSemaphoreA(NULL, 1, 1, TY_LOCK_NAME);
    ASSERT_EQ(WaitForSingleObject(setupState.instanceLock, 0), WAIT_OBJECT_0);
}

void ProductTest::expectQuiet(const ProductRun &run) {
    EXPECT_FALSE(run.exited) << "exit code " << run.exitCode << "; " << describeBoxes();
    EXPECT_TRUE(shownBoxes().empty()) << describeBoxes();
}

void PackageTest::SetUp() {
    ProductTest::SetUp();
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
    ProductTest::TearDown();
}

std::string PackageTest::writeImage(const Bytes &image) { return writeFile("setup.exe", image); }

ProductRun PackageTest::openPath(const std::string &path) {
    return runProduct([&] { openPackage(&package, path.c_str()); });
}

ProductRun PackageTest::openImage(const Bytes &image) { return openPath(writeImage(image)); }

void ExtractTest::openRecords(const std::vector<WriterRecord> &records) {
    ProductRun run = openImage(writePackage(stubBytes(512), TY_DEFAULT_NAME_WIDTH, records));
    ASSERT_FALSE(run.exited) << describeBoxes();
}

ProductRun ExtractTest::extract(uint32_t index, size_t size) {
    output.assign(size, kSentinel);
    return runProduct([&] { extractEntry(index, output.data()); });
}

void ExtractTest::openHandMade(const Bytes &file, uint32_t dataOffset, uint32_t uncompressedSize,
                               uint32_t compressedSize, uint8_t flags) {
    std::string path = writeFile("raw.bin", file);
    package.descriptor = _open(path.c_str(), _O_RDONLY | _O_BINARY);
    ASSERT_NE(package.descriptor, -1);
    package.nameWidth = TY_DEFAULT_NAME_WIDTH;
    package.entries = (PackageEntry **)calloc(1, sizeof(PackageEntry *));
    package.entries[0] = (PackageEntry *)calloc(1, sizeof(PackageEntry));
    package.fileCount = 1;
    package.entries[0]->name = (char *)calloc(1, TY_DEFAULT_NAME_WIDTH + 1);
    package.entries[0]->dataOffset = dataOffset;
    package.entries[0]->uncompressedSize = uncompressedSize;
    package.entries[0]->compressedSize = compressedSize;
    package.entries[0]->flags = flags;
}

ProductRun BitmapTest::load(const Bytes &file, HBITMAP *bitmap) {
    openRecords({bzip2Record("welcome.bmp", file), makeStoredRecord("b.txt", patternBytes(8, 1))});
    *bitmap = (HBITMAP)(uintptr_t)0xBAD;
    HDC screen = GetDC(NULL);
    ProductRun run = runProduct([&] { *bitmap = loadBitmapEntry(screen, 0); });
    ReleaseDC(NULL, screen);
    return run;
}
