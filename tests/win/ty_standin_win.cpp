// The stand-in's controls (ty_standin.h and its companions) over real
// Windows: what a test records or makes fail reaches the product through the
// import slots of ty_import_slots_win.cpp, its allocations and streams
// through -Wl,--wrap; everything else is the system's own answer.
#include <direct.h>
#include <errno.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "ty_import_slots_win.h"
#include "ty_standin.h"

namespace {

std::vector<StandinMessageBox> messageBoxes;

// The allocation and stream wrappers run before any constructor: plain
// values only. The product's second thread allocates beside the page; a lock
// of the threads library would allocate itself.
volatile LONG countersHeld;
long allocationCalls;
long failAllocationAt;
size_t failAllocationSize;
bool failAllocationBySize;

int fwriteCalls;
int shortFwriteAt;
size_t shortFwriteItems;
const int kMaxStreams = 64;
FILE *openStreams[kMaxStreams];

struct ReadFault {
    int atCall;
    int result;
};
std::vector<ReadFault> readFaults;
int readCalls;

std::vector<std::string> deniedPaths;
std::string windowsDirectory;
std::string modulePath;

struct RegistryFault {
    StandinRegistryCall call;
    int atCall;
    LONG error;
};
std::vector<RegistryFault> registryFaults;
int registryCalls[kStandinRegCallKinds];
std::set<HKEY> openKeys;

bool denied(const char *path) {
    for (const std::string &each : deniedPaths)
        if (path != NULL && each == path) return true;
    return false;
}

bool countedAllocationFails(size_t size) {
    while (InterlockedExchange(&countersHeld, 1) != 0) Sleep(0);
    bool fails = ++allocationCalls == failAllocationAt || (failAllocationBySize && size == failAllocationSize);
    if (allocationCalls == failAllocationAt) failAllocationAt = 0;
    InterlockedExchange(&countersHeld, 0);
    return fails;
}

// The error of the nth call of this kind, when a test asked for one.
LONG registryFault(StandinRegistryCall call) {
    int count = ++registryCalls[call];
    for (const RegistryFault &fault : registryFaults)
        if (fault.call == call && fault.atCall == count) return fault.error;
    return ERROR_SUCCESS;
}

int WINAPI recordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    messageBoxes.push_back({owner, text ? text : "", caption ? caption : "", style, caption == NULL});
    return IDOK;
}

// -- Files

int __cdecl readWithFaults(int descriptor, void *buffer, unsigned int count) {
    int call = ++readCalls;
    for (const ReadFault &fault : readFaults) {
        if (fault.atCall != call) continue;
        if (fault.result > 0) {
            unsigned int part = (unsigned int)fault.result < count ? (unsigned int)fault.result : count;
            if (REAL(_read)(descriptor, buffer, part) < 0) return -1;
        }
        return fault.result;
    }
    return REAL(_read)(descriptor, buffer, count);
}

int __cdecl accessUnlessDenied(const char *path, int mode) {
    if (denied(path)) return errno = EACCES, -1;
    return REAL(_access)(path, mode);
}

int __cdecl unlinkUnlessDenied(const char *path) {
    if (denied(path)) return errno = EACCES, -1;
    return REAL(_unlink)(path);
}

int __cdecl rmdirUnlessDenied(const char *path) {
    if (denied(path)) return errno = EACCES, -1;
    return REAL(_rmdir)(path);
}

BOOL WINAPI deleteUnlessDenied(LPCSTR path) {
    if (denied(path)) return SetLastError(ERROR_ACCESS_DENIED), FALSE;
    return REAL(DeleteFileA)(path);
}

BOOL WINAPI copyUnlessDenied(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    if (denied(to)) return SetLastError(ERROR_ACCESS_DENIED), FALSE;
    return REAL(CopyFileA)(from, to, failIfExists);
}

// -- Kernel

UINT WINAPI windowsDirectoryOrNone(LPSTR buffer, UINT size) {
    if (windowsDirectory.empty()) return 0;
    UINT length = (UINT)windowsDirectory.size();
    if (buffer == NULL || length + 1 > size) return length + 1;
    memcpy(buffer, windowsDirectory.c_str(), length + 1);
    return length;
}

BOOL WINAPI refuseMove(LPCSTR, LPCSTR, DWORD) { return SetLastError(ERROR_ACCESS_DENIED), FALSE; }

DWORD WINAPI modulePathOrNone(HMODULE, LPSTR fileName, DWORD size) {
    if (modulePath.empty() || size == 0) return 0;
    size_t length = modulePath.size() < size ? modulePath.size() : size - 1;
    memcpy(fileName, modulePath.data(), length);
    fileName[length] = '\0';
    return length < modulePath.size() ? size : (DWORD)length;
}

// -- Registry: each call counted, failed on request, its keys kept track of.

LONG keyOpened(LONG result, PHKEY key) {
    if (result == ERROR_SUCCESS) openKeys.insert(*key);
    return result;
}

LONG WINAPI openKey(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    LONG error = registryFault(kStandinRegOpenKey);
    if (error != ERROR_SUCCESS) return error;
    return keyOpened(REAL(RegOpenKeyExA)(key, subKey, options, access, result), result);
}

LONG WINAPI createKey(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                      REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
    LONG error = registryFault(kStandinRegCreateKey);
    if (error != ERROR_SUCCESS) return error;
    return keyOpened(REAL(RegCreateKeyExA)(key, subKey, reserved, keyClass, options, access, security,
                                           result, disposition),
                     result);
}

LONG WINAPI queryValue(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    LONG error = registryFault(kStandinRegQueryValue);
    return error != ERROR_SUCCESS ? error : REAL(RegQueryValueExA)(key, name, reserved, type, data, size);
}

LONG WINAPI setValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data, DWORD size) {
    LONG error = registryFault(kStandinRegSetValue);
    return error != ERROR_SUCCESS ? error : REAL(RegSetValueExA)(key, name, reserved, type, data, size);
}

LONG WINAPI enumKey(HKEY key, DWORD index, LPSTR name, LPDWORD size, LPDWORD reserved, LPSTR keyClass,
                    LPDWORD classSize, PFILETIME written) {
    LONG error = registryFault(kStandinRegEnumKey);
    return error != ERROR_SUCCESS
               ? error
               : REAL(RegEnumKeyExA)(key, index, name, size, reserved, keyClass, classSize, written);
}

LONG WINAPI deleteKey(HKEY key, LPCSTR subKey) {
    LONG error = registryFault(kStandinRegDeleteKey);
    return error != ERROR_SUCCESS ? error : REAL(RegDeleteKeyA)(key, subKey);
}

LONG WINAPI deleteValue(HKEY key, LPCSTR name) {
    LONG error = registryFault(kStandinRegDeleteValue);
    return error != ERROR_SUCCESS ? error : REAL(RegDeleteValueA)(key, name);
}

// The handle is gone whether the close fails or not.
LONG WINAPI closeKey(HKEY key) {
    LONG error = registryFault(kStandinRegCloseKey);
    openKeys.erase(key);
    LONG result = REAL(RegCloseKey)(key);
    return error != ERROR_SUCCESS ? error : result;
}

}  // namespace

void standinReset() {
    restoreImportSlots();
    replaceImport(MessageBoxA, recordBox);
    replaceImport(_read, readWithFaults);
    replaceImport(_access, accessUnlessDenied);
    replaceImport(_unlink, unlinkUnlessDenied);
    replaceImport(_rmdir, rmdirUnlessDenied);
    replaceImport(DeleteFileA, deleteUnlessDenied);
    replaceImport(CopyFileA, copyUnlessDenied);
    replaceImport(RegOpenKeyExA, openKey);
    replaceImport(RegCreateKeyExA, createKey);
    replaceImport(RegQueryValueExA, queryValue);
    replaceImport(RegSetValueExA, setValue);
    replaceImport(RegEnumKeyExA, enumKey);
    replaceImport(RegDeleteKeyA, deleteKey);
    replaceImport(RegDeleteValueA, deleteValue);
    replaceImport(RegCloseKey, closeKey);
    // As on the stand-in, no command interpreter is named.
    SetEnvironmentVariableA("COMSPEC", NULL);
    messageBoxes.clear();
    failAllocationAt = 0;
    failAllocationBySize = false;
    shortFwriteAt = 0;
    for (FILE *&stream : openStreams) {
        if (stream != NULL) fclose(stream);
        stream = NULL;
    }
    readFaults.clear();
    deniedPaths.clear();
    windowsDirectory.clear();
    modulePath.clear();
    registryFaults.clear();
    for (int &count : registryCalls) count = 0;
    for (HKEY key : openKeys) REAL(RegCloseKey)(key);
    openKeys.clear();
}

const std::vector<StandinMessageBox> &standinMessageBoxes() { return messageBoxes; }

// -- Allocation

extern "C" void *__real_malloc(size_t size);
extern "C" void *__real_calloc(size_t count, size_t size);

extern "C" void *__wrap_malloc(size_t size) {
    return countedAllocationFails(size) ? NULL : __real_malloc(size);
}

extern "C" void *__wrap_calloc(size_t count, size_t size) {
    return countedAllocationFails(count * size) ? NULL : __real_calloc(count, size);
}

void standinFailAllocation(int nth) { failAllocationAt = allocationCalls + nth; }

void standinFailAllocationOfSize(size_t size) {
    failAllocationSize = size;
    failAllocationBySize = true;
}

long standinAllocationCount() { return allocationCalls; }

// -- Streams: a short write on request; those left open are counted.

extern "C" FILE *__real_fopen(const char *path, const char *mode);
extern "C" size_t __real_fwrite(const void *data, size_t size, size_t count, FILE *stream);
extern "C" int __real_fclose(FILE *stream);

extern "C" FILE *__wrap_fopen(const char *path, const char *mode) {
    if (denied(path)) return errno = EACCES, (FILE *)NULL;
    FILE *stream = __real_fopen(path, mode);
    for (FILE *&slot : openStreams) {
        if (stream != NULL && slot == NULL) {
            slot = stream;
            break;
        }
    }
    return stream;
}

extern "C" size_t __wrap_fwrite(const void *data, size_t size, size_t count, FILE *stream) {
    bool tracked = false;
    for (FILE *open : openStreams) tracked = tracked || (open != NULL && open == stream);
    if (tracked && shortFwriteAt != 0 && ++fwriteCalls == shortFwriteAt) {
        shortFwriteAt = 0;
        size_t items = shortFwriteItems < count ? shortFwriteItems : count;
        size_t written = items > 0 ? __real_fwrite(data, size, items, stream) : 0;
        errno = ENOSPC;
        return written;
    }
    return __real_fwrite(data, size, count, stream);
}

extern "C" int __wrap_fclose(FILE *stream) {
    for (FILE *&slot : openStreams)
        if (slot != NULL && slot == stream) slot = NULL;
    return __real_fclose(stream);
}

void standinShortFwrite(int nth, size_t items) {
    fwriteCalls = 0;
    shortFwriteAt = nth;
    shortFwriteItems = items;
}

int standinOpenStreamCount() {
    int count = 0;
    for (FILE *stream : openStreams) count += stream != NULL;
    return count;
}

// -- Files, the kernel and the registry

void standinSetReadResult(int nth, int result) { readFaults.push_back({readCalls + nth, result}); }
int standinReadCount() { return readCalls; }
void standinDenyPath(const char *path) { deniedPaths.push_back(path); }

void standinSetWindowsDirectory(const char *path) {
    windowsDirectory = path != NULL ? path : "";
    replaceImport(GetWindowsDirectoryA, windowsDirectoryOrNone);
}

void standinRefuseMoveFile() { replaceImport(MoveFileExA, refuseMove); }

void standinSetModulePath(const char *path) {
    modulePath = path != NULL ? path : "";
    replaceImport(GetModuleFileNameA, modulePathOrNone);
}

void standinFailRegistryCall(StandinRegistryCall call, int nth, LONG error) {
    registryFaults.push_back({call, registryCalls[call] + nth, error});
}

int standinOpenRegistryKeyCount() { return (int)openKeys.size(); }
