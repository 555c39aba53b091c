// The system tests' machine on Windows: the real registry and file system,
// with a private folder as the Windows folder. Every test starts without
// "PendingFileRenameOperations" (set aside, and put back afterwards) and
// without the maker's key; afterwards whatever the test created under the
// keys these tests work in is deleted again.
#include <string.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "ty_product.h"
#include "ty_standin_system_control.h"
#include "ty_system_test_support.h"
#include "ty_test_platform.h"

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingRenames[] = "PendingFileRenameOperations";

// Keys whose new subkeys a test may leave, and keys whose new values.
const char *const kSubkeysWatched[] = {"SOFTWARE", TY_KEY_UNINSTALL};
const char *const kValuesWatched[] = {TY_KEY_RUN, kSessionManager,
                                      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"};

std::set<std::string> subkeysOf(const char *path) {
    std::set<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS)
        return names;
    char name[256];
    DWORD size = sizeof name;
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &size, NULL, NULL, NULL, NULL) == ERROR_SUCCESS; i++) {
        names.insert(name);
        size = sizeof name;
    }
    RegCloseKey(key);
    return names;
}

std::set<std::string> valuesOf(const char *path) {
    std::set<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return names;
    static char name[16384];
    DWORD size = sizeof name;
    for (DWORD i = 0; RegEnumValueA(key, i, name, &size, NULL, NULL, NULL, NULL) == ERROR_SUCCESS; i++) {
        names.insert(name);
        size = sizeof name;
    }
    RegCloseKey(key);
    return names;
}

// The NT family deletes only keys without subkeys.
LONG deleteKeyTree(HKEY parent, const std::string &name) {
    HKEY key;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        char child[256];
        DWORD size = sizeof child;
        while (RegEnumKeyExA(key, 0, child, &size, NULL, NULL, NULL, NULL) == ERROR_SUCCESS) {
            if (deleteKeyTree(key, child) != ERROR_SUCCESS) break;
            size = sizeof child;
        }
        RegCloseKey(key);
    }
    return RegDeleteKeyA(parent, name.c_str());
}

LONG deleteValue(const char *path, const char *name) {
    HKEY key;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, &key);
    if (result != ERROR_SUCCESS) return result;
    result = RegDeleteValueA(key, name);
    RegCloseKey(key);
    return result;
}

// A value moved out of the way for the test.
struct SavedValue {
    bool present;
    DWORD type;
    std::vector<BYTE> data;
};

SavedValue takeValueAway(const char *path, const char *name) {
    SavedValue saved = {false, 0, {}};
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return saved;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, NULL, &saved.type, NULL, &size) == ERROR_SUCCESS) {
        saved.data.resize(size);
        saved.present = RegQueryValueExA(key, name, NULL, &saved.type, saved.data.data(), &size) ==
                        ERROR_SUCCESS;
        saved.data.resize(size);
        if (saved.present && RegDeleteValueA(key, name) != ERROR_SUCCESS)
            ADD_FAILURE() << "could not set " << name << " aside";
    }
    RegCloseKey(key);
    return saved;
}

void putValueBack(const char *path, const char *name, const SavedValue &saved) {
    if (!saved.present) return;
    HKEY key;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, &key);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExA(key, name, 0, saved.type, saved.data.data(), (DWORD)saved.data.size());
        RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS) ADD_FAILURE() << "could not put " << name << " back: error " << result;
}

SavedValue savedRenames;
std::string windowsFolder;
std::vector<std::set<std::string>> subkeysBefore, valuesBefore;

// The folders of drive C: and of its programs folder, by name.
std::set<std::string> foldersOf(const std::string &path) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) names.insert(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

const char *const kFoldersWatched[] = {"C:", "C:\\Program Files"};
std::vector<std::set<std::string>> foldersBefore;

}  // namespace

void machineBefore() {
    platformReset();
    savedRenames = takeValueAway(kSessionManager, kPendingRenames);
    subkeysBefore.clear();
    for (const char *path : kSubkeysWatched) subkeysBefore.push_back(subkeysOf(path));
    valuesBefore.clear();
    for (const char *path : kValuesWatched) valuesBefore.push_back(valuesOf(path));
    foldersBefore.clear();
    for (const char *path : kFoldersWatched) foldersBefore.push_back(foldersOf(path));
    HKEY maker;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, 0, KEY_QUERY_VALUE, &maker) == ERROR_SUCCESS) {
        RegCloseKey(maker);
        FAIL() << "the machine already has " TY_KEY_MAKER "; these tests need one without it";
    }
}

void machineAfter() {
    EXPECT_EQ(standinOpenRegistryKeyCount(), 0) << "registry keys left open";
    platformReset();
    for (size_t i = 0; i < subkeysBefore.size(); i++) {
        for (const std::string &name : subkeysOf(kSubkeysWatched[i])) {
            if (subkeysBefore[i].count(name)) continue;
            HKEY parent;
            LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSubkeysWatched[i], 0, KEY_ALL_ACCESS, &parent);
            if (result == ERROR_SUCCESS) {
                result = deleteKeyTree(parent, name);
                RegCloseKey(parent);
            }
            if (result != ERROR_SUCCESS)
                ADD_FAILURE() << "could not delete " << kSubkeysWatched[i] << "\\" << name << ": error " << result;
        }
    }
    for (size_t i = 0; i < valuesBefore.size(); i++) {
        for (const std::string &name : valuesOf(kValuesWatched[i])) {
            if (valuesBefore[i].count(name)) continue;
            LONG result = deleteValue(kValuesWatched[i], name.c_str());
            if (result != ERROR_SUCCESS)
                ADD_FAILURE() << "could not delete " << name << " of " << kValuesWatched[i] << ": error " << result;
        }
    }
    putValueBack(kSessionManager, kPendingRenames, savedRenames);
    for (size_t i = 0; i < foldersBefore.size(); i++)
        for (const std::string &name : foldersOf(kFoldersWatched[i]))
            if (!foldersBefore[i].count(name)) removePrivateFolder(std::string(kFoldersWatched[i]) + "\\" + name);
}

void SystemTest::SetUp() {
    machineBefore();
    folder = makePrivateFolder();
    windowsFolder = makePrivateFolder();
    ASSERT_FALSE(folder.empty() || windowsFolder.empty());
    standinSetWindowsDirectory(windowsFolder.c_str());
}

void SystemTest::TearDown() {
    machineAfter();
    if (!folder.empty()) removePrivateFolder(folder);
    if (!windowsFolder.empty()) removePrivateFolder(windowsFolder);
}

// The family cannot be chosen from inside the process: Wine answers
// GetVersion as its prefix or the program's settings say.
bool SystemTest::useFamily(int family) {
    DWORD version = GetVersion();
    int current = (version & 0x80000000u) == 0 ? 2 : (version & 0xFF) >= 4 ? 4 : 3;
    return family == current;
}

std::string SystemTest::inFolder(const std::string &name) const { return folder + "\\" + name; }
