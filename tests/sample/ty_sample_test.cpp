// The sample product as the installer carries it: the files the installer
// names are among its entries, and the assembled TYInstaller.exe, when the
// Windows tree is known, holds them in order and keeps its package through
// signing.
#include <ctype.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ty_package_inspect.h"
#include "ty_product.h"

namespace fs = std::filesystem;

namespace {

const std::string kSample = TY_SAMPLE_DIR;

Bytes readBytes(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A file name as a test name: letters and digits kept, the rest "_".
template <typename T>
std::string testNameOf(const testing::TestParamInfo<T> &info) {
    std::string name = info.param;
    for (char &c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

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

TEST_F(AssembledInstaller, HoldsThePictureAndTheSampleFilesInOrderUnchanged) {
    std::vector<std::string> names = sampleEntries();
    EXPECT_TRUE(package_.controlCheckHolds);
    ASSERT_EQ(package_.entries.size(), 25u);
    EXPECT_EQ(package_.entries[0].name, "welcome.bmp");
    for (size_t i = 1; i < 25; ++i) {
        ASSERT_EQ(package_.entries[i].name, names[i - 1]) << "entry " << i;
        std::string source = kSample + "/files/" + names[i - 1];
        if (fs::exists(source)) EXPECT_TRUE(entry(i) == readBytes(source)) << "entry " << i << " differs from " << source;
    }
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

}  // namespace
