// The system tests' machine on Windows: the real registry, Windows folder and
// file system. Every test starts without "PendingFileRenameOperations" and
// WININIT.INI (set aside, and put back afterwards) and without the maker's
// key; afterwards whatever the test created under the keys these tests work
// in is deleted again. Whether a registry key was left open cannot be seen
// here; the host's run checks that.
#include <fcntl.h>
#include <io.h>
#include <string.h>
#include <sys/stat.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "ty_product.h"
#include "ty_system_test_support.h"
#include "ty_test_platform.h"

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingRenames[] = "PendingFileRenameOperations";

// Keys whose new subkeys a test may leave, and keys whose new values.
const char *const kSubkeysWatched[] = {"SOFTWARE", TY_KEY_UNINSTALL};
const char *const kValuesWatched[] = {TY_KEY_RUN, kSessionManager};

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

// A file moved out of the way for the test.
struct SavedFile {
    bool present;
    std::string content;
};

std::string wininitPath() {
    char folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) {
        ADD_FAILURE() << "GetWindowsDirectoryA: error " << GetLastError();
        return "";
    }
    return std::string(folder) + "\\WININIT.INI";
}

SavedFile takeFileAway(const std::string &path) {
    SavedFile saved = {false, ""};
    int descriptor = _open(path.c_str(), _O_RDONLY | _O_BINARY);
    if (descriptor == -1) return saved;
    char chunk[4096];
    int got;
    while ((got = _read(descriptor, chunk, sizeof chunk)) > 0) saved.content.append(chunk, (size_t)got);
    _close(descriptor);
    saved.present = true;
    if (_unlink(path.c_str()) != 0) ADD_FAILURE() << "could not set " << path << " aside";
    return saved;
}

// Removes what the test made, then puts back what was there before.
void putFileBack(const std::string &path, const SavedFile &saved) {
    if (_access(path.c_str(), 0) == 0 && _unlink(path.c_str()) != 0)
        ADD_FAILURE() << "could not remove " << path << " (left open?)";
    if (!saved.present) return;
    int descriptor = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (descriptor == -1 ||
        _write(descriptor, saved.content.data(), (unsigned)saved.content.size()) != (int)saved.content.size())
        ADD_FAILURE() << "could not put " << path << " back";
    if (descriptor != -1) _close(descriptor);
}

SavedValue savedRenames;
SavedFile savedWininit;
std::vector<std::set<std::string>> subkeysBefore, valuesBefore;

}  // namespace

void SystemTest::SetUp() {
    savedRenames = takeValueAway(kSessionManager, kPendingRenames);
    savedWininit = takeFileAway(wininitPath());
    subkeysBefore.clear();
    for (const char *path : kSubkeysWatched) subkeysBefore.push_back(subkeysOf(path));
    valuesBefore.clear();
    for (const char *path : kValuesWatched) valuesBefore.push_back(valuesOf(path));
    folder = makePrivateFolder();
    ASSERT_FALSE(folder.empty());
    HKEY maker;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, 0, KEY_QUERY_VALUE, &maker) == ERROR_SUCCESS) {
        RegCloseKey(maker);
        FAIL() << "the machine already has " TY_KEY_MAKER "; these tests need one without it";
    }
}

void SystemTest::TearDown() {
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
    putFileBack(wininitPath(), savedWininit);
    if (!folder.empty()) removePrivateFolder(folder);
}

// The family cannot be chosen from inside the process: Wine answers
// GetVersion as its prefix or the program's settings say.
bool SystemTest::useFamily(int family) {
    DWORD version = GetVersion();
    int current = (version & 0x80000000u) == 0 ? 2 : (version & 0xFF) >= 4 ? 4 : 3;
    return family == current;
}

std::string SystemTest::inFolder(const std::string &name) const { return folder + "\\" + name; }
