// Host implementation of the Win32 calls that the package reader and its
// fatal path make. Behaviour is the documented Windows behaviour where the
// reader depends on it, and the simplest that serves otherwise; see
// ty_standin.h for the test controls. The rest of the installer is tested on
// Windows itself (tests/win).
#include "ty_standin.h"
#include "ty_standin_internal.h"

#include <direct.h>
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
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

DWORD version = kWindowsXpVersion;
std::vector<Semaphore> semaphores;
std::vector<HandleSlot> handles;
DWORD lastError;

HBITMAP dibResult = kDefaultBitmap;
std::vector<StandinDibCall> dibCalls;

jmp_buf *exitJump;
int exitCode;

// The allocation wrappers run before any constructor: plain values only.
long allocationCalls;
long failAllocationAt;

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

// The product's second thread allocates and reads beside the test's.
std::mutex countersLock;

bool allocationFails() {
    std::lock_guard<std::mutex> guard(countersLock);
    allocationCalls++;
    if (failAllocationAt != 0 && allocationCalls == failAllocationAt) {
        failAllocationAt = 0;
        return true;
    }
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

}  // namespace

void standinReset() {
    // A thread a test left running may still read and allocate.
    standinResetThreads();
    lastError = 0;
    messageBoxes.clear();
    openFails = false;
    readFaults.clear();
    seekFaults.clear();
    readCalls = 0;
    seekCalls = 0;
    for (int descriptor : openDescriptors) close(descriptor);
    openDescriptors.clear();
    version = kWindowsXpVersion;
    semaphores.clear();
    handles.clear();
    dibResult = kDefaultBitmap;
    dibCalls.clear();
    allocationCalls = 0;
    failAllocationAt = 0;
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

extern "C" void *__wrap_malloc(size_t size) { return allocationFails() ? NULL : __real_malloc(size); }

extern "C" void *__wrap_calloc(size_t count, size_t size) {
    return allocationFails() ? NULL : __real_calloc(count, size);
}

void standinFailAllocation(int nth) { failAllocationAt = allocationCalls + nth; }
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
    if (flags & _O_CREAT) posixFlags |= O_CREAT;
    if (flags & _O_TRUNC) posixFlags |= O_TRUNC;
    int descriptor = open(path, posixFlags, 0644);
    if (descriptor == -1) return -1;
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

// A file open through _open cannot be deleted, as with the Microsoft
// runtime, which opens without delete sharing.
int _unlink(const char *path) {
    struct stat target;
    if (stat(path, &target) != 0) return errno = ENOENT, -1;
    for (int descriptor : openDescriptors) {
        struct stat held;
        if (fstat(descriptor, &held) == 0 && held.st_dev == target.st_dev && held.st_ino == target.st_ino)
            return errno = EACCES, -1;
    }
    return unlink(path);
}

// Kernel -------------------------------------------------------------------

void standinSetVersion(DWORD value) { version = value; }
DWORD WINAPI GetVersion(void) { return version; }
DWORD WINAPI GetLastError(void) { return lastError; }
void WINAPI SetLastError(DWORD error) { lastError = error; }

long standinSemaphoreCount(const char *name) {
    Semaphore *semaphore = findSemaphore(name);
    return semaphore ? semaphore->count : -1;
}

int standinOpenHandleCount() {
    int count = standinOpenThreadObjectCount();
    for (const HandleSlot &slot : handles) count += slot.open ? 1 : 0;
    return count;
}

// Named objects stay until the reset, as if another process kept them open.
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

// A thread the product made sleeps for real, giving way to the test's thread
// as on Windows; the test's own thread does not wait.
void WINAPI Sleep(DWORD milliseconds) {
    if (standinOnMadeThread()) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// The clean-up of an upgrade's saved copies, linked behind the reader's
// fatal path: no host test reaches it, and every call of it fails.
BOOL WINAPI CopyFileA(LPCSTR, LPCSTR, BOOL) { return FALSE; }
BOOL WINAPI MoveFileExA(LPCSTR, LPCSTR, DWORD) { return FALSE; }
DWORD WINAPI GetFileAttributesA(LPCSTR) { return INVALID_FILE_ATTRIBUTES; }
DWORD WINAPI GetEnvironmentVariableA(LPCSTR, LPSTR, DWORD) { return 0; }
DWORD WINAPI GetShortPathNameA(LPCSTR, LPSTR, DWORD) { return 0; }
UINT WINAPI GetWindowsDirectoryA(LPSTR, UINT) { return 0; }
int _access(const char *, int) { return errno = ENOENT, -1; }
int _rmdir(const char *) { return errno = ENOENT, -1; }
LONG WINAPI RegOpenKeyExA(HKEY, LPCSTR, DWORD, REGSAM, PHKEY) { return ERROR_ACCESS_DENIED; }
LONG WINAPI RegCreateKeyExA(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY,
                            LPDWORD) {
    return ERROR_ACCESS_DENIED;
}
LONG WINAPI RegQueryValueExA(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) { return ERROR_ACCESS_DENIED; }
LONG WINAPI RegSetValueExA(HKEY, LPCSTR, DWORD, DWORD, const BYTE *, DWORD) { return ERROR_ACCESS_DENIED; }
LONG WINAPI RegEnumKeyExA(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPSTR, LPDWORD, PFILETIME) {
    return ERROR_ACCESS_DENIED;
}
LONG WINAPI RegDeleteKeyA(HKEY, LPCSTR) { return ERROR_ACCESS_DENIED; }
LONG WINAPI RegDeleteValueA(HKEY, LPCSTR) { return ERROR_ACCESS_DENIED; }
LONG WINAPI RegCloseKey(HKEY) { return ERROR_INVALID_HANDLE; }

// GDI ----------------------------------------------------------------------

void standinSetDibResult(HBITMAP bitmap) { dibResult = bitmap; }
const std::vector<StandinDibCall> &standinDibCalls() { return dibCalls; }
HDC standinScreenDc() { return kScreenDc; }

HDC WINAPI GetDC(HWND window) { return window == NULL ? kScreenDc : NULL; }
int WINAPI ReleaseDC(HWND, HDC dc) { return dc == kScreenDc ? 1 : 0; }
BOOL WINAPI DeleteObject(HGDIOBJ object) { return object != NULL; }

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
