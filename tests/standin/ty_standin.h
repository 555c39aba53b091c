// Control of the Win32 stand-in: what the tests set up before they call
// product code, and what they read back afterwards. Every setting holds until
// standinReset(); fault counts ("the nth call") start at the call that sets
// them.
//
// Executables linking ty_standin are linked with --wrap=exit, --wrap=malloc,
// --wrap=calloc, --wrap=fopen, --wrap=fwrite and --wrap=fclose: the
// product's calls to exit land in runProduct, its allocations can be made to
// fail, and its files are opened as the Microsoft runtime opens them.
#ifndef TY_STANDIN_H
#define TY_STANDIN_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Every setting and record back to its start.
void standinReset();

// Process exit
struct ProductRun {
    bool exited;    // the product called exit
    int exitCode;   // its code, when it did
};
// Runs body; an exit from inside it returns here instead of ending the test.
// Locals of the frames that exit left are not destroyed: keep body to plain
// calls of product code.
ProductRun runProduct(const std::function<void()> &body);

// Message boxes
struct StandinMessageBox {
    HWND owner;
    std::string text;
    std::string caption;    // "" for NULL as well
    UINT style;
    bool captionNull;       // NULL: Windows shows its default caption
};
// Every box is answered with IDOK.
const std::vector<StandinMessageBox> &standinMessageBoxes();

// Low-level file I/O: real files, with faults on request.
void standinFailOpen();                      // every _open fails
void standinSetReadResult(int nth, int result);  // nth _read returns result;
                                             // a positive one reads at most
                                             // that many bytes
void standinFailSeek(int nth);               // nth _lseek returns -1
int standinReadCount();                      // _read calls since reset
int standinOpenDescriptorCount();            // opened and not yet closed

// Allocation through malloc and calloc.
void standinFailAllocation(int nth);         // nth allocation returns NULL
void standinFailAllocationOfSize(size_t size);  // every allocation of
                                             // exactly size bytes: NULL
long standinAllocationCount();               // allocations since reset

// Kernel
int standinOpenThreadObjectCount();          // threads, events and critical
                                             // sections not given back
void standinRefuseThreads();                 // CreateThread fails, as on Win32s
void standinSetModulePath(const char *path); // NULL: GetModuleFileNameA fails
void standinSetVersion(DWORD version);       // GetVersion's answer
long standinSemaphoreCount(const char *name);  // -1 when it does not exist
int standinOpenHandleCount();                 // semaphores, processes, threads
// Named objects stay until standinReset, as if another process kept them open.

// Windows folder and hand-overs for the next start
void standinSetWindowsDirectory(const char *path);  // NULL (the start):
                                             // GetWindowsDirectoryA fails
// Every MoveFileExA returns FALSE and records nothing. Otherwise a deletion
// at the next start is recorded as Windows records it: appended to the
// REG_MULTI_SZ value "PendingFileRenameOperations" of
// "SYSTEM\CurrentControlSet\Control\Session Manager" as "\??\" path, NUL,
// an empty new name, NUL, and a closing NUL.
void standinRefuseMoveFile();

// C runtime file and folder calls (_access, _unlink, _rmdir, _mkdir) work on
// real files, "\" taken as "/". A file open through _open cannot be
// unlinked (EACCES), as with the Microsoft runtime, which opens without
// delete sharing.
void standinDenyPath(const char *path);      // _access, _unlink, _rmdir and
                                             // fopen on exactly this path
                                             // fail, EACCES; so do
                                             // DeleteFileA, CopyFileA to it
                                             // and a link's Save there

// Drives: a path beginning with letter and ":" ("C:\Program Files") lies in
// hostFolder ("/tmp/x/Program Files") for every file call of the stand-in
// and the C runtime. NULL undoes the mapping. Unmapped, such a path is taken
// as it stands, relative to the test's current folder.
void standinMapDrive(char letter, const char *hostFolder);

// The C library's stream calls, in force from the first standinReset() on:
// fopen takes "\" as "/", refuses a path of MAX_PATH characters or more
// (ENOENT, as the Microsoft runtime does) and a denied path (EACCES).
// The count starts at the call that sets it and covers every fwrite on a
// stream that fopen opened.
// The nth fwrite writes only items items (fewer than asked) and returns that.
void standinShortFwrite(int nth, size_t items);
int standinOpenStreamCount();                // fopen'ed, not yet fclose'd

// CopyFileA and DeleteFileA work on real files and set GetLastError's value;
// GetTempPathA, whose only caller is the upgrade, always fails.

// Registry: HKEY_LOCAL_MACHINE in memory. Names are matched without regard to
// case, subkeys enumerate in creation order, deleting a key with subkeys is
// refused (ERROR_ACCESS_DENIED, as on the NT family), and every handle needs
// the access its calls use. After standinReset it holds the keys every
// system has: "SOFTWARE\Microsoft\Windows\CurrentVersion\Run",
// "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall" and
// "SYSTEM\CurrentControlSet\Control\Session Manager", without values.
enum StandinRegistryCall {
    kStandinRegOpenKey,      // RegOpenKeyExA
    kStandinRegCreateKey,    // RegCreateKeyExA
    kStandinRegQueryValue,   // RegQueryValueExA
    kStandinRegSetValue,     // RegSetValueExA
    kStandinRegEnumKey,      // RegEnumKeyExA
    kStandinRegDeleteKey,    // RegDeleteKeyA
    kStandinRegDeleteValue,  // RegDeleteValueA
    kStandinRegCloseKey,     // RegCloseKey (the handle is released all the same)
    kStandinRegCallKinds
};
// The nth call of that kind returns error and does nothing else, but for
// RegCloseKey, whose handle is gone either way.
void standinFailRegistryCall(StandinRegistryCall call, int nth, LONG error);
int standinOpenRegistryKeyCount();           // opened and not yet closed

// GDI
struct StandinDibCall {
    HDC dc;
    BITMAPINFOHEADER header;            // copied from what was passed
    DWORD init;
    std::vector<unsigned char> bits;    // the pixel bytes the header describes
    std::vector<unsigned char> colourTable;  // masks and colours behind the header
    bool infoIsHeader;                  // BITMAPINFO passed at the header's address
    UINT usage;
};
void standinSetDibResult(HBITMAP bitmap);   // CreateDIBitmap's answer
const std::vector<StandinDibCall> &standinDibCalls();
const std::vector<HGDIOBJ> &standinDeletedObjects();
HDC standinScreenDc();                      // what GetDC(NULL) returns

#endif
