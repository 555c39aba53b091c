// The product's registry entries: what a write leaves in the registry, where
// it stops, and that the removal after a failed write gives the registry back
// as it was. Faults come through the Windows test program's import slots.
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
#include "ty_standin_system_control.h"

namespace {

const char kInstallDir[] = "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS\\";
const char kRunValue[] = "Tessaly Ticklet for Vexor for DOS";
const int kStageSentinel = -55;

// Every value name the writer or a test puts anywhere.
const char *const kValueNames[] = {
    "InstallDir", kRunValue, "DisplayName", "UninstallString", "Comments", "Contact",
    "DisplayIcon", "DisplayVersion", "HelpLink", "Publisher", "Readme", "URLInfoAbout",
    "URLUpdateInfo", "Other"};

// Every key under path with the values of kValueNames, one line each, in a
// fixed order.
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
        std::string data;
        DWORD type;
        if (!readValue(path, name, &data, &type)) continue;
        std::ostringstream line;
        line << "type " << type << " \"" << data.substr(0, data.size() - 1) << "\" size " << data.size();
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
    // Whatever else the writer might leave lands beside the maker's key.
    HKEY software;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ENUMERATE_SUB_KEYS, &software) == ERROR_SUCCESS) {
        char name[256];
        DWORD size = sizeof name;
        for (DWORD index = 0; RegEnumKeyExA(software, index, name, &size, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
             index++, size = sizeof name)
            lines["SOFTWARE\\" + std::string(name)] = "key";
        RegCloseKey(software);
    }
    addTree("SOFTWARE\\Tessaly", &lines);
    addTree("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", &lines);
    addTree("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", &lines);
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
        if (machine == kMakerHasOtherProduct) setString("SOFTWARE\\Tessaly\\Other Product\\1.0", "Other", "kept");
        if (machine == kProductHasOtherVersion)
            setString("SOFTWARE\\Tessaly\\Quenfold for Vexor for DOS\\2.5", "Other", "kept");
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

// -- A failing call at each step, then the removal, on each kind of machine -----

struct StepFault {
    const char *name;
    StandinRegistryCall call;
    int nth;
};

std::ostream &operator<<(std::ostream &os, const StepFault &row) { return os << row.name; }

// In the order the writer takes its steps: a failure at the first leaves
// nothing to remove (outcome 0), any later one something (1).
const StepFault kStepFaults[] = {
    {"MakerKey", kStandinRegCreateKey, 1},
    {"ProductKey", kStandinRegCreateKey, 2},
    {"VersionKey", kStandinRegCreateKey, 3},
    {"InstallDir", kStandinRegSetValue, 1},
    {"RunKey", kStandinRegCreateKey, 4},
    {"RunValue", kStandinRegSetValue, 2},
    {"UninstallKey", kStandinRegCreateKey, 5},
    {"DisplayName", kStandinRegSetValue, 3},
    {"UninstallString", kStandinRegSetValue, 4},
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
    int outcome = remove(stage);
    EXPECT_EQ(outcome, fault.call == kStandinRegCreateKey && fault.nth == 1 ? 0 : 1) << "got outcome " << outcome;
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

// The third of the removal's five closes, the version key's.
TEST_F(RegistryEntriesTest, AKeyThatWillNotCloseWhileRemovingGivesOutcome6AndTheOtherStepsStillRun) {
    std::string before = snapshot();
    int stage;
    ASSERT_TRUE(write(&stage));
    standinFailRegistryCall(kStandinRegCloseKey, 3, ERROR_INVALID_HANDLE);
    int outcome = remove(stage);
    EXPECT_EQ(outcome, 6) << "got outcome " << outcome;
    EXPECT_EQ(snapshot(), before);  // the deletions were made before the close
}
