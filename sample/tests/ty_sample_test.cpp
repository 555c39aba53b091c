// The sample product as the installer and its users meet it: the package
// order, the files the installer names, the committed text files, the
// pictures our scripts draw, and the assembled TYInstaller.exe when the
// Windows tree is known.
#include <ctype.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <bzlib.h>
#include <gtest/gtest.h>

#include "ty_package_inspect.h"
#include "ty_product.h"

namespace fs = std::filesystem;

namespace {

const std::string kSample = TY_SAMPLE_DIR;
const std::string kRes = TY_RES_DIR;

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

std::string textOf(const Bytes &bytes) { return std::string(bytes.begin(), bytes.end()); }

// A file name as a test name: letters and digits kept, the rest "_".
template <typename T>
std::string testNameOf(const testing::TestParamInfo<T> &info) {
    std::string name = info.param;
    for (char &c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

uint32_t le16(const Bytes &b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t le32(const Bytes &b, size_t at) { return readLe32(&b[at]); }

std::vector<std::string> sampleEntries() {
    std::vector<std::string> names;
    FILE *file = fopen((kSample + "/entries.txt").c_str(), "r");
    if (file == NULL) return names;
    char line[300];
    while (fgets(line, sizeof line, file) != NULL) {
        std::string name(line);
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
        if (!name.empty() && name[0] != '#') names.push_back(name);
    }
    fclose(file);
    return names;
}

// One private folder per test process (ctest runs the tests in parallel),
// filled by the drawing scripts on first use.
class Scratch {
public:
    static const std::string &dir() {
        static Scratch scratch;
        return scratch.dir_;
    }
    static std::string run(const std::string &script, const std::string &argument) {
        std::string command = std::string("\"") + TY_PYTHON + "\" \"" + script + "\" \"" + argument + "\"";
        int status = system(command.c_str());
        return status == 0 ? argument : "failed: " + command;
    }
    static const Bytes &welcome() {
        static Bytes picture = readBytes(run(kSample + "/tools/draw_welcome.py", dir() + "/welcome.bmp"));
        return picture;
    }

private:
    Scratch() {
        char pattern[] = "/tmp/ty_sample_XXXXXX";
        dir_ = mkdtemp(pattern) != NULL ? pattern : "/tmp";
    }
    ~Scratch() {
        if (dir_ != "/tmp") fs::remove_all(dir_);
    }
    std::string dir_;
};

TEST(SampleEntries, LicenceIsEntryOneAndTwentyFourFilesFollowThePicture) {
    std::vector<std::string> names = sampleEntries();
    ASSERT_EQ(names.size(), 24u);
    EXPECT_EQ(names[0], "License.txt");
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 24u) << "a name appears twice";
}

// Every file the installer names (shortcut targets, the Run entry, the
// uninstall entry, the files kept across an upgrade) must be installed.
class InstallerNamedFile : public testing::TestWithParam<const char *> {};

TEST_P(InstallerNamedFile, IsOneOfTheInstalledEntries) {
    std::vector<std::string> names = sampleEntries();
    EXPECT_NE(std::find(names.begin(), names.end(), GetParam()), names.end())
        << GetParam() << " is not in sample/entries.txt";
}

INSTANTIATE_TEST_SUITE_P(Product, InstallerNamedFile,
                         testing::Values(TY_FILE_MAIN_PROGRAM, TY_FILE_SCHEDULER, TY_FILE_UNINSTALLER,
                                         TY_FILE_HELP, TY_FILE_SCHEDULER_CONFIG, TY_FILE_PRODUCT_CONFIG,
                                         TY_FILE_MAIL_SHORTCUT, TY_WEB_SHORTCUT_FILE),
                         testNameOf<const char *>);

// The committed files are Windows text: CRLF line ends only, plain ASCII,
// no NUL (the licence page would stop at one), a line end at the very end.
class CommittedTextFile : public testing::TestWithParam<std::string> {};

TEST_P(CommittedTextFile, IsAsciiWithCrLfLineEnds) {
    Bytes content = readBytes(kSample + "/files/" + GetParam());
    ASSERT_GE(content.size(), 2u);
    for (size_t i = 0; i < content.size(); ++i) {
        unsigned char c = content[i];
        if (c == '\r') {
            ASSERT_TRUE(i + 1 < content.size() && content[i + 1] == '\n') << "bare CR at byte " << i;
        } else if (c == '\n') {
            ASSERT_TRUE(i > 0 && content[i - 1] == '\r') << "bare LF at byte " << i;
        } else {
            ASSERT_TRUE(c == '\t' || (c >= 32 && c < 127)) << "byte " << int(c) << " at " << i;
        }
    }
    EXPECT_EQ(textOf(Bytes(content.end() - 2, content.end())), "\r\n");
}

std::vector<std::string> committedFiles() {
    std::vector<std::string> names;
    for (const fs::directory_entry &entry : fs::directory_iterator(kSample + "/files"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

INSTANTIATE_TEST_SUITE_P(Sample, CommittedTextFile, testing::ValuesIn(committedFiles()),
                         testNameOf<std::string>);

TEST(SampleShortcutFiles, PointAtTheMakersWebSiteAndSupportAddress) {
    EXPECT_EQ(textOf(readBytes(kSample + "/files/" TY_WEB_SHORTCUT_FILE)),
              "[InternetShortcut]\r\nURL=" TY_WEB_SITE "\r\n");
    EXPECT_EQ(textOf(readBytes(kSample + "/files/" TY_FILE_MAIL_SHORTCUT)),
              "[InternetShortcut]\r\nURL=mailto:" TY_SUPPORT_EMAIL "\r\n");
}

TEST(WelcomePicture, IsA24BitBottomUpBitmapOf190By280) {
    const Bytes &bmp = Scratch::welcome();
    const uint32_t stride = (190 * 3 + 3) / 4 * 4;
    ASSERT_EQ(bmp.size(), 54 + stride * 280);
    EXPECT_EQ(textOf(Bytes(bmp.begin(), bmp.begin() + 2)), "BM");
    EXPECT_EQ(le32(bmp, 2), bmp.size());            // file size
    EXPECT_EQ(le32(bmp, 10), 54u);                  // bits right behind the headers
    EXPECT_EQ(le32(bmp, 14), 40u);                  // BITMAPINFOHEADER
    EXPECT_EQ(le32(bmp, 18), 190u);
    EXPECT_EQ(le32(bmp, 22), 280u);                 // positive: bottom-up
    EXPECT_EQ(le16(bmp, 26), 1u);
    EXPECT_EQ(le16(bmp, 28), 24u);
    EXPECT_EQ(le32(bmp, 30), 0u);                   // BI_RGB
}

TEST(WelcomePicture, IsAPictureNotAFlatColour) {
    const Bytes &bmp = Scratch::welcome();
    ASSERT_GT(bmp.size(), 54u);
    const uint32_t stride = (190 * 3 + 3) / 4 * 4;
    std::set<uint32_t> colours;
    for (uint32_t row = 0; row < 280; ++row)
        for (uint32_t x = 0; x < 190; ++x) {
            size_t at = 54 + row * stride + x * 3;
            colours.insert(bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16);
        }
    EXPECT_GT(colours.size(), 1000u);
}

TEST(WelcomePicture, IsTheSameOnEveryRun) {
    Bytes again = readBytes(Scratch::run(kSample + "/tools/draw_welcome.py", Scratch::dir() + "/again.bmp"));
    EXPECT_TRUE(again == Scratch::welcome()) << "two runs of draw_welcome.py differ";
}

TEST(InstallerIcon, CommittedIconIsWhatTheScriptDraws) {
    Bytes drawn = readBytes(Scratch::run(kRes + "/tools/draw_icon.py", Scratch::dir() + "/icon.ico"));
    ASSERT_FALSE(drawn.empty());
    EXPECT_TRUE(drawn == readBytes(kRes + "/ty_installer.ico"))
        << "res/ty_installer.ico is stale: run res/tools/draw_icon.py";
}

TEST(InstallerIcon, HoldsOne32By32ImageOf8BitsWithAMask) {
    Bytes ico = readBytes(kRes + "/ty_installer.ico");
    const size_t image = 6 + 16, palette = image + 40, pixels = palette + 256 * 4, mask = pixels + 32 * 32;
    ASSERT_EQ(ico.size(), mask + 32 * 4);
    EXPECT_EQ(le16(ico, 2), 1u);                    // an icon
    EXPECT_EQ(le16(ico, 4), 1u);                    // one image
    EXPECT_EQ(ico[6], 32);
    EXPECT_EQ(ico[7], 32);
    EXPECT_EQ(le16(ico, 12), 8u);                   // bits per pixel in the directory
    EXPECT_EQ(le32(ico, 18), image);
    EXPECT_EQ(le32(ico, image + 4), 32u);
    EXPECT_EQ(le32(ico, image + 8), 64u);           // image and mask
    EXPECT_EQ(le16(ico, image + 14), 8u);
    int transparent = 0;
    for (size_t i = mask; i < ico.size(); ++i)
        for (int bit = 0; bit < 8; ++bit) transparent += (ico[i] >> bit) & 1;
    EXPECT_GT(transparent, 0);
    EXPECT_LT(transparent, 32 * 32);
}

TEST(SampleDataFiles, AreTheSameOnEveryRunAndHoldEveryByteValue) {
    std::string first = Scratch::dir() + "/data1", second = Scratch::dir() + "/data2";
    ASSERT_EQ(Scratch::run(kSample + "/tools/make_data_files.py", first), first);
    ASSERT_EQ(Scratch::run(kSample + "/tools/make_data_files.py", second), second);
    for (const char *name : {"TYDefs.dat", "TYDefs2.dat", "TYDisks.dat"}) {
        Bytes content = readBytes(first + "/" + name);
        EXPECT_FALSE(content.empty()) << name;
        EXPECT_TRUE(content == readBytes(second + "/" + name)) << name << " differs between runs";
    }
    // Binary content that a text-mode write or a read stopping at 0x1A or NUL
    // would change.
    Bytes defs = readBytes(first + "/TYDefs.dat");
    std::set<unsigned char> values(defs.begin(), defs.end());
    EXPECT_EQ(values.size(), 256u);
}

// The assembled installer, when the host tree knows the Windows tree.
class AssembledInstaller : public testing::Test {
protected:
    void SetUp() override {
        if (std::string(TY_INSTALLER_PATH).empty()) GTEST_SKIP() << "TY_WINDOWS_BUILD_DIR was not given";
        image_ = readBytes(TY_INSTALLER_PATH);
        ASSERT_FALSE(image_.empty()) << TY_INSTALLER_PATH << " is missing";
        std::string error;
        ASSERT_TRUE(inspectPackage(image_, &package_, &error)) << error;
    }
    Bytes entry(size_t index) {
        Bytes content;
        std::string error;
        EXPECT_TRUE(decodeEntry(image_, package_, package_.entries[index], &content, &error))
            << "entry " << index << ": " << error;
        return content;
    }
    Bytes image_;
    InspectedPackage package_;
};

TEST_F(AssembledInstaller, HoldsThePictureAndTheSampleFilesInOrder) {
    std::vector<std::string> names = sampleEntries();
    EXPECT_TRUE(package_.controlCheckHolds);
    EXPECT_EQ(package_.nameWidth, 46u);
    ASSERT_EQ(package_.entries.size(), 25u);
    EXPECT_EQ(package_.entries[0].name, "welcome.bmp");
    for (size_t i = 1; i < 25; ++i) EXPECT_EQ(package_.entries[i].name, names[i - 1]) << "entry " << i;
    EXPECT_LT(image_.size() - package_.packageStart, 1000000u);
}

TEST_F(AssembledInstaller, CarriesTheCommittedFilesAndTheWelcomePictureUnchanged) {
    EXPECT_TRUE(entry(0) == Scratch::welcome()) << "entry 0 is not what draw_welcome.py draws";
    int compared = 0;
    for (size_t i = 1; i < package_.entries.size(); ++i) {
        std::string source = kSample + "/files/" + package_.entries[i].name;
        if (!fs::exists(source)) continue;
        EXPECT_TRUE(entry(i) == readBytes(source)) << "entry " << i << " differs from " << source;
        ++compared;
    }
    EXPECT_EQ(compared, static_cast<int>(committedFiles().size()));
}

// Signed with Authenticode by the release engineer's client, with a
// certificate made here: the package is found before the certificate table,
// and the control check covers the package and nothing of the signature.
struct SigningCase {
    const char *name;
    long changed;        // byte changed: > 0 from the file's end (in the table),
                         // < 0 from the package's start; 0 none
    bool holds;
};

void PrintTo(const SigningCase &row, std::ostream *os) { *os << row.name; }

class SignedInstaller : public AssembledInstaller, public testing::WithParamInterface<SigningCase> {};

TEST_P(SignedInstaller, KeepsItsPackageAndControlCheck) {
    ASSERT_EQ(image_.size() % 8, 0u) << "a size that signing would pad";
    std::string folder = fs::temp_directory_path() / ("ty-signing-" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::string command =
        "cd '" + folder + "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem "
        "-out cert.pem -days 2 -subj '/CN=Tessaly test' >/dev/null 2>&1 && osslsigncode sign "
        "-certs cert.pem -key key.pem -in '" TY_INSTALLER_PATH "' -out signed.exe >/dev/null "
        "&& osslsigncode verify -CAfile cert.pem signed.exe >/dev/null";
    int status = system(command.c_str());
    Bytes signedImage = readBytes(folder + "/signed.exe");
    fs::remove_all(folder);
    ASSERT_EQ(status, 0) << command;
    long changed = GetParam().changed;
    if (changed > 0) signedImage[signedImage.size() - (size_t)changed] ^= 0x01;
    if (changed < 0) signedImage[package_.packageStart + (size_t)-changed] ^= 0x01;

    InspectedPackage signedPackage;
    std::string error;
    ASSERT_TRUE(inspectPackage(signedImage, &signedPackage, &error)) << error;
    EXPECT_EQ(signedPackage.packageEnd, image_.size());
    EXPECT_EQ(signedPackage.certificateSize, signedImage.size() - image_.size());
    EXPECT_EQ(signedPackage.packageStart, package_.packageStart);
    EXPECT_EQ(signedPackage.controlCheckHolds, GetParam().holds);
}

INSTANTIATE_TEST_SUITE_P(Release, SignedInstaller,
                         testing::Values(SigningCase{"AsSigned", 0, true},
                                         SigningCase{"CertificateByteChanged", 100, true},
                                         SigningCase{"PackageByteChanged", -1000, false}),
                         [](const testing::TestParamInfo<SigningCase> &info) {
                             return std::string(info.param.name);
                         });

// The programs and libraries are real 32-bit Windows binaries: GUI programs
// for the .exe entries, DLLs for the .dll entries.
TEST_F(AssembledInstaller, ProgramsAreWin32GuiProgramsAndLibrariesAreDlls) {
    int binaries = 0;
    for (size_t i = 1; i < package_.entries.size(); ++i) {
        const std::string &name = package_.entries[i].name;
        bool dll = name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0;
        bool exe = name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0;
        if (!dll && !exe) continue;
        ++binaries;
        Bytes pe = entry(i);
        ASSERT_GT(pe.size(), 0x100u) << name;
        ASSERT_EQ(textOf(Bytes(pe.begin(), pe.begin() + 2)), "MZ") << name;
        size_t header = le32(pe, 0x3c);
        ASSERT_LT(header + 24 + 70, pe.size()) << name;
        EXPECT_EQ(le32(pe, header), 0x4550u) << name;                  // "PE\0\0"
        EXPECT_EQ(le16(pe, header + 4), 0x14cu) << name;               // i386
        EXPECT_EQ((le16(pe, header + 22) & 0x2000) != 0, dll) << name; // IMAGE_FILE_DLL
        EXPECT_EQ(le16(pe, header + 24), 0x10bu) << name;              // PE32
        if (exe) EXPECT_EQ(le16(pe, header + 24 + 68), 2u) << name;    // Windows GUI
    }
    EXPECT_EQ(binaries, 10);
}

// The installers of earlier versions (TYInstaller-2.5.exe), built beside
// this version's to upgrade from: the same package but for the programs and
// libraries, which name their version, behind a stub that names it too.
std::vector<std::string> earlierVersions() {
    std::vector<std::string> versions;
    std::string list = TY_EARLIER_VERSIONS;
    size_t start = 0;
    while (start < list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        if (comma > start) versions.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    return versions;
}

size_t countOf(const Bytes &data, const std::string &text) {
    size_t count = 0;
    for (auto at = data.begin(); (at = std::search(at, data.end(), text.begin(), text.end())) != data.end(); ++at)
        ++count;
    return count;
}

// The stub's long texts, which it carries as one bzip2 stream: empty when
// there is none.
Bytes packedTexts(const Bytes &stub) {
    static const std::string magic = "BZh1" "\x31\x41\x59\x26\x53\x59";
    auto at = std::search(stub.begin(), stub.end(), magic.begin(), magic.end());
    Bytes texts(1 << 16);
    unsigned size = (unsigned)texts.size();
    if (at == stub.end() ||
        BZ2_bzBuffToBuffDecompress((char *)texts.data(), &size, (char *)&*at,
                                   (unsigned)(stub.end() - at), 0, 0) != BZ_OK)
        size = 0;
    texts.resize(size);
    return texts;
}

std::string utf16(const std::string &ascii) {
    std::string wide;
    for (char c : ascii) {
        wide += c;
        wide += '\0';
    }
    return wide;
}

bool isBinary(const std::string &name) {
    return name.size() > 4 && (name.compare(name.size() - 4, 4, ".exe") == 0 ||
                               name.compare(name.size() - 4, 4, ".dll") == 0);
}

// Texts of a version's program or library that name the version: the main
// program's and the scheduler's start lines, the uninstaller's registry key
// and closing message, a library's TYLibraryName.
std::vector<std::string> versionMarks(const std::string &name, const std::string &version) {
    if (name == TY_FILE_MAIN_PROGRAM) return {"Tessaly Quenfold " + version};
    if (name == TY_FILE_SCHEDULER) return {"Tessaly Ticklet " + version};
    if (name == TY_FILE_UNINSTALLER)
        return {TY_KEY_PRODUCT "\\" + version,
                TY_PRODUCT_NAME " " + version + " has been removed from your computer."};
    return {name.substr(0, name.size() - 4) + " " + version};
}

class EarlierInstaller : public testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (std::string(TY_WINDOWS_DIR).empty()) GTEST_SKIP() << "TY_WINDOWS_BUILD_DIR was not given";
        load(std::string(TY_WINDOWS_DIR) + "/TYInstaller.exe", &image_, &package_);
        load(std::string(TY_WINDOWS_DIR) + "/TYInstaller-" + GetParam() + ".exe", &earlierImage_, &earlier_);
    }
    static void load(const std::string &path, Bytes *image, InspectedPackage *package) {
        *image = readBytes(path);
        ASSERT_FALSE(image->empty()) << path << " is missing";
        std::string error;
        ASSERT_TRUE(inspectPackage(*image, package, &error)) << path << ": " << error;
        ASSERT_TRUE(package->controlCheckHolds) << path << ": the control check does not hold";
        ASSERT_EQ(package->entries.size(), 25u) << path;
    }
    static Bytes entry(const Bytes &image, const InspectedPackage &package, size_t index) {
        Bytes content;
        std::string error;
        EXPECT_TRUE(decodeEntry(image, package, package.entries[index], &content, &error))
            << "entry " << index << ": " << error;
        return content;
    }
    static Bytes stub(const Bytes &image, const InspectedPackage &package) {
        return Bytes(image.begin(), image.begin() + package.packageStart);
    }
    std::string earlierName() const { return "TYInstaller-" + GetParam() + ".exe"; }
    Bytes image_, earlierImage_;
    InspectedPackage package_, earlier_;
};

TEST_P(EarlierInstaller, HoldsTheSameEntriesInTheSameOrder) {
    for (size_t i = 0; i < 25; ++i)
        EXPECT_EQ(earlier_.entries[i].name, package_.entries[i].name) << "entry " << i << " of " << earlierName();
}

TEST_P(EarlierInstaller, DiffersFromThisVersionOnlyInTheProgramsAndLibraries) {
    for (size_t i = 0; i < 25; ++i) {
        const std::string &name = package_.entries[i].name;
        bool same = entry(earlierImage_, earlier_, i) == entry(image_, package_, i);
        EXPECT_EQ(same, !isBinary(name)) << "entry " << i << " (" << name << ") of " << earlierName()
                                         << (same ? " is the same as" : " differs from")
                                         << " TYInstaller.exe's";
    }
}

TEST_P(EarlierInstaller, ProgramsAndLibrariesNameTheirOwnVersion) {
    struct Side {
        const Bytes *image;
        const InspectedPackage *package;
        std::string installer, version, other;
    } sides[] = {{&earlierImage_, &earlier_, earlierName(), GetParam(), TY_PRODUCT_VERSION},
                 {&image_, &package_, "TYInstaller.exe", TY_PRODUCT_VERSION, GetParam()}};
    int binaries = 0;
    for (const Side &side : sides)
        for (size_t i = 1; i < 25; ++i) {
            const std::string &name = side.package->entries[i].name;
            if (!isBinary(name)) continue;
            ++binaries;
            Bytes content = entry(*side.image, *side.package, i);
            for (const std::string &mark : versionMarks(name, side.version))
                EXPECT_GT(countOf(content, mark), 0u) << name << " of " << side.installer << ": \"" << mark << "\"";
            for (const std::string &mark : versionMarks(name, side.other))
                EXPECT_EQ(countOf(content, mark), 0u) << name << " of " << side.installer << ": \"" << mark << "\"";
        }
    EXPECT_EQ(binaries, 20);
}

TEST_P(EarlierInstaller, StubNamesItsVersionOnEveryPageAndInItsMessages) {
    const std::string version = GetParam();
    const std::string title = TY_PRODUCT_NAME " ", pages = " Setup :: ";
    Bytes earlierStub = stub(earlierImage_, earlier_), thisStub = stub(image_, package_);
    EXPECT_EQ(countOf(earlierStub, utf16(title + version + pages)), 5u) << earlierName() << "'s page titles";
    EXPECT_EQ(countOf(earlierStub, utf16(title + TY_PRODUCT_VERSION + pages)), 0u) << earlierName() << "'s page titles";
    EXPECT_EQ(countOf(thisStub, utf16(title + TY_PRODUCT_VERSION + pages)), 5u) << "TYInstaller.exe's page titles";
    EXPECT_EQ(countOf(thisStub, utf16(title + version + pages)), 0u) << "TYInstaller.exe's page titles";
    EXPECT_EQ(countOf(packedTexts(earlierStub), "You have the EXACT SAME version (" + version + ")"), 1u)
        << earlierName();
    EXPECT_EQ(countOf(earlierStub, TY_PRODUCT_NAME " " + version), 1u)
        << earlierName() << ": the uninstall entry's name";
}

INSTANTIATE_TEST_SUITE_P(Build, EarlierInstaller, testing::ValuesIn(earlierVersions()),
                         testNameOf<std::string>);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(EarlierInstaller);

}  // namespace
