// System state through the calls a real Windows answers the same way: the
// registry primitives and installed versions, pending restart operations, and
// deletion now or at the next start. Everything is arranged and read back
// through Win32 and C runtime calls only, so these tests also run on Windows.
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
#include "ty_system_test_support.h"

namespace {

// The product version as the main procedure passes it: 2.9 in single
// precision, widened.
const double kThisVersion = (double)2.9f;
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingRenames[] = "PendingFileRenameOperations";
const int kStatusSentinel = -77;

std::string productKey(const std::string &version) { return std::string(TY_KEY_PRODUCT) + "\\" + version; }

// A string with its terminating zero, as REG_SZ data is stored.
std::string withZero(const std::string &text) { return text + std::string(1, '\0'); }

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
    setValue(path, name, REG_SZ, withZero(text));
}

bool keyExists(const std::string &path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// The value's bytes and type; false when the key or the value is missing.
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

std::vector<std::string> subkeysOf(const std::string &path) {
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS)
        return names;
    char name[256];
    DWORD size = sizeof name;
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &size, NULL, NULL, NULL, NULL) == ERROR_SUCCESS; i++) {
        names.push_back(name);
        size = sizeof name;
    }
    RegCloseKey(key);
    return names;
}

bool pendingRenames(std::string *data) {
    DWORD type;
    return readValue(kSessionManager, kPendingRenames, data, &type);
}

// Files through the C runtime, as the product reaches them.
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

void makeFolder(const std::string &path) { ASSERT_EQ(_mkdir(path.c_str()), 0) << path << " errno " << errno; }

// The name under which Windows also knows an existing item, one that needs no
// long file names.
std::string shortName(const std::string &path) {
    char name[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), name, sizeof name);
    EXPECT_GT(length, 0u) << path;
    EXPECT_LT(length, (DWORD)sizeof name) << path;
    return length > 0 && length < sizeof name ? name : path;
}

std::string wininitPath() {
    char folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    EXPECT_GT(length, 0u);
    EXPECT_LT(length, (UINT)sizeof folder);
    return std::string(folder) + "\\WININIT.INI";
}

// The three calls the main procedure makes, in its order, with every output
// filled with a sentinel first. The third follows whenever the scan found an
// older version.
struct MainCalls {
    bool sameFound;
    int sameStatus;
    char sameDir[TY_REGISTRY_DATA_SIZE];
    bool scanned;
    int scanStatus;
    bool noNewer;
    bool olderFound;
    char olderName[TY_SUBKEY_NAME_SIZE];
    bool olderMade;
    bool olderRead;
    int olderStatus;
    char olderDir[TY_REGISTRY_DATA_SIZE];
};

void fillText(char *buffer, size_t size) {
    memset(buffer, '#', size - 1);
    buffer[size - 1] = '\0';
}

MainCalls makeMainCalls() {
    MainCalls calls;
    fillText(calls.sameDir, sizeof calls.sameDir);
    fillText(calls.olderName, sizeof calls.olderName);
    fillText(calls.olderDir, sizeof calls.olderDir);
    calls.noNewer = false;
    calls.olderFound = true;

    registryStatus = kStatusSentinel;
    calls.sameFound = readRegistryString(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, "2.9",
                                         TY_VALUE_INSTALL_DIR, calls.sameDir);
    calls.sameStatus = registryStatus;

    registryStatus = kStatusSentinel;
    calls.scanned = scanInstalledVersions(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, NULL,
                                          kThisVersion, &calls.noNewer, &calls.olderFound,
                                          calls.olderName);
    calls.scanStatus = registryStatus;

    calls.olderMade = calls.scanned && calls.olderFound;
    calls.olderRead = false;
    calls.olderStatus = kStatusSentinel;
    if (calls.olderMade) {
        registryStatus = kStatusSentinel;
        calls.olderRead = readRegistryString(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME,
                                             calls.olderName, TY_VALUE_INSTALL_DIR, calls.olderDir);
        calls.olderStatus = registryStatus;
    }
    return calls;
}

struct InstalledVersion {
    const char *name;
    const char *installDir;  // NULL: the key has no "InstallDir"
};

}  // namespace

// -- The main procedure's calls over the installed versions ----------------------

struct ScenarioCase {
    const char *name;
    bool productKey;                        // the maker and product keys exist
    std::vector<InstalledVersion> versions; // subkeys, in creation order
    bool sameFound;
    int sameStatus;
    const char *sameDir;
    bool scanned;
    int scanStatus;
    bool noNewer;
    bool olderFound;
    const char *olderName;                  // and a third call is made
    bool olderRead;
    int olderStatus;
    const char *olderDir;
};

void PrintTo(const ScenarioCase &row, std::ostream *os) { *os << row.name; }

class InstalledVersionsTest : public SystemTest, public ::testing::WithParamInterface<ScenarioCase> {};

TEST_P(InstalledVersionsTest, TheMainProceduresCallsAnswer) {
    const ScenarioCase &c = GetParam();
    if (c.productKey) makeKey(TY_KEY_PRODUCT);
    for (const InstalledVersion &version : c.versions) {
        makeKey(productKey(version.name));
        if (version.installDir) setString(productKey(version.name), TY_VALUE_INSTALL_DIR, version.installDir);
    }

    MainCalls calls = makeMainCalls();

    EXPECT_EQ(calls.sameFound, c.sameFound);
    EXPECT_EQ(calls.sameStatus, c.sameStatus) << "got " << calls.sameStatus << ", expected " << c.sameStatus;
    if (c.sameFound) {
        EXPECT_STREQ(calls.sameDir, c.sameDir);
    }
    EXPECT_EQ(calls.scanned, c.scanned);
    EXPECT_EQ(calls.scanStatus, c.scanStatus) << "got " << calls.scanStatus << ", expected " << c.scanStatus;
    EXPECT_EQ(calls.noNewer, c.noNewer);
    EXPECT_EQ(calls.olderFound, c.olderFound);
    ASSERT_EQ(calls.olderMade, c.olderName != NULL) << "older name " << calls.olderName;
    if (!calls.olderMade) return;
    EXPECT_STREQ(calls.olderName, c.olderName);
    EXPECT_EQ(calls.olderRead, c.olderRead);
    EXPECT_EQ(calls.olderStatus, c.olderStatus) << "got " << calls.olderStatus << ", expected " << c.olderStatus;
    if (c.olderRead) {
        EXPECT_STREQ(calls.olderDir, c.olderDir);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Registry, InstalledVersionsTest,
    ::testing::Values(
        ScenarioCase{"NoMakerKey", false, {},
                     false, 5, NULL, false, 5, true, false, NULL, false, 0, NULL},
        ScenarioCase{"ProductKeyWithoutSubkeys", true, {},
                     false, 5, NULL, true, 1, true, false, NULL, false, 0, NULL},
        ScenarioCase{"OlderThenNewer", true, {{"2.5", "C:\\Q25"}, {"3.0", "C:\\Q30"}},
                     false, 5, NULL, true, 1, false, true, "2.5", true, 1, "C:\\Q25"},
        ScenarioCase{"NewerThenOlder", true, {{"3.0", "C:\\Q30"}, {"2.5", "C:\\Q25"}},
                     false, 5, NULL, true, 1, false, true, "2.5", true, 1, "C:\\Q25"},
        ScenarioCase{"TwoTenReadsAsTwoPointOne", true, {{"2.10", "C:\\Q210"}},
                     false, 5, NULL, true, 1, true, true, "2.10", true, 1, "C:\\Q210"},
        ScenarioCase{"TenIsNewer", true, {{"10", "C:\\Q10"}},
                     false, 5, NULL, true, 1, false, false, NULL, false, 0, NULL},
        ScenarioCase{"SettingsReadsAsZeroAndHasNoFolder", true, {{"Settings", NULL}},
                     false, 5, NULL, true, 1, true, true, "Settings", false, 7, NULL},
        ScenarioCase{"TwoNinetyIsOlder", true, {{"2.90", "C:\\Q290"}},
                     false, 5, NULL, true, 1, true, true, "2.90", true, 1, "C:\\Q290"},
        ScenarioCase{"TwoNineBetaIsOlder", true, {{"2.9 beta", "C:\\Q29b"}},
                     false, 5, NULL, true, 1, true, true, "2.9 beta", true, 1, "C:\\Q29b"},
        // "2.9" itself reads as the double 2.9, below the reference; the main
        // procedure stops at the first call before it could matter.
        ScenarioCase{"ThisVersionIsFoundAndScansAsOlder", true, {{"2.9", "C:\\Q29"}},
                     true, 1, "C:\\Q29", true, 1, true, true, "2.9", true, 1, "C:\\Q29"},
        ScenarioCase{"ThisVersionWithoutItsFolder", true, {{"2.9", NULL}},
                     false, 7, NULL, true, 1, true, true, "2.9", false, 7, NULL},
        ScenarioCase{"ExactlyTheReferenceIsNeitherNewerNorOlder", true, {{"2.9000000953674316", "C:\\Q"}},
                     false, 5, NULL, true, 1, true, false, NULL, false, 0, NULL}),
    [](const ::testing::TestParamInfo<ScenarioCase> &info) { return info.param.name; });

TEST_F(SystemTest, TheOlderNameIsTheLastLowerOneEnumeratedNotTheHighest) {
    makeKey(productKey("2.8"));
    makeKey(productKey("Settings"));
    MainCalls calls = makeMainCalls();
    EXPECT_TRUE(calls.scanned);
    EXPECT_TRUE(calls.olderFound);
    EXPECT_STREQ(calls.olderName, "Settings");
}

TEST_F(SystemTest, TwoEightThenTwoFiveGiveTheOneEnumeratedLast) {
    makeKey(productKey("2.8"));
    makeKey(productKey("2.5"));
    // The order is the registry's: creation order on some systems, sorted on
    // others.
    std::vector<std::string> order = subkeysOf(TY_KEY_PRODUCT);
    ASSERT_EQ(order.size(), 2u);
    MainCalls calls = makeMainCalls();
    EXPECT_TRUE(calls.scanned);
    EXPECT_TRUE(calls.noNewer);
    EXPECT_STREQ(calls.olderName, order[1].c_str());
}

TEST_F(SystemTest, TheReferenceIsTwoPointNineInSinglePrecision) {
    EXPECT_EQ(kThisVersion, 2.9000000953674316);
}

TEST_F(SystemTest, ASubkeyNameOfTwoHundredCharactersIsCompared) {
    std::string name = "1" + std::string(199, 'x');
    makeKey(productKey(name));
    MainCalls calls = makeMainCalls();
    EXPECT_TRUE(calls.scanned);
    EXPECT_EQ(calls.scanStatus, 1) << "got " << calls.scanStatus << ", expected 1";
    EXPECT_STREQ(calls.olderName, name.c_str());
}

TEST_F(SystemTest, ASubkeyNameOverTwoHundredCharactersFailsTheScanWithStatus4) {
    makeKey(productKey("2.5"));
    makeKey(productKey("1" + std::string(200, 'x')));
    MainCalls calls = makeMainCalls();
    EXPECT_FALSE(calls.scanned);
    EXPECT_EQ(calls.scanStatus, 4) << "got " << calls.scanStatus << ", expected 4";
}

TEST_F(SystemTest, ASubkeyNameOverTwoHundredCharactersUnderTheMakerKeyFailsTheProbe) {
    makeKey(std::string(TY_KEY_MAKER) + "\\" + std::string(201, 'p'));
    bool hasSubkeys = false;
    registryStatus = kStatusSentinel;
    EXPECT_FALSE(probeKeyHasSubkeys(&hasSubkeys, TY_KEY_MAKER));
    EXPECT_EQ(registryStatus, 0) << "got " << registryStatus << ", expected 0";
    EXPECT_FALSE(hasSubkeys) << "left as it was";
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
        ReadCase{"EmptyValueWithoutBuffer", false, true, withZero(""), true, 1, ""},
        ReadCase{"ValueOfNoBytesWithoutBuffer", false, true, "", true, 1, ""},
        ReadCase{"ValueOfNoBytes", true, true, "", true, 1, ""},
        ReadCase{"MissingValue", true, false, "", false, 7, ""},
        ReadCase{"MissingValueWithoutBuffer", false, false, "", false, 7, ""},
        ReadCase{"LongestThatFits", true, true, withZero(std::string(259, 'd')), true, 1,
                 std::string(259, 'd')},
        ReadCase{"LongestStoredWithoutItsZero", true, true, std::string(259, 'd'), true, 1,
                 std::string(259, 'd')},
        ReadCase{"OverTheBuffer", true, true, withZero(std::string(260, 'd')), false, 0, ""},
        ReadCase{"FillingTheBufferWithoutItsZero", true, true, std::string(260, 'd'), false, 0, ""},
        ReadCase{"OverTheBufferWithoutBufferIsFound", false, true, withZero(std::string(400, 'd')),
                 true, 1, ""}),
    [](const ::testing::TestParamInfo<ReadCase> &info) { return info.param.name; });

TEST_F(SystemTest, AMissingKeyOfThePathIsStatus5) {
    makeKey(TY_KEY_MAKER);
    for (bool withBuffer : {true, false}) {
        SCOPED_TRACE(withBuffer ? "with a buffer" : "without");
        char buffer[TY_REGISTRY_DATA_SIZE] = "sentinel";
        registryStatus = kStatusSentinel;
        EXPECT_FALSE(readRegistryString(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, "2.9",
                                        TY_VALUE_INSTALL_DIR, withBuffer ? buffer : NULL));
        EXPECT_EQ(registryStatus, 5) << "got " << registryStatus << ", expected 5";
        EXPECT_STREQ(buffer, "sentinel");
    }
}

TEST_F(SystemTest, ReadingTheBaseAloneWhenNoComponentIsGiven) {
    setString(kSessionManager, "Probe", "here");
    char buffer[TY_REGISTRY_DATA_SIZE];
    fillText(buffer, sizeof buffer);
    registryStatus = kStatusSentinel;
    EXPECT_TRUE(readRegistryString(HKEY_LOCAL_MACHINE, kSessionManager, NULL, NULL, "Probe", buffer));
    EXPECT_EQ(registryStatus, 1) << "got " << registryStatus << ", expected 1";
    EXPECT_STREQ(buffer, "here");
}

// -- Subkeys -------------------------------------------------------------------

TEST_F(SystemTest, CountSubkeysCountsEveryOne) {
    makeKey(TY_KEY_PRODUCT);
    int count = -1;
    registryStatus = kStatusSentinel;
    EXPECT_TRUE(countSubkeys(HKEY_LOCAL_MACHINE, TY_KEY_PRODUCT, &count));
    EXPECT_EQ(count, 0);
    for (const char *version : {"2.5", "2.7", "2.8"}) makeKey(productKey(version));
    makeKey(productKey("2.8") + "\\Deeper");  // not a subkey of the product key
    count = -1;
    EXPECT_TRUE(countSubkeys(HKEY_LOCAL_MACHINE, TY_KEY_PRODUCT, &count));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(registryStatus, 1) << "got " << registryStatus << ", expected 1";
}

TEST_F(SystemTest, CountSubkeysOfAMissingKeyIsStatus5AndLeavesTheCount) {
    int count = -1;
    registryStatus = kStatusSentinel;
    EXPECT_FALSE(countSubkeys(HKEY_LOCAL_MACHINE, TY_KEY_PRODUCT, &count));
    EXPECT_EQ(registryStatus, 5) << "got " << registryStatus << ", expected 5";
    EXPECT_EQ(count, -1);
}

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
                                           ProbeCase{"NoSubkeys", true, 0, false},
                                           ProbeCase{"OneSubkey", true, 1, true},
                                           ProbeCase{"TwoSubkeys", true, 2, true}),
                         [](const ::testing::TestParamInfo<ProbeCase> &info) { return info.param.name; });

// -- Writing -------------------------------------------------------------------

struct ComposeCase {
    const char *name;
    const char *base;
    const char *part1;
    const char *part2;
    const char *path;
};

void PrintTo(const ComposeCase &row, std::ostream *os) { *os << row.name; }

class CreateRegistryKeyTest : public SystemTest, public ::testing::WithParamInterface<ComposeCase> {};

TEST_P(CreateRegistryKeyTest, CreatesTheJoinedPathThenOpensIt) {
    const ComposeCase &c = GetParam();
    registryStatus = kStatusSentinel;
    EXPECT_TRUE(createRegistryKey(HKEY_LOCAL_MACHINE, c.base, c.part1, c.part2));
    EXPECT_EQ(registryStatus, 9) << "got " << registryStatus << ", expected 9";
    EXPECT_TRUE(keyExists(c.path)) << c.path;
    registryStatus = kStatusSentinel;
    EXPECT_TRUE(createRegistryKey(HKEY_LOCAL_MACHINE, c.base, c.part1, c.part2));
    EXPECT_EQ(registryStatus, 8) << "got " << registryStatus << ", expected 8";
}

INSTANTIATE_TEST_SUITE_P(
    Registry, CreateRegistryKeyTest,
    ::testing::Values(
        ComposeCase{"BaseOnly", TY_KEY_MAKER, NULL, NULL, TY_KEY_MAKER},
        ComposeCase{"OneComponent", TY_KEY_MAKER, TY_PRODUCT_NAME, NULL, TY_KEY_PRODUCT},
        ComposeCase{"TwoComponents", TY_KEY_MAKER, TY_PRODUCT_NAME, "2.9", TY_KEY_VERSION},
        ComposeCase{"UninstallEntry", TY_KEY_UNINSTALL, TY_PRODUCT_NAME_VERSION, NULL,
                    TY_KEY_UNINSTALL "\\" TY_PRODUCT_NAME_VERSION}),
    [](const ::testing::TestParamInfo<ComposeCase> &info) { return info.param.name; });

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
    EXPECT_STREQ(data, "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS");
}

TEST_F(SystemTest, APresentValueIsLeftAndItsDataHandedBack) {
    setString(TY_KEY_RUN, TY_VALUE_RUN_SCHEDULER, "D:\\Elsewhere\\Tessaly Ticklet.exe");
    char data[TY_REGISTRY_DATA_SIZE] = "C:\\New\\Tessaly Ticklet.exe";
    registryStatus = kStatusSentinel;
    EXPECT_TRUE(setRegistryValueIfAbsent(HKEY_LOCAL_MACHINE, TY_KEY_RUN, NULL, NULL,
                                         TY_VALUE_RUN_SCHEDULER, data));
    EXPECT_EQ(registryStatus, 12) << "got " << registryStatus << ", expected 12";
    EXPECT_STREQ(data, "D:\\Elsewhere\\Tessaly Ticklet.exe");
    std::string stored;
    DWORD type = 0;
    ASSERT_TRUE(readValue(TY_KEY_RUN, TY_VALUE_RUN_SCHEDULER, &stored, &type));
    EXPECT_EQ(stored, withZero("D:\\Elsewhere\\Tessaly Ticklet.exe"));
}

TEST_F(SystemTest, AValueUnderAMissingKeyIsStatus5AndMakesNoKey) {
    char data[TY_REGISTRY_DATA_SIZE] = "C:\\Q";
    registryStatus = kStatusSentinel;
    EXPECT_FALSE(setRegistryValueIfAbsent(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, "2.9",
                                          TY_VALUE_INSTALL_DIR, data));
    EXPECT_EQ(registryStatus, 5) << "got " << registryStatus << ", expected 5";
    EXPECT_FALSE(keyExists(TY_KEY_MAKER));
}

struct DeleteCase {
    const char *name;
    bool makeParent;
    bool makeItem;
    bool result;
    int status;
};

void PrintTo(const DeleteCase &row, std::ostream *os) { *os << row.name; }

class DeleteRegistryValueTest : public SystemTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(DeleteRegistryValueTest, AnswersAndLeavesNoValue) {
    const DeleteCase &c = GetParam();
    if (c.makeParent) makeKey(TY_KEY_VERSION);
    if (c.makeItem) setString(TY_KEY_VERSION, TY_VALUE_INSTALL_DIR, "C:\\Q");
    setString(TY_KEY_RUN, "Someone Else", "C:\\Other.exe");
    registryStatus = kStatusSentinel;
    EXPECT_EQ(deleteRegistryValue(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, "2.9",
                                  TY_VALUE_INSTALL_DIR),
              c.result);
    EXPECT_EQ(registryStatus, c.status) << "got " << registryStatus << ", expected " << c.status;
    std::string data;
    DWORD type;
    EXPECT_FALSE(readValue(TY_KEY_VERSION, TY_VALUE_INSTALL_DIR, &data, &type));
    EXPECT_TRUE(readValue(TY_KEY_RUN, "Someone Else", &data, &type));
}

INSTANTIATE_TEST_SUITE_P(Registry, DeleteRegistryValueTest,
                         ::testing::Values(DeleteCase{"Present", true, true, true, 1},
                                           DeleteCase{"Absent", true, false, false, 14},
                                           DeleteCase{"KeyMissing", false, false, false, 5}),
                         [](const ::testing::TestParamInfo<DeleteCase> &info) { return info.param.name; });

class DeleteRegistryKeyTest : public SystemTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(DeleteRegistryKeyTest, AnswersAndLeavesNoKey) {
    const DeleteCase &c = GetParam();
    if (c.makeParent) makeKey(TY_KEY_PRODUCT);
    if (c.makeItem) setString(TY_KEY_VERSION, TY_VALUE_INSTALL_DIR, "C:\\Q");
    makeKey(productKey("2.5"));
    registryStatus = kStatusSentinel;
    EXPECT_EQ(deleteRegistryKey(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, NULL, "2.9"), c.result);
    EXPECT_EQ(registryStatus, c.status) << "got " << registryStatus << ", expected " << c.status;
    EXPECT_FALSE(keyExists(TY_KEY_VERSION));
    EXPECT_TRUE(keyExists(productKey("2.5")));
}

INSTANTIATE_TEST_SUITE_P(Registry, DeleteRegistryKeyTest,
                         ::testing::Values(DeleteCase{"Present", true, true, true, 1},
                                           DeleteCase{"Absent", true, false, false, 13}),
                         [](const ::testing::TestParamInfo<DeleteCase> &info) { return info.param.name; });

TEST_F(SystemTest, DeletingAKeyUnderAMissingParentIsStatus5) {
    registryStatus = kStatusSentinel;
    EXPECT_FALSE(deleteRegistryKey(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, NULL, "2.9"));
    EXPECT_EQ(registryStatus, 5) << "got " << registryStatus << ", expected 5";
}

// The Windows 95 family deletes the subkeys too.
TEST_F(SystemTest, AKeyWithSubkeysIsNotDeletedOnTheNtFamily) {
    if (!useFamily(2)) GTEST_SKIP() << "the system is not of the NT family";
    makeKey(productKey("2.5"));
    registryStatus = kStatusSentinel;
    EXPECT_FALSE(deleteRegistryKey(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, NULL, NULL, TY_PRODUCT_NAME));
    EXPECT_EQ(registryStatus, 0) << "got " << registryStatus << ", expected 0";
    EXPECT_TRUE(keyExists(productKey("2.5")));
}

// -- Pending restart operations ------------------------------------------------

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
    case kWininit: writeFile(wininitPath(), "[Rename]\r\nNUL=C:\\OLD.TMP\r\n"); break;
    case kEmptyWininit: writeFile(wininitPath(), ""); break;
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
                      PendingCase{"NtValueEmpty", 2, kEmptyValue, true},
                      PendingCase{"NtValueAbsent", 2, kNothing, false},
                      PendingCase{"NtIgnoresWininit", 2, kWininit, false},
                      PendingCase{"Win95WininitPresent", 4, kWininit, true},
                      PendingCase{"Win95WininitEmpty", 4, kEmptyWininit, true},
                      PendingCase{"Win95WininitAbsent", 4, kNothing, false},
                      PendingCase{"Win95IgnoresTheValue", 4, kValue, false},
                      PendingCase{"Family3NeverLooksAtWininit", 3, kWininit, false},
                      PendingCase{"Family3NeverLooksAtTheValue", 3, kValue, false}),
    [](const ::testing::TestParamInfo<PendingCase> &info) { return info.param.name; });

// -- Deletion now or at the next start -------------------------------------------

class DeleteNowOrAtRebootTest : public SystemTest {
protected:
    // Nothing handed over anywhere.
    void expectNothingScheduled() {
        std::string data;
        EXPECT_FALSE(pendingRenames(&data)) << "scheduled: " << data;
        EXPECT_FALSE(exists(wininitPath())) << readFile(wininitPath());
    }
};

TEST_F(DeleteNowOrAtRebootTest, AbsentItemsCountAsGoneAndNothingIsScheduled) {
    makeFolder(inFolder("empty"));
    const char *families[] = {"NT", "Windows 95"};
    int family[] = {2, 4};
    for (int i = 0; i < 2; i++) {
        SCOPED_TRACE(families[i]);
        if (!useFamily(family[i])) continue;
        EXPECT_TRUE(deleteNowOrAtReboot(inFolder("absent.dat").c_str(), false));
        EXPECT_TRUE(deleteNowOrAtReboot(inFolder("absent").c_str(), true));
        EXPECT_TRUE(deleteNowOrAtReboot(inFolder("absent\\inside.dat").c_str(), false));
        EXPECT_TRUE(deleteNowOrAtReboot(inFolder("absent\\inside").c_str(), true));
    }
    expectNothingScheduled();
    EXPECT_TRUE(exists(inFolder("empty")));
}

TEST_F(DeleteNowOrAtRebootTest, AFileIsGoneNow) {
    writeFile(inFolder("TYQuenfold.ini"), "[Settings]\r\n");
    EXPECT_TRUE(deleteNowOrAtReboot(inFolder("TYQuenfold.ini").c_str(), false));
    EXPECT_FALSE(exists(inFolder("TYQuenfold.ini")));
    expectNothingScheduled();
}

TEST_F(DeleteNowOrAtRebootTest, AnEmptyFolderIsGoneNow) {
    makeFolder(inFolder("Quenfold"));
    EXPECT_TRUE(deleteNowOrAtReboot(inFolder("Quenfold").c_str(), true));
    EXPECT_FALSE(exists(inFolder("Quenfold")));
    expectNothingScheduled();
}

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
    std::string data;
    ASSERT_TRUE(pendingRenames(&data)) << "nothing scheduled";
    EXPECT_NE(data.find(path), std::string::npos) << "scheduled: " << data;
    EXPECT_FALSE(exists(wininitPath()));
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
    std::string data;
    ASSERT_TRUE(pendingRenames(&data)) << "nothing scheduled";
    size_t fileAt = data.find(file);
    size_t folderAt = data.find(inFolder("Quenfold") + std::string(1, '\0'));
    ASSERT_NE(fileAt, std::string::npos) << "scheduled: " << data;
    ASSERT_NE(folderAt, std::string::npos) << "scheduled: " << data;
    EXPECT_LT(fileAt, folderAt);
}

TEST_F(DeleteNowOrAtRebootTest, AFileInUseIsWrittenToWininitOnTheWindows95Family) {
    if (!useFamily(4)) GTEST_SKIP() << "the system is not of the Windows 95 family";
    std::string path = inFolder("Tessaly Quenfold.exe");
    writeFile(path, "MZ");
    int held = _open(path.c_str(), _O_RDONLY | _O_BINARY);
    ASSERT_NE(held, -1);
    bool gone = deleteNowOrAtReboot(path.c_str(), false);
    _close(held);
    EXPECT_FALSE(gone);
    EXPECT_TRUE(exists(path));
    // Windows 95 and 98 pass over a line with a long name.
    std::string line = "NUL=" + shortName(path);
    EXPECT_EQ(line.find(' '), std::string::npos) << "got " << line << ", expected a short name";
    EXPECT_EQ(readFile(wininitPath()), "[Rename]\r\n" + line + "\r\n");
    std::string data;
    EXPECT_FALSE(pendingRenames(&data)) << "scheduled: " << data;
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
    if (c.before) writeFile(wininitPath(), c.before);
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
    EXPECT_EQ(readFile(wininitPath()), c.head + lines + c.tail);
}

INSTANTIATE_TEST_SUITE_P(
    DeferredDelete, WininitHandOverTest,
    ::testing::Values(
        WininitCase{"NoFile", NULL, "[Rename]\r\n", ""},
        WininitCase{"EmptyFile", "", "[Rename]\r\n", ""},
        WininitCase{"NoRenameSection", "[boot]\r\nshell=Explorer.exe\r\n",
                    "[boot]\r\nshell=Explorer.exe\r\n[Rename]\r\n", ""},
        WininitCase{"NoFinalLineBreak", "[boot]\r\nshell=Explorer.exe",
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
                    "[boot]\r\nx=1\r\n"},
        WininitCase{"LineFeedsOnly", "[Rename]\nNUL=C:\\OLD.TMP\n\n[boot]\nx=1\n",
                    "[Rename]\nNUL=C:\\OLD.TMP\n", "\n[boot]\nx=1\n"}),
    [](const ::testing::TestParamInfo<WininitCase> &info) { return info.param.name; });
