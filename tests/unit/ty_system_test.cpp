// System state: the registry primitives and installed versions, pending
// restart operations, and deletion now or at the next start. Everything is
// arranged and read back through Win32 and C runtime calls only.
#include <direct.h>
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <string.h>
#include <sys/stat.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ty_deferred_delete.h"
#include "ty_pending_reboot.h"
#include "ty_product.h"
#include "ty_registry.h"
#include "ty_standin_system_control.h"
#include "ty_system_test_support.h"

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingRenames[] = "PendingFileRenameOperations";
const int kStatusSentinel = -77;

std::string productKey(const std::string &version) { return std::string(TY_KEY_PRODUCT) + "\\" + version; }

// A string with its terminating zero, as REG_SZ data is stored.
std::string withZero(const std::string &text) { return text + std::string(1, '\0'); }

void makeFolder(const std::string &path) { ASSERT_EQ(_mkdir(path.c_str()), 0) << path << " errno " << errno; }

}  // namespace

static void fillText(char *buffer, size_t size) {
    memset(buffer, '#', size - 1);
    buffer[size - 1] = '\0';
}

// -- readRegistryString ----------------------------------------------------------

struct ReadCase {
    const char *name;
    bool withBuffer;
    bool valueSet;
    std::string data;      // stored as REG_SZ, exactly these bytes
    bool found;
    int status;
    std::string read;      // what the buffer then holds
};

void PrintTo(const ReadCase &row, std::ostream *os) { *os << row.name; }

class ReadRegistryStringTest : public SystemTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadRegistryStringTest, AnswersForTheValue) {
    const ReadCase &c = GetParam();
    makeKey(productKey("2.9"));
    if (c.valueSet) setValue(productKey("2.9"), TY_VALUE_INSTALL_DIR, REG_SZ, c.data);
    if (c.valueSet && (c.data.empty() || c.data.back() != '\0')) standinAnswerRegistryQuery(c.data);
    char buffer[TY_REGISTRY_DATA_SIZE];
    fillText(buffer, sizeof buffer);
    registryStatus = kStatusSentinel;
    bool found = readRegistryString(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, "2.9",
                                    TY_VALUE_INSTALL_DIR, c.withBuffer ? buffer : NULL);
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(registryStatus, c.status) << "got " << registryStatus << ", expected " << c.status;
    if (c.withBuffer && c.found) {
        EXPECT_EQ(std::string(buffer), c.read);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Registry, ReadRegistryStringTest,
    ::testing::Values(
        ReadCase{"Value", true, true, withZero("C:\\Quenfold"), true, 1, "C:\\Quenfold"},
        ReadCase{"EmptyValue", true, true, withZero(""), true, 1, ""},
        ReadCase{"MissingValue", true, false, "", false, 7, ""},
        ReadCase{"LongestThatFits", true, true, withZero(std::string(259, 'd')), true, 1,
                 std::string(259, 'd')},
        ReadCase{"OverTheBuffer", true, true, withZero(std::string(260, 'd')), false, 0, ""},
        ReadCase{"FillingTheBufferWithoutItsZero", true, true, std::string(260, 'd'), false, 0, ""}),
    [](const ::testing::TestParamInfo<ReadCase> &info) { return info.param.name; });

// -- Subkeys -------------------------------------------------------------------

struct ProbeCase {
    const char *name;
    bool makeKey;
    int subkeys;
    bool hasSubkeys;
};

void PrintTo(const ProbeCase &row, std::ostream *os) { *os << row.name; }

class ProbeKeyTest : public SystemTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbeKeyTest, AnswersTrueWithWhetherTheKeyHasSubkeys) {
    const ProbeCase &c = GetParam();
    if (c.makeKey) makeKey(TY_KEY_MAKER);
    for (int i = 0; i < c.subkeys; i++) makeKey(std::string(TY_KEY_MAKER) + "\\Product" + std::to_string(i));
    bool hasSubkeys = !c.hasSubkeys;
    registryStatus = kStatusSentinel;
    EXPECT_TRUE(probeKeyHasSubkeys(&hasSubkeys, TY_KEY_MAKER));
    EXPECT_EQ(hasSubkeys, c.hasSubkeys);
    EXPECT_EQ(registryStatus, 1) << "got " << registryStatus << ", expected 1";
}

INSTANTIATE_TEST_SUITE_P(Registry, ProbeKeyTest,
                         ::testing::Values(ProbeCase{"MissingKey", false, 0, false},
                                           ProbeCase{"OneSubkey", true, 1, true}),
                         [](const ::testing::TestParamInfo<ProbeCase> &info) { return info.param.name; });

// -- Writing -------------------------------------------------------------------

TEST_F(SystemTest, AnAbsentValueIsWrittenAsAString) {
    makeKey(TY_KEY_VERSION);
    char data[TY_REGISTRY_DATA_SIZE] = "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS";
    registryStatus = kStatusSentinel;
    EXPECT_TRUE(setRegistryValueIfAbsent(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, "2.9",
                                         TY_VALUE_INSTALL_DIR, data));
    EXPECT_EQ(registryStatus, 11) << "got " << registryStatus << ", expected 11";
    std::string stored;
    DWORD type = 0;
    ASSERT_TRUE(readValue(TY_KEY_VERSION, TY_VALUE_INSTALL_DIR, &stored, &type));
    EXPECT_EQ(type, (DWORD)REG_SZ);
    EXPECT_EQ(stored, withZero("C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS"));
    ASSERT_EQ(standinRegistryWrites().size(), 1u);
    EXPECT_EQ(standinRegistryWrites()[0].data, stored) << "given to the system, its terminator included";
    EXPECT_STREQ(data, "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS");
}

enum PendingSign { kNothing, kValue, kEmptyValue, kWininit, kEmptyWininit };

struct PendingCase {
    const char *name;
    int family;
    PendingSign sign;
    bool pending;
};

void PrintTo(const PendingCase &row, std::ostream *os) { *os << row.name; }

class CheckPendingRebootTest : public SystemTest, public ::testing::WithParamInterface<PendingCase> {};

TEST_P(CheckPendingRebootTest, TellsWhatIsPending) {
    const PendingCase &c = GetParam();
    if (!useFamily(c.family)) GTEST_SKIP() << "the system is not of family " << c.family;
    switch (c.sign) {
    case kNothing: break;
    case kValue:
        setValue(kSessionManager, kPendingRenames, REG_MULTI_SZ,
                 std::string("\\??\\C:\\old.tmp\0\0\0", 17));
        break;
    case kEmptyValue: setValue(kSessionManager, kPendingRenames, REG_MULTI_SZ, ""); break;
    case kWininit: writeFile(windowsFile("WININIT.INI"), "[Rename]\r\nNUL=C:\\OLD.TMP\r\n"); break;
    case kEmptyWininit: writeFile(windowsFile("WININIT.INI"), ""); break;
    }
    bool pending = !c.pending;
    registryStatus = kStatusSentinel;
    EXPECT_TRUE(checkPendingReboot(&pending, c.family));
    EXPECT_EQ(pending, c.pending);
    EXPECT_EQ(registryStatus, 1) << "got " << registryStatus << ", expected 1";
}

INSTANTIATE_TEST_SUITE_P(
    PendingReboot, CheckPendingRebootTest,
    ::testing::Values(PendingCase{"NtValuePresent", 2, kValue, true},
                      PendingCase{"NtValueAbsent", 2, kNothing, false},
                      PendingCase{"Win95WininitPresent", 4, kWininit, true},
                      PendingCase{"Win95WininitAbsent", 4, kNothing, false},
                      PendingCase{"Family3NeverLooksAtWininit", 3, kWininit, false}),
    [](const ::testing::TestParamInfo<PendingCase> &info) { return info.param.name; });

// -- Deletion now or at the next start -------------------------------------------

class DeleteNowOrAtRebootTest : public SystemTest {
protected:
    // Nothing handed over anywhere.
    void expectNothingScheduled() {
        EXPECT_EQ(pendingRenames(), "<no value>");
        EXPECT_FALSE(exists(windowsFile("WININIT.INI"))) << readFile(windowsFile("WININIT.INI"));
    }
};

TEST_F(DeleteNowOrAtRebootTest, AFileInUseIsHandedToWindowsOnTheNtFamily) {
    if (!useFamily(2)) GTEST_SKIP() << "the system is not of the NT family";
    std::string path = inFolder("Tessaly Quenfold.exe");
    writeFile(path, "MZ");
    int held = _open(path.c_str(), _O_RDONLY | _O_BINARY);
    ASSERT_NE(held, -1);
    bool gone = deleteNowOrAtReboot(path.c_str(), false);
    _close(held);
    EXPECT_FALSE(gone);
    EXPECT_TRUE(exists(path));
    std::string data = pendingRenames();
    EXPECT_NE(data.find(path), std::string::npos) << "scheduled: " << data;
    EXPECT_FALSE(exists(windowsFile("WININIT.INI")));
}

TEST_F(DeleteNowOrAtRebootTest, AFileIsHandedOverBeforeItsFolderOnTheNtFamily) {
    if (!useFamily(2)) GTEST_SKIP() << "the system is not of the NT family";
    makeFolder(inFolder("Quenfold"));
    std::string file = inFolder("Quenfold\\Tessaly Quenfold.exe");
    writeFile(file, "MZ");
    int held = _open(file.c_str(), _O_RDONLY | _O_BINARY);
    ASSERT_NE(held, -1);
    bool fileGone = deleteNowOrAtReboot(file.c_str(), false);
    bool folderGone = deleteNowOrAtReboot(inFolder("Quenfold").c_str(), true);
    _close(held);
    EXPECT_FALSE(fileGone);
    EXPECT_FALSE(folderGone);
    EXPECT_TRUE(exists(inFolder("Quenfold")));
    std::string data = pendingRenames();
    size_t fileAt = data.find(file);
    size_t folderAt = data.find(inFolder("Quenfold") + std::string(1, '\0'));
    ASSERT_NE(fileAt, std::string::npos) << "scheduled: " << data;
    ASSERT_NE(folderAt, std::string::npos) << "scheduled: " << data;
    EXPECT_LT(fileAt, folderAt);
}

// Several hand-overs in one run, each a line of its own in the order asked,
// whatever the file held before.
struct WininitCase {
    const char *name;
    const char *before;   // NULL: no file
    const char *head;     // the expected file: head, the three lines, tail
    const char *tail;
};

void PrintTo(const WininitCase &row, std::ostream *os) { *os << row.name; }

class WininitHandOverTest : public SystemTest, public ::testing::WithParamInterface<WininitCase> {};

TEST_P(WininitHandOverTest, KeepsOneNulLinePerItemInOrder) {
    const WininitCase &c = GetParam();
    if (!useFamily(4)) GTEST_SKIP() << "the system is not of the Windows 95 family";
    if (c.before) writeFile(windowsFile("WININIT.INI"), c.before);
    const char *items[] = {"TYEngine.dll", "TYQuenfold.ini", "uninstaller.exe"};
    std::string lines;
    for (const char *item : items) {
        std::string path = inFolder(item);
        writeFile(path, "x");
        int held = _open(path.c_str(), _O_RDONLY | _O_BINARY);
        EXPECT_NE(held, -1) << path;
        EXPECT_FALSE(deleteNowOrAtReboot(path.c_str(), false)) << item;
        if (held != -1) _close(held);
        lines += "NUL=" + shortName(path) + "\r\n";
    }
    EXPECT_EQ(readFile(windowsFile("WININIT.INI")), c.head + lines + c.tail);
}

INSTANTIATE_TEST_SUITE_P(
    DeferredDelete, WininitHandOverTest,
    ::testing::Values(
        WininitCase{"NoFile", NULL, "[Rename]\r\n", ""},
        WininitCase{"NoRenameSection", "[boot]\r\nshell=Explorer.exe\r\n",
                    "[boot]\r\nshell=Explorer.exe\r\n[Rename]\r\n", ""},
        WininitCase{"RenameBetweenOtherSections",
                    "[boot]\r\nshell=Explorer.exe\r\n\r\n[rename]\r\nNUL=C:\\OLD.TMP\r\n"
                    "C:\\NEW.DLL=C:\\NEW.TMP\r\n\r\n[Other]\r\nNUL=C:\\NOT.THIS\r\n",
                    "[boot]\r\nshell=Explorer.exe\r\n\r\n[rename]\r\nNUL=C:\\OLD.TMP\r\n"
                    "C:\\NEW.DLL=C:\\NEW.TMP\r\n",
                    "\r\n[Other]\r\nNUL=C:\\NOT.THIS\r\n"},
        WininitCase{"RenameLastWithoutFinalLineBreak", "; kept\r\n [ Rename ] \r\nNUL=C:\\OLD.TMP",
                    "; kept\r\n [ Rename ] \r\nNUL=C:\\OLD.TMP\r\n", ""},
        WininitCase{"SectionNamedLikeRename", "[RenameLater]\r\nx=1\r\n",
                    "[RenameLater]\r\nx=1\r\n[Rename]\r\n", ""},
        WininitCase{"EmptyRenameSectionFirst", "[Rename]\r\n[boot]\r\nx=1\r\n", "[Rename]\r\n",
                    "[boot]\r\nx=1\r\n"}),
    [](const ::testing::TestParamInfo<WininitCase> &info) { return info.param.name; });
