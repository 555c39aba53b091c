// What the parts of the Win32 stand-in share among themselves; tests use the
// control headers instead.
#ifndef TY_STANDIN_INTERNAL_H
#define TY_STANDIN_INTERNAL_H

#include <windows.h>

// Threads and events of the product's second thread, for the same calls.
bool standinWaitThreadObject(HANDLE handle, DWORD milliseconds, DWORD *result);
bool standinCloseThreadObject(HANDLE handle);    // true: it was one, now closed
bool standinOnMadeThread();                       // on a thread the product made
void standinResetThreads();

#endif
