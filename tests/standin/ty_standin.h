// The tests' control of the machine they run on: what a test sets up before
// it calls product code, and what it reads back afterwards. The host's Win32
// stand-in implements it (ty_standin.cpp), and so does the Windows test
// program over the real system (tests/win/ty_standin_win.cpp), which adds the
// controls of tests/win/ty_standin_*_control.h. Every setting holds until
// standinReset(); fault counts ("the nth call") start at the call that sets
// them.
//
// Both link with --wrap=exit, --wrap=malloc and --wrap=calloc: the product's
// calls to exit land in runProduct, and its allocations can be made to fail.
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
long standinAllocationCount();               // allocations since reset

// Kernel
int standinOpenThreadObjectCount();          // threads, events and critical
                                             // sections not given back (on
                                             // Windows the threads only)
void standinRefuseThreads();                 // CreateThread fails, as on Win32s
void standinSetVersion(DWORD version);       // GetVersion's answer
long standinSemaphoreCount(const char *name);  // -1 when it does not exist
int standinOpenHandleCount();                 // semaphores and threads
// Named objects stay until standinReset, as if another process kept them open.

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
HDC standinScreenDc();                      // what GetDC(NULL) returns

#endif
