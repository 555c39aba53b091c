// The product's registry entries: what a write leaves in the registry, where
// it stops, and that the removal after a failed write gives the registry back
// as it was. Faults come from the stand-in: these run on the host only.
#include <ctype.h>
#include <string.h>
#include <windows.h>

#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include "ty_product.h"
#include "ty_registry.h"
#include "ty_registry_entries.h"
#include "ty_setup_state.h"
#include "ty_standin.h"
#include "ty_system_test_support.h"

namespace {

const char kInstallDir[] = "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS\\";
const char kVersionKey[] = "SOFTWARE\\Tessaly\\Quenfold for Vexor for DOS\\2.9";
const char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenfold for Vexor for DOS 2.9";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValue[] = "Tessaly Ticklet for Vexor for DOS";
const int kStageSentinel = -55;

// Every value name the writer or a test puts anywhere.
const char *const kValueNames[] = {
    "InstallDir", kRunValue, "DisplayName", "UninstallString", "Comments", "Contact",
    "DisplayIcon", "DisplayVersion", "HelpLink", "Publisher", "Readme", "URLInfoAbout",
    "URLUpdateInfo", "Other"};

struct Value {
    bool found;
    DWORD type;
    std::string data;  // as stored, terminator included
};

Value readValue(const std::string &path, const char *name) {
    Value value = {false, 0xEEEEEEEE, "<sentinel>"};
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return value;
    char data[1024];
    memset(data, 0xEE, sizeof data);
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, NULL, &value.type, (BYTE *)data, &size) == ERROR_SUCCESS) {
        value.found = true;
        value.data.assign(data, size);
    }
    RegCloseKey(key);
    return value;
}

void setString(const std::string &path, const char *name, const std::string &text) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, NULL, &key, NULL),
              ERROR_SUCCESS)
        << path;
    EXPECT_EQ(RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text.c_str(), (DWORD)text.size() + 1),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void makeKey(const std::string &path) { setString(path, "Other", "kept"); }

// Every key under SOFTWARE and SYSTEM with the values of kValueNames, one
// line each, in a fixed order.
void addTree(const std::string &path, std::map<std::string, std::string> *lines) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS) {
        (*lines)[path] = "<cannot open>";
        return;
    }
    std::string upper = path;
    for (char &c : upper) c = (char)toupper((unsigned char)c);
    (*lines)[upper] = "key";
    for (const char *name : kValueNames) {
        Value value = readValue(path, name);
        if (!value.found) continue;
        std::ostringstream line;
        line << "type " << value.type << " \"" << value.data.substr(0, value.data.size() - 1) << "\" size "
             << value.data.size();
        (*lines)[upper + " : " + name] = line.str();
    }
    char name[256];
    for (DWORD index = 0;; index++) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, index, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
        addTree(path + "\\" + name, lines);
    }
    RegCloseKey(key);
}

std::string snapshot() {
    std::map<std::string, std::string> lines;
    addTree("SOFTWARE", &lines);
    addTree("SYSTEM", &lines);
    std::string text;
    for (const auto &line : lines) text += line.first + " = " + line.second + "\n";
    return text;
}

// The machines a write can meet, with the flags the main procedure takes from
// them before the wizard.
enum Machine { kFresh, kMakerHasOtherProduct, kProductHasOtherVersion };

const char *machineName(Machine machine) {
    switch (machine) {
    case kFresh: return "Fresh";
    case kMakerHasOtherProduct: return "MakerHasOtherProduct";
    default: return "ProductHasOtherVersion";
    }
}

class RegistryEntriesTest : public SystemTest {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        strcpy(setupState.installDir, kInstallDir);
        setupState.makerKeyHadSubkeys = false;
        setupState.productKeyHadSubkeys = false;
    }

    void arrange(Machine machine) {
        if (machine == kMakerHasOtherProduct) makeKey("SOFTWARE\\Tessaly\\Other Product\\1.0");
        if (machine == kProductHasOtherVersion) makeKey("SOFTWARE\\Tessaly\\Quenfold for Vexor for DOS\\2.5");
        ASSERT_TRUE(probeKeyHasSubkeys(&setupState.makerKeyHadSubkeys, TY_KEY_MAKER));
        ASSERT_TRUE(probeKeyHasSubkeys(&setupState.productKeyHadSubkeys, TY_KEY_PRODUCT));
    }

    bool write(int *stage) {
        *stage = kStageSentinel;
        return writeProductRegistryEntries(stage);
    }

    int remove(int stage) {
        int outcome = 0;
        removeProductRegistryEntries(stage, &outcome);
        return outcome;
    }
};

}  // namespace

// -- A complete write ----------------------------------------------------------

struct ValueRow {
    const char *name;   // test name
    const char *key;
    const char *value;
    const char *data;
};

void PrintTo(const ValueRow &row, std::ostream *os) { *os << row.name; }

class WrittenValueTest : public RegistryEntriesTest, public ::testing::WithParamInterface<ValueRow> {};

TEST_P(WrittenValueTest, IsAStringWithItsTerminatorCounted) {
    const ValueRow &row = GetParam();
    int stage;
    ASSERT_TRUE(write(&stage)) << "stage " << stage;
    Value value = readValue(row.key, row.value);
    ASSERT_TRUE(value.found) << row.key << " : " << row.value;
    EXPECT_EQ(value.type, (DWORD)REG_SZ) << "got type " << value.type;
    EXPECT_EQ(value.data, std::string(row.data, strlen(row.data) + 1));
}

INSTANTIATE_TEST_SUITE_P(
    RegistryEntries, WrittenValueTest,
    ::testing::Values(
        ValueRow{"InstallDir", kVersionKey, "InstallDir",
                 "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS"},
        ValueRow{"Run", kRunKey, kRunValue,
                 "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS\\Tessaly Ticklet.exe"},
        ValueRow{"DisplayName", kUninstallKey, "DisplayName", "Quenfold for Vexor for DOS 2.9"},
        ValueRow{"UninstallString", kUninstallKey, "UninstallString",
                 "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS\\uninstaller.exe"},
        ValueRow{"Comments", kUninstallKey, "Comments", "An Tessaly\xae Product"},
        ValueRow{"Contact", kUninstallKey, "Contact", "support@tessaly.example"},
        ValueRow{"DisplayIcon", kUninstallKey, "DisplayIcon",
                 "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS\\Tessaly Quenfold.exe"},
        ValueRow{"DisplayVersion", kUninstallKey, "DisplayVersion", "2.9"},
        ValueRow{"HelpLink", kUninstallKey, "HelpLink", "http://www.tessaly.example/support"},
        ValueRow{"Publisher", kUninstallKey, "Publisher", "Tessaly Ltd."},
        ValueRow{"Readme", kUninstallKey, "Readme",
                 "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS\\quenfold_for_vexor_for_dos.hlp"},
        ValueRow{"URLInfoAbout", kUninstallKey, "URLInfoAbout", "http://www.tessaly.example"},
        ValueRow{"URLUpdateInfo", kUninstallKey, "URLUpdateInfo", "http://www.tessaly.example"}),
    [](const ::testing::TestParamInfo<ValueRow> &info) { return std::string(info.param.name); });

int countLines(const std::string &text, const std::string &marker) {
    int count = 0;
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) count++;
    return count;
}

TEST_F(RegistryEntriesTest, ACompleteWriteAddsFourKeysAndThirteenValuesAndNothingElse) {
    std::string before = snapshot();
    int stage = kStageSentinel;
    EXPECT_TRUE(write(&stage));
    EXPECT_EQ(stage, 8);
    std::string after = snapshot();
    for (const char *key : {"SOFTWARE\\TESSALY = key\n", "SOFTWARE\\TESSALY\\QUENFOLD FOR VEXOR FOR DOS = key\n",
                            "SOFTWARE\\TESSALY\\QUENFOLD FOR VEXOR FOR DOS\\2.9 = key\n",
                            "UNINSTALL\\QUENFOLD FOR VEXOR FOR DOS 2.9 = key\n"})
        EXPECT_NE(after.find(key), std::string::npos) << key << "missing from\n" << after;
    EXPECT_EQ(countLines(after, " = key\n") - countLines(before, " = key\n"), 4) << after;
    EXPECT_EQ(countLines(after, " : ") - countLines(before, " : "), 13) << after;
}

// -- Where the write stops ------------------------------------------------------

struct PresentRow {
    const char *name;
    void (*arrange)();
    int stage;
    const char *key;     // the entry that was there before
    const char *value;   // NULL: the key itself
};

void PrintTo(const PresentRow &row, std::ostream *os) { *os << row.name; }

class AlreadyPresentTest : public RegistryEntriesTest, public ::testing::WithParamInterface<PresentRow> {};

// An entry that was there before stops the write uncounted, so that the
// removal leaves it as it was: it belongs to someone else.
TEST_P(AlreadyPresentTest, StopsTheWriteAndSurvivesTheRemoval) {
    const PresentRow &row = GetParam();
    row.arrange();
    int stage;
    EXPECT_FALSE(write(&stage));
    EXPECT_EQ(stage, row.stage) << "got stage " << stage;
    if (row.value == NULL) {
        EXPECT_FALSE(readValue(row.key, row.key == kVersionKey ? "InstallDir" : "DisplayName").found)
            << "written into a key that was there before";
    }
    int outcome = remove(stage);
    EXPECT_EQ(outcome, 1) << "got outcome " << outcome;
    Value value = readValue(row.key, row.value != NULL ? row.value : "Other");
    EXPECT_TRUE(value.found) << "the entry that was there before is gone";
    EXPECT_EQ(value.data, std::string("left over\0", 10));
}

INSTANTIATE_TEST_SUITE_P(
    RegistryEntries, AlreadyPresentTest,
    ::testing::Values(
        // The main procedure found the maker and product keys holding it.
        PresentRow{"VersionKey",
                   [] {
                       setString(kVersionKey, "Other", "left over");
                       setupState.makerKeyHadSubkeys = true;
                       setupState.productKeyHadSubkeys = true;
                   },
                   2, kVersionKey, NULL},
        PresentRow{"RunValue", [] { setString(kRunKey, kRunValue, "left over"); }, 4, kRunKey, kRunValue},
        PresentRow{"UninstallKey", [] { setString(kUninstallKey, "Other", "left over"); }, 5, kUninstallKey,
                   NULL}),
    [](const ::testing::TestParamInfo<PresentRow> &info) { return std::string(info.param.name); });

TEST_F(RegistryEntriesTest, ARunValueLeftOverStaysAndTheVersionKeyGoes) {
    setString(kRunKey, kRunValue, "left over");
    int stage;
    EXPECT_FALSE(write(&stage));
    EXPECT_EQ(remove(stage), 1);
    EXPECT_TRUE(readValue(kRunKey, kRunValue).found) << "the left-over Run value was removed";
    EXPECT_FALSE(readValue(kVersionKey, "InstallDir").found);
    EXPECT_FALSE(readValue(kUninstallKey, "DisplayName").found);
}

// -- A failing call at each step, then the removal, on each kind of machine -----

struct StepFault {
    const char *name;
    StandinRegistryCall call;
    int nth;
    int stage;
};

std::ostream &operator<<(std::ostream &os, const StepFault &row) { return os << row.name; }

const StepFault kStepFaults[] = {
    {"MakerKey", kStandinRegCreateKey, 1, 0},
    {"ProductKey", kStandinRegCreateKey, 2, 1},
    {"VersionKey", kStandinRegCreateKey, 3, 2},
    {"InstallDir", kStandinRegSetValue, 1, 3},
    {"RunKey", kStandinRegCreateKey, 4, 4},
    {"RunValue", kStandinRegSetValue, 2, 4},
    {"UninstallKey", kStandinRegCreateKey, 5, 5},
    {"DisplayName", kStandinRegSetValue, 3, 6},
    {"UninstallString", kStandinRegSetValue, 4, 7},
};

class StepFaultTest : public RegistryEntriesTest,
                      public ::testing::WithParamInterface<std::tuple<StepFault, Machine>> {};

TEST_P(StepFaultTest, TheRemovalLeavesTheRegistryAsItWas) {
    const StepFault &fault = std::get<0>(GetParam());
    arrange(std::get<1>(GetParam()));
    std::string before = snapshot();
    standinFailRegistryCall(fault.call, fault.nth, ERROR_ACCESS_DENIED);
    int stage;
    EXPECT_FALSE(write(&stage));
    EXPECT_EQ(stage, fault.stage) << "got stage " << stage;
    int outcome = remove(stage);
    EXPECT_EQ(outcome, fault.stage == 0 ? 0 : 1) << "got outcome " << outcome;
    EXPECT_EQ(snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(
    RegistryEntries, StepFaultTest,
    ::testing::Combine(::testing::ValuesIn(kStepFaults),
                       ::testing::Values(kFresh, kMakerHasOtherProduct, kProductHasOtherVersion)),
    [](const ::testing::TestParamInfo<std::tuple<StepFault, Machine>> &info) {
        return std::string(std::get<0>(info.param).name) + "_" + machineName(std::get<1>(info.param));
    });

class CompleteRemovalTest : public RegistryEntriesTest, public ::testing::WithParamInterface<Machine> {};

TEST_P(CompleteRemovalTest, OfAFullWriteLeavesTheRegistryAsItWas) {
    arrange(GetParam());
    std::string before = snapshot();
    int stage;
    EXPECT_TRUE(write(&stage));
    int outcome = remove(stage);
    EXPECT_EQ(outcome, 1) << "got outcome " << outcome;
    EXPECT_EQ(snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(RegistryEntries, CompleteRemovalTest,
                         ::testing::Values(kFresh, kMakerHasOtherProduct, kProductHasOtherVersion),
                         [](const ::testing::TestParamInfo<Machine> &info) {
                             return std::string(machineName(info.param));
                         });

// -- Keys that will not close ---------------------------------------------------

struct CloseRow {
    const char *name;
    int nth;      // the writer's nth RegCloseKey: one per step
    bool result;
    int stage;
};

void PrintTo(const CloseRow &row, std::ostream *os) { *os << row.name; }

class CloseWhileWritingTest : public RegistryEntriesTest, public ::testing::WithParamInterface<CloseRow> {};

TEST_P(CloseWhileWritingTest, FailsTheStepOrIsIgnoredForDescriptiveValues) {
    const CloseRow &row = GetParam();
    standinFailRegistryCall(kStandinRegCloseKey, row.nth, ERROR_INVALID_HANDLE);
    int stage;
    EXPECT_EQ(write(&stage), row.result);
    EXPECT_EQ(stage, row.stage) << "got stage " << stage;
}

INSTANTIATE_TEST_SUITE_P(
    RegistryEntries, CloseWhileWritingTest,
    ::testing::Values(CloseRow{"MakerKey", 1, false, 0}, CloseRow{"ProductKey", 2, false, 1},
                      CloseRow{"VersionKey", 3, false, 2}, CloseRow{"InstallDir", 4, false, 3},
                      CloseRow{"RunKey", 5, false, 4}, CloseRow{"RunValue", 6, false, 4},
                      CloseRow{"UninstallKey", 7, false, 5}, CloseRow{"DisplayName", 8, false, 6},
                      CloseRow{"UninstallString", 9, false, 7}, CloseRow{"Comments", 10, true, 8},
                      CloseRow{"URLUpdateInfo", 18, true, 8}),
    [](const ::testing::TestParamInfo<CloseRow> &info) { return std::string(info.param.name); });

TEST_F(RegistryEntriesTest, AValueWrittenBeforeItsKeyWouldNotCloseGoesWithTheVersionKey) {
    std::string before = snapshot();
    standinFailRegistryCall(kStandinRegCloseKey, 4, ERROR_INVALID_HANDLE);
    int stage;
    EXPECT_FALSE(write(&stage));
    EXPECT_EQ(stage, 3);
    EXPECT_EQ(remove(stage), 1);
    EXPECT_EQ(snapshot(), before);
}

class CloseWhileRemovingTest : public RegistryEntriesTest, public ::testing::WithParamInterface<int> {};

TEST_P(CloseWhileRemovingTest, GivesOutcome6AndTheOtherStepsStillRun) {
    std::string before = snapshot();
    int stage;
    ASSERT_TRUE(write(&stage));
    standinFailRegistryCall(kStandinRegCloseKey, GetParam(), ERROR_INVALID_HANDLE);
    int outcome = remove(stage);
    EXPECT_EQ(outcome, 6) << "got outcome " << outcome;
    EXPECT_EQ(snapshot(), before);  // the deletions were made before the close
}

// The removal's five steps on a fresh machine: uninstall entry, Run value,
// version key, product key, maker key.
INSTANTIATE_TEST_SUITE_P(RegistryEntries, CloseWhileRemovingTest, ::testing::Values(1, 2, 3, 4, 5));

// -- The removal's outcome ------------------------------------------------------

TEST_F(RegistryEntriesTest, ARemovalThatFindsItsEntriesAlreadyGoneGivesOutcome1) {
    std::string before = snapshot();
    int stage;
    ASSERT_TRUE(write(&stage));
    HKEY uninstall;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, TY_KEY_UNINSTALL, 0, KEY_ALL_ACCESS, &uninstall), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(uninstall, TY_PRODUCT_NAME_VERSION), ERROR_SUCCESS);
    RegCloseKey(uninstall);
    HKEY run;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_ALL_ACCESS, &run), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(run, kRunValue), ERROR_SUCCESS);
    RegCloseKey(run);
    int outcome = remove(stage);
    EXPECT_EQ(outcome, 1) << "got outcome " << outcome;
    EXPECT_EQ(snapshot(), before);
}

TEST_F(RegistryEntriesTest, AnUninstallEntryThatCannotBeDeletedGivesOutcome6AndTheRestGoes) {
    int stage;
    ASSERT_TRUE(write(&stage));
    standinFailRegistryCall(kStandinRegDeleteKey, 1, ERROR_ACCESS_DENIED);
    int outcome = remove(stage);
    EXPECT_EQ(outcome, 6) << "got outcome " << outcome;
    EXPECT_TRUE(readValue(kUninstallKey, "DisplayName").found);
    EXPECT_FALSE(readValue(kRunKey, kRunValue).found);
    EXPECT_FALSE(readValue(kVersionKey, "InstallDir").found);
}

TEST_F(RegistryEntriesTest, NothingToRemoveKeepsTheCallersOutcome) {
    int outcome = 0;
    removeProductRegistryEntries(0, &outcome);
    EXPECT_EQ(outcome, 0);
}

// -- Descriptive values and values too long -------------------------------------

TEST_F(RegistryEntriesTest, APublisherThatCannotBeWrittenIsLeftOut) {
    standinFailRegistryCall(kStandinRegSetValue, 10, ERROR_ACCESS_DENIED);
    int stage;
    EXPECT_TRUE(write(&stage));
    EXPECT_EQ(stage, 8);
    EXPECT_FALSE(readValue(kUninstallKey, "Publisher").found);
    EXPECT_TRUE(readValue(kUninstallKey, "URLUpdateInfo").found);
}

struct LengthRow {
    const char *name;
    size_t length;        // of installDir, its backslash included
    bool result;
    int stage;
    const char *key;
    const char *absent;   // the value that would not fit
};

void PrintTo(const LengthRow &row, std::ostream *os) { *os << row.name; }

class LongFolderTest : public RegistryEntriesTest, public ::testing::WithParamInterface<LengthRow> {};

TEST_P(LongFolderTest, AValueThatDoesNotFitIsAFailureOfItsStep) {
    const LengthRow &row = GetParam();
    std::string folder = "C:\\" + std::string(row.length - 4, 'q') + "\\";
    strcpy(setupState.installDir, folder.c_str());
    int stage;
    EXPECT_EQ(write(&stage), row.result);
    EXPECT_EQ(stage, row.stage) << "got stage " << stage;
    EXPECT_FALSE(readValue(row.key, row.absent).found) << row.absent;
}

INSTANTIATE_TEST_SUITE_P(
    RegistryEntries, LongFolderTest,
    ::testing::Values(
        // "quenfold_for_vexor_for_dos.hlp" no longer fits; "Tessaly Quenfold.exe" does.
        LengthRow{"ReadmeLeftOut", 230, true, 8, kUninstallKey, "Readme"},
        // "Tessaly Ticklet.exe" no longer fits: nothing after "InstallDir".
        LengthRow{"RunValueRefused", 241, false, 4, kRunKey, kRunValue}),
    [](const ::testing::TestParamInfo<LengthRow> &info) { return std::string(info.param.name); });
