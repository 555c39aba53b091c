// The import slots of the Windows test program (ty_import_slots_win.cpp):
// every late import of the installer, and the kernel's and the C runtime's
// calls below.
#ifndef TY_IMPORT_SLOTS_WIN_H
#define TY_IMPORT_SLOTS_WIN_H

#include <windows.h>

#include "ty_late_imports.h"

#define TY_KERNEL_IMPORTS(X)                                                   \
    X("kernel32.dll", CopyFileA, 12)                                           \
    X("kernel32.dll", CreateSemaphoreA, 16)                                    \
    X("kernel32.dll", CreateThread, 24)                                        \
    X("kernel32.dll", DeleteFileA, 4)                                          \
    X("kernel32.dll", GetModuleFileNameA, 12)                                  \
    X("kernel32.dll", GetWindowsDirectoryA, 8)                                 \
    X("kernel32.dll", MoveFileExA, 12)

#define TY_CRT_IMPORTS(X) X(_access) X(_read) X(_rmdir) X(_unlink)

// slotName is the slot the compiler's calls to Name read.
#define TY_SLOT_DECLARATION(library, name, argumentBytes) \
    extern FARPROC slot##name __asm__("__imp__" #name "@" #argumentBytes);
#define TY_CRT_SLOT_DECLARATION(name) extern FARPROC slot##name __asm__("__imp__" #name);
extern "C" {
TY_LATE_IMPORTS(TY_SLOT_DECLARATION)
TY_KERNEL_IMPORTS(TY_SLOT_DECLARATION)
TY_CRT_IMPORTS(TY_CRT_SLOT_DECLARATION)
}

// The real function behind a slot, called past whatever is in the slot:
// REAL(RegCloseKey)(key).
FARPROC realImport(FARPROC *slot);
#define REAL(name) reinterpret_cast<decltype(&name)>(reinterpret_cast<void *>(realImport(&slot##name)))

// A function of the test's own in a slot, until the reset:
// replaceImport(MessageBoxA, recordBox).
#define replaceImport(name, function) \
    (slot##name = reinterpret_cast<FARPROC>(reinterpret_cast<void *>(static_cast<decltype(&name)>(function))))

// Every slot back to its real function.
void restoreImportSlots();

// Shared by the controls' two files (ty_standin_win.cpp, ty_standin_shell_win.cpp):
// while an Unwatched lives, the records' own allocations are not counted as
// the product's; the shell's slots and records back to their start.
struct Unwatched {
    Unwatched();
    ~Unwatched();
};
void standinResetShell();

#endif
