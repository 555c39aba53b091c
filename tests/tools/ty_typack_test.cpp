// Runs the built typack on files made in a private temporary folder and checks
// what the release engineer sees: exit code, the exact lines on stdout and
// stderr, and the files written (or not written).
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ty_md5.h"
#include "ty_package_writer.h"

extern char **environ;

namespace {

const uint32_t kNameWidth = 46;
const uint32_t kHeaderSize = 12 + 25 * (46 + 13);   // 1,487 for this product
const char kFullName[] = "a_name_filling_all_46_bytes_of_its_name_field_";
static_assert(sizeof kFullName - 1 == 46, "fills the default name field");

struct Outcome {
    int exitCode;
    std::string out;
    std::string err;
};

Bytes readBytes(const std::string &path) {
    Bytes content;
    FILE *file = fopen(path.c_str(), "rb");
    if (file == NULL) return content;
    unsigned char piece[65536];
    size_t got;
    while ((got = fread(piece, 1, sizeof piece, file)) > 0) content.insert(content.end(), piece, piece + got);
    fclose(file);
    return content;
}

void writeBytes(const std::string &path, const Bytes &content) {
    FILE *file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    if (!content.empty()) ASSERT_EQ(fwrite(content.data(), 1, content.size(), file), content.size());
    fclose(file);
}

Bytes bytesOf(const std::string &text) { return Bytes(text.begin(), text.end()); }
std::string textOf(const Bytes &bytes) { return std::string(bytes.begin(), bytes.end()); }

bool exists(const std::string &path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> listDir(const std::string &path) {
    std::vector<std::string> names;
    DIR *dir = opendir(path.c_str());
    if (dir == NULL) return names;
    while (struct dirent *item = readdir(dir))
        if (strcmp(item->d_name, ".") != 0 && strcmp(item->d_name, "..") != 0) names.push_back(item->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Incompressible bytes; the same seed gives the same sequence, so a shorter
// fill is a prefix of a longer one.
Bytes noise(size_t size, uint32_t seed) {
    Bytes out(size);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = (unsigned char)(x >> 24);
    }
    return out;
}

// Text that compresses well.
Bytes prose(size_t size, uint32_t seed) {
    static const char *const words[] = {"Quenfold ", "Vexor ", "schedule ", "the ", "licence ",
                                        "DOS ", "files\r\n", "of ", "Tessaly ", "and "};
    std::string text;
    uint32_t x = seed + 7;
    while (text.size() < size) {
        x = x * 1103515245u + 12345u;
        text += words[(x >> 16) % 10];
    }
    text.resize(size);
    return bytesOf(text);
}

// A 4 x 4 24-bit BMP: file header, BITMAPINFOHEADER, 48 bytes of pixels.
Bytes bitmap() {
    Bytes bmp(54 + 48, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    putLe32(&bmp[2], (uint32_t)bmp.size());
    putLe32(&bmp[10], 54);
    putLe32(&bmp[14], 40);
    putLe32(&bmp[18], 4);
    putLe32(&bmp[22], 4);
    bmp[26] = 1;
    bmp[28] = 24;
    for (size_t i = 54; i < bmp.size(); i++) bmp[i] = (unsigned char)(i * 7);
    return bmp;
}

int removeItem(const char *path, const struct stat *, int, struct FTW *) { return remove(path); }

// A temporary folder with the stub and the 25 inputs of a good build:
// in/ holds the inputs, out/ receives what typack writes.
class Workspace {
public:
    std::string root, in, out;
    std::string stubPath;
    Bytes stub;
    std::vector<std::string> names, paths;
    std::vector<Bytes> contents;

    Workspace() {
        char pattern[] = "/tmp/typack-test-XXXXXX";
        root = mkdtemp(pattern);
        in = root + "/in";
        out = root + "/out";
        mkdir(in.c_str(), 0777);
        mkdir(out.c_str(), 0777);
        mkdir((root + "/capture").c_str(), 0777);

        stub = noise(3000, 1);
        stub[0] = 'M';
        stub[1] = 'Z';
        stubPath = in + "/TYInstallerStub.exe";
        writeBytes(stubPath, stub);

        static const char *const fixedNames[] = {
            "welcome.bmp", "licence.txt", "Tessaly Quenfold.exe", "Tessaly Ticklet.exe",
            "uninstaller.exe", "quenfold_for_vexor_for_dos.hlp", "TYScheduler.dat",
            "TYQuenfold.ini", "readme.txt", "empty.dat", kFullName};
        for (int i = 0; i < 25; i++) {
            char name[32];
            snprintf(name, sizeof name, "part%02d.dll", i);
            names.push_back(i < 11 ? fixedNames[i] : name);
        }
        contents = {bitmap(), prose(3000, 1), noise(20000, 2), noise(5000, 3), noise(8000, 4),
                    prose(6000, 5), prose(100, 6), prose(200, 7), prose(1000, 8), Bytes(), bytesOf("x")};
        for (int i = 11; i < 25; i++) contents.push_back(noise(37 * i, (uint32_t)i));
        for (int i = 0; i < 25; i++) {
            paths.push_back(in + "/" + names[i]);
            writeBytes(paths[i], contents[i]);
        }
    }

    ~Workspace() { nftw(root.c_str(), removeItem, 16, FTW_DEPTH | FTW_PHYS); }

    Outcome typack(const std::vector<std::string> &args) {
        std::string outPath = root + "/capture/stdout", errPath = root + "/capture/stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char *> argv;
        argv.push_back((char *)TY_TYPACK_PATH);
        for (const std::string &arg : args) argv.push_back((char *)arg.c_str());
        argv.push_back(NULL);
        pid_t pid;
        Outcome run = {-1, "", ""};
        int spawned = posix_spawn(&pid, TY_TYPACK_PATH, &actions, NULL, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) return run;
        int status = 0;
        waitpid(pid, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.out = textOf(readBytes(outPath));
        run.err = textOf(readBytes(errPath));
        return run;
    }

    std::vector<std::string> buildArgs(const std::string &output) {
        std::vector<std::string> args = {"build", "--stub", stubPath, "--output", output};
        args.insert(args.end(), paths.begin(), paths.end());
        return args;
    }

    // The records typack is expected to write for the current contents.
    std::vector<WriterRecord> records() {
        std::vector<WriterRecord> result(contents.size());
        for (size_t i = 0; i < contents.size(); i++) EXPECT_TRUE(makeBzip2Record(names[i], contents[i], &result[i]));
        return result;
    }
};


uint32_t entryDataOffset(const Workspace &w, const std::vector<WriterRecord> &records, size_t index) {
    uint32_t offset = (uint32_t)w.stub.size() + kHeaderSize;
    for (size_t i = 0; i < index; i++) offset += (uint32_t)records[i].data.size();
    return offset;
}

class TypackTest : public ::testing::Test {
protected:
    Workspace w;
    std::string installer;

    // Builds the good installer into out/installer.exe.
    void buildGood() {
        installer = w.out + "/installer.exe";
        Outcome run = w.typack(w.buildArgs(installer));
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }
};

TEST_F(TypackTest, BuildAppendsHeaderDataAndTrailerBehindTheStub) {
    installer = w.out + "/installer.exe";
    Outcome run = w.typack(w.buildArgs(installer));
    Bytes image = readBytes(installer);
    ASSERT_GT(image.size(), w.stub.size() + kHeaderSize + 20);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "wrote " + installer + ": " + std::to_string(image.size()) + " bytes, package of " +
                           std::to_string(image.size() - 3000) + " bytes at offset 3000\n");

    const unsigned char *p = image.data() + 3000;
    EXPECT_TRUE(std::equal(w.stub.begin(), w.stub.end(), image.begin())) << "the stub is not kept as is";
    EXPECT_EQ(readLe32(p), 25u);
    EXPECT_EQ(readLe32(p + 4), kHeaderSize);
    EXPECT_EQ(readLe32(p + 8), kNameWidth);
    // Entry 0's name, scrambled by +32 and ended by a stored 32.
    std::string field(p + 12, p + 12 + 12);
    EXPECT_EQ(field, std::string("\x97\x85\x8c\x83\x8f\x8d\x85\x4e\x82\x8d\x90\x20"));
    EXPECT_EQ(readLe32(p + 12 + 46 + 8 + 1), kHeaderSize) << "entry 0's data must follow the header";
    EXPECT_EQ(p[12 + 46 + 8], 2) << "flags of entry 0";
    EXPECT_EQ(readLe32(&image[image.size() - 20]), 3000u);
    // Signing appends its certificate table at an 8-byte boundary: a size
    // that is not one would get padding between trailer and table.
    EXPECT_EQ(image.size() % 8, 0u) << "got " << image.size() << " bytes";
    unsigned char digest[16];
    md5Digest(p, image.size() - 16 - 3000, digest);
    EXPECT_TRUE(std::equal(digest, digest + 16, image.end() - 16)) << "control check";
}

// The control check is MD5 itself, not only the same sum on both sides: the
// reference digests of RFC 1321's algorithm (Python's hashlib) around the
// padding's block boundary.
TEST(Md5, MatchesTheReferenceAroundThePaddingBoundary) {
    const struct {
        size_t size;
        const char *digest;
    } references[] = {{0, "d41d8cd98f00b204e9800998ecf8427e"},  {55, "8c3eb046bcdb1f0ffe75fdbaf890cf13"},
                      {56, "d5e0fa3122448ddd3d843a9c5ed9e839"}, {60, "6e913e4f8c2a056727967f0f5c8571e0"},
                      {63, "1dd0d6ddeb881b118518c2881555f34b"}, {64, "7b412e00d38c31b0845a4f502d39d5e3"},
                      {120, "6818845a0494b5fade3155f6a8e47b15"}};
    for (const auto &reference : references) {
        Bytes data(reference.size);
        for (size_t i = 0; i < data.size(); i++) data[i] = (unsigned char)(i * 7 + 1);
        unsigned char digest[16];
        md5Digest(data.data(), data.size(), digest);
        char hex[33];
        for (int i = 0; i < 16; i++) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
        EXPECT_STREQ(hex, reference.digest) << reference.size << " bytes";
    }
}

TEST_F(TypackTest, VerifyAcceptsABuiltInstaller) {
    buildGood();
    Outcome run = w.typack({"verify", installer});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, installer + ": control check holds, 25 entries verified\n");
}

TEST_F(TypackTest, ExtractGivesBackEveryInputUnderItsName) {
    buildGood();
    std::string target = w.out + "/files";
    Outcome run = w.typack({"extract", installer, "--output", target});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    std::string expectedOut;
    for (int i = 0; i < 25; i++) {
        size_t size = w.contents[i].size();
        expectedOut += "wrote " + target + "/" + w.names[i] + ": " + std::to_string(size) +
                       (size == 1 ? " byte\n" : " bytes\n");
    }
    EXPECT_EQ(run.out, expectedOut);
    std::vector<std::string> expectedNames = w.names;
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(listDir(target), expectedNames);
    for (int i = 0; i < 25; i++)
        EXPECT_TRUE(readBytes(target + "/" + w.names[i]) == w.contents[i]) << "entry " << i << " " << w.names[i];
}

TEST_F(TypackTest, TwoBuildsOfTheSameInputsAreByteIdentical) {
    Outcome first = w.typack(w.buildArgs(w.out + "/first.exe"));
    // Different times on the inputs must not show in the output.
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    for (const std::string &path : w.paths) utimensat(AT_FDCWD, path.c_str(), times, 0);
    Outcome second = w.typack(w.buildArgs(w.out + "/second.exe"));
    ASSERT_EQ(first.exitCode, 0) << first.err;
    ASSERT_EQ(second.exitCode, 0) << second.err;
    Bytes a = readBytes(w.out + "/first.exe"), b = readBytes(w.out + "/second.exe");
    ASSERT_EQ(a.size(), b.size());
    EXPECT_TRUE(a == b) << "the two builds differ";
}

TEST_F(TypackTest, RefusedBuildLeavesAnEarlierOutputAlone) {
    installer = w.out + "/installer.exe";
    writeBytes(installer, bytesOf("earlier build"));
    std::vector<std::string> args = w.buildArgs(installer);
    args[5 + 3] = w.in + "/absent.exe";
    Outcome run = w.typack(args);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(textOf(readBytes(installer)), "earlier build");
    EXPECT_EQ(listDir(w.out), std::vector<std::string>{"installer.exe"});
}

TEST_F(TypackTest, ExtractRefusesANameThatLeavesTheFolder) {
    std::vector<WriterRecord> records = w.records();
    records[11].name = "../evil.dll";
    installer = w.out + "/evil.exe";
    writeBytes(installer, writePackage(w.stub, kNameWidth, records));
    std::string target = w.out + "/files";
    Outcome run = w.typack({"extract", installer, "--output", target});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "typack: entry 11 '../evil.dll': not a plain file name\n");
    EXPECT_FALSE(exists(target)) << "nothing is written when an entry is refused";
    EXPECT_FALSE(exists(w.out + "/evil.dll"));
}

TEST_F(TypackTest, ExtractRefusesAnEntryBeyondTheTable) {
    buildGood();
    Outcome run = w.typack({"extract", installer, "--output", w.out, "--entry", "25"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "typack: there is no entry 25; the package holds 25 entries\n");
    EXPECT_EQ(listDir(w.out), std::vector<std::string>{"installer.exe"});
}

// ---------------------------------------------------------------------------
// verify on packages with one fault each

struct VerifyFault {
    const char *label;
    // Spoils the records of a good package; returns the expected line after "typack: ".
    std::string (*spoil)(const Workspace &w, std::vector<WriterRecord> *records);
};

void PrintTo(const VerifyFault &c, std::ostream *os) { *os << c.label; }

class VerifyFaultTest : public ::testing::TestWithParam<VerifyFault> {
protected:
    Workspace w;
};

TEST_P(VerifyFaultTest, NamesTheFault) {
    std::vector<WriterRecord> records = w.records();
    std::string expected = GetParam().spoil(w, &records);
    std::string installer = w.out + "/spoilt.exe";
    writeBytes(installer, writePackage(w.stub, kNameWidth, records));
    Outcome run = w.typack({"verify", installer});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "typack: " + expected + "\n");
}

const VerifyFault verifyFaults[] = {
    {"SizeOneByteSmall",
     [](const Workspace &, std::vector<WriterRecord> *r) {
         (*r)[3].uncompressedSize = 4999;
         return std::string("entry 3 'Tessaly Ticklet.exe': decompresses to more than its size of 4999 bytes");
     }},
    {"UnknownFlags",
     [](const Workspace &, std::vector<WriterRecord> *r) {
         (*r)[4].flags = 1;
         return std::string("entry 4 'uninstaller.exe': flags 1, neither 0 (stored) nor 2 (bzip2)");
     }},
    {"StreamCutShort",
     [](const Workspace &, std::vector<WriterRecord> *r) {
         WriterRecord &e = (*r)[7];
         e.data.resize(e.data.size() - 10);
         e.compressedSize -= 10;
         return "entry 7 'TYQuenfold.ini': its bzip2 stream is cut short after " + std::to_string(e.data.size()) +
                " bytes";
     }},
    {"DataPastThePackage",
     [](const Workspace &w, std::vector<WriterRecord> *r) {
         (*r)[24] = makeStoredRecord("part24.dll", w.contents[24]);
         (*r)[24].uncompressedSize += 1;
         uint32_t offset = entryDataOffset(w, *r, 24);
         return "entry 24 'part24.dll': its " + std::to_string(w.contents[24].size() + 1) + " bytes at offset " +
                std::to_string(offset) + " lie outside the package (offsets 3000 to " +
                std::to_string(offset + w.contents[24].size()) + ")";
     }},
    {"NameNotPlain",
     [](const Workspace &, std::vector<WriterRecord> *r) {
         (*r)[11].name = "..\\evil.dll";
         return std::string("entry 11 '..\\evil.dll': not a plain file name");
     }},
    {"WelcomePictureNotBmp",
     [](const Workspace &, std::vector<WriterRecord> *r) {
         makeBzip2Record("welcome.bmp", bytesOf("GIF89a and some more bytes of a picture"), &(*r)[0]);
         return std::string("entry 0 'welcome.bmp': not a BMP file: no \"BM\" signature");
     }},
};

INSTANTIATE_TEST_SUITE_P(Verify, VerifyFaultTest, ::testing::ValuesIn(verifyFaults),
                         [](const ::testing::TestParamInfo<VerifyFault> &info) { return info.param.label; });

// ---------------------------------------------------------------------------
// list on files that hold no readable package

struct Unreadable {
    const char *label;
    Bytes (*make)();
    std::string message;   // after "typack: '<file>': "
};

void PrintTo(const Unreadable &c, std::ostream *os) { *os << c.label; }

class UnreadablePackageTest : public ::testing::TestWithParam<Unreadable> {
protected:
    Workspace w;
};

TEST_P(UnreadablePackageTest, ListSaysWhy) {
    std::string path = w.out + "/broken.exe";
    writeBytes(path, GetParam().make());
    Outcome run = w.typack({"list", path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "typack: '" + path + "': " + GetParam().message + "\n");
}

Bytes trailerOnly(size_t before, uint32_t packageStart) {
    Bytes image(before + 20, 0);
    putLe32(&image[before], packageStart);
    return image;
}

const Unreadable unreadables[] = {
    {"ShorterThanTheTrailer", [] { return Bytes(19, 'a'); },
     "the file is 19 bytes, too short for the 20-byte trailer"},
    {"EmptyPackage", [] { return trailerOnly(10, 10); },
     "the package holds 0 bytes before its trailer, too few for the 12-byte header"},
};

INSTANTIATE_TEST_SUITE_P(List, UnreadablePackageTest, ::testing::ValuesIn(unreadables),
                         [](const ::testing::TestParamInfo<Unreadable> &info) { return info.param.label; });

// ---------------------------------------------------------------------------
// build refusals: one fault each, exit 1, one line, nothing written

struct Refusal {
    const char *label;
    // Spoils the arguments (index 5 + i is input i) or the inputs of a good
    // build; returns the expected line after "typack: ".
    std::string (*spoil)(Workspace &w, std::vector<std::string> *args);
};

void PrintTo(const Refusal &c, std::ostream *os) { *os << c.label; }

class BuildRefusalTest : public ::testing::TestWithParam<Refusal> {
protected:
    Workspace w;
};

TEST_P(BuildRefusalTest, RefusesWithOneLineAndWritesNothing) {
    std::vector<std::string> args = w.buildArgs(w.out + "/installer.exe");
    std::string expected = GetParam().spoil(w, &args);
    Outcome run = w.typack(args);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "typack: " + expected + "\n");
    EXPECT_EQ(listDir(w.out), std::vector<std::string>{});
}

// Replaces input `index` by a file of that name (when content is given).
std::string swapInput(Workspace &w, std::vector<std::string> *args, int index, const std::string &path,
                      const Bytes *content) {
    if (content != NULL) writeBytes(path, *content);
    (*args)[5 + index] = path;
    return path;
}

std::string notPlain(Workspace &w, std::vector<std::string> *args, const std::string &name, const char *shown) {
    Bytes content = bytesOf("content");
    swapInput(w, args, 12, w.in + "/" + name, &content);
    return "'" + w.in + "/" + shown + "': '" + shown + "' is not a plain file name";
}

const Refusal refusals[] = {
    {"MissingFile",
     [](Workspace &w, std::vector<std::string> *a) {
         std::string path = swapInput(w, a, 5, w.in + "/absent.hlp", NULL);
         return "cannot read '" + path + "': No such file or directory";
     }},
    {"NameLongerThanGivenWidth",
     [](Workspace &w, std::vector<std::string> *a) {
         a->insert(a->begin() + 1, {"--name-width", "10"});
         return "'" + w.paths[0] + "': the name 'welcome.bmp' is 11 bytes, longer than the name width of 10";
     }},
    {"DotDotName", [](Workspace &w, std::vector<std::string> *a) {
         swapInput(w, a, 12, w.in + "/..", NULL);
         return "'" + w.in + "/..': '..' is not a plain file name";
     }},
    {"BackslashInName", [](Workspace &w, std::vector<std::string> *a) { return notPlain(w, a, "sub\\x.dll", "sub\\x.dll"); }},
    {"WildcardInName", [](Workspace &w, std::vector<std::string> *a) { return notPlain(w, a, "x*.dll", "x*.dll"); }},
    {"NameTakenInOtherCase",
     [](Workspace &w, std::vector<std::string> *a) {
         mkdir((w.in + "/other").c_str(), 0777);
         Bytes content = bytesOf("content");
         std::string path = swapInput(w, a, 12, w.in + "/other/tyquenfold.INI", &content);
         return "'" + path + "': the name 'tyquenfold.INI' is already taken by entry 7 '" + w.paths[7] + "'";
     }},
    {"WelcomePictureWithoutSignature",
     [](Workspace &w, std::vector<std::string> *a) {
         Bytes gif = bytesOf("GIF89a");
         gif.resize(200, 0);
         std::string path = swapInput(w, a, 0, w.in + "/welcome.gif", &gif);
         return "entry 0 '" + path + "' is not a BMP file: no \"BM\" signature";
     }},
    {"TwentySixFiles",
     [](Workspace &w, std::vector<std::string> *a) {
         a->push_back(w.stubPath);
         return std::string("26 files given; a package holds 25 (the welcome picture and 24 files)");
     }},
    {"NameWidth260",
     [](Workspace &, std::vector<std::string> *a) {
         a->insert(a->begin() + 1, {"--name-width", "260"});
         return std::string("name width 260 is out of range (1 to 259)");
     }},
    {"OutputFolderMissing",
     [](Workspace &w, std::vector<std::string> *a) {
         (*a)[4] = w.root + "/missing/installer.exe";
         return "cannot write '" + w.root + "/missing/installer.exe': No such file or directory";
     }},
};

INSTANTIATE_TEST_SUITE_P(Build, BuildRefusalTest, ::testing::ValuesIn(refusals),
                         [](const ::testing::TestParamInfo<Refusal> &info) { return info.param.label; });

// ---------------------------------------------------------------------------
// calls that do not match the usage: exit 2, the reason and the usage

struct BadCall {
    const char *label;
    std::vector<std::string> args;
    const char *message;
};

void PrintTo(const BadCall &c, std::ostream *os) { *os << c.label; }

class BadCallTest : public ::testing::TestWithParam<BadCall> {
protected:
    Workspace w;
};

TEST_P(BadCallTest, ShowsTheReasonAndTheUsage) {
    Outcome run = w.typack(GetParam().args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    std::string reason = std::string("typack: ") + GetParam().message + "\nusage:\n";
    EXPECT_EQ(run.err.substr(0, reason.size()), reason);
}

const BadCall badCalls[] = {
    {"NoCommand", {}, "no command given"},
    {"UnknownOption", {"build", "--stub", "s", "--output", "o", "--level", "9"}, "unknown option --level"},
    {"OptionTwice", {"build", "--stub", "a", "--stub", "b", "--output", "o"}, "--stub given twice"},
    {"EntryNotANumber", {"extract", "a.exe", "--output", "d", "--entry", "-1"}, "--entry needs a number, not '-1'"},
};

INSTANTIATE_TEST_SUITE_P(Usage, BadCallTest, ::testing::ValuesIn(badCalls),
                         [](const ::testing::TestParamInfo<BadCall> &info) { return info.param.label; });

}  // namespace
