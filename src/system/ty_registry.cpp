#include "ty_registry.h"

#include <stdlib.h>
#include <string.h>

#include "ty_setup_state.h"

int registryStatus = TY_REG_OK;

// base, then "\" part1 and "\" part2 when given, into path (TY_PATH_SIZE
// bytes). A path that does not fit is refused rather than cut: a cut path
// names some other key.
static bool composeKeyPath(char *path, const char *base, const char *part1, const char *part2) {
    const char *parts[3] = {base, part1, part2};
    size_t used = 0;
    for (int i = 0; i < 3; i++) {
        if (parts[i] == NULL || (i > 0 && parts[i][0] == '\0')) continue;
        size_t length = strlen(parts[i]);
        size_t separator = i > 0 ? 1 : 0;
        if (length + separator >= TY_PATH_SIZE - used) return false;
        if (separator) path[used++] = '\\';
        memcpy(path + used, parts[i], length);
        used += length;
    }
    path[used] = '\0';
    return true;
}

static void setOpenFailureStatus(LONG result) {
    registryStatus = result == ERROR_FILE_NOT_FOUND ? TY_REG_KEY_NOT_FOUND : TY_REG_FAILED;
}

// Every primitive ends here: a key that will not close turns its answer into
// a failure, whatever the job's outcome was.
static bool closeKey(HKEY key, bool result) {
    if (RegCloseKey(key) != ERROR_SUCCESS) {
        registryStatus = TY_REG_CLOSE_FAILED;
        return false;
    }
    return result;
}

// Opens the composed key with access; false with the status set.
static bool openComposedKey(HKEY root, const char *base, const char *part1, const char *part2,
                            REGSAM access, HKEY *key) {
    char path[TY_PATH_SIZE];
    if (!composeKeyPath(path, base, part1, part2)) {
        registryStatus = TY_REG_FAILED;
        return false;
    }
    LONG result = RegOpenKeyExA(root, path, 0, access, key);
    if (result != ERROR_SUCCESS) {
        setOpenFailureStatus(result);
        return false;
    }
    return true;
}

// REG_SZ data may have been stored without its terminator; what was read is
// made a string within the buffer, or refused when there is no room for the
// terminator.
static bool terminateData(char *buffer, DWORD size) {
    if (size < TY_REGISTRY_DATA_SIZE) {
        buffer[size] = '\0';
        return true;
    }
    return buffer[TY_REGISTRY_DATA_SIZE - 1] == '\0';
}

bool readRegistryString(HKEY root, const char *base, const char *part1, const char *part2,
                        const char *valueName, char *buffer) {
    registryStatus = TY_REG_OK;
    HKEY key;
    if (!openComposedKey(root, base, part1, part2, KEY_QUERY_VALUE, &key)) return false;
    LONG result;
    DWORD size = TY_REGISTRY_DATA_SIZE;
    if (buffer != NULL) {
        result = RegQueryValueExA(key, valueName, NULL, NULL, (BYTE *)buffer, &size);
    } else {
        result = RegQueryValueExA(key, valueName, NULL, NULL, NULL, NULL);
    }
    bool found = false;
    if (result == ERROR_SUCCESS) {
        found = buffer == NULL || terminateData(buffer, size);
        if (!found) registryStatus = TY_REG_FAILED;
    } else if (result == ERROR_FILE_NOT_FOUND) {
        registryStatus = TY_REG_VALUE_NOT_FOUND;
    } else {
        registryStatus = TY_REG_FAILED;
    }
    return closeKey(key, found);
}

// Hands every subkey name of an open key to visit (when given), in the
// registry's order, and counts them; true once the registry said there were
// no more. Closing the key is the caller's.
static bool walkSubkeys(HKEY key, void (*visit)(const char *name, void *context), void *context,
                        DWORD *count) {
    char name[TY_SUBKEY_NAME_SIZE];
    for (*count = 0;; ++*count) {
        DWORD nameSize = sizeof name;
        LONG result = RegEnumKeyExA(key, *count, name, &nameSize, NULL, NULL, NULL, NULL);
        if (result == ERROR_NO_MORE_ITEMS) return true;
        if (result != ERROR_SUCCESS) {
            registryStatus = TY_REG_ENUM_FAILED;
            return false;
        }
        if (visit != NULL) visit(name, context);
    }
}

bool countSubkeys(HKEY root, const char *keyPath, int *count) {
    registryStatus = TY_REG_OK;
    HKEY key;
    LONG result = RegOpenKeyExA(root, keyPath, 0, KEY_ENUMERATE_SUB_KEYS, &key);
    if (result != ERROR_SUCCESS) {
        setOpenFailureStatus(result);
        return false;
    }
    DWORD seen;
    bool complete = walkSubkeys(key, NULL, NULL, &seen);
    if (complete) *count = (int)seen;
    return closeKey(key, complete);
}

bool probeKeyHasSubkeys(bool *hasSubkeys, const char *keyPath) {
    registryStatus = TY_REG_OK;
    int count = 0;
    if (countSubkeys(HKEY_LOCAL_MACHINE, keyPath, &count)) {
        *hasSubkeys = count > 0;
        return true;
    }
    if (registryStatus == TY_REG_KEY_NOT_FOUND) {
        *hasSubkeys = false;
        registryStatus = TY_REG_OK;
        return true;
    }
    registryStatus = TY_REG_FAILED;
    return false;
}

struct VersionScan {
    double reference;
    bool *noNewer;
    bool *olderFound;
    char *olderName;
};

// Names are compared as numbers, so "2.10" is 2.1 and "Settings" 0; the
// caller's reference decides what counts as this very version.
static void compareVersion(const char *name, void *context) {
    VersionScan *scan = (VersionScan *)context;
    double version = atof(name);
    if (version > scan->reference) {
        *scan->noNewer = false;
    } else if (version < scan->reference) {
        *scan->olderFound = true;
        strcpy(scan->olderName, name);
    }
}

bool scanInstalledVersions(HKEY root, const char *base, const char *part1, const char *part2,
                           double reference, bool *noNewer, bool *olderFound, char *olderName) {
    *noNewer = true;
    *olderFound = false;
    registryStatus = TY_REG_OK;
    HKEY key;
    if (!openComposedKey(root, base, part1, part2, KEY_ENUMERATE_SUB_KEYS, &key)) return false;
    VersionScan scan = {reference, noNewer, olderFound, olderName};
    DWORD seen;
    return closeKey(key, walkSubkeys(key, compareVersion, &scan, &seen));
}

bool createRegistryKey(HKEY root, const char *base, const char *part1, const char *part2) {
    registryStatus = TY_REG_OK;
    char path[TY_PATH_SIZE];
    if (!composeKeyPath(path, base, part1, part2)) {
        registryStatus = TY_REG_FAILED;
        return false;
    }
    HKEY key;
    DWORD disposition = 0;
    LONG result = RegCreateKeyExA(root, path, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                  NULL, &key, &disposition);
    if (result != ERROR_SUCCESS) {
        registryStatus = TY_REG_CREATE_FAILED;
        return false;
    }
    registryStatus = disposition == REG_CREATED_NEW_KEY ? TY_REG_KEY_CREATED : TY_REG_KEY_OPENED;
    return closeKey(key, true);
}

bool setRegistryValueIfAbsent(HKEY root, const char *base, const char *part1, const char *part2,
                              const char *valueName, char *data) {
    registryStatus = TY_REG_OK;
    HKEY key;
    if (!openComposedKey(root, base, part1, part2, KEY_QUERY_VALUE | KEY_SET_VALUE, &key))
        return false;
    char present[TY_REGISTRY_DATA_SIZE];
    DWORD size = sizeof present;
    LONG result = RegQueryValueExA(key, valueName, NULL, NULL, (BYTE *)present, &size);
    bool done = false;
    if (result == ERROR_SUCCESS && terminateData(present, size)) {
        strcpy(data, present);
        registryStatus = TY_REG_VALUE_PRESENT;
        done = true;
    } else if (result == ERROR_FILE_NOT_FOUND) {
        result = RegSetValueExA(key, valueName, 0, REG_SZ, (const BYTE *)data,
                                (DWORD)strlen(data) + 1);
        done = result == ERROR_SUCCESS;
        registryStatus = done ? TY_REG_VALUE_WRITTEN : TY_REG_FAILED;
    } else {
        registryStatus = TY_REG_FAILED;
    }
    return closeKey(key, done);
}

bool deleteRegistryValue(HKEY root, const char *base, const char *part1, const char *part2,
                         const char *valueName) {
    registryStatus = TY_REG_OK;
    HKEY key;
    if (!openComposedKey(root, base, part1, part2, KEY_SET_VALUE, &key)) return false;
    LONG result = RegDeleteValueA(key, valueName);
    if (result == ERROR_FILE_NOT_FOUND) {
        registryStatus = TY_REG_VALUE_ABSENT;
    } else if (result != ERROR_SUCCESS) {
        registryStatus = TY_REG_FAILED;
    }
    return closeKey(key, result == ERROR_SUCCESS);
}

bool deleteRegistryKey(HKEY root, const char *base, const char *part1, const char *part2,
                       const char *subkeyName) {
    registryStatus = TY_REG_OK;
    HKEY key;
    if (!openComposedKey(root, base, part1, part2, KEY_ALL_ACCESS, &key)) return false;
    LONG result = RegDeleteKeyA(key, subkeyName);
    if (result == ERROR_FILE_NOT_FOUND) {
        registryStatus = TY_REG_SUBKEY_NOT_FOUND;
    } else if (result != ERROR_SUCCESS) {
        registryStatus = TY_REG_FAILED;
    }
    return closeKey(key, result == ERROR_SUCCESS);
}
