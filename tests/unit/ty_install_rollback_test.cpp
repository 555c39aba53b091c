// The rollback on its own, after a failure of the installation: which folders
// go, which stay for the next start, and the reports the user reads, in
// their order and under their conditions.
#include <string.h>

#include "ty_install_test_support.h"
#include "ty_progress_page.h"
#include "ty_rollback.h"
#include "ty_shortcuts.h"

namespace {

const HWND kOwner = (HWND)(uintptr_t)0x4321;
const char kInstalledFolder[] = "C:\\Program Files\\Tessaly\\Quenfold for Vexor for DOS";

// The items handed to Windows for deletion at the next start, each followed
// by "|".
std::string pendingDeletions() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "<no key>";
    char data[4096];
    DWORD size = sizeof data;
    LONG result = RegQueryValueExA(key, "PendingFileRenameOperations", NULL, NULL, (BYTE *)data, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return "";
    std::string list;
    for (size_t at = 0; at < size && data[at] != '\0'; at += strlen(data + at) + 2)
        list += std::string(data + at) + "|";
    return list;
}

struct Flags {
    bool maker;
    bool product;
};
inline void PrintTo(const Flags &flags, std::ostream *os) {
    *os << "maker key had subkeys " << flags.maker << ", product key " << flags.product;
}

}  // namespace

// Every file of the package installed, nothing else in the folders.
class RollbackTest : public InstallTest {
protected:
    void SetUp() override {
        InstallTest::SetUp();
        makeFolder(kDefaultInstallDir);
        for (const PackageFile &file : files)
            makeFile(kDefaultInstallDir + file.name, std::string(file.content.begin(), file.content.end()));
    }

    int rollback(int registryOutcome, int shortcutOutcome) {
        int outcome = -1;
        ProductRun run = runProduct([&] {
            outcome = rollbackInstallation(kOwner, 25, registryOutcome, shortcutOutcome);
        });
        EXPECT_FALSE(run.exited);
        return outcome;
    }
};

// -- The reports -------------------------------------------------------------------

struct ReportCase {
    const char *name;
    int shortcutOutcome;
    bool startMenuFolderSet;
    int registryOutcome;
    std::vector<std::string> reports;
};
TY_PRINT_ROW_AS_NAME(ReportCase)

class RollbackReportTest : public RollbackTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(RollbackReportTest, ShowsTheReportsTheOutcomesCallFor) {
    const ReportCase &row = GetParam();
    if (row.startMenuFolderSet) strcpy(setupState.startMenuFolder, kStartMenuFolder);
    EXPECT_EQ(rollback(row.registryOutcome, row.shortcutOutcome), TY_FILES_REMOVED);
    std::vector<std::string> shown;
    for (const StandinMessageBox &box : standinMessageBoxes()) shown.push_back(box.text);
    EXPECT_EQ(shown, row.reports);
    for (size_t i = 0; i < standinMessageBoxes().size(); i++) {
        const StandinMessageBox &box = standinMessageBoxes()[i];
        UINT style = box.text == kShortcutsLeftText + kStartMenuFolder ? MB_ICONWARNING : MB_ICONERROR;
        expectBox(i, box.text, style, kOwner);
    }
    EXPECT_FALSE(exists(kMakerFolder));
}

INSTANTIATE_TEST_SUITE_P(
    Rollback, RollbackReportTest,
    ::testing::Values(
        ReportCase{"NothingUndoneElsewhere", 0, true, 0, {}},
        ReportCase{"EverythingRemoved", 1, true, 1, {}},
        ReportCase{"ShortcutsLeftForTheNextStart", 3, true, 0, {kShortcutsLeftText + kStartMenuFolder}},
        ReportCase{"ShortcutNotLocated", 4, true, 0, {kSystemProblemText}},
        ReportCase{"ShortcutNotLocatedWithoutAStartMenuFolder", 4, false, 0, {}},
        ReportCase{"RegistryEntriesLeft", 0, false, 6, {kRegistryLeftText}},
        ReportCase{"AllThree", 5, true, 6,
                   {kShortcutsLeftText + kStartMenuFolder, kSystemProblemText, kRegistryLeftText}}),
    [](const ::testing::TestParamInfo<ReportCase> &info) { return info.param.name; });

// -- The maker's folder --------------------------------------------------------------

class MakerFolderTest : public RollbackTest, public ::testing::WithParamInterface<Flags> {};

TEST_P(MakerFolderTest, GoesOnlyWhenNeitherKeyHeldAnotherEntry) {
    setupState.makerKeyHadSubkeys = GetParam().maker;
    setupState.productKeyHadSubkeys = GetParam().product;
    bool kept = GetParam().maker || GetParam().product;
    EXPECT_EQ(rollback(0, 0), TY_FILES_REMOVED);
    EXPECT_TRUE(standinMessageBoxes().empty()) << describeBoxes();
    EXPECT_FALSE(exists(kDefaultInstallDir));
    EXPECT_EQ(exists(kMakerFolder), kept);
    EXPECT_EQ(pendingDeletions(), "");
}

// Something else in the product's folder keeps it, and the maker's folder
// above it, for the next start. The files report comes first and names the
// outermost folder that was handed over.
TEST_P(MakerFolderTest, AForeignFileLeavesTheFoldersForTheNextStartAndIsReportedFirst) {
    setupState.makerKeyHadSubkeys = GetParam().maker;
    setupState.productKeyHadSubkeys = GetParam().product;
    bool kept = GetParam().maker || GetParam().product;
    makeFile(std::string(kDefaultInstallDir) + "notes.txt", "mine");
    strcpy(setupState.startMenuFolder, kStartMenuFolder);
    EXPECT_EQ(rollback(6, 5), TY_FILES_DEFERRED);

    ASSERT_EQ(standinMessageBoxes().size(), 4u) << describeBoxes();
    expectBox(0, kFilesLeftText + (kept ? kInstalledFolder : kMakerFolder), MB_ICONINFORMATION, kOwner);
    expectBox(1, kShortcutsLeftText + kStartMenuFolder, MB_ICONWARNING, kOwner);
    expectBox(2, kSystemProblemText, MB_ICONERROR, kOwner);
    expectBox(3, kRegistryLeftText, MB_ICONERROR, kOwner);
    expectFiles(1, 24, false);
    std::string pending = std::string("\\??\\") + kDefaultInstallDir + "|";
    if (!kept) pending += std::string("\\??\\") + kMakerFolder + "|";
    EXPECT_EQ(pendingDeletions(), pending);
}

INSTANTIATE_TEST_SUITE_P(Rollback, MakerFolderTest,
                         ::testing::Values(Flags{false, false}, Flags{true, false},
                                           Flags{false, true}),
                         [](const ::testing::TestParamInfo<Flags> &info) {
                             return std::string(info.param.maker ? "MakerKey" : "NoMakerKey") +
                                    (info.param.product ? "ProductKey" : "NoProductKey");
                         });

// -- Destinations of the user's own ------------------------------------------------

TEST_F(RollbackTest, OutsideAMakersFolderOnlyTheProductsFolderGoes) {
    makeFolder("C:\\Apps\\Quenfold");
    strcpy(setupState.installDir, "C:\\Apps\\Quenfold\\");
    EXPECT_EQ(rollback(0, 0), TY_FILES_REMOVED);
    EXPECT_FALSE(exists("C:\\Apps\\Quenfold"));
    EXPECT_TRUE(exists("C:\\Apps"));
    EXPECT_TRUE(standinMessageBoxes().empty()) << describeBoxes();
}

TEST_F(RollbackTest, FolderLevelsTheInstallationMadeGoWithIt) {
    char installDir[TY_PATH_SIZE] = "C:\\New\\Deeper\\Quenfold\\";
    ASSERT_TRUE(ensureFolderChain(installDir));
    strcpy(setupState.installDir, installDir);
    makeFile("C:\\New\\Deeper\\Quenfold\\" + files[0].name, "licence");
    EXPECT_EQ(rollback(0, 0), TY_FILES_REMOVED);
    EXPECT_FALSE(exists("C:\\New"));
    EXPECT_TRUE(exists("C:\\Program Files"));
    EXPECT_TRUE(standinMessageBoxes().empty()) << describeBoxes();
}
