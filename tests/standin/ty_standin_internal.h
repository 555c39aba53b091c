// What the parts of the Win32 stand-in share among themselves; tests use the
// control headers instead.
#ifndef TY_STANDIN_INTERNAL_H
#define TY_STANDIN_INTERNAL_H

#include <stdint.h>
#include <windows.h>

#include <string>

// path as the host names it: a mapped drive replaced, "\" taken as "/".
std::string standinHostPath(const char *path);

// Whether standinDenyPath named exactly this path.
bool standinPathIsDenied(const char *path);

// errno as the Microsoft runtime sets it for the same failure.
int standinWindowsErrno(int hostErrno);

// The 8-bit character of the ANSI code page (1252) for a 16-bit one, and
// back; '?' where there is none.
uint16_t standinWideFromAnsi(unsigned char c);
char standinAnsiFromWide(uint16_t c);

// Threads and events of the product's second thread, for the same calls.
bool standinWaitThreadObject(HANDLE handle, DWORD milliseconds, DWORD *result);
bool standinCloseThreadObject(HANDLE handle);    // true: it was one, now closed
bool standinOnMadeThread();                       // on a thread the product made
void standinResetThreads();

#endif
