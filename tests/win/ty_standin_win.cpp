// The stand-in's controls (ty_standin.h and its companions) over real
// Windows: what a test records or makes fail reaches the product through the
// import slots of ty_import_slots_win.cpp, its allocations and streams
// through -Wl,--wrap; everything else is the system's own answer.
#include <direct.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "ty_import_slots_win.h"
#include "ty_standin.h"
#include "ty_standin_run_control.h"
#include "ty_standin_system_control.h"
#include "ty_standin_ui_control.h"


namespace {

std::vector<StandinMessageBox> messageBoxes;

// The allocation and stream wrappers run before any constructor: plain
// values only. The product's second thread allocates beside the page; a lock
// of the threads library would allocate itself.
volatile LONG countersHeld;
long allocationCalls;
// The test's own records allocate without being counted, on the thread
// that records.
int layerBusy;
DWORD layerThread;
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
std::vector<StandinRegistryWrite> registryWrites;
std::string queryAnswer;  // what the next RegQueryValueExA reads, when set
bool queryAnswered;

// The lock and the threads: each named semaphore kept by a handle of the
// test's own, as if another process held it, so that its count can be read
// after the product has let go; the product's handles, to see them closed.
std::map<std::string, HANDLE> keptSemaphores;
std::vector<HANDLE> productHandles;

struct DialogFault {
    int atCall;
    INT_PTR result;
};
std::vector<StandinDialogCall> dialogCalls;
std::vector<DialogFault> dialogFaults;
std::function<INT_PTR(int)> pagePlayer;

std::vector<HWND> pages;
std::map<std::pair<HWND, int>, std::vector<std::string>> controlTexts;
std::map<HWND, std::vector<StandinSentMessage>> sentMessages;
std::map<HWND, int> repaints;
std::vector<HANDLE> threadObjects;  // the product's threads
std::map<HWND, INT_PTR> endedPages;
std::vector<StandinBlit> blits;
std::vector<HGDIOBJ> deletedObjects;
std::set<HDC> memoryDcs;  // made and not deleted

}  // namespace

Unwatched::Unwatched() {
    layerThread = GetCurrentThreadId();
    layerBusy++;
}
Unwatched::~Unwatched() { layerBusy--; }

namespace {

bool denied(const char *path) {
    for (const std::string &each : deniedPaths)
        if (path != NULL && each == path) return true;
    return false;
}

bool countedAllocationFails(size_t size) {
    if (layerBusy != 0 && layerThread == GetCurrentThreadId()) return false;
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
    Unwatched unwatched;
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

HANDLE WINAPI keepSemaphore(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum, LPCSTR name) {
    HANDLE handle = REAL(CreateSemaphoreA)(security, initial, maximum, name);
    if (handle == NULL) return NULL;
    Unwatched unwatched;
    productHandles.push_back(handle);
    if (name != NULL && keptSemaphores.count(name) == 0)
        keptSemaphores[name] = OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, name);
    return handle;
}

// -- Dialogs: played by the test; pages: made by it and only recorded.

INT_PTR WINAPI playDialog(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure, LPARAM parameter) {
    int templateId = IS_INTRESOURCE(name) ? (int)(ULONG_PTR)name : -1;
    {
        Unwatched unwatched;
        dialogCalls.push_back({instance, templateId, owner, procedure, parameter});
    }
    for (const DialogFault &fault : dialogFaults)
        if (fault.atCall == (int)dialogCalls.size()) return fault.result;
    return pagePlayer ? pagePlayer(templateId) : -1;
}

INT_PTR CALLBACK quietPage(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

BOOL WINAPI recordEnd(HWND page, INT_PTR result) {
    Unwatched unwatched;
    endedPages[page] = result;
    return TRUE;
}

BOOL WINAPI recordBlit(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                       DWORD operation) {
    Unwatched unwatched;
    blits.push_back({target, x, y, width, height, source, GetCurrentObject(source, OBJ_BITMAP), sourceX,
                     sourceY, operation});
    return TRUE;
}

// The tests paint into made-up device contexts: a memory context then
// matches the screen.
HDC WINAPI countMemoryDc(HDC dc) {
    HDC memory = REAL(CreateCompatibleDC)(dc);
    if (memory == NULL) memory = REAL(CreateCompatibleDC)(NULL);
    Unwatched unwatched;
    if (memory != NULL) memoryDcs.insert(memory);
    return memory;
}

BOOL WINAPI countDeletedDc(HDC dc) {
    memoryDcs.erase(dc);
    return REAL(DeleteDC)(dc);
}

BOOL WINAPI recordDeletedObject(HGDIOBJ object) {
    Unwatched unwatched;
    deletedObjects.push_back(object);
    return REAL(DeleteObject)(object);
}

BOOL WINAPI recordText(HWND page, int id, LPCSTR text) {
    Unwatched unwatched;
    controlTexts[{page, id}].push_back(text != NULL ? text : "");
    return REAL(SetDlgItemTextA)(page, id, text);
}

LRESULT WINAPI recordMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Unwatched unwatched;
    sentMessages[window].push_back({message, wParam, lParam});
    return REAL(SendMessageA)(window, message, wParam, lParam);
}

BOOL WINAPI countRepaint(HWND window) {
    Unwatched unwatched;
    repaints[window]++;
    return REAL(UpdateWindow)(window);
}

HANDLE WINAPI refuseThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return NULL;
}

HANDLE WINAPI keepThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                         LPVOID parameter, DWORD flags, LPDWORD id) {
    HANDLE thread = REAL(CreateThread)(security, stack, start, parameter, flags, id);
    Unwatched unwatched;
    if (thread != NULL) threadObjects.push_back(thread);
    return thread;
}

// No program and no help is ever started.
BOOL WINAPI noHelp(HWND, LPCSTR, UINT, ULONG_PTR) { return TRUE; }
HINSTANCE WINAPI noProgram(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) { return (HINSTANCE)33; }

// -- Registry: each call counted, failed on request, its keys kept track of.

LONG keyOpened(LONG result, PHKEY key) {
    Unwatched unwatched;
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
    if (error != ERROR_SUCCESS) return error;
    if (!queryAnswered || data == NULL || size == NULL)
        return REAL(RegQueryValueExA)(key, name, reserved, type, data, size);
    queryAnswered = false;
    if (type != NULL) *type = REG_SZ;
    DWORD room = *size;
    *size = (DWORD)queryAnswer.size();
    if (queryAnswer.size() > room) return ERROR_MORE_DATA;
    memcpy(data, queryAnswer.data(), queryAnswer.size());
    return ERROR_SUCCESS;
}

LONG WINAPI setValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data, DWORD size) {
    {
        Unwatched unwatched;
        registryWrites.push_back({name != NULL ? name : "", type, std::string((const char *)data, size)});
    }
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
    replaceImport(CreateSemaphoreA, keepSemaphore);
    replaceImport(DialogBoxParamA, playDialog);
    replaceImport(EndDialog, recordEnd);
    replaceImport(BitBlt, recordBlit);
    replaceImport(CreateCompatibleDC, countMemoryDc);
    replaceImport(DeleteDC, countDeletedDc);
    replaceImport(DeleteObject, recordDeletedObject);
    replaceImport(WinHelpA, noHelp);
    replaceImport(ShellExecuteA, noProgram);
    replaceImport(SetDlgItemTextA, recordText);
    replaceImport(SendMessageA, recordMessage);
    replaceImport(UpdateWindow, countRepaint);
    replaceImport(CreateThread, keepThread);
    standinResetShell();
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
    queryAnswered = false;
    registryWrites.clear();
    for (int &count : registryCalls) count = 0;
    for (HKEY key : openKeys) REAL(RegCloseKey)(key);
    openKeys.clear();
    for (const auto &kept : keptSemaphores) CloseHandle(kept.second);
    keptSemaphores.clear();
    productHandles.clear();
    dialogCalls.clear();
    dialogFaults.clear();
    pagePlayer = nullptr;
    for (HWND page : pages) DestroyWindow(page);
    pages.clear();
    controlTexts.clear();
    sentMessages.clear();
    repaints.clear();
    threadObjects.clear();
    endedPages.clear();
    blits.clear();
    deletedObjects.clear();
    memoryDcs.clear();
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
bool standinPathDenied(const char *path) { return denied(path); }

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

const std::vector<StandinRegistryWrite> &standinRegistryWrites() { return registryWrites; }

void standinAnswerRegistryQuery(const std::string &data) {
    queryAnswer = data;
    queryAnswered = true;
}

// -- The lock and the product's handles

namespace {

// A handle the product closed is no handle any more (unless another took
// its number since, which no test does).
int stillOpen(const std::vector<HANDLE> &handles) {
    int count = 0;
    DWORD flags;
    for (HANDLE handle : handles) count += GetHandleInformation(handle, &flags) ? 1 : 0;
    return count;
}

}  // namespace

long standinSemaphoreCount(const char *name) {
    auto kept = keptSemaphores.find(name);
    if (kept == keptSemaphores.end()) return -1;
    long count = 0;
    while (WaitForSingleObject(kept->second, 0) == WAIT_OBJECT_0) count++;
    if (count > 0) ReleaseSemaphore(kept->second, count, NULL);
    return count;
}

int standinOpenHandleCount() { return stillOpen(productHandles) + stillOpen(threadObjects); }

// Threads; events and critical sections are the host's to count.
int standinOpenThreadObjectCount() { return stillOpen(threadObjects); }

void standinRefuseThreads() { replaceImport(CreateThread, refuseThread); }

// -- Dialogs and pages

const std::vector<StandinDialogCall> &standinDialogCalls() { return dialogCalls; }

void standinSetPagePlayer(const std::function<INT_PTR(int templateId)> &player) { pagePlayer = player; }

void standinFailDialog(int nth, INT_PTR result) {
    dialogFaults.push_back({(int)dialogCalls.size() + nth, result});
}

HWND standinCreatePage(int templateId) {
    HWND page = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(templateId), NULL, quietPage, 0);
    if (page == NULL) {
        ADD_FAILURE() << "no page of template " << templateId << ": error " << GetLastError();
        return NULL;
    }
    REAL(ShowWindow)(page, SW_SHOW);
    pages.push_back(page);
    return page;
}

bool standinPageEnded(HWND page) { return endedPages.count(page) != 0; }
INT_PTR standinPageEndResult(HWND page) { return endedPages.count(page) ? endedPages[page] : -1; }
bool standinPageVisible(HWND page) { return IsWindowVisible(page) != FALSE; }

const std::vector<StandinBlit> &standinBlits() { return blits; }
const std::vector<HGDIOBJ> &standinDeletedObjects() { return deletedObjects; }
int standinMemoryDcsHeld() { return (int)memoryDcs.size(); }

void standinTypeText(HWND page, int id, const std::string &text) { REAL(SetDlgItemTextA)(page, id, text.c_str()); }

const std::vector<std::string> &standinControlTexts(HWND page, int id) { return controlTexts[{page, id}]; }
const std::vector<StandinSentMessage> &standinSentMessages(HWND window) { return sentMessages[window]; }
int standinRepaintCount(HWND window) { return repaints[window]; }
HICON standinPageBigIcon(HWND page) { return (HICON)REAL(SendMessageA)(page, WM_GETICON, ICON_BIG, 0); }
HICON standinIconHandle(int resourceId) { return REAL(LoadIconA)(GetModuleHandleA(NULL), MAKEINTRESOURCEA(resourceId)); }
