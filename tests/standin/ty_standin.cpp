// Host implementation of the Win32 calls the installer makes. Behaviour is
// the documented Windows behaviour where the installer depends on it, and the
// simplest that serves otherwise; see ty_standin.h for the test controls.
#include "ty_standin.h"
#include "ty_standin_internal.h"
#include "ty_standin_link_control.h"
#include "ty_standin_run_control.h"
#include "ty_standin_ui_control.h"

#include <ctype.h>
#include <direct.h>
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <set>
#include <thread>

namespace {

struct Semaphore {
    std::string name;
    LONG count;
    LONG maximum;
};

struct HandleSlot {
    size_t semaphore;
    bool open;
    std::string folder;  // a folder held open (no semaphore), as its host path
};

struct ReadFault {
    int atCall;
    int result;
};

const uintptr_t kFirstHandle = 0x100;
const uintptr_t kHandleStep = 4;
HDC const kScreenDc = (HDC)(uintptr_t)0x5DC0;
HBITMAP const kDefaultBitmap = (HBITMAP)(uintptr_t)0xB170;
const DWORD kWindowsXpVersion = 0x0A280105u;  // build 2600, 5.1, NT family

std::vector<StandinMessageBox> messageBoxes;

bool openFails;
std::vector<ReadFault> readFaults;
std::vector<int> seekFaults;
int readCalls;
int seekCalls;
std::set<int> openDescriptors;

std::string modulePath;
bool modulePathSet;
DWORD version = kWindowsXpVersion;
std::vector<Semaphore> semaphores;
std::vector<HandleSlot> handles;

std::string windowsDirectory;
bool windowsDirectorySet;
bool moveFileRefused;
std::vector<std::string> deniedPaths;
std::string driveFolders[26];   // "" where a drive is not mapped

DWORD lastError;
std::vector<std::pair<std::string, std::string>> environment;   // as set, none at first

// The registry: nodes by index (0 is HKEY_LOCAL_MACHINE), handles by slot.
struct RegistryValue {
    std::string name;
    DWORD type;
    std::vector<unsigned char> data;
};

struct RegistryNode {
    std::string name;
    size_t parent;
    std::vector<size_t> children;  // in creation order
    std::vector<RegistryValue> values;
    bool deleted;
};

struct RegistryHandle {
    size_t node;
    REGSAM access;
    bool open;
};

struct RegistryFault {
    StandinRegistryCall call;
    int atCall;
    LONG error;
};

const uintptr_t kFirstKeyHandle = 0x7000;
const char *const kSessionManagerKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char *const kPendingRenamesValue = "PendingFileRenameOperations";

std::vector<RegistryNode> registryNodes;
std::vector<RegistryHandle> registryHandles;
std::vector<RegistryFault> registryFaults;
int registryCalls[kStandinRegCallKinds];

HBITMAP dibResult = kDefaultBitmap;
std::vector<StandinDibCall> dibCalls;
std::vector<HGDIOBJ> deletedObjects;

jmp_buf *exitJump;
int exitCode;

// The allocation and stream wrappers run before any constructor: plain
// values only.
long allocationCalls;
long failAllocationAt;
size_t failAllocationSize;
bool failAllocationBySize;

bool streamsSteered;   // from the first standinReset on
int fwriteCalls;
int shortFwriteAt;
size_t shortFwriteItems;
const int kMaxStreams = 64;
FILE *openStreams[kMaxStreams];

HandleSlot *findHandle(HANDLE handle) {
    uintptr_t value = (uintptr_t)handle;
    if (value < kFirstHandle || (value - kFirstHandle) % kHandleStep != 0) return NULL;
    size_t index = (value - kFirstHandle) / kHandleStep;
    if (index >= handles.size() || !handles[index].open) return NULL;
    return &handles[index];
}

Semaphore *findSemaphore(const char *name) {
    for (Semaphore &semaphore : semaphores)
        if (semaphore.name == name) return &semaphore;
    return NULL;
}

// The product's second thread allocates and reads beside the page.
std::mutex countersLock;

bool allocationFails(size_t size) {
    std::lock_guard<std::mutex> guard(countersLock);
    allocationCalls++;
    if (failAllocationAt != 0 && allocationCalls == failAllocationAt) {
        failAllocationAt = 0;
        return true;
    }
    if (failAllocationBySize && size == failAllocationSize) return true;
    return false;
}

// Bytes of pixel data a device-independent bitmap with this header takes.
size_t dibColourTableSize(const BITMAPINFOHEADER &header) {
    size_t colours = header.biClrUsed;
    if (colours == 0 && header.biBitCount >= 1 && header.biBitCount <= 8)
        colours = (size_t)1 << header.biBitCount;
    size_t masks = header.biCompression == BI_BITFIELDS && header.biSize == 40 ? 12 : 0;
    return masks + colours * 4;
}

size_t dibBitsSize(const BITMAPINFOHEADER &header) {
    if (header.biCompression != BI_RGB && header.biCompression != BI_BITFIELDS)
        return header.biSizeImage;
    if (header.biWidth <= 0) return 0;
    uint64_t rowSize = ((uint64_t)header.biWidth * header.biBitCount + 31) / 32 * 4;
    uint64_t rows = header.biHeight < 0 ? (uint64_t)(-(int64_t)header.biHeight)
                                        : (uint64_t)header.biHeight;
    return (size_t)(rowSize * rows);
}

// Windows takes either separator; a mapped drive stands for its folder.
std::string hostPath(const char *path) {
    std::string host = path ? path : "";
    if (host.size() >= 2 && host[1] == ':' && isalpha((unsigned char)host[0])) {
        const std::string &folder = driveFolders[toupper((unsigned char)host[0]) - 'A'];
        if (!folder.empty()) host = folder + (host.size() > 2 ? host.substr(2) : "/");
    }
    for (char &c : host)
        if (c == '\\') c = '/';
    return host;
}

bool pathDenied(const char *path) {
    for (const std::string &denied : deniedPaths)
        if (denied == path) return true;
    return false;
}

// errno as the Microsoft runtime sets it for the same failure: a missing
// folder on the path is ENOENT, deleting a folder as a file EACCES.
int windowsErrno(int hostErrno) {
    switch (hostErrno) {
    case ENOTDIR: return ENOENT;
    case EISDIR:
    case EPERM: return EACCES;
    default: return hostErrno;
    }
}

// Whether a descriptor from _open has this file open.
bool heldOpen(const std::string &path) {
    struct stat target;
    if (stat(path.c_str(), &target) != 0) return false;
    for (int descriptor : openDescriptors) {
        struct stat held;
        if (fstat(descriptor, &held) == 0 && held.st_dev == target.st_dev &&
            held.st_ino == target.st_ino)
            return true;
    }
    return false;
}

LONG registryFault(StandinRegistryCall call) {
    registryCalls[call]++;
    for (const RegistryFault &fault : registryFaults)
        if (fault.call == call && fault.atCall == registryCalls[call]) return fault.error;
    return ERROR_SUCCESS;
}

size_t newRegistryNode(const std::string &name, size_t parent) {
    registryNodes.push_back({name, parent, {}, {}, false});
    return registryNodes.size() - 1;
}

const size_t kNoNode = (size_t)-1;

size_t findChild(size_t node, const std::string &name) {
    for (size_t child : registryNodes[node].children)
        if (strcasecmp(registryNodes[child].name.c_str(), name.c_str()) == 0) return child;
    return kNoNode;
}

// The components of a key path; empty ones (a doubled or final "\") are
// skipped.
std::vector<std::string> splitKeyPath(const char *path) {
    std::vector<std::string> parts;
    std::string part;
    for (const char *p = path ? path : ""; ; p++) {
        if (*p == '\\' || *p == '\0') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
            if (*p == '\0') break;
        } else {
            part += *p;
        }
    }
    return parts;
}

// The node under node named by path; kNoNode when a component is missing.
// With create, missing components are made and created tells whether the
// last one was.
size_t walkKeyPath(size_t node, const char *path, bool create, bool *created) {
    if (created) *created = false;
    for (const std::string &part : splitKeyPath(path)) {
        size_t child = findChild(node, part);
        if (child == kNoNode) {
            if (!create) return kNoNode;
            child = newRegistryNode(part, node);
            registryNodes[node].children.push_back(child);
            if (created) *created = true;
        } else if (created) {
            *created = false;
        }
        node = child;
    }
    return node;
}

// The node a key handle stands for, when the handle allows access.
LONG resolveKey(HKEY key, REGSAM access, size_t *node) {
    if (key == HKEY_LOCAL_MACHINE) {
        *node = 0;
        return ERROR_SUCCESS;
    }
    uintptr_t value = (uintptr_t)key;
    if (value < kFirstKeyHandle || (value - kFirstKeyHandle) % kHandleStep != 0)
        return ERROR_INVALID_HANDLE;
    size_t slot = (value - kFirstKeyHandle) / kHandleStep;
    if (slot >= registryHandles.size() || !registryHandles[slot].open) return ERROR_INVALID_HANDLE;
    const RegistryHandle &handle = registryHandles[slot];
    if (registryNodes[handle.node].deleted) return ERROR_KEY_DELETED;
    if ((handle.access & access) != access) return ERROR_ACCESS_DENIED;
    *node = handle.node;
    return ERROR_SUCCESS;
}

// KEY_ALL_ACCESS, KEY_READ and KEY_WRITE hold the specific rights as bits, so
// the rights a call needs are a plain subset test.
HKEY newKeyHandle(size_t node, REGSAM access) {
    registryHandles.push_back({node, access, true});
    return (HKEY)(kFirstKeyHandle + (registryHandles.size() - 1) * kHandleStep);
}

RegistryValue *findValue(size_t node, const char *name) {
    const char *wanted = name ? name : "";
    for (RegistryValue &value : registryNodes[node].values)
        if (strcasecmp(value.name.c_str(), wanted) == 0) return &value;
    return NULL;
}

void resetRegistry() {
    registryNodes.clear();
    registryHandles.clear();
    registryFaults.clear();
    for (int &count : registryCalls) count = 0;
    newRegistryNode("HKEY_LOCAL_MACHINE", 0);
    walkKeyPath(0, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", true, NULL);
    walkKeyPath(0, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", true, NULL);
    walkKeyPath(0, kSessionManagerKey, true, NULL);
}

}  // namespace

void standinReset() {
    // A thread a test left running may still read and allocate.
    standinResetThreads();
    streamsSteered = true;
    fwriteCalls = 0;
    shortFwriteAt = 0;
    for (FILE *&stream : openStreams) {
        if (stream != NULL) fclose(stream);
        stream = NULL;
    }
    for (std::string &folder : driveFolders) folder.clear();
    lastError = 0;
    environment.clear();
    failAllocationBySize = false;
    messageBoxes.clear();
    openFails = false;
    readFaults.clear();
    seekFaults.clear();
    readCalls = 0;
    seekCalls = 0;
    for (int descriptor : openDescriptors) close(descriptor);
    openDescriptors.clear();
    modulePath.clear();
    modulePathSet = false;
    version = kWindowsXpVersion;
    semaphores.clear();
    handles.clear();
    windowsDirectory.clear();
    windowsDirectorySet = false;
    moveFileRefused = false;
    deniedPaths.clear();
    resetRegistry();
    dibResult = kDefaultBitmap;
    dibCalls.clear();
    deletedObjects.clear();
    allocationCalls = 0;
    failAllocationAt = 0;
    standinResetRun();
    standinResetUi();
    standinResetLink();
}

// Process exit -------------------------------------------------------------

extern "C" void __real_exit(int code) __attribute__((noreturn));

extern "C" __attribute__((noreturn)) void __wrap_exit(int code) {
    if (exitJump == NULL) __real_exit(code);
    exitCode = code;
    longjmp(*exitJump, 1);
}

ProductRun runProduct(const std::function<void()> &body) {
    ProductRun run = {false, 0};
    jmp_buf jump;
    jmp_buf *outer = exitJump;
    exitJump = &jump;
    if (setjmp(jump) == 0) {
        body();
    } else {
        run.exited = true;
        run.exitCode = exitCode;
    }
    exitJump = outer;
    return run;
}

// Allocation ---------------------------------------------------------------

extern "C" void *__real_malloc(size_t size);
extern "C" void *__real_calloc(size_t count, size_t size);

extern "C" void *__wrap_malloc(size_t size) {
    return allocationFails(size) ? NULL : __real_malloc(size);
}

extern "C" void *__wrap_calloc(size_t count, size_t size) {
    return allocationFails(count * size) ? NULL : __real_calloc(count, size);
}

void standinFailAllocation(int nth) { failAllocationAt = allocationCalls + nth; }

void standinFailAllocationOfSize(size_t size) {
    failAllocationSize = size;
    failAllocationBySize = true;
}
long standinAllocationCount() { return allocationCalls; }

// Message boxes ------------------------------------------------------------

const std::vector<StandinMessageBox> &standinMessageBoxes() { return messageBoxes; }

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    messageBoxes.push_back({owner, text ? text : "", caption ? caption : "", style, caption == NULL});
    return IDOK;
}

// Low-level file I/O -------------------------------------------------------

void standinFailOpen() { openFails = true; }
void standinSetReadResult(int nth, int result) { readFaults.push_back({readCalls + nth, result}); }
void standinFailSeek(int nth) { seekFaults.push_back(seekCalls + nth); }
int standinReadCount() { return readCalls; }
int standinOpenDescriptorCount() { return (int)openDescriptors.size(); }

int _open(const char *path, int flags, ...) {
    if (openFails) {
        errno = EACCES;
        return -1;
    }
    int posixFlags = 0;
    switch (flags & (_O_WRONLY | _O_RDWR)) {
    case _O_WRONLY: posixFlags = O_WRONLY; break;
    case _O_RDWR: posixFlags = O_RDWR; break;
    default: posixFlags = O_RDONLY; break;
    }
    if (flags & _O_APPEND) posixFlags |= O_APPEND;
    if (flags & _O_CREAT) posixFlags |= O_CREAT;
    if (flags & _O_TRUNC) posixFlags |= O_TRUNC;
    if (flags & _O_EXCL) posixFlags |= O_EXCL;
    // The permission argument of _O_CREAT is Windows' read-only switch; every
    // file made here is writable.
    int descriptor = open(hostPath(path).c_str(), posixFlags, 0644);
    if (descriptor == -1) {
        errno = windowsErrno(errno);
        return -1;
    }
    openDescriptors.insert(descriptor);
    return descriptor;
}

int _read(int descriptor, void *buffer, unsigned int count) {
    std::lock_guard<std::mutex> guard(countersLock);
    readCalls++;
    for (const ReadFault &fault : readFaults) {
        if (fault.atCall != readCalls) continue;
        if (fault.result > 0) {
            unsigned int part = (unsigned int)fault.result < count ? (unsigned int)fault.result : count;
            if (read(descriptor, buffer, part) < 0) return -1;
        }
        return fault.result;
    }
    return (int)read(descriptor, buffer, count);
}

long _lseek(int descriptor, long offset, int origin) {
    std::lock_guard<std::mutex> guard(countersLock);
    seekCalls++;
    for (int atCall : seekFaults)
        if (atCall == seekCalls) return -1;
    return (long)lseek(descriptor, (off_t)offset, origin);
}

int _close(int descriptor) {
    openDescriptors.erase(descriptor);
    return close(descriptor);
}

int _write(int descriptor, const void *buffer, unsigned int count) {
    return (int)write(descriptor, buffer, count);
}

// C library streams -------------------------------------------------------

extern "C" FILE *__real_fopen(const char *path, const char *mode);
extern "C" size_t __real_fwrite(const void *data, size_t size, size_t count, FILE *stream);
extern "C" int __real_fclose(FILE *stream);

namespace {

bool streamTracked(FILE *stream) {
    for (FILE *open : openStreams)
        if (open != NULL && open == stream) return true;
    return false;
}

}  // namespace

void standinShortFwrite(int nth, size_t items) {
    shortFwriteAt = fwriteCalls + nth;
    shortFwriteItems = items;
}

int standinOpenStreamCount() {
    int count = 0;
    for (FILE *stream : openStreams) count += stream != NULL;
    return count;
}

extern "C" FILE *__wrap_fopen(const char *path, const char *mode) {
    if (!streamsSteered) return __real_fopen(path, mode);
    if (path == NULL || mode == NULL) {
        errno = EINVAL;
        return NULL;
    }
    if (strlen(path) >= MAX_PATH) {
        errno = ENOENT;
        return NULL;
    }
    if (pathDenied(path)) {
        errno = EACCES;
        return NULL;
    }
    FILE *stream = __real_fopen(hostPath(path).c_str(), mode);
    if (stream == NULL) {
        errno = windowsErrno(errno);
        return NULL;
    }
    for (FILE *&slot : openStreams) {
        if (slot == NULL) {
            slot = stream;
            break;
        }
    }
    return stream;
}

extern "C" size_t __wrap_fwrite(const void *data, size_t size, size_t count, FILE *stream) {
    if (!streamsSteered || !streamTracked(stream)) return __real_fwrite(data, size, count, stream);
    fwriteCalls++;
    if (shortFwriteAt != 0 && fwriteCalls == shortFwriteAt) {
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

// Files and folders -------------------------------------------------------

void standinDenyPath(const char *path) { deniedPaths.push_back(path); }

void standinMapDrive(char letter, const char *hostFolder) {
    if (!isalpha((unsigned char)letter)) return;
    driveFolders[toupper((unsigned char)letter) - 'A'] = hostFolder ? hostFolder : "";
}

std::string standinHostPath(const char *path) { return hostPath(path); }
bool standinPathIsDenied(const char *path) { return path != NULL && pathDenied(path); }
int standinWindowsErrno(int hostErrno) { return windowsErrno(hostErrno); }

int _access(const char *path, int mode) {
    if (pathDenied(path)) {
        errno = EACCES;
        return -1;
    }
    int hostMode = (mode & 2 ? W_OK : 0) | (mode & 4 ? R_OK : 0);
    if (access(hostPath(path).c_str(), hostMode == 0 ? F_OK : hostMode) == 0) return 0;
    errno = windowsErrno(errno);
    return -1;
}

int _unlink(const char *path) {
    std::string host = hostPath(path);
    struct stat status;
    bool isFolder = stat(host.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    if (pathDenied(path) || isFolder || heldOpen(host)) {
        errno = EACCES;
        return -1;
    }
    if (unlink(host.c_str()) == 0) return 0;
    errno = windowsErrno(errno);
    return -1;
}

// Whether a handle holds the folder open; opened without delete sharing, it
// cannot be removed or renamed.
bool folderHeld(const std::string &host) {
    for (const HandleSlot &slot : handles)
        if (slot.open && !slot.folder.empty() && slot.folder == host) return true;
    return false;
}

int _rmdir(const char *path) {
    std::string host = hostPath(path);
    if (pathDenied(path) || folderHeld(host)) {
        errno = EACCES;
        return -1;
    }
    if (rmdir(host.c_str()) == 0) return 0;
    int error = errno;
    // RemoveDirectoryA on a file: ERROR_DIRECTORY, which the runtime has no
    // errno for.
    struct stat status;
    if (error == ENOTDIR && lstat(host.c_str(), &status) == 0) {
        errno = EINVAL;
        return -1;
    }
    errno = windowsErrno(error);
    return -1;
}

int _mkdir(const char *path) {
    if (mkdir(hostPath(path).c_str(), 0755) == 0) return 0;
    errno = windowsErrno(errno);
    return -1;
}

BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
    if (mkdir(hostPath(path).c_str(), 0755) == 0) return TRUE;
    SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : ERROR_PATH_NOT_FOUND);
    return FALSE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR) { return NULL; }
FARPROC WINAPI GetProcAddress(HMODULE, LPCSTR) { return NULL; }
void *WINAPI LocalFree(void *memory) { return memory; }

// Kernel -------------------------------------------------------------------

void standinSetModulePath(const char *path) {
    modulePathSet = path != NULL;
    modulePath = path ? path : "";
}

void standinSetVersion(DWORD value) { version = value; }

long standinSemaphoreCount(const char *name) {
    Semaphore *semaphore = findSemaphore(name);
    return semaphore ? semaphore->count : -1;
}

int standinOpenHandleCount() {
    int count = standinOpenThreadObjectCount();
    for (const HandleSlot &slot : handles) count += slot.open ? 1 : 0;
    return count;
}

HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES, LONG initialCount, LONG maximumCount,
                               LPCSTR name) {
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) return NULL;
    size_t index = semaphores.size();
    Semaphore *existing = name ? findSemaphore(name) : NULL;
    if (existing != NULL) {
        index = (size_t)(existing - semaphores.data());
    } else {
        semaphores.push_back({name ? name : "", initialCount, maximumCount});
    }
    handles.push_back({index, true});
    return (HANDLE)(kFirstHandle + (handles.size() - 1) * kHandleStep);
}

// A folder only, as the product opens one: to hold it.
HANDLE WINAPI CreateFileA(LPCSTR path, DWORD, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                          DWORD flags, HANDLE) {
    struct stat status;
    std::string host = hostPath(path);
    if (disposition != OPEN_EXISTING || !(flags & FILE_FLAG_BACKUP_SEMANTICS) ||
        (share & FILE_SHARE_DELETE) || stat(host.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        lastError = ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    handles.push_back({(size_t)-1, true, host});
    return (HANDLE)(kFirstHandle + (handles.size() - 1) * kHandleStep);
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    DWORD threadResult;
    if (standinWaitThreadObject(handle, milliseconds, &threadResult)) return threadResult;
    HandleSlot *slot = findHandle(handle);
    if (slot == NULL) return WAIT_FAILED;
    // One thread and no other process: nothing can signal while we wait.
    Semaphore &semaphore = semaphores[slot->semaphore];
    if (semaphore.count == 0) return WAIT_TIMEOUT;
    semaphore.count--;
    return WAIT_OBJECT_0;
}

BOOL WINAPI ReleaseSemaphore(HANDLE handle, LONG releaseCount, LPLONG previousCount) {
    HandleSlot *slot = findHandle(handle);
    if (slot == NULL || releaseCount <= 0) return FALSE;
    Semaphore &semaphore = semaphores[slot->semaphore];
    if (releaseCount > semaphore.maximum - semaphore.count) return FALSE;
    if (previousCount) *previousCount = semaphore.count;
    semaphore.count += releaseCount;
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    if (standinCloseThreadObject(handle)) return TRUE;
    HandleSlot *slot = findHandle(handle);
    if (slot == NULL) return FALSE;
    slot->open = false;
    return TRUE;
}

DWORD WINAPI GetVersion(void) { return version; }

DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR fileName, DWORD size) {
    if (!modulePathSet || size == 0) return 0;
    // Windows cuts a path that does not fit and returns the buffer's size.
    size_t length = modulePath.size();
    if (length >= size) {
        memcpy(fileName, modulePath.data(), size - 1);
        fileName[size - 1] = '\0';
        return size;
    }
    memcpy(fileName, modulePath.c_str(), length + 1);
    return (DWORD)length;
}

void standinSetWindowsDirectory(const char *path) {
    windowsDirectorySet = path != NULL;
    windowsDirectory = path ? path : "";
}

void standinRefuseMoveFile() { moveFileRefused = true; }

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    if (!windowsDirectorySet) return 0;
    // Too small a buffer: nothing written, the size needed returned.
    UINT length = (UINT)windowsDirectory.size();
    if (buffer == NULL || length + 1 > size) return length + 1;
    memcpy(buffer, windowsDirectory.c_str(), length + 1);
    return length;
}

BOOL WINAPI MoveFileExA(LPCSTR existingName, LPCSTR newName, DWORD flags) {
    if (moveFileRefused || existingName == NULL) return FALSE;
    // Only what the installer asks for: deletion at the next start.
    if (newName != NULL || !(flags & MOVEFILE_DELAY_UNTIL_REBOOT)) return FALSE;
    size_t node = walkKeyPath(0, kSessionManagerKey, true, NULL);
    RegistryValue *value = findValue(node, kPendingRenamesValue);
    if (value == NULL) {
        registryNodes[node].values.push_back({kPendingRenamesValue, REG_MULTI_SZ, {}});
        value = &registryNodes[node].values.back();
    }
    std::vector<unsigned char> &data = value->data;
    if (!data.empty() && data.back() == 0) data.pop_back();  // the list's end
    std::string entry = std::string("\\??\\") + existingName;
    data.insert(data.end(), entry.begin(), entry.end());
    data.push_back(0);
    data.push_back(0);  // the empty new name
    data.push_back(0);
    value->type = REG_MULTI_SZ;
    return TRUE;
}

// More kernel calls --------------------------------------------------------

namespace {

// Windows' error code for a failed file call's errno.
DWORD fileError(int windowsErrnoValue, bool folderMissing) {
    if (windowsErrnoValue == ENOENT) return folderMissing ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    return ERROR_ACCESS_DENIED;
}

// Whether the folder that would hold path exists.
bool parentExists(const std::string &host) {
    size_t slash = host.find_last_of('/');
    if (slash == std::string::npos) return true;
    struct stat status;
    std::string parent = slash == 0 ? "/" : host.substr(0, slash);
    return stat(parent.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Code page 1252 from 0x80 to 0x9F; the rest of the page is Latin-1. Its five
// unassigned bytes keep their value, as Windows converts them.
const uint16_t kAnsiHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

uint16_t standinWideFromAnsi(unsigned char c) {
    return c >= 0x80 && c <= 0x9F ? kAnsiHigh[c - 0x80] : (uint16_t)c;
}

char standinAnsiFromWide(uint16_t c) {
    for (int i = 0; i < 32; i++)
        if (kAnsiHigh[i] == c) return (char)(0x80 + i);
    return c <= 0xFF && !(c >= 0x80 && c <= 0x9F) ? (char)c : '?';
}

DWORD WINAPI GetLastError(void) { return lastError; }
void WINAPI SetLastError(DWORD error) { lastError = error; }

BOOL WINAPI CopyFileA(LPCSTR existingName, LPCSTR newName, BOOL failIfExists) {
    if (existingName == NULL || newName == NULL) {
        lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    std::string source = hostPath(existingName);
    std::string target = hostPath(newName);
    int from = open(source.c_str(), O_RDONLY);
    if (from == -1) {
        lastError = fileError(windowsErrno(errno), !parentExists(source));
        return FALSE;
    }
    struct stat status;
    if (fstat(from, &status) != 0 || S_ISDIR(status.st_mode) || pathDenied(newName)) {
        close(from);
        lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    int flags = O_WRONLY | O_CREAT | O_TRUNC | (failIfExists ? O_EXCL : 0);
    int to = open(target.c_str(), flags, 0644);
    if (to == -1) {
        int error = errno;
        close(from);
        lastError = error == EEXIST ? ERROR_FILE_EXISTS
                                    : fileError(windowsErrno(error), !parentExists(target));
        return FALSE;
    }
    bool copied = true;
    char block[65536];
    for (ssize_t got; copied && (got = read(from, block, sizeof block)) != 0;)
        copied = got > 0 && write(to, block, (size_t)got) == got;
    close(from);
    copied = close(to) == 0 && copied;
    lastError = copied ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
    return copied ? TRUE : FALSE;
}

BOOL WINAPI DeleteFileA(LPCSTR fileName) {
    if (fileName == NULL) {
        lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (_unlink(fileName) == 0) return TRUE;
    lastError = fileError(errno, !parentExists(hostPath(fileName)));
    return FALSE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR fileName) {
    struct stat status;
    std::string host = hostPath(fileName);
    if (fileName == NULL || stat(host.c_str(), &status) != 0) {
        lastError = fileError(ENOENT, !parentExists(host));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(status.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    return (status.st_mode & S_IWUSR) ? FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_READONLY;
}

// The upgrade, the only caller, is the Wine suite's.
DWORD WINAPI GetTempPathA(DWORD, LPSTR) {
    lastError = ERROR_PATH_NOT_FOUND;
    return 0;
}

// As Windows resolves a path: separators made backslashes and doubled ones
// merged, "." and ".." levels applied; a path from the root goes on drive C:,
// the stand-in's current drive. Relative paths are not used by the product.
DWORD WINAPI GetFullPathNameA(LPCSTR fileName, DWORD size, LPSTR buffer, LPSTR *filePart) {
    std::string in = fileName;
    for (char &c : in) if (c == '/') c = '\\';
    if (in.size() >= 2 && in[0] == '\\' && in[1] != '\\') in = "C:" + in;
    std::vector<std::string> levels;
    bool trailing = !in.empty() && in.back() == '\\';
    size_t at = 0;
    while (at <= in.size()) {
        size_t next = in.find('\\', at);
        if (next == std::string::npos) next = in.size();
        std::string level = in.substr(at, next - at);
        if (level == "..") {
            if (levels.size() > 1) levels.pop_back();
        } else if (!level.empty() && level != ".") {
            levels.push_back(level);
        }
        at = next + 1;
    }
    std::string out;
    for (size_t i = 0; i < levels.size(); i++) out += (i ? "\\" : "") + levels[i];
    if (trailing || levels.size() == 1) out += "\\";
    if (filePart != NULL) *filePart = NULL;
    if (out.size() + 1 > size) return (DWORD)out.size() + 1;
    memcpy(buffer, out.c_str(), out.size() + 1);
    return (DWORD)out.size();
}

// A name Windows keeps as its own short name: at most eight characters, a
// dot and at most three, none of them a blank or one that 8.3 names forbid.
static bool isShortName(const std::string &name) {
    size_t dot = name.find('.');
    if (name.empty() || name.find_first_of(" +,;=[]") != std::string::npos) return false;
    if (dot == std::string::npos) return name.size() <= 8;
    return dot >= 1 && dot <= 8 && name.size() - dot - 1 <= 3 &&
           name.find('.', dot + 1) == std::string::npos;
}

// Every item of the path must exist. Each level that is no 8.3 name becomes
// the first six of its characters that 8.3 names allow, "~1" and the first
// three of its extension's, in capitals, as Windows makes the first such
// name in a folder.
DWORD WINAPI GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
    struct stat status;
    if (longPath == NULL || stat(hostPath(longPath).c_str(), &status) != 0) {
        lastError = ERROR_FILE_NOT_FOUND;
        return 0;
    }
    std::string in = longPath, out, level;
    for (size_t at = 0; at <= in.size(); at++) {
        if (at < in.size() && in[at] != '\\' && in[at] != '/') {
            level += in[at];
            continue;
        }
        bool drive = at == 2 && level[1] == ':';
        if (!level.empty() && !drive && !isShortName(level)) {
            size_t dot = level.rfind('.');
            std::string base = level.substr(0, dot), extension, shortLevel;
            if (dot != std::string::npos) extension = level.substr(dot + 1);
            for (char c : base)
                if (shortLevel.size() < 6 && strchr(" .+,;=[]", c) == NULL)
                    shortLevel += (char)toupper((unsigned char)c);
            shortLevel += "~1";
            if (!extension.empty()) shortLevel += "." + extension.substr(0, 3);
            for (char &c : shortLevel) c = (char)toupper((unsigned char)c);
            level = shortLevel;
        }
        out += level;
        if (at < in.size()) out += in[at];
        level.clear();
    }
    // Too small a buffer: the size needed, the terminating zero counted.
    if (shortPath == NULL || out.size() + 1 > size) return (DWORD)out.size() + 1;
    memcpy(shortPath, out.c_str(), out.size() + 1);
    return (DWORD)out.size();
}

DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    for (const auto &variable : environment) {
        if (strcasecmp(variable.first.c_str(), name) != 0) continue;
        if (buffer == NULL || variable.second.size() + 1 > size)
            return (DWORD)variable.second.size() + 1;
        memcpy(buffer, variable.second.c_str(), variable.second.size() + 1);
        return (DWORD)variable.second.size();
    }
    lastError = 203;  // ERROR_ENVVAR_NOT_FOUND
    return 0;
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
    for (size_t i = 0; i < environment.size(); i++) {
        if (strcasecmp(environment[i].first.c_str(), name) != 0) continue;
        environment.erase(environment.begin() + (long)i);
        break;
    }
    if (value != NULL) environment.push_back({name, value});
    return TRUE;
}

// A thread the product made sleeps for real, giving way to the test's thread
// as on Windows; the test's own thread does not wait.
void WINAPI Sleep(DWORD milliseconds) {
    if (standinOnMadeThread()) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int WINAPI MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, int textLength,
                               LPWSTR wide, int wideSize) {
    if (text == NULL || wideSize < 0 || (wideSize > 0 && wide == NULL) ||
        (codePage != CP_ACP && codePage != 1252)) {
        lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    // -1: the text and its terminating zero.
    size_t length = textLength < 0 ? strlen(text) + 1 : (size_t)textLength;
    if (wideSize == 0) return (int)length;
    if (length > (size_t)wideSize) {
        lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    for (size_t i = 0; i < length; i++) wide[i] = standinWideFromAnsi((unsigned char)text[i]);
    return (int)length;
}

LPSTR WINAPI lstrcatA(LPSTR text, LPCSTR tail) {
    if (text == NULL || tail == NULL) return NULL;
    return strcat(text, tail);
}

// Registry -----------------------------------------------------------------

void standinFailRegistryCall(StandinRegistryCall call, int nth, LONG error) {
    registryFaults.push_back({call, registryCalls[call] + nth, error});
}

int standinOpenRegistryKeyCount() {
    int count = 0;
    for (const RegistryHandle &handle : registryHandles) count += handle.open ? 1 : 0;
    return count;
}

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM desired, PHKEY result) {
    LONG fault = registryFault(kStandinRegOpenKey);
    if (fault != ERROR_SUCCESS) return fault;
    if (result == NULL) return ERROR_INVALID_PARAMETER;
    size_t parent;
    LONG status = resolveKey(key, 0, &parent);
    if (status != ERROR_SUCCESS) return status;
    size_t node = walkKeyPath(parent, subKey, false, NULL);
    if (node == kNoNode) return ERROR_FILE_NOT_FOUND;
    *result = newKeyHandle(node, desired);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR, DWORD,
                            REGSAM desired, LPSECURITY_ATTRIBUTES, PHKEY result,
                            LPDWORD disposition) {
    LONG fault = registryFault(kStandinRegCreateKey);
    if (fault != ERROR_SUCCESS) return fault;
    if (result == NULL || reserved != 0) return ERROR_INVALID_PARAMETER;
    size_t parent;
    LONG status = resolveKey(key, 0, &parent);
    if (status != ERROR_SUCCESS) return status;
    bool created;
    size_t node = walkKeyPath(parent, subKey, true, &created);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = newKeyHandle(node, desired);
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                             LPDWORD size) {
    LONG fault = registryFault(kStandinRegQueryValue);
    if (fault != ERROR_SUCCESS) return fault;
    size_t node;
    LONG status = resolveKey(key, KEY_QUERY_VALUE, &node);
    if (status != ERROR_SUCCESS) return status;
    if (data != NULL && size == NULL) return ERROR_INVALID_PARAMETER;
    const RegistryValue *value = findValue(node, valueName);
    if (value == NULL) return ERROR_FILE_NOT_FOUND;
    if (type) *type = value->type;
    DWORD length = (DWORD)value->data.size();
    if (data != NULL && *size < length) {
        *size = length;
        return ERROR_MORE_DATA;
    }
    if (data != NULL && length > 0) memcpy(data, value->data.data(), length);
    if (size) *size = length;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type,
                           const BYTE *data, DWORD size) {
    LONG fault = registryFault(kStandinRegSetValue);
    if (fault != ERROR_SUCCESS) return fault;
    size_t node;
    LONG status = resolveKey(key, KEY_SET_VALUE, &node);
    if (status != ERROR_SUCCESS) return status;
    if (reserved != 0 || (data == NULL && size != 0)) return ERROR_INVALID_PARAMETER;
    RegistryValue *value = findValue(node, valueName);
    if (value == NULL) {
        registryNodes[node].values.push_back({valueName ? valueName : "", type, {}});
        value = &registryNodes[node].values.back();
    }
    value->type = type;
    value->data.assign(data, data + size);
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD,
                          LPSTR className, LPDWORD classSize, PFILETIME lastWriteTime) {
    LONG fault = registryFault(kStandinRegEnumKey);
    if (fault != ERROR_SUCCESS) return fault;
    size_t node;
    LONG status = resolveKey(key, KEY_ENUMERATE_SUB_KEYS, &node);
    if (status != ERROR_SUCCESS) return status;
    if (name == NULL || nameSize == NULL) return ERROR_INVALID_PARAMETER;
    const std::vector<size_t> &children = registryNodes[node].children;
    if (index >= children.size()) return ERROR_NO_MORE_ITEMS;
    // The size counts the terminating zero going in, not coming out.
    const std::string &childName = registryNodes[children[index]].name;
    if (childName.size() + 1 > *nameSize) return ERROR_MORE_DATA;
    memcpy(name, childName.c_str(), childName.size() + 1);
    *nameSize = (DWORD)childName.size();
    if (className != NULL && classSize != NULL && *classSize > 0) className[0] = '\0';
    if (classSize != NULL) *classSize = 0;
    if (lastWriteTime != NULL) memset(lastWriteTime, 0, sizeof *lastWriteTime);
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    LONG fault = registryFault(kStandinRegDeleteKey);
    if (fault != ERROR_SUCCESS) return fault;
    size_t parent;
    LONG status = resolveKey(key, 0, &parent);
    if (status != ERROR_SUCCESS) return status;
    if (subKey == NULL || splitKeyPath(subKey).empty()) return ERROR_INVALID_PARAMETER;
    size_t node = walkKeyPath(parent, subKey, false, NULL);
    if (node == kNoNode) return ERROR_FILE_NOT_FOUND;
    if (!registryNodes[node].children.empty()) return ERROR_ACCESS_DENIED;
    RegistryNode &deleted = registryNodes[node];
    deleted.deleted = true;
    std::vector<size_t> &siblings = registryNodes[deleted.parent].children;
    for (size_t i = 0; i < siblings.size(); i++) {
        if (siblings[i] == node) {
            siblings.erase(siblings.begin() + (long)i);
            break;
        }
    }
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName) {
    LONG fault = registryFault(kStandinRegDeleteValue);
    if (fault != ERROR_SUCCESS) return fault;
    size_t node;
    LONG status = resolveKey(key, KEY_SET_VALUE, &node);
    if (status != ERROR_SUCCESS) return status;
    std::vector<RegistryValue> &values = registryNodes[node].values;
    const char *wanted = valueName ? valueName : "";
    for (size_t i = 0; i < values.size(); i++) {
        if (strcasecmp(values[i].name.c_str(), wanted) == 0) {
            values.erase(values.begin() + (long)i);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG WINAPI RegCloseKey(HKEY key) {
    LONG fault = registryFault(kStandinRegCloseKey);
    if (key == HKEY_LOCAL_MACHINE) return fault;
    uintptr_t value = (uintptr_t)key;
    if (value < kFirstKeyHandle || (value - kFirstKeyHandle) % kHandleStep != 0)
        return ERROR_INVALID_HANDLE;
    size_t slot = (value - kFirstKeyHandle) / kHandleStep;
    if (slot >= registryHandles.size() || !registryHandles[slot].open) return ERROR_INVALID_HANDLE;
    registryHandles[slot].open = false;
    return fault;
}

// GDI ----------------------------------------------------------------------

void standinSetDibResult(HBITMAP bitmap) { dibResult = bitmap; }
const std::vector<StandinDibCall> &standinDibCalls() { return dibCalls; }
const std::vector<HGDIOBJ> &standinDeletedObjects() { return deletedObjects; }
HDC standinScreenDc() { return kScreenDc; }

HDC WINAPI GetDC(HWND window) { return window == NULL ? kScreenDc : NULL; }

int WINAPI ReleaseDC(HWND, HDC dc) { return dc == kScreenDc ? 1 : 0; }

HBITMAP WINAPI CreateDIBitmap(HDC dc, const BITMAPINFOHEADER *header, DWORD init,
                              const void *bits, const BITMAPINFO *info, UINT usage) {
    StandinDibCall call;
    call.dc = dc;
    // The header sits 14 bytes into a BMP file, so it may be unaligned.
    memset(&call.header, 0, sizeof call.header);
    DWORD headerSize = 0;
    if (header) memcpy(&headerSize, header, sizeof headerSize);
    // A 12-byte core header is recorded as the information header GDI makes
    // of it, its colour table of 3-byte entries as one of 4-byte entries.
    const unsigned char *core = headerSize == 12 ? (const unsigned char *)header : NULL;
    if (core) {
        call.header.biSize = 12;
        call.header.biWidth = core[4] | core[5] << 8;
        call.header.biHeight = core[6] | core[7] << 8;
        call.header.biPlanes = (WORD)(core[8] | core[9] << 8);
        call.header.biBitCount = (WORD)(core[10] | core[11] << 8);
    } else if (header) {
        memcpy(&call.header, header, sizeof call.header);
    }
    call.init = init;
    // Read every byte the header describes, as GDI would: a colour table or
    // pixel bits that run past their buffer are caught by the address
    // sanitizer here.
    if ((init & CBM_INIT) && bits && header) {
        const unsigned char *pixels = (const unsigned char *)bits;
        call.bits.assign(pixels, pixels + dibBitsSize(call.header));
    }
    if (info) {
        const unsigned char *table = (const unsigned char *)info + call.header.biSize;
        if (core) {
            for (size_t i = 0; i < dibColourTableSize(call.header) / 4; i++) {
                call.colourTable.insert(call.colourTable.end(), table + i * 3, table + i * 3 + 3);
                call.colourTable.push_back(0);
            }
        } else {
            call.colourTable.assign(table, table + dibColourTableSize(call.header));
        }
    }
    call.infoIsHeader = (const void *)info == (const void *)header;
    call.usage = usage;
    dibCalls.push_back(call);
    return dibResult;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    if (object == NULL) return FALSE;
    deletedObjects.push_back(object);
    return TRUE;
}
